#include "layout/bit_plane.h"

#include <array>

#include "common/byte_order.h"

namespace glint {
namespace {

using common::readLe32;
using common::readLe64;
using common::writeLe32;
using common::writeLe64;

// Bit 0 of each of the eight bytes of a little-endian word.
constexpr std::uint64_t kLowBits = 0x0101010101010101ULL;

// spread[v] has bit b of v in bit 0 of byte b, so one OR places a whole
// message byte into eight carrier bytes.
constexpr std::array<std::uint64_t, 256> makeSpreadTable() {
    std::array<std::uint64_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        for (unsigned b = 0; b < 8; ++b) {
            table[v] |= std::uint64_t{(v >> b) & 1U} << (8 * b);
        }
    }
    return table;
}

constexpr std::array<std::uint64_t, 256> kSpread = makeSpreadTable();

// Multiplying the masked word by this constant moves the bit of byte b
// (word bit 8b) to word bit 56 + b; no two partial products share a bit,
// so nothing carries and the top byte is the gathered message byte.
constexpr std::uint64_t kGather = 0x0102040810204080ULL;

}  // namespace

void embedBits(unsigned char* carrier, const unsigned char* message, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        unsigned char* word = carrier + 8 * k;
        writeLe64(word, (readLe64(word) & ~kLowBits) | kSpread[message[k]]);
    }
}

void extractBits(unsigned char* message, const unsigned char* carrier, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        std::uint64_t bits = readLe64(carrier + 8 * k) & kLowBits;
        message[k] = static_cast<unsigned char>((bits * kGather) >> 56);
    }
}

void embedLength(unsigned char* carrier, std::uint32_t length) {
    unsigned char bytes[4];
    writeLe32(bytes, length);
    embedBits(carrier, bytes, sizeof bytes);
}

std::uint32_t extractLength(const unsigned char* carrier) {
    unsigned char bytes[4];
    extractBits(bytes, carrier, sizeof bytes);
    return readLe32(bytes);
}

}  // namespace glint
