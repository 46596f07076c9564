// File names as the programs hold them, typed, piped, listed or on the
// command line. On POSIX, narrow bytes passed to the file system as they
// are. On Windows, UTF-8, which holds every name: the wide command line,
// typed UTF-16 and piped ANSI code page bytes are converted to it as they
// are read (windows/wide_names.h), and it becomes UTF-16 again here.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace common {

// The path of the file that `name` means; on Windows, bytes that are not
// UTF-8 come from no user and give "?", which opens no file.
std::filesystem::path pathOfName(const char* name);

// `name` for a message: each control character (C0, DEL and the C1 range
// U+0080 to U+009F, which terminals take as CSI, OSC and the like) and each
// byte that is no character in the names' encoding becomes '?'.
std::string printableName(std::string_view name);

// The same for a name in UTF-8, whatever the locale.
std::string printableUtf8Name(std::string_view name);

// Whether `code` is a character of Unicode: at most U+10FFFF, no surrogate.
constexpr bool isUnicodeScalar(char32_t code) { return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF); }

// Whether `code` (a Unicode code point) is a control character.
constexpr bool isControlCharacter(char32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

}  // namespace common
