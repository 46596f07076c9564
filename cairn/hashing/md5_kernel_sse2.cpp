// The SSE2 kernels: four lanes in 128-bit registers, and two groups of four
// interleaved. Built with -msse2; run only where md5_kernels_x86.cpp finds it.
#include <emmintrin.h>

#include "hashing/md5_kernels.h"
#include "hashing/md5_lane_rounds.h"

namespace cairn {
namespace {

typedef std::uint32_t Words4 __attribute__((vector_size(16)));

struct Sse2Unpack {
    static __m128i low32(__m128i x, __m128i y) { return _mm_unpacklo_epi32(x, y); }
    static __m128i high32(__m128i x, __m128i y) { return _mm_unpackhi_epi32(x, y); }
    static __m128i low64(__m128i x, __m128i y) { return _mm_unpacklo_epi64(x, y); }
    static __m128i high64(__m128i x, __m128i y) { return _mm_unpackhi_epi64(x, y); }
};

struct Sse2Ops : OperatorLaneOps<Words4, 4> {
    // Each lane's block is read 16 bytes (four words) at a time.
    static void loadWords(const unsigned char* const* blocks, std::size_t offset, Words4* words) {
        for (std::size_t group = 0; group < 4; ++group) {
            __m128i rows[4];
            for (std::size_t lane = 0; lane < 4; ++lane) {
                rows[lane] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[lane] + offset + 16 * group));
            }
            __m128i quads[1][4];
            quadsOfLanes<Sse2Unpack>(rows, 1, quads);
            for (std::size_t j = 0; j < 4; ++j) words[4 * group + j] = (Words4)quads[0][j];
        }
    }
};

}  // namespace

void md5CompressSse2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    compressLanes<Sse2Ops>(state, blocks, blockCount);
}

void md5CompressSse2x2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    compressLanes<Sse2Ops, 2>(state, blocks, blockCount);
}

}  // namespace cairn
