// The locale's character set and conversions between character sets, the
// one place the POSIX side calls iconv.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace common {

// The character set of the user's locale (LC_CTYPE taken from the
// environment first; where that fails the C locale stays).
std::string localeCodeset();

// The C and POSIX locales, which glibc names after ASCII. A terminal in them
// is taken to be UTF-8, as most terminals are.
bool isPlainAscii(std::string_view codeset);

// The name of a character set reduced to its letters and digits, in upper
// case: "gb18030" and "GB-18030" are one set.
std::string canonicalCodeset(std::string_view codeset);

// Converts `text` from the character set `from` to `to`, handing the
// converted bytes to `put` piece by piece. A character that `to` cannot hold,
// or a broken one, ends the conversion with false, unless `lengthOf` is given:
// then it shows as '?', `lengthOf(at, left)` bytes of the input are skipped,
// and the rest still converts. False also when there is no such conversion.
using PutBytes = std::function<void(const char* bytes, std::size_t size)>;
using CharacterLength = std::size_t (*)(const char* at, std::size_t left);
bool convertText(const char* to, const char* from, std::string_view text, const PutBytes& put,
                 CharacterLength lengthOf = nullptr);

}  // namespace common
