#include "layout/sample_units.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "byte_order.h"

namespace glint {
namespace {

constexpr std::uint64_t kLowBits = 0x0101010101010101ULL;
// Gathers bit 0 of each of eight bytes into the top byte (as bit_plane.cpp).
constexpr std::uint64_t kGather = 0x0102040810204080ULL;

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

// Appends bits to words, 64 at a time.
class BitSink {
public:
    explicit BitSink(std::uint64_t* out) : out_(out) {}
    void put(std::uint64_t bits, unsigned count) {
        pending_ |= bits << filled_;
        filled_ += count;
        if (filled_ >= 64) {
            *out_++ = pending_;
            filled_ -= 64;
            pending_ = filled_ == 0 ? 0 : bits >> (count - filled_);
        }
    }

private:
    std::uint64_t* out_;
    std::uint64_t pending_ = 0;
    unsigned filled_ = 0;
};

}  // namespace

SampleUnits::SampleUnits(const SamplePlane& plane, bool allowGrey)
    : plane_(plane), grey_(allowGrey && isGrey(plane)) {
    perRow_ = grey_ ? plane.pixelsPerRow : std::uint64_t{plane.pixelsPerRow} * plane.channels;
    count_ = perRow_ * plane.rows;
}

bool SampleUnits::contiguousBytes() const {
    return !grey_ && plane_.sampleBytes == 1 && plane_.pixelBytes == plane_.channels;
}

unsigned char* SampleUnits::sampleAt(std::uint64_t row, std::uint64_t index) const {
    unsigned char* start = plane_.first + row * plane_.rowBytes;
    if (grey_) return start + index * plane_.pixelBytes;
    if (plane_.channels == 1) return start + index * plane_.pixelBytes;
    return start + (index / 3) * plane_.pixelBytes + (index % 3) * plane_.sampleBytes;
}

bool SampleUnits::bit(std::uint64_t unit) const {
    return (sampleAt(unit / perRow_, unit % perRow_)[plane_.sampleBytes - 1] & 1) != 0;
}

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
}

void SampleUnits::step(std::uint64_t unit, bool up) {
    unsigned char* sample = sampleAt(unit / perRow_, unit % perRow_);
    stepAt(sample, up);
    if (grey_) {
        // The other two samples equal the first: they take its new value.
        std::memcpy(sample + plane_.sampleBytes, sample, plane_.sampleBytes);
        std::memcpy(sample + 2 * plane_.sampleBytes, sample, plane_.sampleBytes);
    }
}

void SampleUnits::gather(std::uint64_t first, std::size_t words, std::uint64_t* out) const {
    BitSink sink(out);
    std::uint64_t left = std::uint64_t{words} * 64;
    std::uint64_t row = first / perRow_;
    std::uint64_t index = first % perRow_;
    const std::size_t lowByte = plane_.sampleBytes - 1;
    while (left > 0) {
        const std::uint64_t run = std::min(left, perRow_ - index);
        std::uint64_t done = 0;
        if (contiguousBytes()) {
            const unsigned char* at = sampleAt(row, index);
            for (; done + 8 <= run; done += 8) {
                sink.put(((readLe64(at + done) & kLowBits) * kGather) >> 56, 8);
            }
        }
        for (; done < run; ++done) sink.put(sampleAt(row, index + done)[lowByte] & 1U, 1);
        left -= run;
        ++row;
        index = 0;
    }
}

void SampleUnits::apply(std::uint64_t first, std::size_t words, const std::uint64_t* changes,
                        const std::uint64_t* directions) {
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t pending = changes[w];
        while (pending != 0) {
            const unsigned b = static_cast<unsigned>(std::countr_zero(pending));
            pending &= pending - 1;
            step(first + 64 * w + b, ((directions[w] >> b) & 1) != 0);
        }
    }
}

}  // namespace glint
