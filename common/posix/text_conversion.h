// The locale's character set and conversions between character sets, the
// one place the POSIX side calls iconv.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace common {

// The character set of the locale's LC_CTYPE, which the platform's entry
// point takes from the environment (the C locale where that fails).
std::string localeCodeset();

// The character set of what a terminal shows and sends: the locale's, except
// in the C and POSIX locales, which glibc names after ASCII: a terminal there
// is taken to be UTF-8, as nearly every terminal is.
std::string terminalCodeset();

// The name of a character set reduced to its letters and digits, in upper
// case: "gb18030" and "GB-18030" are one set.
std::string canonicalCodeset(std::string_view codeset);

bool isUtf8(std::string_view codeset);

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
