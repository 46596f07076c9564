// The trellis's states as plain integers, for every processor.
#include <algorithm>

#include "coding/trellis_kernels.h"

namespace glint {
namespace {

struct ScalarStates {
    std::uint32_t costs[kTrellisStates];
    std::uint32_t next[kTrellisStates];

    ScalarStates() {
        std::fill(std::begin(costs), std::end(costs), kUnreached);
        costs[0] = 0;
    }
    void step(unsigned column, std::uint32_t costIfZero, std::uint32_t costIfOne, std::uint64_t* paths) {
        paths[0] = paths[1] = 0;
        for (std::size_t s = 0; s < kTrellisStates; ++s) {
            const std::uint32_t stay = costs[s] + costIfZero;
            const std::uint32_t move = costs[s ^ column] + costIfOne;
            next[s] = std::min(stay, move);
            paths[s / 64] |= std::uint64_t{move < stay} << (s % 64);
        }
        std::copy(std::begin(next), std::end(next), std::begin(costs));
    }
    void shift(unsigned messageBit) {
        for (std::size_t s = 0; s < kTrellisStates / 2; ++s) costs[s] = costs[2 * s + messageBit];
        std::fill(costs + kTrellisStates / 2, std::end(costs), kUnreached);
    }
    void store(std::uint32_t* out) const { std::copy(std::begin(costs), std::end(costs), out); }
};

}  // namespace

void trellisPassScalar(const TrellisPass& pass) { runTrellis<ScalarStates>(pass); }

}  // namespace glint
