// A syndrome-trellis code: m message bits carried by the least significant
// bits of n elements (m <= n), read back as a syndrome, so that the hide may
// choose which elements to flip by what each flip costs.
//
// Message bit i owns elements [i * n / m, (i + 1) * n / m); the k-th element
// it owns adds column k (kTrellisHeight bits, the lowest and highest always
// set) to a running syndrome when the element's bit is 1. After bit i's
// elements, the syndrome's lowest bit is message bit i and the syndrome
// shifts down by one. Every message bit therefore depends on the elements of
// up to kTrellisHeight message bits before it, and the hide finds the least
// costly flips by the Viterbi algorithm over the 2^kTrellisHeight syndromes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace glint {

inline constexpr unsigned kTrellisHeight = 7;
inline constexpr std::size_t kTrellisStates = std::size_t{1} << kTrellisHeight;
// Elements one trellis takes at most, and the most one flip may cost: the
// sum of a whole trellis's costs stays far below the costs' 32 bits.
inline constexpr std::size_t kLargestTrellis = 65536;
inline constexpr std::uint32_t kLargestFlipCost = 8191;

// The column that the k-th element of a message bit adds, in a trellis of
// `width` elements per message bit (rounded down).
std::uint8_t trellisColumn(std::size_t k, std::size_t width);

// Into `starts` (messageBits + 1 of them) the first element of each message
// bit, i * elements / messageBits, and `elements` last.
void trellisStarts(std::size_t elements, std::size_t messageBits, std::vector<std::uint32_t>& starts);

// The message that `bits` (0 or 1 each) carry: `messageBits` of 0 or 1.
void readTrellis(const std::uint8_t* bits, std::size_t elements, std::uint8_t* message, std::size_t messageBits);

class TrellisCoder {
public:
    // Into `flips` (0 or 1 for each element) the flips of least total cost
    // (costs[j] for element j, 1 .. kLargestFlipCost) after which `bits`
    // carry `message`. 1 <= messageBits <= elements <= kLargestTrellis.
    void hide(const std::uint8_t* bits, const std::uint32_t* costs, std::size_t elements,
              const std::uint8_t* message, std::size_t messageBits, std::uint8_t* flips);

private:
    std::vector<std::uint64_t> paths_;   // two words for each element: which way each state came
    std::vector<std::uint8_t> columns_;  // of the trellis's width
    std::vector<std::uint32_t> starts_;
};

}  // namespace glint
