#include "common/console.h"

#include <cstdio>
#include <iostream>
#include <streambuf>

#include "common/console_input.h"

namespace common {
namespace {

// C's stdin as a stream buffer that reports a read error (a closed or
// unreadable descriptor) the way file streams do, as badbit, so that it is
// never taken for the end of the input. std::cin reports it as the end.
class StandardInputBuffer : public std::streambuf {
protected:
    int_type underflow() override {
        const std::size_t got = std::fread(buffer_, 1, sizeof buffer_, stdin);
        if (got == 0) {
            // The stream turns this into badbit; errno keeps the reason.
            if (std::ferror(stdin) != 0) throw std::ios_base::failure("standard input");
            return traits_type::eof();
        }
        setg(buffer_, buffer_, buffer_ + got);
        return traits_type::to_int_type(buffer_[0]);
    }

private:
    char buffer_[64 << 10];
};

}  // namespace

Console Console::standardOutput(Texts texts) { return Console(std::cout, shownOn(1, texts)); }
Console Console::standardError(Texts texts) { return Console(std::cerr, shownOn(2, texts)); }

void Console::text(const char* gbk) {
    const std::string_view bytes(gbk);
    if (!shown_ || !writeConverted(bytes)) *stream_ << bytes;
}

std::istream& standardInputBytes() {
    useBinaryStandardInput();
    static StandardInputBuffer buffer;
    static std::istream bytes(&buffer);
    return bytes;
}

}  // namespace common
