// Reading a sums list in large pieces, line by line.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace cairn {

// The lines of a sums list, read from a descriptor in large pieces. A line
// may be of any length and hold any byte but the newline that ends it; the
// last one may lack its newline, also when a read fails after it.
class ListReader {
public:
    explicit ListReader(int descriptor);

    // The next whole line, without its newline, valid until the next call.
    // False when no whole line is buffered: fill() then, unless finished().
    bool nextLine(std::string_view& line);
    bool finished() const { return ended_ && begin_ == end_; }
    // Reads once; the buffer grows for a line longer than it.
    void fill();
    int descriptor() const { return descriptor_; }
    // The system's error number when a read failed; 0 otherwise.
    int error() const { return error_; }

private:
    const int descriptor_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t begin_ = 0;    // the first byte not yet handed out
    std::size_t end_ = 0;      // the end of the bytes read
    std::size_t scanned_ = 0;  // bytes after begin_ known to hold no newline
    bool ended_ = false;
    int error_ = 0;
};

}  // namespace cairn
