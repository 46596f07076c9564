// The Viterbi algorithm's forward pass over a syndrome trellis, written once
// (runTrellis) over the operations on all 2^kTrellisHeight states that each
// instruction set supplies in its own file. Only trellis_kernels_*.cpp,
// which know which of them this processor runs, name the vector ones.
#pragma once

#include <cstddef>
#include <cstdint>

#include "coding/trellis_code.h"

namespace glint {

// The cost of a state no flips reach: far above any real sum (at most
// kLargestTrellis * kLargestFlipCost < 2^29), and far below 2^32 even after
// a whole trellis of costs is added to it.
inline constexpr std::uint32_t kUnreached = std::uint32_t{1} << 30;

struct TrellisPass {
    const std::uint8_t* bits;
    const std::uint32_t* costs;
    const std::uint8_t* message;
    const std::uint8_t* columns;
    const std::uint32_t* starts;  // message bit i's elements: [starts[i], starts[i + 1])
    std::size_t messageBits;
    // Out: bit s of words 2j, 2j + 1 is set when state s after element j
    // came from s ^ column (the element's bit ends up 1).
    std::uint64_t* paths;
    std::uint32_t* finalCosts;  // kTrellisStates
};

// States: a constructor that reaches state 0 alone; step(column, costIfZero,
// costIfOne, paths) for one element; shift(messageBit) after a message bit's
// elements; store(costs).
template <typename States>
void runTrellis(const TrellisPass& pass) {
    States states;
    for (std::size_t i = 0; i < pass.messageBits; ++i) {
        const std::size_t begin = pass.starts[i];
        const std::size_t end = pass.starts[i + 1];
        for (std::size_t j = begin; j < end; ++j) {
            const std::uint32_t cost = pass.costs[j];
            const bool one = pass.bits[j] != 0;
            states.step(pass.columns[j - begin], one ? cost : 0, one ? 0 : cost, pass.paths + 2 * j);
        }
        states.shift(pass.message[i]);
    }
    states.store(pass.finalCosts);
}

void trellisPassScalar(const TrellisPass& pass);
void trellisPassAvx512(const TrellisPass& pass);

// The fastest pass this processor runs.
using TrellisPassFunction = void (*)(const TrellisPass&);
TrellisPassFunction trellisPass();

}  // namespace glint
