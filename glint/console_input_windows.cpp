#include <windows.h>

#include <iostream>
#include <string>

#include "console.h"

namespace glint {

namespace {

// Typed lines read from the console as UTF-16 and handed on in the ANSI code
// page, so that a typed name opens the file of that name whatever the
// console's own code page. A character the ANSI code page cannot hold
// becomes '?', which no file name contains. Ctrl+Z at the start of a line,
// and a read that returns nothing (Ctrl+C), end the input.
class ConsoleLines : public std::streambuf {
public:
    explicit ConsoleLines(HANDLE console) : console_(console) {}

protected:
    int_type underflow() override {
        if (gptr() == egptr() && !readLine()) return traits_type::eof();
        return traits_type::to_int_type(*gptr());
    }

private:
    bool readLine() {
        wchar_t typed[1024];
        DWORD count = 0;
        if (ended_ || !::ReadConsoleW(console_, typed, 1024, &count, nullptr) || count == 0 ||
            (atLineStart_ && typed[0] == L'\x1a')) {
            ended_ = true;
            return false;
        }
        std::wstring wide(typed, count);
        atLineStart_ = wide.back() == L'\n';
        if (wide.size() >= 2 && wide.compare(wide.size() - 2, 2, L"\r\n") == 0) wide.erase(wide.size() - 2, 1);
        const int length = static_cast<int>(wide.size());
        const int needed = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, nullptr);
        line_.assign(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
        if (needed > 0) ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, line_.data(), needed, nullptr, nullptr);
        if (line_.empty()) {
            ended_ = true;
            return false;
        }
        setg(line_.data(), line_.data(), line_.data() + line_.size());
        return true;
    }

    HANDLE console_;
    std::string line_;
    bool atLineStart_ = true;
    bool ended_ = false;
};

}  // namespace

std::istream& standardInput() {
    HANDLE handle = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !::GetConsoleMode(handle, &mode)) return std::cin;
    static ConsoleLines lines(handle);
    static std::istream typed(&lines);
    typed.tie(&std::cout);
    return typed;
}

}  // namespace glint
