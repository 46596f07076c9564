// The syndrome-trellis code: what it hides reads back, with few flips, where
// flips cost little; and every forward pass finds the same paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "coding/trellis_code.h"
#include "coding/trellis_kernels.h"

namespace glint {
namespace {

enum class Costs { Even, CheapHalf, Random };

struct TrellisCase {
    std::size_t elements, messageBits;
    Costs costs;
    double mostFlipsPerBit;  // of all flips, per message bit
    double mostDearShare;    // of the flips, the share on the dear half (CheapHalf)
};

std::vector<std::uint32_t> costsOf(Costs kind, std::size_t elements, std::mt19937& random) {
    std::vector<std::uint32_t> costs(elements, 100);
    for (std::size_t j = 0; j < elements; ++j) {
        if (kind == Costs::CheapHalf) costs[j] = j % 2 == 0 ? 10 : 1000;
        if (kind == Costs::Random) costs[j] = 1 + static_cast<std::uint32_t>(random() % kLargestFlipCost);
    }
    return costs;
}

// Flips per bit: a Hamming code of the same rate makes 0.234 at a quarter
// and about 0.17 at a tenth; plain replacement 0.5.
TEST(TrellisCode, HidesWhatReadsBackWithFewFlipsWhereTheyCostLittle) {
    const TrellisCase cases[] = {
        {7, 7, Costs::Even, 0.5, 1},            {100, 1, Costs::Random, 1, 1},
        {1000, 500, Costs::Even, 0.33, 1},      {4096, 1024, Costs::Even, 0.22, 1},
        {4096, 410, Costs::Even, 0.17, 1},      {65536, 3277, Costs::Random, 0.5, 1},
        {65536, 16384, Costs::CheapHalf, 0.35, 0.05}, {9999, 1000, Costs::CheapHalf, 0.3, 0.02},
    };
    std::mt19937 random(7);
    TrellisCoder coder;
    for (const TrellisCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.elements << " elements, " << c.messageBits << " bits");
        std::vector<std::uint8_t> bits(c.elements), message(c.messageBits), flips(c.elements), read(c.messageBits);
        for (auto& b : bits) b = static_cast<std::uint8_t>(random() & 1);
        for (auto& b : message) b = static_cast<std::uint8_t>(random() & 1);
        const std::vector<std::uint32_t> costs = costsOf(c.costs, c.elements, random);
        coder.hide(bits.data(), costs.data(), c.elements, message.data(), c.messageBits, flips.data());
        std::size_t flipped = 0, dear = 0;
        for (std::size_t j = 0; j < c.elements; ++j) {
            bits[j] ^= flips[j];
            flipped += flips[j];
            dear += flips[j] != 0 && costs[j] >= 1000 ? 1 : 0;
        }
        readTrellis(bits.data(), c.elements, read.data(), c.messageBits);
        EXPECT_EQ(read, message);
        EXPECT_LE(static_cast<double>(flipped) / static_cast<double>(c.messageBits), c.mostFlipsPerBit);
        EXPECT_LE(static_cast<double>(dear), c.mostDearShare * static_cast<double>(flipped));
    }
}

TEST(TrellisCode, EveryPassFindsTheSamePaths) {
    std::mt19937 random(11);
    const std::size_t elements = 5000, messageBits = 700;
    std::vector<std::uint8_t> bits(elements), message(messageBits), columns(elements);
    for (auto& b : bits) b = static_cast<std::uint8_t>(random() & 1);
    for (auto& b : message) b = static_cast<std::uint8_t>(random() & 1);
    for (std::size_t k = 0; k < columns.size(); ++k) columns[k] = trellisColumn(k, elements / messageBits);
    const std::vector<std::uint32_t> costs = costsOf(Costs::Random, elements, random);
    std::vector<std::uint32_t> starts;
    trellisStarts(elements, messageBits, starts);
    std::vector<std::uint64_t> scalarPaths(2 * elements), paths(2 * elements);
    std::uint32_t scalarCosts[kTrellisStates], finalCosts[kTrellisStates];
    trellisPassScalar({bits.data(), costs.data(), message.data(), columns.data(), starts.data(), messageBits,
                       scalarPaths.data(), scalarCosts});
    trellisPass()({bits.data(), costs.data(), message.data(), columns.data(), starts.data(), messageBits, paths.data(),
                   finalCosts});
    EXPECT_EQ(paths, scalarPaths);
    EXPECT_TRUE(std::equal(finalCosts, finalCosts + kTrellisStates, scalarCosts));
}

}  // namespace
}  // namespace glint
