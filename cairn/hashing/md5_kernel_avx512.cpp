// The AVX-512 kernels: sixteen lanes in 512-bit registers, and two groups of
// sixteen interleaved. Built with -mavx512f -mavx512bw -mavx512vl; run only
// where md5_kernels_x86.cpp finds all three.
#include <immintrin.h>

#include "hashing/md5_kernels.h"
#include "hashing/md5_lane_rounds.h"

namespace cairn {
namespace {

// The auxiliary functions of RFC 1321, 3.4.
constexpr unsigned F(unsigned x, unsigned y, unsigned z) { return (x & y) | (~x & z); }
constexpr unsigned G(unsigned x, unsigned y, unsigned z) { return (x & z) | (y & ~z); }
constexpr unsigned H(unsigned x, unsigned y, unsigned z) { return x ^ y ^ z; }
constexpr unsigned I(unsigned x, unsigned y, unsigned z) { return y ^ (x | ~z); }

// vpternlogd computes any function of three inputs in one instruction; its
// immediate is the function's truth table, the function applied to the
// columns 0xf0, 0xcc and 0xaa of the table.
constexpr int truthTable(unsigned (*function)(unsigned, unsigned, unsigned)) {
    return static_cast<int>(function(0xf0, 0xcc, 0xaa) & 0xff);
}

struct Avx512Unpack {
    static __m512i low32(__m512i x, __m512i y) { return _mm512_unpacklo_epi32(x, y); }
    static __m512i high32(__m512i x, __m512i y) { return _mm512_unpackhi_epi32(x, y); }
    static __m512i low64(__m512i x, __m512i y) { return _mm512_unpacklo_epi64(x, y); }
    static __m512i high64(__m512i x, __m512i y) { return _mm512_unpackhi_epi64(x, y); }
};

struct Avx512Ops {
    using Vec = __m512i;
    static constexpr std::size_t kLanes = 16;

    static __m512i add(__m512i x, __m512i y) { return _mm512_add_epi32(x, y); }
    static __m512i constant(std::uint32_t value) { return _mm512_set1_epi32(static_cast<int>(value)); }
    // as OperatorLaneOps::settled, in any of the 32 registers
    static __m512i settled(__m512i x) {
        asm("" : "+v"(x));
        return x;
    }
    template <unsigned s>
    static __m512i rotateLeft(__m512i x) {
        return _mm512_rol_epi32(x, s);
    }
    static __m512i withF(__m512i sum, __m512i b, __m512i c, __m512i d) {
        return add(sum, _mm512_ternarylogic_epi32(b, c, d, truthTable(F)));
    }
    static __m512i withG(__m512i sum, __m512i b, __m512i c, __m512i d) {
        return add(sum, _mm512_ternarylogic_epi32(b, c, d, truthTable(G)));
    }
    static __m512i withH(__m512i sum, __m512i b, __m512i c, __m512i d) {
        return add(sum, _mm512_ternarylogic_epi32(b, c, d, truthTable(H)));
    }
    static __m512i withI(__m512i sum, __m512i b, __m512i c, __m512i d) {
        return add(sum, _mm512_ternarylogic_epi32(b, c, d, truthTable(I)));
    }
    static __m512i loadRow(const std::uint32_t* row) { return _mm512_loadu_si512(row); }
    static void storeRow(std::uint32_t* row, __m512i word) { _mm512_storeu_si512(row, word); }

    // Each lane's whole block is read at once.
    static void loadWords(const unsigned char* const* blocks, std::size_t offset, __m512i* words) {
        __m512i rows[16];
        for (std::size_t lane = 0; lane < 16; ++lane) rows[lane] = _mm512_loadu_si512(blocks[lane] + offset);
        __m512i quads[4][4];
        quadsOfLanes<Avx512Unpack>(rows, 4, quads);
        // quarter k of the four quads side by side gives words 4k + j
        for (std::size_t j = 0; j < 4; ++j) {
            const __m512i low01 = _mm512_shuffle_i32x4(quads[0][j], quads[1][j], 0x44);   // quarters 0, 1
            const __m512i high01 = _mm512_shuffle_i32x4(quads[0][j], quads[1][j], 0xee);  // quarters 2, 3
            const __m512i low23 = _mm512_shuffle_i32x4(quads[2][j], quads[3][j], 0x44);
            const __m512i high23 = _mm512_shuffle_i32x4(quads[2][j], quads[3][j], 0xee);
            words[j] = _mm512_shuffle_i32x4(low01, low23, 0x88);
            words[4 + j] = _mm512_shuffle_i32x4(low01, low23, 0xdd);
            words[8 + j] = _mm512_shuffle_i32x4(high01, high23, 0x88);
            words[12 + j] = _mm512_shuffle_i32x4(high01, high23, 0xdd);
        }
    }
};

}  // namespace

void md5CompressAvx512(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    compressLanes<Avx512Ops>(state, blocks, blockCount);
}

void md5CompressAvx512x2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    compressLanes<Avx512Ops, 2>(state, blocks, blockCount);
}

}  // namespace cairn
