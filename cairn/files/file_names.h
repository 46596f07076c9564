// File names as cairn meets them: as arguments, listed in sums files, and
// shown in diagnostics. On POSIX they are the user's bytes, in the locale's
// character set. On Windows they are UTF-8 inside the program, which holds
// every name (common/windows/wide_names.h), and a listed name may be in UTF-8 (from
// md5sum on Linux) or in the ANSI code page (from Windows tools). One
// implementation per platform, chosen in CMakeLists.txt.
#pragma once

#include <cstddef>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

namespace cairn::names {

// The names the bytes of a listed name may stand for: the likelier one, and
// another where the bytes read two ways.
struct Readings {
    std::string likelier;
    std::optional<std::string> other;
};
Readings readingsOfListed(std::string_view bytes);

// Whether `name` leads to anything, to choose between two readings.
bool exists(const std::string& name);

// The character at the start of `text` (not empty, not ASCII): its length in
// bytes, one for a byte that starts no valid character, and whether it can
// be shown as it is. `state` carries a shift state from call to call.
struct Character {
    std::size_t length;
    bool shown;
};
Character characterAt(std::string_view text, std::mbstate_t& state);

}  // namespace cairn::names
