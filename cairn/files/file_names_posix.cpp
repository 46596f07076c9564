#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <cwctype>

#include "files/file_names.h"

namespace cairn::names {

// A name is its bytes.
Readings readingsOfListed(std::string_view bytes) { return {std::string(bytes), std::nullopt}; }

bool exists(const std::string& name) {
    struct stat status {};
    return ::lstat(name.c_str(), &status) == 0;
}

// As the locale reads it. A single-byte character set is read by its
// character table alone, as md5sum reads it: mbrtowc would first load the
// set's converter, which needs a free descriptor and may not get one.
Character characterAt(std::string_view text, std::mbstate_t& state) {
    if (MB_CUR_MAX == 1) return {1, std::isprint(static_cast<unsigned char>(text[0])) != 0};
    wchar_t wide = 0;
    const std::size_t length = std::mbrtowc(&wide, text.data(), text.size(), &state);
    if (length == 0 || length > text.size()) {
        // A character cut off by the text's end is one unshown character of
        // all the bytes left, as md5sum shows it.
        const bool cutOff = length == static_cast<std::size_t>(-2);
        state = std::mbstate_t{};
        return {cutOff ? text.size() : 1, false};
    }
    return {length, std::iswprint(static_cast<wint_t>(wide)) != 0};
}

}  // namespace cairn::names
