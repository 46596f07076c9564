#include "layout/sample_units.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "layout/bit_words.h"
#include "layout/byte_order.h"

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
    bool aligned() const { return filled_ == 0; }
    // A whole word when aligned().
    void putWord(std::uint64_t word) { *out_++ = word; }
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

// spread[v] has bit b of v in bit 0 of byte b.
constexpr std::array<std::uint64_t, 256> makeSpreadTable() {
    std::array<std::uint64_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        for (unsigned b = 0; b < 8; ++b) table[v] |= std::uint64_t{(v >> b) & 1U} << (8 * b);
    }
    return table;
}

constexpr std::array<std::uint64_t, 256> kSpread = makeSpreadTable();

// Bit 0 set in each byte of `word` that is 0.
std::uint64_t zeroBytes(std::uint64_t word) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    return (~(((word & kLow7) + kLow7) | word | kLow7) >> 7) & kLowBits;
}

// Eight byte samples at `at`: those whose bit is set in `changed` move up
// (bit set in `up`, or at 0) or down (or at 255). No byte that goes up is
// 255 and none that goes down is 0, so no carry or borrow crosses a byte.
void stepEight(unsigned char* at, std::uint64_t changed, std::uint64_t up) {
    const std::uint64_t word = readLe64(at);
    const std::uint64_t change = kSpread[changed];
    const std::uint64_t rise = ((kSpread[up] | zeroBytes(word)) & ~zeroBytes(~word)) & change;
    writeLe64(at, word + rise - (change & ~rise));
}

// stepEight for 64 samples, in a form the compiler turns into vector code:
// the bits spread to one byte each, then a plain loop over the bytes.
void stepSixtyFour(unsigned char* at, std::uint64_t changed, std::uint64_t up) {
    unsigned char change[64];
    unsigned char rise[64];
    for (unsigned k = 0; k < 8; ++k) {
        writeLe64(change + 8 * k, kSpread[changed >> (8 * k) & 0xFF]);
        writeLe64(rise + 8 * k, kSpread[up >> (8 * k) & 0xFF]);
    }
    for (unsigned k = 0; k < 64; ++k) {
        const unsigned char value = at[k];
        const unsigned char bottom = value == 0 ? 1 : 0;
        const unsigned char top = value == 255 ? 1 : 0;
        const unsigned char goesUp = static_cast<unsigned char>((rise[k] | bottom) & ~top & change[k]);
        const unsigned char goesDown = static_cast<unsigned char>(change[k] & ~goesUp);
        at[k] = static_cast<unsigned char>(value + goesUp - goesDown);
    }
}

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

template <typename Segment>
void SampleUnits::forEachRowRun(std::uint64_t first, std::uint64_t count, Segment segment) const {
    std::uint64_t row = first / perRow_;
    std::uint64_t index = first % perRow_;
    for (std::uint64_t done = 0; done < count; ++row, index = 0) {
        const std::uint64_t run = std::min(count - done, perRow_ - index);
        segment(row, index, done, run);
        done += run;
    }
}

void SampleUnits::gather(std::uint64_t first, std::size_t words, std::uint64_t* out) const {
    BitSink sink(out);
    const std::size_t lowByte = plane_.sampleBytes - 1;
    const bool contiguous = contiguousBytes();
    forEachRowRun(first, std::uint64_t{words} * 64, [&](std::uint64_t row, std::uint64_t index, std::uint64_t,
                                                       std::uint64_t run) {
        std::uint64_t done = 0;
        if (contiguous) {
            const unsigned char* at = sampleAt(row, index);
            for (; done + 64 <= run; done += 64) {
                std::uint64_t word = 0;
                for (unsigned k = 0; k < 8; ++k) {
                    word |= (((readLe64(at + done + 8 * k) & kLowBits) * kGather) >> 56) << (8 * k);
                }
                if (sink.aligned()) {
                    sink.putWord(word);
                } else {
                    sink.put(word, 64);
                }
            }
            for (; done + 8 <= run; done += 8) sink.put(((readLe64(at + done) & kLowBits) * kGather) >> 56, 8);
        }
        for (; done < run; ++done) sink.put(sampleAt(row, index + done)[lowByte] & 1U, 1);
    });
}

void SampleUnits::apply(std::uint64_t first, std::size_t words, const std::uint64_t* changes,
                        const std::uint64_t* directions) {
    const bool contiguous = contiguousBytes();
    forEachRowRun(first, std::uint64_t{words} * 64, [&](std::uint64_t row, std::uint64_t index, std::uint64_t bit,
                                                       std::uint64_t run) {
        std::uint64_t done = 0;
        if (contiguous) {
            unsigned char* at = sampleAt(row, index);
            for (; done + 64 <= run; done += 64) {
                const std::uint64_t changed = readBits(changes, bit + done, 64);
                if (changed != 0) stepSixtyFour(at + done, changed, readBits(directions, bit + done, 64));
            }
            for (; done + 8 <= run; done += 8) {
                const std::uint64_t changed = readBits(changes, bit + done, 8);
                if (changed != 0) stepEight(at + done, changed, readBits(directions, bit + done, 8));
            }
        }
        for (; done < run; ++done) {
            if ((readBits(changes, bit + done, 1)) != 0) {
                const bool up = readBits(directions, bit + done, 1) != 0;
                unsigned char* sample = sampleAt(row, index + done);
                stepAt(sample, up);
                if (grey_) {
                    std::memcpy(sample + plane_.sampleBytes, sample, plane_.sampleBytes);
                    std::memcpy(sample + 2 * plane_.sampleBytes, sample, plane_.sampleBytes);
                }
            }
        }
    });
}

}  // namespace glint
