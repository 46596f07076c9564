// The conversions at the edges of the Windows program. Inside it, names are
// UTF-8, which holds every name the file system can have; the system takes
// UTF-16, and pipes and files get the ANSI code page's bytes. UTF-8 is
// converted here, not by the system, whose flags for it differ (also when
// UTF-8 is the ANSI code page, 65001); the ANSI conversions use only flags
// Microsoft documents for every ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace common {

// RFC 3629: the code point of the sequence at `at`, which moves past it;
// nothing for a byte that starts no valid sequence (overlong, a surrogate,
// beyond U+10FFFF, cut short), which `at` moves past alone.
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& at);

// UTF-8 of UTF-16 text. A lone surrogate, which UTF-8 cannot hold, becomes
// '?', which no file name contains, and clears `lossless`.
std::string utf8FromWide(std::wstring_view wide, bool* lossless = nullptr);

// UTF-16 of UTF-8 text; a byte that starts no valid sequence becomes U+FFFD
// and clears `valid`.
std::wstring wideFromUtf8(std::string_view utf8, bool* valid = nullptr);

// UTF-16 of bytes in the ANSI code page; `valid` is cleared when they are
// not all characters there, and the text then names nothing.
std::wstring wideFromAnsi(std::string_view ansi, bool* valid = nullptr);

// The ANSI code page's bytes, never a look-alike (no best fit): a character
// the code page cannot hold becomes '?' and clears `lossless`.
std::string ansiFromWide(std::wstring_view wide, bool* lossless = nullptr);

// UTF-8 text for a reader that is not a console (a pipe, a file): in the
// ANSI code page as ansiFromWide gives it, or, with `keepEveryCharacter`
// where the code page lacks one of its characters, the UTF-8 as it is, so
// that a name written can be read back.
std::string bytesForReader(std::string_view utf8, bool keepEveryCharacter);

// The name as the file system is given it: one whose full path has MAX_PATH
// characters or more gets that path, normalised, after \\?\, which lifts
// the limit also where the system's long-path setting is off.
std::wstring fileSystemName(const std::wstring& name);

// The system's name (fileSystemName) of a name as the program holds it, in
// UTF-8; nothing for bytes that are not UTF-8, which name no file.
std::optional<std::wstring> systemNameOf(std::string_view name);

// Whether a name is in the form \\?\ that fileSystemName gives long paths.
bool isExtendedLengthPath(std::wstring_view name);

// The first half of a surrogate pair, which UTF-16 text must not be cut after.
bool isHighSurrogate(char32_t unit);

// Where the piece of `wide` that starts at `at` ends: at most `most` units
// on, and never between the two halves of a surrogate pair.
std::size_t pieceEnd(std::wstring_view wide, std::size_t at, std::size_t most);

}  // namespace common
