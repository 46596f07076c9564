#include "console.h"

#include <iostream>

namespace glint {

Console Console::standardOutput(Texts texts) { return Console(std::cout, 1, texts); }
Console Console::standardError(Texts texts) { return Console(std::cerr, 2, texts); }

// No byte below 0x20 or 0x7F is ever part of a multibyte character in
// UTF-8, GBK, Big5 or Shift_JIS, so each stands for itself.
std::string Console::withControlsShown(std::string_view fileName) {
    std::string shown(fileName);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return shown;
}

void Console::text(const char* gbk) {
    const std::string_view bytes(gbk);
    if (!writeConverted(bytes)) stream_ << bytes;
}

}  // namespace glint
