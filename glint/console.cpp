#include "console.h"

#include <iostream>

namespace glint {

Console Console::standardOutput(Texts texts) { return Console(std::cout, 1, texts); }
Console Console::standardError(Texts texts) { return Console(std::cerr, 2, texts); }

void Console::text(const char* gbk) {
    const std::string_view bytes(gbk);
    if (!writeConverted(bytes)) stream_ << bytes;
}

}  // namespace glint
