#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "common/console_input.h"
#include "common/windows/wide_console.h"
#include "common/windows/wide_names.h"

namespace common {

namespace {

// Typed lines from the console, as UTF-8. Ctrl+Z at the start of a line,
// and a read that returns nothing (Ctrl+C), end the input; nothing else does.
class ConsoleLines : public std::streambuf {
public:
    explicit ConsoleLines(HANDLE console) : typed_(console) {}

protected:
    int_type underflow() override {
        if (gptr() == egptr()) {
            const std::int64_t got = ended_ ? 0 : typed_.read(buffer_, sizeof buffer_);
            if (got <= 0) {
                ended_ = true;
                return traits_type::eof();
            }
            setg(buffer_, buffer_, buffer_ + got);
        }
        return traits_type::to_int_type(*gptr());
    }

private:
    TypedBytes typed_;
    char buffer_[4096];
    bool ended_ = false;
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Each word converted on its own, so that bytes that are no character in the
// ANSI code page spoil only their word, which becomes "?" and names no file.
std::string utf8FromAnsiWords(std::string_view line) {
    std::string text;
    for (std::size_t at = 0; at < line.size();) {
        std::size_t end = at;
        while (end < line.size() && isSpace(line[end]) == isSpace(line[at])) ++end;
        const std::string_view piece = line.substr(at, end - at);
        bool valid = true;
        const std::wstring wide = wideFromAnsi(piece, &valid);
        text += valid ? utf8FromWide(wide) : std::string("?");
        at = end;
    }
    return text;
}

// Names piped in are bytes in the ANSI code page, as the programs' pipes
// carry them (GBK on a Chinese system); they are handed on line by line as
// UTF-8. A line end is one byte that no code page uses within a character.
class AnsiLines : public std::streambuf {
public:
    explicit AnsiLines(std::istream& source) : source_(source) {}

protected:
    int_type underflow() override {
        if (gptr() == egptr()) {
            std::string bytes;
            if (!std::getline(source_, bytes)) return traits_type::eof();
            line_ = utf8FromAnsiWords(bytes);
            if (!source_.eof()) line_ += '\n';
            setg(line_.data(), line_.data(), line_.data() + line_.size());
        }
        return traits_type::to_int_type(*gptr());
    }

private:
    std::istream& source_;
    std::string line_;
};

}  // namespace

std::istream& standardInput() {
    const HANDLE handle = ::GetStdHandle(STD_INPUT_HANDLE);
    if (!isConsole(handle)) {
        static AnsiLines lines(std::cin);
        static std::istream piped(&lines);
        piped.tie(&std::cout);
        return piped;
    }
    static ConsoleLines lines(handle);
    static std::istream typed(&lines);
    typed.tie(&std::cout);
    return typed;
}

void useBinaryStandardInput() { ::_setmode(::_fileno(stdin), _O_BINARY); }

}  // namespace common
