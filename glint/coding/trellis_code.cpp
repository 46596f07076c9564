#include "coding/trellis_code.h"

#include <algorithm>
#include <iterator>

#include "coding/trellis_kernels.h"

namespace glint {
namespace {

// A fixed mixing of k (SplitMix64's finaliser): columns that look random,
// the same for every hide and recovery.
std::uint64_t mixed(std::uint64_t k) {
    k = (k ^ (k >> 30)) * 0xBF58476D1CE4E5B9ULL;
    k = (k ^ (k >> 27)) * 0x94D049BB133111EBULL;
    return k ^ (k >> 31);
}

static_assert(kTrellisStates == 128, "the paths hold two words for each element");

constexpr unsigned kLowest = 1;
constexpr unsigned kHighest = 1U << (kTrellisHeight - 1);

// For each width (elements per message bit, rounded down) up to 40, the
// seed of the columns that flipped fewest elements per bit, of 256 tried on
// random bits with even costs; wider trellises take the last.
constexpr std::uint8_t kColumnSeeds[] = {
    0,  0,   223, 161, 117, 53, 94, 85,  79,  160, 79,  89,  117, 204, 59,  25,  12,  203, 58, 112, 203,
    178, 135, 178, 112, 89, 75, 75, 75, 75, 16, 75, 152, 209, 47, 57, 172, 240, 188, 47, 234};

}  // namespace

std::uint8_t trellisColumn(std::size_t k, std::size_t width) {
    const std::uint64_t seed = kColumnSeeds[std::min(width, std::size(kColumnSeeds) - 1)];
    const auto middle = static_cast<unsigned>(seed == 0 ? mixed(k + 1) : mixed(seed << 16 | k)) & (kHighest - 2);
    return static_cast<std::uint8_t>(kLowest | middle | kHighest);
}

void trellisStarts(std::size_t elements, std::size_t messageBits, std::vector<std::uint32_t>& starts) {
    // (i + 1) * elements / messageBits is i * elements / messageBits plus
    // the width, plus one where the remainders carry.
    const std::size_t width = elements / messageBits;
    const std::size_t rest = elements % messageBits;
    starts.resize(messageBits + 1);
    std::size_t start = 0, carried = 0;
    for (std::size_t i = 0; i <= messageBits; ++i) {
        starts[i] = static_cast<std::uint32_t>(start);
        start += width;
        carried += rest;
        if (carried >= messageBits) {
            carried -= messageBits;
            ++start;
        }
    }
}

void readTrellis(const std::uint8_t* bits, std::size_t elements, std::uint8_t* message, std::size_t messageBits) {
    const std::size_t width = elements / messageBits;
    std::vector<std::uint8_t> columns;
    std::vector<std::uint32_t> starts;
    trellisStarts(elements, messageBits, starts);
    unsigned syndrome = 0;
    for (std::size_t i = 0; i < messageBits; ++i) {
        const std::size_t begin = starts[i];
        const std::size_t end = starts[i + 1];
        while (columns.size() < end - begin) columns.push_back(trellisColumn(columns.size(), width));
        for (std::size_t j = begin; j < end; ++j) syndrome ^= bits[j] != 0 ? columns[j - begin] : 0U;
        message[i] = static_cast<std::uint8_t>(syndrome & 1);
        syndrome >>= 1;
    }
}

void TrellisCoder::hide(const std::uint8_t* bits, const std::uint32_t* costs, std::size_t elements,
                        const std::uint8_t* message, std::size_t messageBits, std::uint8_t* flips) {
    const std::size_t width = elements / messageBits;
    columns_.clear();
    for (std::size_t k = 0; k <= width; ++k) columns_.push_back(trellisColumn(k, width));
    trellisStarts(elements, messageBits, starts_);
    paths_.resize(2 * elements);
    std::uint32_t finalCosts[kTrellisStates];
    static const TrellisPassFunction pass = trellisPass();
    pass(TrellisPass{bits, costs, message, columns_.data(), starts_.data(), messageBits, paths_.data(), finalCosts});
    // Back from the cheapest state: each element's bit as the cheapest path
    // has it, each message bit's shift undone on the way.
    unsigned state = static_cast<unsigned>(std::min_element(finalCosts, finalCosts + kTrellisStates) - finalCosts);
    for (std::size_t i = messageBits; i-- > 0;) {
        state = ((state << 1) | message[i]) & (kTrellisStates - 1);
        const std::size_t begin = starts_[i];
        for (std::size_t j = starts_[i + 1]; j-- > begin;) {
            // Both words loaded before the state is known, one chosen (two
            // words of 64 states each).
            const std::uint64_t low = paths_[2 * j], high = paths_[2 * j + 1];
            const bool one = (((state & 64) != 0 ? high : low) >> (state % 64) & 1) != 0;
            flips[j] = static_cast<std::uint8_t>(one != (bits[j] != 0));
            if (one) state ^= columns_[j - begin];
        }
    }
}

}  // namespace glint
