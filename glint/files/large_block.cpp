#include "files/large_block.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace glint {
namespace {

// The first piece read from a pipe; each further one doubles the block.
constexpr std::size_t kFirstPipePiece = std::size_t{64} << 10;

// One stream read moves at most this much: on Windows a read of more than
// INT_MAX bytes fails.
constexpr std::size_t kLargestRead = std::size_t{1} << 30;

}  // namespace

std::unique_ptr<unsigned char[]> allocateBlock(std::size_t size) {
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[size]);
    if (block) adviseHugePages(block.get(), size);
    return block;
}

std::optional<std::uint64_t> remainingBytes(std::istream& in) {
    const std::istream::pos_type start = in.tellg();
    if (start == std::istream::pos_type(-1) || !in.seekg(0, std::ios::end)) {
        in.clear();
        return std::nullopt;
    }
    const std::istream::pos_type end = in.tellg();
    in.seekg(start);
    if (end == std::istream::pos_type(-1) || end < start || !in) return std::nullopt;
    return static_cast<std::uint64_t>(end - start);
}

ReadBlock readUpTo(std::istream& in, std::size_t limit, const unsigned char* start, std::size_t startSize) {
    const std::optional<std::uint64_t> known = remainingBytes(in);
    limit = std::min(limit, std::numeric_limits<std::size_t>::max() - startSize);
    // Counted from the block's start: the bytes read before, then the stream's.
    const std::size_t end = startSize + limit;
    std::size_t capacity = startSize + static_cast<std::size_t>(std::min<std::uint64_t>(limit, known ? *known : kFirstPipePiece));
    ReadBlock block{allocateBlock(capacity), startSize, false};
    if (block.bytes && startSize != 0) std::memcpy(block.bytes.get(), start, startSize);
    while (block.bytes) {
        const std::size_t wanted = std::min(capacity - block.size, kLargestRead);
        in.read(reinterpret_cast<char*>(block.bytes.get() + block.size), static_cast<std::streamsize>(wanted));
        const auto got = static_cast<std::size_t>(in.gcount());
        block.size += got;
        if (got < wanted) break;  // the end, or a failed read
        if (block.size < capacity) continue;
        // Stop once as much as was asked for has arrived, or at the end.
        if (block.size == end || in.peek() == std::istream::traits_type::eof()) break;
        capacity = std::min(end, std::max(2 * capacity, startSize + kFirstPipePiece));
        std::unique_ptr<unsigned char[]> grown = allocateBlock(capacity);
        if (grown) std::memcpy(grown.get(), block.bytes.get(), block.size);
        block.bytes = std::move(grown);
    }
    block.readFailed = in.bad();
    return block;
}

}  // namespace glint
