// Byte blocks for whole images and payloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>

namespace glint {

// An uninitialised block of `size` bytes, for contents that are about to be
// read or computed in full: zero-filling would touch every page twice. Large
// blocks ask the system for huge pages, which cuts the page faults of filling
// a 256 MiB image by a factor of 512. Null when memory runs out.
std::unique_ptr<unsigned char[]> allocateBlock(std::size_t size);

// The platform's part: asks for huge pages for the whole ones inside the
// block, where the system has them.
void adviseHugePages(unsigned char* block, std::size_t size);

// The bytes from the read position to the end, when the stream can seek;
// nothing for a pipe, whose length is known only once it has ended.
std::optional<std::uint64_t> remainingBytes(std::istream& in);

struct ReadBlock {
    std::unique_ptr<unsigned char[]> bytes;  // null when memory ran out
    std::size_t size = 0;
    bool readFailed = false;
};

// Reads up to `limit` bytes. A file that can seek gets a block of its own
// length; from a pipe the block grows only as bytes arrive, so a claimed
// length is never allocated before the bytes are there. The block starts
// with the `startSize` bytes at `start`, read before from the same stream.
ReadBlock readUpTo(std::istream& in, std::size_t limit, const unsigned char* start = nullptr, std::size_t startSize = 0);

}  // namespace glint
