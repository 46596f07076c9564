#include "common/console.h"

#include <iostream>

namespace common {

Console Console::standardOutput(Texts texts) { return Console(std::cout, shownOn(1, texts)); }
Console Console::standardError(Texts texts) { return Console(std::cerr, shownOn(2, texts)); }

void Console::text(const char* gbk) {
    const std::string_view bytes(gbk);
    if (!shown_ || !writeConverted(bytes)) *stream_ << bytes;
}

}  // namespace common
