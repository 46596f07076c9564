#include <sys/stat.h>

#include <cwctype>

#include "file_names.h"

namespace cairn::names {

// A name is its bytes.
Readings readingsOfListed(std::string_view bytes) { return {std::string(bytes), std::nullopt}; }

bool exists(const std::string& name) {
    struct stat status {};
    return ::lstat(name.c_str(), &status) == 0;
}

// As the locale reads it.
Character characterAt(std::string_view text, std::mbstate_t& state) {
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
