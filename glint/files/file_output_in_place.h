// What the output files of every platform share: the pieces of a file's new
// contents, and the order in which a file is written in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <system_error>

#include "files/file_output.h"

namespace glint {

using Pieces = std::initializer_list<ByteRange>;

std::uint64_t totalSize(Pieces pieces);

// Hands the bytes [from, to) of the pieces laid end to end to `writeRun`, one
// run of contiguous bytes at a time, in order; stops at the first failure.
using RunWriter = std::function<std::error_code(const unsigned char* bytes, std::size_t size)>;
std::error_code forEachRun(Pieces pieces, std::uint64_t from, std::uint64_t to, const RunWriter& writeRun);

// A file being written in place, as its platform reaches it.
struct InPlaceFile {
    // Writes the new contents' bytes [from, to) at offset `from`.
    std::function<std::error_code(std::uint64_t from, std::uint64_t to)> writeRange;
    std::function<std::error_code(std::uint64_t length)> cutTo;
};

// Writes a file of `oldSize` bytes over with `length` new ones so that a full
// disk or quota keeps the old contents, even where no room can be reserved:
// the part beyond the old end first, cut off again if it does not fit; then
// from the start; then cut to the new length, never truncated first.
std::error_code overwriteKeepingOldContents(const InPlaceFile& file, std::uint64_t oldSize, std::uint64_t length);

}  // namespace glint
