#include "common/console_input.h"

#include <cstdio>
#include <streambuf>

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

std::istream& standardInputBytes() {
    useBinaryStandardInput();
    static StandardInputBuffer buffer;
    static std::istream bytes(&buffer);
    return bytes;
}

}  // namespace common
