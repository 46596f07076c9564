// The hidden layout: where the bits of an encrypted body lie among a
// picture's units (hidden/sample_units.h), and how they are put there.
//
// - Anchors: the first samples of 256 pixels spread evenly over the picture,
//   which never change, so that what they hold tells the picture apart.
// - Reserved units: the first samples of pixels drawn by a key stream, 12
//   for each reserved bit (the seed, the length; 3 in a picture of fewer
//   than 4,352 whole-word pixels), whose bits carry them by the trellis
//   (coding/trellis_code.h), 64 bits or fewer to a trellis.
// - Blocks: the units of whole 64-unit words, in memory order, in blocks of
//   1024 words (the last one shorter); the units of a last partial word
//   carry nothing.
// - Inside a block, a keyed permutation (hidden/block_shuffle.h) gives the
//   layout order.
// - Up to half the room, the trellis (coding/trellis_code.h): the blocks,
//   in m spans of up to 8 (span k holds blocks k, k + m, k + 2m, ...),
//   carry consecutive shares of the body, each the syndrome of a trellis
//   over one n-th of its span's units: the trellis of the span's t-th
//   block, of n, takes from each block c in turn the slot
//   n * r + (t - c) mod n of its layout order, round r after round, the
//   kept ones left out; the shares are in proportion to the units the
//   trellises take. So a mostly flat block's share is carried where the
//   picture is busy. The hide chooses which units change by what a change
//   costs: much where the samples around are flat, and several times more
//   where every step would leave a lone pixel (one off the colour the four
//   beside it share), where a step can only go one way, or only to a colour
//   a picture of few colours lacks; little among busy samples. Where that
//   would change more than 0.245 units per bit of the payload, the seal's,
//   the seed's and the length's changes included (0.375 per bit of the
//   body beyond about a quarter of the room),
//   the costs are evened out and the trellis run again. In 8-bit pictures
//   of one or three channels each change then steps away from a lone pixel
//   where one way leaves one, else towards a colour held in a picture of
//   few colours (hidden/colour_set.h), else, up to a quarter of the room in
//   a colour picture, the way that keeps the sample in step with its
//   pixel's other two (SampleUnits::agreeingStep),
//   else +1 or -1 at random (0 and the largest value one way only).
// - Beyond half the room, Hamming codes: with the code size p, L = 2^p - 1
//   and W words, a block's layout words are cut into one or two segments;
//   a segment has A = 64 * floor(W / L) groups: group g is made of the bits
//   at positions j * A + g, j < L, and carries p bits, its syndrome
//   XOR{ j + 1 : bit j * A + g is 1 }. Positions from L * A on belong to no
//   group. A group that holds (L + 1) / 2 anchors or reserved units or more
//   carries nothing (a hole). Hiding changes one unit of a group, the one at
//   j = syndrome XOR message - 1, by +1 or -1 at random; where that unit is
//   kept, or at 0 or its largest value, two others whose rows XOR to the
//   same syndrome change instead, when the group has such a pair.
//   p is the largest code (at most 2, as 3 holds 3/7) whose groups hold the body; the
//   blocks are taken in a keyed order, and the first ones, as many as leave
//   room for the body, take p + 1 instead, the last of them for the first
//   words of its layout only (its first segment). The body's first part goes
//   to the segments of code p + 1, the rest to the others, each part in
//   proportion to its room in bits. In a part, the segments take shares of
//   its groups in proportion to their room; a segment's share is p runs of G
//   bits (bit q of its r-th group is share bit q * G + r), and its groups
//   are its first G that are not holes. A part's last group takes its spare
//   bits from the next part.
// None of the directions needs reading back: they carry no bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "encryption/hidden_keys.h"
#include "hidden/block_shuffle.h"
#include "hidden/colour_set.h"
#include "hidden/sample_units.h"

namespace glint {

struct SpanHold;
struct TrellisWork;
struct TrellisThread;

inline constexpr std::size_t kAnchorUnits = 256;
inline constexpr std::size_t kSeedBits = 128;
inline constexpr std::size_t kLengthBits = 32;
// Units that carry each reserved bit: many where the picture has pixels
// enough, so that the trellis over them finds busy ones to change, else few.
inline constexpr std::size_t kWideReservedBits = 12;
inline constexpr std::size_t kNarrowReservedBits = 3;
// The largest Hamming code beyond half the room (3 bits in 7 units holds 3/7).
inline constexpr unsigned kLargestCode = 3;

class HiddenLayout {
public:
    // `allowGrey` false takes every sample as a unit even in a grey picture.
    HiddenLayout(const SamplePlane& plane, bool allowGrey);

    const SampleUnits& units() const { return units_; }
    // The largest body, in bits, that fits beside the anchors and the
    // reserved units; 0 when the picture is too small for them.
    std::uint64_t roomBits() const;

    // The anchors, in order; the picture has room for them.
    std::vector<std::uint64_t> anchors() const;

    // The units of `bits` reserved bits, none of them in `taken`: first
    // samples of pixels drawn from stream `domain`, all in whole words. The
    // picture has room for them.
    std::vector<std::uint64_t> drawReserved(KeyStream& stream, std::uint32_t domain, std::size_t bits,
                                            const std::vector<std::uint64_t>& taken) const;
    // Reserved bits [first, first + count) of `units`, count <= 64, the first
    // lowest.
    std::uint64_t readReserved(const std::vector<std::uint64_t>& units, std::size_t first, std::size_t count) const;
    // Sets them by the trellis, its flips costing as the body's do (so that
    // they keep off flat patches), each step away from a lone pixel where
    // one way leaves one, else at random. The body's changes make room for
    // these within the changes per bit promised.
    void writeReserved(const std::vector<std::uint64_t>& units, std::size_t first, std::uint64_t bits,
                       std::size_t count, KeyStream& changes);

