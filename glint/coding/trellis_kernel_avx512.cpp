// The trellis's 128 states in eight AVX-512 registers of sixteen: state
// 16r + l is lane l of register r, so that s ^ column is lane l ^ (column &
// 15) of register r ^ (column >> 4), one permutation for each register.
#include <immintrin.h>

#include "coding/trellis_kernels.h"

namespace glint {
namespace {

constexpr unsigned kRegisters = kTrellisStates / 16;

struct Avx512States {
    __m512i costs[kRegisters];
    __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);

    Avx512States() {
        for (__m512i& r : costs) r = _mm512_set1_epi32(static_cast<int>(kUnreached));
        costs[0] = _mm512_mask_mov_epi32(costs[0], 1, _mm512_setzero_si512());
    }
    void step(unsigned column, std::uint32_t costIfZero, std::uint32_t costIfOne, std::uint64_t* paths) {
        // The register each one pairs with is known to the compiler in each
        // case, so that the states stay in registers.
        switch (column >> 4) {
            case 0: return stepAcross<0>(column, costIfZero, costIfOne, paths);
            case 1: return stepAcross<1>(column, costIfZero, costIfOne, paths);
            case 2: return stepAcross<2>(column, costIfZero, costIfOne, paths);
            case 3: return stepAcross<3>(column, costIfZero, costIfOne, paths);
            case 4: return stepAcross<4>(column, costIfZero, costIfOne, paths);
            case 5: return stepAcross<5>(column, costIfZero, costIfOne, paths);
            case 6: return stepAcross<6>(column, costIfZero, costIfOne, paths);
            default: return stepAcross<7>(column, costIfZero, costIfOne, paths);
        }
    }
    template <unsigned Other>
    void stepAcross(unsigned column, std::uint32_t costIfZero, std::uint32_t costIfOne, std::uint64_t* paths) {
        const __m512i across = _mm512_xor_si512(lanes, _mm512_set1_epi32(static_cast<int>(column & 15)));
        const __m512i zero = _mm512_set1_epi32(static_cast<int>(costIfZero));
        const __m512i one = _mm512_set1_epi32(static_cast<int>(costIfOne));
        __m512i next[kRegisters];
        std::uint64_t masks[kRegisters];
        for (unsigned r = 0; r < kRegisters; ++r) {
            const __m512i stay = _mm512_add_epi32(costs[r], zero);
            const __m512i move = _mm512_add_epi32(_mm512_permutexvar_epi32(across, costs[r ^ Other]), one);
            next[r] = _mm512_min_epu32(stay, move);
            masks[r] = _mm512_cmplt_epu32_mask(move, stay);
        }
        for (unsigned r = 0; r < kRegisters; ++r) costs[r] = next[r];
        paths[0] = masks[0] | masks[1] << 16 | masks[2] << 32 | masks[3] << 48;
        paths[1] = masks[4] | masks[5] << 16 | masks[6] << 32 | masks[7] << 48;
    }
    void shift(unsigned messageBit) {
        // State s takes state 2s + bit: the even or the odd lanes of each
        // pair of registers.
        const __m512i pick = _mm512_add_epi32(_mm512_add_epi32(lanes, lanes), _mm512_set1_epi32(static_cast<int>(messageBit)));
        for (unsigned r = 0; r < kRegisters / 2; ++r) {
            costs[r] = _mm512_permutex2var_epi32(costs[2 * r], pick, costs[2 * r + 1]);
        }
        for (unsigned r = kRegisters / 2; r < kRegisters; ++r) costs[r] = _mm512_set1_epi32(static_cast<int>(kUnreached));
    }
    void store(std::uint32_t* out) const {
        for (unsigned r = 0; r < kRegisters; ++r) _mm512_storeu_si512(out + 16 * r, costs[r]);
    }
};

}  // namespace

void trellisPassAvx512(const TrellisPass& pass) { runTrellis<Avx512States>(pass); }

}  // namespace glint
