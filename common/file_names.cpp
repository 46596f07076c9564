#include "common/file_names.h"

namespace common {
namespace {

// The code point of the well-formed UTF-8 character at the start of `text`
// and its length; a length of 0 when no character starts there (a stray
// continuation byte, an overlong form, a surrogate, a cut-off sequence).
struct Decoded {
    char32_t code = 0;
    std::size_t length = 0;
};

Decoded decodeUtf8(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) return {};
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {};
        code = (code << 6) | (byte(i) & 0x3F);
    }
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kShortest[length] || !isUnicodeScalar(code)) return {};
    return {code, length};
}

}  // namespace

std::string printableUtf8Name(std::string_view name) {
    std::string shown;
    while (!name.empty()) {
        const Decoded character = decodeUtf8(name);
        const bool printable = character.length != 0 && !isControlCharacter(character.code);
        const std::size_t length = character.length != 0 ? character.length : 1;
        if (printable) {
            shown.append(name.substr(0, length));
        } else {
            shown += '?';
        }
        name.remove_prefix(length);
    }
    return shown;
}

}  // namespace common
