#include "layout/plane_bits.h"

#include "common/byte_order.h"
#include "layout/bit_plane.h"

namespace glint {
namespace {

using common::readLe32;
using common::writeLe32;

bool oneRunOfBytes(const SamplePlane& plane) {
    return plane.sampleBytes == 1 && plane.pixelBytes == plane.channels &&
           (plane.rows <= 1 || plane.rowBytes == plane.pixelsPerRow * plane.pixelBytes);
}

// Walks the byte that holds each sample's lowest bit: a 16-bit sample is
// big-endian, so its lowest bit is in its second byte.
class LowByteWalk {
public:
    LowByteWalk(const SamplePlane& plane, std::uint64_t first) : plane_(plane) {
        const std::uint64_t perRow = std::uint64_t{plane.pixelsPerRow} * plane.channels;
        row_ = static_cast<std::size_t>(first / perRow);
        const auto inRow = static_cast<std::size_t>(first % perRow);
        column_ = inRow / plane.channels;
        channel_ = inRow % plane.channels;
    }

    unsigned char& byte() const {
        return plane_.pixel(row_, column_)[channel_ * plane_.sampleBytes + plane_.sampleBytes - 1];
    }

    void next() {
        if (++channel_ < plane_.channels) return;
        channel_ = 0;
        if (++column_ < plane_.pixelsPerRow) return;
        column_ = 0;
        ++row_;
    }

private:
    const SamplePlane& plane_;
    std::size_t row_ = 0, column_ = 0, channel_ = 0;
};

}  // namespace

void embedPlaneBits(const SamplePlane& plane, std::uint64_t first, const unsigned char* message, std::size_t count) {
    if (count == 0) return;
    if (oneRunOfBytes(plane)) {
        embedBits(plane.first + first, message, count);
        return;
    }
    LowByteWalk walk(plane, first);
    for (std::size_t k = 0; k < count; ++k) {
        for (unsigned b = 0; b < 8; ++b, walk.next()) {
            unsigned char& low = walk.byte();
            low = static_cast<unsigned char>((low & 0xFE) | ((message[k] >> b) & 1));
        }
    }
}

void extractPlaneBits(const SamplePlane& plane, std::uint64_t first, unsigned char* message, std::size_t count) {
    if (count == 0) return;
    if (oneRunOfBytes(plane)) {
        extractBits(message, plane.first + first, count);
        return;
    }
    LowByteWalk walk(plane, first);
    for (std::size_t k = 0; k < count; ++k) {
        unsigned value = 0;
        for (unsigned b = 0; b < 8; ++b, walk.next()) value |= (walk.byte() & 1U) << b;
        message[k] = static_cast<unsigned char>(value);
    }
}

void embedPlaneLength(const SamplePlane& plane, std::uint32_t length) {
    unsigned char bytes[4];
    writeLe32(bytes, length);
    embedPlaneBits(plane, 0, bytes, sizeof bytes);
}

std::uint32_t extractPlaneLength(const SamplePlane& plane) {
    unsigned char bytes[4];
    extractPlaneBits(plane, 0, bytes, sizeof bytes);
    return readLe32(bytes);
}

}  // namespace glint
