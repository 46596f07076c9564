#include "sum_lines/list_reader.h"

#include <cerrno>
#include <cstring>

#include "files/file_access.h"

namespace cairn {
namespace {

// Large enough that reading a list costs few system calls.
constexpr std::size_t kListPiece = std::size_t{64} << 10;

}  // namespace

ListReader::ListReader(int descriptor)
    : descriptor_(descriptor), buffer_(new char[kListPiece]), capacity_(kListPiece) {}

bool ListReader::nextLine(std::string_view& line) {
    char* const start = buffer_.get() + begin_;
    const std::size_t buffered = end_ - begin_;
    const void* newline = std::memchr(start + scanned_, '\n', buffered - scanned_);
    std::size_t length = buffered;
    if (newline != nullptr) {
        length = static_cast<std::size_t>(static_cast<const char*>(newline) - start);
    } else if (!ended_ || buffered == 0) {
        scanned_ = buffered;
        return false;
    }
    line = std::string_view(start, length);
    begin_ += newline != nullptr ? length + 1 : length;
    scanned_ = 0;
    return true;
}

void ListReader::fill() {
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == capacity_) {
        // By half again, so that a long line costs little more than itself.
        const std::size_t grown = capacity_ + capacity_ / 2;
        std::unique_ptr<char[]> larger(new char[grown]);
        std::memcpy(larger.get(), buffer_.get(), end_);
        buffer_ = std::move(larger);
        capacity_ = grown;
    }
    const std::int64_t got = files::readSome(descriptor_, reinterpret_cast<unsigned char*>(buffer_.get() + end_),
                                             capacity_ - end_);
    if (got > 0) {
        end_ += static_cast<std::size_t>(got);
    } else {
        ended_ = true;
        if (got < 0) error_ = errno;
    }
}

}  // namespace cairn
