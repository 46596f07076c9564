// The hidden layout: where the bits of an encrypted body lie among a
// picture's units (layout/sample_units.h), and how they are put there.
//
// - Reserved units: the first samples of pixels drawn by a key stream; they
//   carry a few bits each directly (the salt, the length).
// - Blocks: the units of whole 64-unit words, in memory order, in blocks of
//   1024 words (the last one shorter); the units of a last partial word
//   carry nothing but reserved bits.
// - Inside a block, a keyed permutation (layout/block_shuffle.h) gives the
//   layout order. With the code size p, L = 2^p - 1 and W words, the block
//   has A = 64 * floor(W / L) groups: group g is made of the bits at layout
//   positions j * A + g, j < L, and carries p bits, its syndrome
//   XOR{ j + 1 : bit j * A + g is 1 } (a Hamming code). Positions from
//   L * A on belong to no group. A group holding a reserved unit carries
//   nothing (a hole).
// - Hiding changes at most one unit per group: the one at j = syndrome XOR
//   message - 1, by +1 or -1 at random.
// - p is the largest code (at most 10) whose groups hold the body; the
//   blocks are taken in a keyed order, and the first ones, as many as
//   leave room for the body, take p + 1 instead. The body's first part goes
//   to those, the rest to the others, each part in proportion to its room in
//   bits. In a part, the blocks take shares of its groups in proportion to
//   their room; a block's share is p runs of G bits (bit q of its r-th group
//   is share bit q * G + r), and its groups are its first G that are not
//   holes. A part's last group takes its spare bits from the next part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "encryption/hidden_keys.h"
#include "layout/sample_units.h"

namespace glint {

inline constexpr std::size_t kSaltUnits = 128;
inline constexpr std::size_t kLengthUnits = 32;
inline constexpr std::size_t kReservedUnits = kSaltUnits + kLengthUnits;
inline constexpr unsigned kLargestCode = 10;

class HiddenLayout {
public:
    // `allowGrey` false takes every sample as a unit even in a grey picture.
    HiddenLayout(const SamplePlane& plane, bool allowGrey);

    const SampleUnits& units() const { return units_; }
    // The largest body, in bits, that fits beside the reserved units; 0 when
    // the picture is too small for them.
    std::uint64_t roomBits() const;

    // `count` distinct units, none of them in `taken`, at the first sample of
    // pixels drawn from stream `domain`. The picture has room for them.
    std::vector<std::uint64_t> drawReserved(KeyStream& stream, std::uint32_t domain, std::size_t count,
                                            const std::vector<std::uint64_t>& taken) const;
    // Bits of units[first .. first + count), count <= 64, first unit lowest.
    std::uint64_t readReserved(const std::vector<std::uint64_t>& units, std::size_t first, std::size_t count) const;
    void writeReserved(const std::vector<std::uint64_t>& units, std::size_t first, std::uint64_t bits,
                       std::size_t count, KeyStream& changes);

    // Hides bits [0, bits) of `body` (64-bit words, bit i in word i / 64,
    // with two more words beyond, random: the last group's spare bits come
    // from there). The reserved units must already hold their bits. False
    // when the body does not fit or a key stream failed.
    bool embed(const SecretBytes& layoutKey, const SecretBytes& changeKey, const std::vector<std::uint64_t>& reserved,
               const std::uint64_t* body, std::uint64_t bits);
    // The bits embed hid, into `body` (zeroed here, with one word to spare).
    bool extract(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& reserved, std::uint64_t* body,
                 std::uint64_t bits) const;

    // Whether a body of `bits` bits fits beside `reserved`.
    bool fits(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& reserved, std::uint64_t bits) const;

    struct Block {
        std::uint64_t firstWord = 0;
        std::size_t words = 0;
        std::vector<std::uint64_t> reservedSlots;  // layout positions of reserved units
        std::vector<std::uint32_t> holes;          // sorted group numbers
        unsigned code = 0;
        std::uint64_t groups = 0;
        std::uint64_t offset = 0;  // of the block's share in the body
        std::uint64_t end = 0;     // of the part of the body its share belongs to
    };
    struct Plan {
        std::vector<std::uint16_t> sharedOrder;
        std::vector<Block> blocks;
    };

private:
    std::optional<Plan> plan(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& reserved,
                             std::uint64_t bits) const;

    SampleUnits units_;
    std::uint64_t pixels_ = 0;
    std::uint64_t firstSampleStride_ = 1;  // units from one pixel's first sample to the next
};

}  // namespace glint
