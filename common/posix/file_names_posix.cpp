#include "common/file_names.h"

#include <cstdlib>
#include <cwchar>

#include "common/posix/text_conversion.h"

namespace common {

std::filesystem::path pathOfName(const char* name) { return std::filesystem::path(name); }

// Names are bytes in the locale's encoding, read by its own rules (GBK,
// Big5, EUC, UTF-8); a locale of single bytes (the C locale) on a UTF-8
// terminal shows them as UTF-8. The wide characters are Unicode's.
std::string printableName(std::string_view name) {
    if (MB_CUR_MAX == 1 && isUtf8(terminalCodeset())) return printableUtf8Name(name);
    std::string shown;
    std::mbstate_t state{};
    while (!name.empty()) {
        wchar_t code = 0;
        const std::size_t length = std::mbrtowc(&code, name.data(), name.size(), &state);
        // Not 0 (a NUL byte), nor a cut-off or invalid sequence, nor beyond
        // Unicode, which the C library's UTF-8 takes up to 2^31.
        const bool character = length != 0 && length <= name.size() && isUnicodeScalar(static_cast<char32_t>(code));
        if (character && !isControlCharacter(static_cast<char32_t>(code))) {
            shown.append(name.substr(0, length));
        } else {
            shown += '?';
        }
        if (!character) state = std::mbstate_t{};
        name.remove_prefix(character ? length : 1);
    }
    return shown;
}

}  // namespace common
