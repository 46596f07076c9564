#include "layout/bit_words.h"

namespace glint {
namespace {

// One stage: the off-diagonal blocks of `width` x `width` bits of every
// 2 width x 2 width block trade places. Written for a width known at
// compile time, so that the compiler unrolls and vectorises it.
template <unsigned width>
void swapBlocks(std::uint64_t* rows, std::uint64_t mask) {
    for (unsigned base = 0; base < 64; base += 2 * width) {
        for (unsigned r = base; r < base + width; ++r) {
            const std::uint64_t swapped = ((rows[r] >> width) ^ rows[r + width]) & mask;
            rows[r] ^= swapped << width;
            rows[r + width] ^= swapped;
        }
    }
}

}  // namespace

void transpose64(std::uint64_t* rows) {
    swapBlocks<32>(rows, 0x00000000FFFFFFFFULL);
    swapBlocks<16>(rows, 0x0000FFFF0000FFFFULL);
    swapBlocks<8>(rows, 0x00FF00FF00FF00FFULL);
    swapBlocks<4>(rows, 0x0F0F0F0F0F0F0F0FULL);
    swapBlocks<2>(rows, 0x3333333333333333ULL);
    swapBlocks<1>(rows, 0x5555555555555555ULL);
}

}  // namespace glint
