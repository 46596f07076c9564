// The scalar kernel: one lane, for processors without a vector kernel.
#include "hashing/md5_kernels.h"
#include "hashing/md5_lane_rounds.h"

namespace cairn {
namespace {

struct ScalarOps : OperatorLaneOps<std::uint32_t, 1> {
    // RFC 1321, 3.4: the block's 16 words, low byte first.
    static void loadWords(const unsigned char* const* blocks, std::size_t offset, std::uint32_t* words) {
        const unsigned char* block = blocks[0] + offset;
        for (std::size_t i = 0; i < 16; ++i, block += 4) {
            words[i] = std::uint32_t{block[0]} | (std::uint32_t{block[1]} << 8) | (std::uint32_t{block[2]} << 16) |
                       (std::uint32_t{block[3]} << 24);
        }
    }
};

}  // namespace

void md5CompressScalar(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    compressLanes<ScalarOps>(state, blocks, blockCount);
}

}  // namespace cairn
