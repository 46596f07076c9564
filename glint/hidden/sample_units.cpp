#include "hidden/sample_units.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "common/byte_order.h"

namespace glint {

using common::readLe64;
using common::writeLe64;
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
    std::uint64_t column() const { return column_; }
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

// The words as sixteen-byte vectors of their little-endian bytes.
void loadWords(const std::uint64_t* words, WordVector* vectors) {
    unsigned char bytes[8 * kChunkWords];
    for (unsigned g = 0; g < kChunkWords; ++g) writeLe64(bytes + 8 * g, words[g]);
    std::memcpy(vectors, bytes, sizeof bytes);
}

void storeWords(const WordVector* vectors, std::uint64_t* words) {
    unsigned char bytes[8 * kChunkWords];
    std::memcpy(bytes, vectors, sizeof bytes);
    for (unsigned g = 0; g < kChunkWords; ++g) words[g] = readLe64(bytes + 8 * g);
}

// Steps the 512 contiguous byte samples of a chunk: each unit whose change
// bit is set goes up when its direction bit is set (or it is 0) and it is not
// 255, down otherwise; but one at 0 or 255, or whose keep bit is set, stays
// and is marked skipped. For each k, one shift of the words gives the bits
// of 64 samples as bytes of 0 or 1 (the bits that cross into another byte are
// masked off, so this holds for either byte order), and one shift back puts
// the skipped ones in place.
void stepChunk(unsigned char* at, const std::uint64_t* changes, const std::uint64_t* directions,
               const std::uint64_t* keep, std::uint64_t* skipped) {
    WordVector change[4], up[4], kept[4];
    WordVector skips[4] = {};
    loadWords(changes, change);
    loadWords(directions, up);
    loadWords(keep, kept);
    const WordVector low = {kLowBits, kLowBits};
    for (unsigned k = 0; k < 8; ++k) {
        for (unsigned q = 0; q < 4; ++q) {
            unsigned char* p = at + 64 * k + 16 * q;
            ByteVector value;
            std::memcpy(&value, p, sizeof value);
            const auto changed = reinterpret_cast<ByteVector>((change[q] >> k) & low);
            const auto upward = reinterpret_cast<ByteVector>((up[q] >> k) & low);
            const auto held = reinterpret_cast<ByteVector>((kept[q] >> k) & low);
            const ByteVector end = (reinterpret_cast<ByteVector>(value == 0) | reinterpret_cast<ByteVector>(value == 255)) & 1;
            const ByteVector skip = changed & (end | held);
            const ByteVector moves = changed & ~skip;
            const ByteVector goesUp = upward & moves;
            value = value + goesUp - (moves & ~goesUp);
            std::memcpy(p, &value, sizeof value);
            skips[q] |= reinterpret_cast<WordVector>(skip) << k;
        }
    }
    storeWords(skips, skipped);
}

}  // namespace

std::uint64_t gatheredBit(std::uint64_t unit, std::uint64_t words) {
    const std::uint64_t chunk = unit / kChunkUnits;
    if (kChunkWords * (chunk + 1) > words) return unit;
    const std::uint64_t within = unit % kChunkUnits;
    const std::uint64_t k = within / 64, g = within / 8 % 8, j = within % 8;
    return chunk * kChunkUnits + 64 * g + 8 * j + k;
}

