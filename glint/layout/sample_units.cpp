#include "layout/sample_units.h"

#include <cstring>

#include "layout/byte_order.h"

namespace glint {
namespace {

constexpr std::uint64_t kLowBits = 0x0101010101010101ULL;

bool samplesEqual(const unsigned char* a, const unsigned char* b, std::size_t size) {
    return std::memcmp(a, b, size) == 0;
}

// R = G = B in every pixel of a three-sample picture.
bool isGrey(const SamplePlane& plane) {
    if (plane.channels != 3) return false;
    const std::size_t size = plane.sampleBytes;
    for (std::size_t row = 0; row < plane.rows; ++row) {
        for (std::size_t column = 0; column < plane.pixelsPerRow; ++column) {
            const unsigned char* p = plane.pixel(row, column);
            if (!samplesEqual(p, p + size, size) || !samplesEqual(p, p + 2 * size, size)) return false;
        }
    }
    return true;
}

// Units one after another from a given one, without a division for each.
// It keeps offsets, so that stepping past the last unit forms no pointer.
class UnitCursor {
public:
    UnitCursor(const SamplePlane& plane, bool grey, std::uint64_t perRow, std::uint64_t unit)
        : plane_(plane), perPixel_(grey ? 1 : plane.channels) {
        const std::uint64_t index = unit % perRow;
        column_ = index / perPixel_;
        channel_ = index % perPixel_;
        row_ = unit / perRow * plane.rowBytes;
        pixel_ = row_ + column_ * plane.pixelBytes;
    }
    unsigned char* sample() const { return plane_.first + pixel_ + channel_ * plane_.sampleBytes; }
    void next() {
        if (++channel_ < perPixel_) return;
        channel_ = 0;
        pixel_ += plane_.pixelBytes;
        if (++column_ < plane_.pixelsPerRow) return;
        column_ = 0;
        row_ += plane_.rowBytes;
        pixel_ = row_;
    }

private:
    const SamplePlane& plane_;
    std::size_t perPixel_;
    std::uint64_t row_;     // offset of the row
    std::uint64_t pixel_;   // offset of the pixel
    std::uint64_t column_;
    std::size_t channel_;
};

// The chunk's words from 512 bytes whose bit 0 is each unit's bit: for each
// k, one shift places bit 0 of bytes 64k .. 64k + 63 in the eight words.
void interleave(const unsigned char* bytes, std::uint64_t* out) {
    std::uint64_t words[kChunkWords] = {};
    for (unsigned k = 0; k < 8; ++k) {
        for (unsigned g = 0; g < kChunkWords; ++g) words[g] |= (readLe64(bytes + 64 * k + 8 * g) & kLowBits) << k;
    }
    std::memcpy(out, words, sizeof words);
}

// The reverse: bit 0 of byte 64k + 8g + j of `bytes` is bit 8j + k of word g.
void spread(const std::uint64_t* words, unsigned k, unsigned char* bytes) {
    for (unsigned g = 0; g < kChunkWords; ++g) writeLe64(bytes + 8 * g, (words[g] >> k) & kLowBits);
}

bool anySet(const std::uint64_t* words) {
    std::uint64_t any = 0;
    for (std::size_t g = 0; g < kChunkWords; ++g) any |= words[g];
    return any != 0;
}

// Sixteen bytes, and the same sixteen bytes as two 64-bit words: vector
// types of g++ and clang, which every processor has (as plain code where it
// has no vector unit).
using ByteVector = unsigned char __attribute__((vector_size(16)));
using WordVector = std::uint64_t __attribute__((vector_size(16)));

// Steps the 512 contiguous byte samples of a chunk: each unit whose change
// bit is set goes up when its direction bit is set (or it is 0) and it is not
// 255, down otherwise. For each k, one shift of the words gives the change
// and direction of 64 samples as bytes of 0 or 1: the bits that cross into
// another byte are masked off, so this holds for either byte order.
void stepChunk(unsigned char* at, const std::uint64_t* changes, const std::uint64_t* directions) {
    unsigned char changeBytes[64];
    unsigned char upBytes[64];
    for (unsigned g = 0; g < kChunkWords; ++g) {
        writeLe64(changeBytes + 8 * g, changes[g]);
        writeLe64(upBytes + 8 * g, directions[g]);
    }
    WordVector change[4];
    WordVector up[4];
    std::memcpy(change, changeBytes, sizeof change);
    std::memcpy(up, upBytes, sizeof up);
    const WordVector low = {kLowBits, kLowBits};
    for (unsigned k = 0; k < 8; ++k) {
        for (unsigned q = 0; q < 4; ++q) {
            unsigned char* p = at + 64 * k + 16 * q;
            ByteVector value;
            std::memcpy(&value, p, sizeof value);
            const auto changed = reinterpret_cast<ByteVector>((change[q] >> k) & low);
            const auto upward = reinterpret_cast<ByteVector>((up[q] >> k) & low);
            const ByteVector bottom = reinterpret_cast<ByteVector>(value == 0) & 1;
            const ByteVector top = reinterpret_cast<ByteVector>(value == 255) & 1;
            const ByteVector goesUp = (upward | bottom) & ~top & changed;
            value = value + goesUp - (changed & ~goesUp);
            std::memcpy(p, &value, sizeof value);
        }
    }
}

}  // namespace

std::uint64_t gatheredBit(std::uint64_t unit, std::uint64_t words) {
    const std::uint64_t chunk = unit / kChunkUnits;
    if (kChunkWords * (chunk + 1) > words) return unit;
    const std::uint64_t within = unit % kChunkUnits;
    const std::uint64_t k = within / 64, g = within / 8 % 8, j = within % 8;
    return chunk * kChunkUnits + 64 * g + 8 * j + k;
}

SampleUnits::SampleUnits(const SamplePlane& plane, bool allowGrey)
    : plane_(plane), grey_(allowGrey && isGrey(plane)) {
    perRow_ = grey_ ? plane.pixelsPerRow : std::uint64_t{plane.pixelsPerRow} * plane.channels;
    count_ = perRow_ * plane.rows;
}

unsigned char* SampleUnits::sampleAt(std::uint64_t unit) const {
    return UnitCursor(plane_, grey_, perRow_, unit).sample();
}

bool SampleUnits::bit(std::uint64_t unit) const { return (sampleAt(unit)[plane_.sampleBytes - 1] & 1) != 0; }

void SampleUnits::stepAt(unsigned char* sample, bool up) const {
    const std::size_t size = plane_.sampleBytes;
    unsigned value = sample[size - 1];
    if (size == 2) value |= unsigned{sample[0]} << 8;
    const unsigned largest = size == 2 ? 0xFFFF : 0xFF;
    if (value == 0) up = true;
    if (value == largest) up = false;
    value = up ? value + 1 : value - 1;
    sample[size - 1] = static_cast<unsigned char>(value);
    if (size == 2) sample[0] = static_cast<unsigned char>(value >> 8);
    if (grey_) {
        // The other two samples equal the first: they take its new value.
        std::memcpy(sample + size, sample, size);
        std::memcpy(sample + 2 * size, sample, size);
    }
}

void SampleUnits::step(std::uint64_t unit, bool up) { stepAt(sampleAt(unit), up); }

bool SampleUnits::chunkIsContiguous(std::uint64_t first) const {
    return !grey_ && plane_.sampleBytes == 1 && plane_.pixelBytes == plane_.channels &&
           first % perRow_ + kChunkUnits <= perRow_;
}

void SampleUnits::gatherChunk(std::uint64_t first, std::uint64_t* out) const {
    if (chunkIsContiguous(first)) {
        interleave(sampleAt(first), out);
        return;
    }
    unsigned char bytes[kChunkUnits];
    UnitCursor cursor(plane_, grey_, perRow_, first);
    for (unsigned char& byte : bytes) {
        byte = cursor.sample()[plane_.sampleBytes - 1];
        cursor.next();
    }
    interleave(bytes, out);
}

void SampleUnits::gather(std::uint64_t first, std::size_t words, std::uint64_t* out) const {
    std::size_t w = 0;
    for (; w + kChunkWords <= words; w += kChunkWords) gatherChunk(first + 64 * w, out + w);
    if (w == words) return;
    UnitCursor cursor(plane_, grey_, perRow_, first + 64 * w);
    for (; w < words; ++w) {
        std::uint64_t word = 0;
        for (unsigned i = 0; i < 64; ++i, cursor.next()) {
            word |= std::uint64_t{cursor.sample()[plane_.sampleBytes - 1] & 1U} << i;
        }
        out[w] = word;
    }
}

void SampleUnits::applyChunk(std::uint64_t first, const std::uint64_t* changes, const std::uint64_t* directions) {
    if (!anySet(changes)) return;
    if (chunkIsContiguous(first)) {
        stepChunk(sampleAt(first), changes, directions);
        return;
    }
    unsigned char change[kChunkUnits];
    unsigned char up[kChunkUnits];
    for (unsigned k = 0; k < 8; ++k) {
        spread(changes, k, change + 64 * k);
        spread(directions, k, up + 64 * k);
    }
    UnitCursor cursor(plane_, grey_, perRow_, first);
    for (std::uint64_t i = 0; i < kChunkUnits; ++i, cursor.next()) {
        if (change[i] != 0) stepAt(cursor.sample(), up[i] != 0);
    }
}

void SampleUnits::apply(std::uint64_t first, std::size_t words, const std::uint64_t* changes,
                        const std::uint64_t* directions) {
    std::size_t w = 0;
    for (; w + kChunkWords <= words; w += kChunkWords) applyChunk(first + 64 * w, changes + w, directions + w);
    if (w == words) return;
    UnitCursor cursor(plane_, grey_, perRow_, first + 64 * w);
    for (std::uint64_t i = 0; i < 64 * (words - w); ++i, cursor.next()) {
        if ((changes[w + i / 64] >> (i % 64) & 1) != 0) stepAt(cursor.sample(), (directions[w + i / 64] >> (i % 64) & 1) != 0);
    }
}

}  // namespace glint
