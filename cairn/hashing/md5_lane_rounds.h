// The compression function of MD5 (RFC 1321, 3.4) over several lanes at
// once, written once for every kernel: a kernel supplies a word type that
// holds one 32-bit word of each of its lanes and the operations on it.
//
// Included only by the kernel files. Each of those is compiled for its own
// instruction set, so everything here has internal linkage: an inline copy
// built for AVX-512 must never be the one the linker keeps for the others.
// The empty asm statements only steer g++'s and clang's code generation;
// other compilers go without them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace cairn {
namespace {

constexpr std::size_t kLaneBlockSize = 64;

// One step of RFC 1321, 3.4: the message word it adds, its shift and T[i].
struct LaneStep {
    unsigned word;
    unsigned shift;
    std::uint32_t t;
};

constexpr LaneStep kLaneSteps[64] = {
    // Round 1
    {0, 7, 0xd76aa478}, {1, 12, 0xe8c7b756}, {2, 17, 0x242070db}, {3, 22, 0xc1bdceee},
    {4, 7, 0xf57c0faf}, {5, 12, 0x4787c62a}, {6, 17, 0xa8304613}, {7, 22, 0xfd469501},
    {8, 7, 0x698098d8}, {9, 12, 0x8b44f7af}, {10, 17, 0xffff5bb1}, {11, 22, 0x895cd7be},
    {12, 7, 0x6b901122}, {13, 12, 0xfd987193}, {14, 17, 0xa679438e}, {15, 22, 0x49b40821},
    // Round 2
    {1, 5, 0xf61e2562}, {6, 9, 0xc040b340}, {11, 14, 0x265e5a51}, {0, 20, 0xe9b6c7aa},
    {5, 5, 0xd62f105d}, {10, 9, 0x02441453}, {15, 14, 0xd8a1e681}, {4, 20, 0xe7d3fbc8},
    {9, 5, 0x21e1cde6}, {14, 9, 0xc33707d6}, {3, 14, 0xf4d50d87}, {8, 20, 0x455a14ed},
    {13, 5, 0xa9e3e905}, {2, 9, 0xfcefa3f8}, {7, 14, 0x676f02d9}, {12, 20, 0x8d2a4c8a},
    // Round 3
    {5, 4, 0xfffa3942}, {8, 11, 0x8771f681}, {11, 16, 0x6d9d6122}, {14, 23, 0xfde5380c},
    {1, 4, 0xa4beea44}, {4, 11, 0x4bdecfa9}, {7, 16, 0xf6bb4b60}, {10, 23, 0xbebfbc70},
    {13, 4, 0x289b7ec6}, {0, 11, 0xeaa127fa}, {3, 16, 0xd4ef3085}, {6, 23, 0x04881d05},
    {9, 4, 0xd9d4d039}, {12, 11, 0xe6db99e5}, {15, 16, 0x1fa27cf8}, {2, 23, 0xc4ac5665},
    // Round 4
    {0, 6, 0xf4292244}, {7, 10, 0x432aff97}, {14, 15, 0xab9423a7}, {5, 21, 0xfc93a039},
    {12, 6, 0x655b59c3}, {3, 10, 0x8f0ccc92}, {10, 15, 0xffeff47d}, {1, 21, 0x85845dd1},
    {8, 6, 0x6fa87e4f}, {15, 10, 0xfe2ce6e0}, {6, 15, 0xa3014314}, {13, 21, 0x4e0811a1},
    {4, 6, 0xf7537e82}, {11, 10, 0xbd3af235}, {2, 15, 0x2ad7d2bb}, {9, 21, 0xeb86d391},
};

// The operations of the steps written with the C++ operators, for a plain
// 32-bit word or a compiler vector of them. Each withX(sum, b, c, d) is
// sum + X(b, c, d) of RFC 1321, 3.4, arranged so that few operations wait
// for b, which the step before has only just computed.
template <class Word, std::size_t lanes>
struct OperatorLaneOps {
    using Vec = Word;
    static constexpr std::size_t kLanes = lanes;

    static Word add(Word x, Word y) { return x + y; }
    // Returns the word unchanged, but the compiler can no longer see how it
    // was made: otherwise it reassociates the step's sums and adds the
    // constant after the round function, one more operation on the chain.
    static Word settled(Word x) {
#if defined(__GNUC__)
        if constexpr (sizeof(Word) == sizeof(std::uint32_t)) {
            asm("" : "+r"(x));
        } else {
            asm("" : "+x"(x));
        }
#endif
        return x;
    }
    static Word constant(std::uint32_t value) { return Word{} + value; }
    template <unsigned s>
    static Word rotateLeft(Word x) {
        return (x << s) | (x >> (32 - s));
    }
    static Word withF(Word sum, Word b, Word c, Word d) { return sum + (d ^ (b & (c ^ d))); }
    // G's two terms never share a set bit, so the OR is also a sum, and the
    // term without b joins first.
    static Word withG(Word sum, Word b, Word c, Word d) { return (sum + (c & ~d)) + (b & d); }
    static Word withH(Word sum, Word b, Word c, Word d) { return sum + (b ^ (c ^ d)); }
    static Word withI(Word sum, Word b, Word c, Word d) { return sum + (c ^ (b | ~d)); }