std::uint64_t unitAtGatheredBit(std::uint64_t bit, std::uint64_t words) {
    const std::uint64_t chunk = bit / kChunkUnits;
    if (kChunkWords * (chunk + 1) > words) return bit;
    const std::uint64_t within = bit % kChunkUnits;
    const std::uint64_t g = within / 64, j = within % 64 / 8, k = within % 8;
    return chunk * kChunkUnits + 64 * k + 8 * g + j;
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

unsigned SampleUnits::value(std::uint64_t unit) const {
    const unsigned char* sample = sampleAt(unit);
    return plane_.sampleBytes == 2 ? unsigned{sample[0]} << 8 | sample[1] : sample[0];
}

bool SampleUnits::atEndAt(const unsigned char* sample) const {
    const unsigned char low = sample[plane_.sampleBytes - 1];
    const unsigned char high = sample[0];
    return (low == 0 && high == 0) || (low == 0xFF && high == 0xFF);
}

bool SampleUnits::atEnd(std::uint64_t unit) const { return atEndAt(sampleAt(unit)); }

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

unsigned char* SampleUnits::pixelOf(std::uint64_t unit, std::uint64_t first, std::uint64_t end,
                                    unsigned& channel) const {
    channel = static_cast<unsigned>(unit % perRow_ % plane_.channels);
    const std::uint64_t pixelUnit = unit - channel;
    if (pixelUnit < first || pixelUnit + plane_.channels > end) return nullptr;
    return sampleAt(unit) - channel;
}

template <typename Visit>
unsigned SampleUnits::forEachNeighbour(std::uint64_t unit, std::uint64_t first, std::uint64_t end,
                                       const unsigned char*& pixel, unsigned& channel, Visit visit) const {
    pixel = nullptr;
    if (grey_ || plane_.channels != 3 || plane_.sampleBytes != 1) return 0;
    unsigned char* own = pixelOf(unit, first, end, channel);
    if (own == nullptr) return 0;
    pixel = own;
    const std::uint64_t pixelUnit = unit - channel;
    const std::uint64_t column = pixelUnit % perRow_;
    unsigned visited = 0;
    for (const int rows : {-1, 0, 1}) {
        for (const int columns : {-1, 0, 1}) {
            if ((rows == 0 && columns == 0) || (columns < 0 && column < 3) || (columns > 0 && column + 3 >= perRow_)) {
                continue;
            }
            const std::int64_t offset = rows * static_cast<std::int64_t>(perRow_) + 3 * columns;
            const std::uint64_t neighbour = pixelUnit + static_cast<std::uint64_t>(offset);
            if (neighbour < first || neighbour >= end || end - neighbour < 3) continue;
            visit(pixel + rows * static_cast<std::ptrdiff_t>(plane_.rowBytes) +
                      columns * static_cast<std::ptrdiff_t>(plane_.pixelBytes),
                  rows == 0 || columns == 0);
            ++visited;
        }
    }
    return visited;
}

int SampleUnits::agreeingStep(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const {
    const unsigned char* pixel = nullptr;
    unsigned channel = 0;
    // How far the channel's difference to each neighbour, doubled, lies from
    // the sum of the other two channels' differences, after +1 and after -1.
    int afterUp = 0;
    int afterDown = 0;
    forEachNeighbour(unit, first, end, pixel, channel, [&](const unsigned char* next, bool) {
        const unsigned other = (channel + 1) % 3;
        const unsigned third = (channel + 2) % 3;
        const int own = 2 * (pixel[channel] - next[channel]);
        const int others = (pixel[other] - next[other]) + (pixel[third] - next[third]);
        afterUp += std::abs(own + 2 - others);
        afterDown += std::abs(own - 2 - others);
    });
    return afterUp < afterDown ? 1 : afterDown < afterUp ? -1 : 0;
}


std::optional<SampleUnits::Surround> SampleUnits::levelSurroundOf(std::uint64_t unit, std::uint64_t first,
                                                                  std::uint64_t end) const {
    const std::uint64_t column = unit % perRow_;
    if (column == 0 || column + 1 == perRow_ || unit < first + perRow_ || unit + perRow_ >= end) return std::nullopt;
    Surround surround{sampleAt(unit), sampleAt(unit - perRow_), 0, 1, true};
    for (const std::uint64_t next : {unit - 1, unit + 1, unit + perRow_}) {
        if (sampleAt(next)[0] != surround.shared[0]) return std::nullopt;
    }
    for (const std::uint64_t corner : {unit - perRow_ - 1, unit - perRow_ + 1, unit + perRow_ - 1, unit + perRow_ + 1}) {
        surround.amongEight =
            surround.amongEight && corner >= first && corner < end && sampleAt(corner)[0] == surround.shared[0];
    }
    return surround;
}

std::optional<SampleUnits::Surround> SampleUnits::surroundOf(std::uint64_t unit, std::uint64_t first,
                                                             std::uint64_t end) const {
    if (plane_.sampleBytes != 1) return std::nullopt;
    if (grey_ || plane_.channels == 1) return levelSurroundOf(unit, first, end);
    Surround surround{nullptr, nullptr, 0, 3, false};
    const unsigned char* corners[4] = {};
    unsigned sides = 0, cornerCount = 0;
    bool same = true;
    forEachNeighbour(unit, first, end, surround.pixel, surround.channel, [&](const unsigned char* next, bool side) {
        if (!side) {
            corners[cornerCount++] = next;
            return;
        }
        ++sides;
        if (surround.shared == nullptr) surround.shared = next;
        same = same && std::memcmp(next, surround.shared, 3) == 0;
    });
    if (sides != 4 || !same) return std::nullopt;
    surround.amongEight = cornerCount == 4 && std::all_of(corners, corners + 4, [&](const unsigned char* corner) {
                              return std::memcmp(corner, surround.shared, 3) == 0;
                          });
    return surround;
}

unsigned SampleUnits::loneSteps(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const {
    const std::optional<Surround> surround = surroundOf(unit, first, end);
    if (!surround) return 0;
    const unsigned char* pixel = surround->pixel;
    const unsigned char* shared = surround->shared;
    const unsigned channel = surround->channel;
    int others = 0;
    for (unsigned k = 0; k < surround->samples; ++k) others += k == channel ? 0 : std::abs(pixel[k] - shared[k]);
    const int level = pixel[channel];
    const auto lonePast = [&](int step) {
        return level + step >= 0 && level + step <= 255 && others + std::abs(level + step - shared[channel]) == 1;
    };
    const unsigned lone = (lonePast(1) ? kLoneUp : 0) | (lonePast(-1) ? kLoneDown : 0);
    return lone != 0 && surround->amongEight ? lone | kLoneAmongEight : lone;
}

unsigned SampleUnits::neighbourLoneSteps(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const {
    const bool levels = grey_ || plane_.channels == 1;
    if (plane_.sampleBytes != 1 || (!levels && plane_.channels != 3)) return 0;
    const unsigned samples = levels ? 1 : 3;
    const std::uint64_t perPixel = perRow_ / plane_.pixelsPerRow;
    const auto channel = static_cast<unsigned>(unit % perRow_ % perPixel);
    const std::uint64_t own = unit - channel;
    const auto row = static_cast<std::int64_t>(own / perRow_);
    const auto column = static_cast<std::int64_t>(own % perRow_ / perPixel);
    const unsigned char* pixel = sampleAt(own);
    // The pixel `rows` and `columns` away, when it lies in the picture and
    // wholly in [first, end); else null.
    const auto near = [&](std::int64_t rows, std::int64_t columns) -> const unsigned char* {
        const std::int64_t r = row + rows, c = column + columns;
        if (r < 0 || c < 0 || static_cast<std::uint64_t>(r) >= plane_.rows ||
            static_cast<std::uint64_t>(c) >= plane_.pixelsPerRow) {
            return nullptr;
        }
        const std::uint64_t at = static_cast<std::uint64_t>(r) * perRow_ + static_cast<std::uint64_t>(c) * perPixel;
        if (at < first || at >= end || end - at < perPixel) return nullptr;
        return pixel + rows * static_cast<std::ptrdiff_t>(plane_.rowBytes) +
               columns * static_cast<std::ptrdiff_t>(plane_.pixelBytes);
    };
    const auto offBy = [&](const unsigned char* a, const unsigned char* b) {
        int off = 0;
        for (unsigned k = 0; k < samples; ++k) off += std::abs(a[k] - b[k]);
        return off;
    };
    if (near(0, 0) == nullptr) return 0;
    unsigned lone = 0;
    constexpr int kSides[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& side : kSides) {
        // The pixel beside, and its three sides other than the unit's pixel:
        // the one beyond first, as most pixels are not one off it.
        const unsigned char* beyond = near(2 * side[0], 2 * side[1]);
        if (beyond == nullptr || offBy(pixel, beyond) != 1 || beyond[channel] == pixel[channel]) continue;
        const unsigned char* beside = near(side[0], side[1]);
        const unsigned char* left = near(side[0] + side[1], side[1] + side[0]);
        const unsigned char* right = near(side[0] - side[1], side[1] - side[0]);
        if (beside == nullptr || left == nullptr || right == nullptr) continue;
        if (offBy(left, beyond) != 0 || offBy(right, beyond) != 0 || offBy(beside, beyond) != 1) continue;
        lone |= beyond[channel] > pixel[channel] ? kLoneUp : kLoneDown;
    }
    return lone;
}

bool SampleUnits::isLone(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const {
    const std::optional<Surround> surround = surroundOf(unit, first, end);
    if (!surround) return false;
    int off = 0;
    for (unsigned k = 0; k < surround->samples; ++k) off += std::abs(surround->pixel[k] - surround->shared[k]);
    return off == 1;
}

bool SampleUnits::textures(std::uint64_t first, std::size_t count, std::uint64_t rangeFirst, std::uint64_t rangeEnd,
                           std::uint16_t* out) const {
    if (plane_.sampleBytes != 1) return false;
    const std::uint64_t perPixel = grey_ ? 1 : plane_.channels;
    const auto rowUnits = static_cast<std::int64_t>(perRow_);
    const auto rowBytes = static_cast<std::ptrdiff_t>(plane_.rowBytes);
    const auto pixelBytes = static_cast<std::ptrdiff_t>(plane_.pixelBytes);
    const std::ptrdiff_t around[8] = {-rowBytes - pixelBytes, -rowBytes, -rowBytes + pixelBytes, -pixelBytes,
                                      pixelBytes,             rowBytes - pixelBytes, rowBytes, rowBytes + pixelBytes};
    // Units whose eight neighbours all lie in range, away from the rows at
    // its ends.
    const std::uint64_t reach = perRow_ + perPixel;
    UnitCursor cursor(plane_, grey_, perRow_, first);
    for (std::size_t i = 0; i < count; ++i, cursor.next()) {
        const std::uint64_t unit = first + i;
        const std::uint64_t column = cursor.column();
        const unsigned char* sample = cursor.sample();
        const int level = sample[0];
        unsigned texture = 0, sidesEqual = 0;
        bool nearLone = false;
        if (column > 0 && column + 1 < plane_.pixelsPerRow && unit >= rangeFirst + reach && unit + reach < rangeEnd) {
            for (unsigned k = 0; k < 8; ++k) {
                const int difference = sample[around[k]] - level;
                texture += static_cast<unsigned>(std::abs(difference));
                sidesEqual += (k == 1 || k == 3 || k == 4 || k == 6) && difference == 0 ? 1 : 0;  // the four beside
            }
            // Two corners on one side (above, left, right, below) alike and
            // one off the unit.
            constexpr unsigned kCornerPairs[4][2] = {{0, 2}, {0, 5}, {2, 7}, {5, 7}};
            for (const auto& pair : kCornerPairs) {
                const int a = sample[around[pair[0]]];
                nearLone = nearLone || (a == sample[around[pair[1]]] && std::abs(a - level) == 1);
            }
        } else {
            unsigned sum = 0, neighbours = 0;
            for (const int rows : {-1, 0, 1}) {
                for (const int columns : {-1, 0, 1}) {
                    if ((rows == 0 && columns == 0) || (columns < 0 && column == 0) ||
                        (columns > 0 && column + 1 == plane_.pixelsPerRow)) {
                        continue;
                    }
                    const std::int64_t offset = rows * rowUnits + columns * static_cast<std::int64_t>(perPixel);
                    const std::uint64_t neighbour = unit + static_cast<std::uint64_t>(offset);
                    if (neighbour < rangeFirst || neighbour >= rangeEnd) continue;
                    const int difference = sample[rows * rowBytes + columns * pixelBytes] - level;
                    sum += static_cast<unsigned>(std::abs(difference));
                    sidesEqual += (rows == 0 || columns == 0) && difference == 0 ? 1 : 0;
                    ++neighbours;
                }
            }
            texture = neighbours == 0 ? 0 : 8 * sum / neighbours;
            nearLone = true;
        }
        out[i] = static_cast<std::uint16_t>(texture | (sidesEqual == 4 ? kSidesEqual : 0) |
                                            (level == 0 || level == 255 ? kAtEnd : 0) | (nearLone ? kNearLone : 0));
    }
    return true;
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

void SampleUnits::applyChunk(std::uint64_t first, const std::uint64_t* changes, const std::uint64_t* directions,
                             const std::uint64_t* keep, std::uint64_t* skipped) {
    std::fill(skipped, skipped + kChunkWords, 0);
    if (!anySet(changes)) return;
    if (chunkIsContiguous(first)) {
        stepChunk(sampleAt(first), changes, directions, keep, skipped);
        return;
    }
    unsigned char change[kChunkUnits];
    unsigned char up[kChunkUnits];
    unsigned char held[kChunkUnits];
    for (unsigned k = 0; k < 8; ++k) {
        spread(changes, k, change + 64 * k);
        spread(directions, k, up + 64 * k);
        spread(keep, k, held + 64 * k);
    }
    UnitCursor cursor(plane_, grey_, perRow_, first);
    for (std::uint64_t i = 0; i < kChunkUnits; ++i, cursor.next()) {
        if (change[i] == 0) continue;
        if (held[i] != 0 || atEndAt(cursor.sample())) {
            const std::uint64_t at = gatheredBit(i, kChunkWords);
            skipped[at / 64] |= std::uint64_t{1} << (at % 64);
        } else {
            stepAt(cursor.sample(), up[i] != 0);
        }
    }
}

void SampleUnits::apply(std::uint64_t first, std::size_t words, const std::uint64_t* changes,
                        const std::uint64_t* directions, const std::uint64_t* keep, std::uint64_t* skipped) {
    std::size_t w = 0;
    for (; w + kChunkWords <= words; w += kChunkWords) {
        applyChunk(first + 64 * w, changes + w, directions + w, keep + w, skipped + w);
    }
    if (w == words) return;
    std::fill(skipped + w, skipped + words, 0);
    UnitCursor cursor(plane_, grey_, perRow_, first + 64 * w);
    for (std::uint64_t i = 64 * w; i < 64 * words; ++i, cursor.next()) {
        const std::uint64_t bit = std::uint64_t{1} << (i % 64);
        if ((changes[i / 64] & bit) == 0) continue;
        if ((keep[i / 64] & bit) != 0 || atEndAt(cursor.sample())) {
            skipped[i / 64] |= bit;
        } else {
            stepAt(cursor.sample(), (directions[i / 64] & bit) != 0);
        }
    }
}

}  // namespace glint
