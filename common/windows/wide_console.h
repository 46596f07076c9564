// A Windows console in UTF-16, whatever its own code page: text written to
// it, and what is typed at it handed on as UTF-8 with LF line ends, the form
// of names inside the programs and of lines typed on a POSIX terminal.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace common {

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

}  // namespace common
