// The AVX2 kernels: eight lanes in 256-bit registers, and two groups of
// eight interleaved. Built with -mavx2; run only where md5_kernels_x86.cpp
// finds it.
#include <immintrin.h>

#include "hashing/md5_kernels.h"
#include "hashing/md5_lane_rounds.h"

namespace cairn {
namespace {

typedef std::uint32_t Words8 __attribute__((vector_size(32)));

struct Avx2Unpack {
    static __m256i low32(__m256i x, __m256i y) { return _mm256_unpacklo_epi32(x, y); }
    static __m256i high32(__m256i x, __m256i y) { return _mm256_unpackhi_epi32(x, y); }
    static __m256i low64(__m256i x, __m256i y) { return _mm256_unpacklo_epi64(x, y); }
    static __m256i high64(__m256i x, __m256i y) { return _mm256_unpackhi_epi64(x, y); }
};

struct Avx2Ops : OperatorLaneOps<Words8, 8> {
    // Each lane's block is read 32 bytes (eight words) at a time; the low
    // 128-bit halves of the two quads of lanes give words j, the high ones
    // words 4 + j.
    static void loadWords(const unsigned char* const* blocks, std::size_t offset, Words8* words) {
        for (std::size_t half = 0; half < 2; ++half) {
            __m256i rows[8];
            for (std::size_t lane = 0; lane < 8; ++lane) {
                rows[lane] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blocks[lane] + offset + 32 * half));
            }
            __m256i quads[2][4];
            quadsOfLanes<Avx2Unpack>(rows, 2, quads);
            for (std::size_t j = 0; j < 4; ++j) {
                words[8 * half + j] = (Words8)_mm256_permute2x128_si256(quads[0][j], quads[1][j], 0x20);
                words[8 * half + 4 + j] = (Words8)_mm256_permute2x128_si256(quads[0][j], quads[1][j], 0x31);
            }
        }
    }
};

}  // namespace

void md5CompressAvx2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    compressLanes<Avx2Ops>(state, blocks, blockCount);
}

void md5CompressAvx2x2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    compressLanes<Avx2Ops, 2>(state, blocks, blockCount);
}

}  // namespace cairn
