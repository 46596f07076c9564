// A Windows console in UTF-16, whatever its own code page: text written to
// it, and what is typed at it handed on as UTF-8 with LF line ends, the form
// of names inside the programs and of lines typed on a POSIX terminal.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace common {

// Whether `handle` is a console, which takes and gives UTF-16 whatever its
// code page (not a file, a pipe, another device or no handle at all).
bool isConsole(HANDLE handle);

// Writes all of `wide` to `console`; false when it could not.
bool writeToConsole(HANDLE console, std::wstring_view wide);

class TypedConsole {
public:
    explicit TypedConsole(HANDLE console) : console_(console) {}

    enum class Typed { Text, End, Error };
    // The next piece typed, into `text` (possibly empty, when a read held
    // back all it got). End for Ctrl+Z at the start of a line, as everywhere
    // on Windows, and for a read that returns nothing (Ctrl+C); Error when
    // the console cannot be read.
    Typed next(std::string& text);

private:
    HANDLE console_;
    std::wstring held_;  // a surrogate pair's first half or a CR that a read cut off
    bool atLineStart_ = true;
};

// What is typed at a console as a stream of bytes: TypedConsole's pieces
// handed out in reads of any size.
class TypedBytes {
public:
    explicit TypedBytes(HANDLE console) : typed_(console) {}

    // Up to `size` bytes; 0 for Ctrl+Z at the start of a line or a read that
    // returns nothing (after which another read waits for more), -1 when the
    // console cannot be read.
    std::int64_t read(char* buffer, std::size_t size);

private:
    TypedConsole typed_;
    std::string text_;
    std::size_t taken_ = 0;
};

}  // namespace common
