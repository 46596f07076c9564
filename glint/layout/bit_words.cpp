#include "bit_words.h"

namespace glint {

void transpose64(std::uint64_t* rows) {
    std::uint64_t mask = 0x00000000FFFFFFFFULL;
    for (unsigned width = 32; width != 0; width >>= 1, mask ^= mask << width) {
        for (unsigned r = 0; r < 64; r = (r + width + 1) & ~width) {
            const std::uint64_t swapped = ((rows[r] >> width) ^ rows[r + width]) & mask;
            rows[r] ^= swapped << width;
            rows[r + width] ^= swapped;
        }
    }
}

}  // namespace glint
