// The scalar kernels: one lane, for processors without a vector kernel and
// for a file hashed alone; and two lanes interleaved, whose steps fill each
// other's waits on the chain from step to step, for a worker left with two
// files (1.7 times one lane's speed, more than four SSE2 lanes give two).
#include "common/byte_order.h"
#include "hashing/md5_kernels.h"
#include "hashing/md5_lane_rounds.h"

namespace cairn {
namespace {

struct ScalarOps : OperatorLaneOps<std::uint32_t, 1> {
    // RFC 1321, 3.4: the block's 16 words, low byte first.
    static void loadWords(const unsigned char* const* blocks, std::size_t offset, std::uint32_t* words) {
        const unsigned char* block = blocks[0] + offset;
        for (std::size_t i = 0; i < 16; ++i) words[i] = common::readLe32(block + 4 * i);
    }
};

}  // namespace

void md5CompressScalar(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    compressLanes<ScalarOps>(state, blocks, blockCount);
}

void md5CompressScalarx2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount) {
    compressLanes<ScalarOps, 2>(state, blocks, blockCount);
}

}  // namespace cairn