    // Hides bits [0, bits) of `body` (64-bit words, bit i in word i / 64,
    // with two more words beyond, random: the last group's spare bits come
    // from there), never changing a unit of `kept` (the anchors and the
    // reserved units, which must already hold their bits). `payloadBits`,
    // the bits of the payload the body seals (0: the body's own), counts
    // the changes allowed up to about a quarter of the room. False when the
    // body does not fit or a key stream failed.
    bool embed(const SecretBytes& layoutKey, const SecretBytes& changeKey, const std::vector<std::uint64_t>& kept,
               const std::uint64_t* body, std::uint64_t bits, std::uint64_t payloadBits = 0);
    // Steps of the last embed that left a pixel lone (SampleUnits::loneSteps;
    // mostly in flat patches, where the trellis found too few busy samples):
    // a reader can see them. Counted where steps are steered, estimated from
    // an even sample of the changes where they are not.
    std::uint64_t lonePixels() const { return lonePixels_; }
    // The bits embed hid, into `body` (zeroed here, with one word to spare).
    bool extract(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& kept, std::uint64_t* body,
                 std::uint64_t bits) const;

    // Whether a body of `bits` bits fits beside `kept`.
    bool fits(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& kept, std::uint64_t bits) const;

    struct Segment {
        std::size_t start = 0;   // first layout word in the block
        std::size_t words = 0;
        unsigned code = 0;
        std::vector<std::uint32_t> holes;  // sorted group numbers
        std::uint64_t groups = 0;          // used
        std::uint64_t offset = 0;          // of the segment's share in the body
        std::uint64_t end = 0;             // of the part of the body its share belongs to
    };
    struct Block {
        std::uint64_t firstWord = 0;
        std::size_t words = 0;
        std::vector<std::uint64_t> keptSlots;  // layout positions of kept units
        std::vector<std::uint64_t> keptBits;   // their bits in the gathered words
        std::vector<Segment> segments;          // of the Hamming codes
        std::uint64_t firstBit = 0, endBit = 0;  // of the body, carried by the trellis
    };
    struct Plan {
        std::vector<std::uint16_t> sharedOrder;
        std::vector<Block> blocks;
        bool trellis = false;  // else the Hamming codes of the segments
        std::size_t spans = 0;  // of the trellises
    };

private:
    // How the units of one block step: which way, and whether a step would
    // make a colour the picture does not hold or leave a lone pixel (with
    // `colours` null and lone pixels not spared, the keyed direction alone).
    struct Stepper;
    // Changes others in place of a unit of the gathered words' bit `bit`
    // that was to change but is kept or at an end; false when nothing can
    // (which the holes rule out).
    bool replaceSkipped(const Block& block, const BlockShuffle& shuffle, std::uint64_t bit,
                        const std::vector<std::uint64_t>& keep, std::vector<std::uint64_t>& changes,
                        const Stepper& stepper);
    // The flips by which trellis `t` of the held span carries its block's
    // bits [firstBit, endBit) of `body`, into `chosen` (block in the span
    // << 32 | gathered bit), evening out the costs as far as keeps them
    // within `mostFlipsPerBit` per hidden bit. Changes nothing.
    void chooseTrellisFlips(const Plan& plan, const SpanHold& span, std::size_t t, const std::uint64_t* body,
                            double mostFlipsPerBit, const std::vector<Stepper>& steppers, TrellisWork& work,
                            std::vector<std::uint64_t>& chosen) const;
    // Hides the bits the trellises of span `span` carry, stepping their
    // flips one trellis after another; false when a key stream failed.
    bool hideInSpan(const Plan& plan, std::size_t span, const std::uint64_t* body, double mostFlipsPerBit,
                    ColourSet* colours, bool agreeing, bool steered, TrellisThread& thread);
    // The trellises' embed and extract.
    bool embedInTrellises(const Plan& plan, const SecretBytes& layoutKey, const SecretBytes& changeKey,
                          const std::uint64_t* body, std::uint64_t bits, std::uint64_t payloadBits);
    bool extractFromTrellises(const Plan& plan, const SecretBytes& layoutKey, std::uint64_t* body) const;
    // The Hamming codes' embed.
    bool embedInSegments(const Plan& plan, const SecretBytes& changeKey, const SecretBytes& layoutKey,
                         const std::uint64_t* body);
    std::optional<Plan> plan(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& kept,
                             std::uint64_t bits) const;

    SampleUnits units_;
    std::uint64_t drawablePixels_ = 0;     // pixels whose first sample lies in a whole word either way
    std::uint64_t firstSampleStride_ = 1;  // units from one pixel's first sample to the next
    std::uint64_t lonePixels_ = 0;
    std::size_t unitsPerReservedBit_ = kNarrowReservedBits;
    std::uint64_t keptUnits_ = 0;  // the anchors and the reserved units, which never carry the body
    std::uint64_t reservedChanges_ = 0;  // made by writeReserved
    std::uint64_t reservedLonePixels_ = 0;  // left by writeReserved
};

}  // namespace glint
