#include <algorithm>

#include "files/file_output_in_place.h"

namespace glint {

std::uint64_t totalSize(Pieces pieces) {
    std::uint64_t size = 0;
    for (const ByteRange& piece : pieces) size += piece.size;
    return size;
}

std::error_code forEachRun(Pieces pieces, std::uint64_t from, std::uint64_t to, const RunWriter& writeRun) {
    std::uint64_t start = 0;  // of the piece within the whole
    for (const ByteRange& piece : pieces) {
        const std::uint64_t end = start + piece.size;
        const std::uint64_t first = std::clamp(from, start, end);
        const std::uint64_t last = std::clamp(to, start, end);
        if (last > first) {
            if (std::error_code failed = writeRun(piece.bytes + (first - start), static_cast<std::size_t>(last - first))) {
                return failed;
            }
        }
        start = end;
    }
    return {};
}

std::error_code overwriteKeepingOldContents(const InPlaceFile& file, std::uint64_t oldSize, std::uint64_t length) {
    if (length > oldSize) {
        if (std::error_code failed = file.writeRange(oldSize, length)) {
            file.cutTo(oldSize);
            return failed;
        }
    }
    if (std::error_code failed = file.writeRange(0, std::min(oldSize, length))) return failed;
    return file.cutTo(length);
}

}  // namespace glint