    // One row of chaining values, a word per lane, in the host's order.
    static Word loadRow(const std::uint32_t* row) {
        Word word;
        std::memcpy(&word, row, sizeof word);
        return word;
    }
    static void storeRow(std::uint32_t* row, Word word) { std::memcpy(row, &word, sizeof word); }
};

// The vector kernels read each lane's block as rows of words and turn them
// so that a register holds one word of every lane. The first two stages are
// the same at every width: within each 128-bit part, the rows of lanes
// 4q .. 4q + 3 become four registers, register j holding word j of each of
// those lanes (so word 4k + j in part k). Unpack supplies the kernel's
// interleaving of 32-bit and of 64-bit elements.
template <class Unpack, class Reg>
void quadsOfLanes(const Reg* rows, std::size_t quadCount, Reg (*quads)[4]) {
    for (std::size_t quad = 0; quad < quadCount; ++quad) {
        const Reg* r = rows + 4 * quad;
        const Reg low01 = Unpack::low32(r[0], r[1]), high01 = Unpack::high32(r[0], r[1]);
        const Reg low23 = Unpack::low32(r[2], r[3]), high23 = Unpack::high32(r[2], r[3]);
        quads[quad][0] = Unpack::low64(low01, low23);
        quads[quad][1] = Unpack::high64(low01, low23);
        quads[quad][2] = Unpack::low64(high01, high23);
        quads[quad][3] = Unpack::high64(high01, high23);
    }
}

// Step i of RFC 1321, 3.4. The registers rotate through a, d, c, b, so step
// i writes register (4 - i) mod 4 from the three after it.
template <class Ops, std::size_t i>
[[gnu::always_inline]] inline void laneStep(typename Ops::Vec* r, const typename Ops::Vec* x, const LaneStep* steps) {
    constexpr LaneStep step = kLaneSteps[i];
    constexpr std::size_t a = (4 - i % 4) % 4;
    using Vec = typename Ops::Vec;
    const Vec b = r[(a + 1) % 4], c = r[(a + 2) % 4], d = r[(a + 3) % 4];
    // the message word and T[i] are added before the round function, off
    // the chain that runs from one step to the next
    Vec sum = Ops::settled(Ops::add(r[a], Ops::add(x[step.word], Ops::constant(steps[i].t))));
    if constexpr (i < 16) {
        sum = Ops::withF(sum, b, c, d);
    } else if constexpr (i < 32) {
        sum = Ops::withG(sum, b, c, d);
    } else if constexpr (i < 48) {
        sum = Ops::withH(sum, b, c, d);
    } else {
        sum = Ops::withI(sum, b, c, d);
    }
    r[a] = Ops::add(Ops::template rotateLeft<step.shift>(sum), b);
}

// Step i in every group of lanes, one group after the other: a step waits
// for the step before it in its own group, and the other groups' fill that
// wait.
template <class Ops, std::size_t groups, std::size_t i, std::size_t... g>
[[gnu::always_inline]] inline void laneStepInGroups(typename Ops::Vec (*r)[4], const typename Ops::Vec (*x)[16],
                                                    const LaneStep* steps, std::index_sequence<g...>) {
    (laneStep<Ops, i>(r[g], x[g], steps), ...);
}

template <class Ops, std::size_t groups, std::size_t... i>
[[gnu::always_inline]] inline void laneSteps(typename Ops::Vec (*r)[4], const typename Ops::Vec (*x)[16],
                                             const LaneStep* steps, std::index_sequence<i...>) {
    (laneStepInGroups<Ops, groups, i>(r, x, steps, std::make_index_sequence<groups>{}), ...);
}

// `groups` groups of Ops::kLanes lanes compressed together. `state` holds
// four rows of one word per lane (A of every lane, then B, C and D);
// blocks[lane] points at that lane's blockCount consecutive blocks.
template <class Ops, std::size_t groups = 1>
void compressLanes(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    using Vec = typename Ops::Vec;
    constexpr std::size_t lanes = groups * Ops::kLanes;
    // T[i] is read through a pointer the compiler cannot see through: a
    // vector add then takes it from memory, where a known constant would be
    // built in a general register and copied into every lane.
    const LaneStep* steps = kLaneSteps;
#if defined(__GNUC__)
    asm("" : "+r"(steps));
#endif
    Vec r[groups][4];
    for (std::size_t g = 0; g < groups; ++g) {
        for (std::size_t row = 0; row < 4; ++row) r[g][row] = Ops::loadRow(state + row * lanes + g * Ops::kLanes);
    }
    for (std::size_t block = 0; block < blockCount; ++block) {
        Vec x[groups][16];
        for (std::size_t g = 0; g < groups; ++g) Ops::loadWords(blocks + g * Ops::kLanes, block * kLaneBlockSize, x[g]);
        // The words stay in memory, where each step adds its word straight
        // from; held in registers they crowd out the chaining values.
#if defined(__GNUC__)
        asm("" : : "r"(x) : "memory");
#endif
        Vec start[groups][4];
        for (std::size_t g = 0; g < groups; ++g) {
            for (std::size_t row = 0; row < 4; ++row) start[g][row] = r[g][row];
        }
        laneSteps<Ops, groups>(r, x, steps, std::make_index_sequence<64>{});
        for (std::size_t g = 0; g < groups; ++g) {
            for (std::size_t row = 0; row < 4; ++row) r[g][row] = Ops::add(r[g][row], start[g][row]);
        }
    }
    for (std::size_t g = 0; g < groups; ++g) {
        for (std::size_t row = 0; row < 4; ++row) Ops::storeRow(state + row * lanes + g * Ops::kLanes, r[g][row]);
    }
}

}  // namespace
}  // namespace cairn
