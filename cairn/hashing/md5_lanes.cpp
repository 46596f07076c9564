// The lanes of a multi-buffer MD5: what each lane holds, and which lanes
// the kernel compresses together.
#include "hashing/md5_lanes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "common/byte_order.h"

namespace cairn {
namespace {

using common::writeLe32;
using common::writeLe64;

constexpr std::size_t kBlockSize = 64;
// Initial chaining values (RFC 1321, 3.3).
constexpr std::uint32_t kInitialState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
// Lanes are told apart by the bits of one 64-bit mask.
constexpr std::size_t kMaxLanes = 64;

}  // namespace

const Md5Kernel& fastestMd5Kernel() {
    // The scalar kernel, last, is usable everywhere.
    static const Md5Kernel& fastest =
        *std::find_if(md5Kernels().begin(), md5Kernels().end(), [](const Md5Kernel& k) { return k.usable(); });
    return fastest;
}

std::string toHex(const Md5Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest.size());
    for (const unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

namespace {

constexpr std::size_t kCacheLine = 64;
constexpr std::size_t kPage = 4096;
// Buffers lie this many lines apart within a page, which for up to 64
// buffers puts the same block of each in a different set of a 64-set cache.
constexpr std::size_t kStaggerLines = 3;

}  // namespace

Md5LaneBuffers::Md5LaneBuffers(std::size_t lanes, std::size_t pieceSize)
    : pieceSize_(pieceSize),
      stride_((pieceSize + kPage - 1) / kPage * kPage + kStaggerLines * kCacheLine),
      block_(new unsigned char[lanes * stride_ + kCacheLine]) {
    const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(block_.get()) % kCacheLine;
    first_ = block_.get() + (misalignment == 0 ? 0 : kCacheLine - misalignment);
}

Md5Lanes::Md5Lanes(const Md5Kernel& kernel)
    : kernel_(kernel), lanes_(kernel.lanes), state_(4 * lanes_.size()) {
    for (std::size_t lane = 0; lane < lanes_.size(); ++lane) reset(lane);
}

bool Md5Lanes::hungry(std::size_t lane) const {
    const Lane& l = lanes_[lane];
    return l.phase == Phase::Open && l.pieceSize == 0 && l.tailSize < kBlockSize;
}

bool Md5Lanes::done(std::size_t lane) const { return lanes_[lane].phase == Phase::Done; }

bool Md5Lanes::feed(std::size_t lane, const unsigned char* bytes, std::size_t size) {
    if (!hungry(lane)) return false;
    if (size == 0) return true;
    Lane& l = lanes_[lane];
    l.length += size;
    l.piece = bytes;
    l.pieceSize = size;
    settle(lane);
    return true;
}

bool Md5Lanes::finish(std::size_t lane) {
    if (lanes_[lane].phase != Phase::Open) return false;
    lanes_[lane].phase = Phase::Finishing;
    settle(lane);
    return true;
}

std::size_t Md5Lanes::run() {
    std::size_t compressed = 0;
    std::uint64_t started = 0;
    for (;;) {
        std::uint64_t ready = 0;
        std::size_t blockCount = std::numeric_limits<std::size_t>::max();
        for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
            const std::size_t blocks = blocksReady(lanes_[lane]);
            if (blocks == 0) continue;
            ready |= std::uint64_t{1} << lane;
            blockCount = std::min(blockCount, blocks);
        }
        if (compressed == 0) started = ready;
        // A lane that ran dry is the caller's to feed or take before more is
        // done, so that the lanes stay full.
        if (ready == 0 || (started & ~ready) != 0) break;
        compress(ready, blockCount);
        compressed += blockCount;
    }
    return compressed;
}

std::optional<Md5Digest> Md5Lanes::take(std::size_t lane) {
    if (!done(lane)) return std::nullopt;
    Md5Digest digest;
    for (std::size_t row = 0; row < 4; ++row) writeLe32(digest.data() + 4 * row, state_[row * lanes_.size() + lane]);
    reset(lane);
    return digest;
}

bool Md5Lanes::moveTo(std::size_t lane, Md5Lanes& other, std::size_t toLane) {
    if (!empty(other.lanes_[toLane])) return false;
    if (&other == this && toLane == lane) return true;
    other.lanes_[toLane] = lanes_[lane];
    for (std::size_t row = 0; row < 4; ++row) {
        other.state_[row * other.lanes_.size() + toLane] = state_[row * lanes_.size() + lane];
    }
    reset(lane);
    return true;
}

void Md5Lanes::reset(std::size_t lane) {
    lanes_[lane] = Lane{};
    for (std::size_t row = 0; row < 4; ++row) state_[row * lanes_.size() + lane] = kInitialState[row];
}

bool Md5Lanes::empty(const Lane& lane) const {
    return lane.phase == Phase::Open && lane.length == 0;
}

// Brings a lane to one of its resting forms after it was fed, finished or
// compressed: whole blocks ready in the tail or in the piece, or less than a
// block held and the piece given back.
void Md5Lanes::settle(std::size_t index) {
    Lane& lane = lanes_[index];
    // part of a block in the tail is completed from the piece first
    if (lane.tailSize > 0 && lane.tailSize < kBlockSize && lane.pieceSize > 0) {
        const std::size_t taken = std::min(kBlockSize - lane.tailSize, lane.pieceSize);
        std::memcpy(lane.tail + lane.tailSize, lane.piece, taken);
        lane.tailSize += taken;
        lane.piece += taken;
        lane.pieceSize -= taken;
    }
    // less than a block left of the piece is kept, so that the caller has
    // its buffer back
    if (lane.tailSize == 0 && lane.pieceSize > 0 && lane.pieceSize < kBlockSize) {
        std::memcpy(lane.tail, lane.piece, lane.pieceSize);
        lane.tailSize = lane.pieceSize;
        lane.pieceSize = 0;
    }
    if (lane.pieceSize == 0) lane.piece = nullptr;
    if (lane.phase == Phase::Finishing && lane.pieceSize == 0 && lane.tailSize < kBlockSize) {
        if (!lane.padded) {
            pad(lane);
        } else if (lane.tailSize == 0) {
            lane.phase = Phase::Done;
        }
    }
}

// RFC 1321, 3.1 and 3.2: one 0x80 byte, zeros to 56 mod 64, then the
// message's length in bits modulo 2^64, low byte first.
void Md5Lanes::pad(Lane& lane) {
    lane.tail[lane.tailSize++] = 0x80;
    const std::size_t end = lane.tailSize <= kBlockSize - 8 ? kBlockSize : 2 * kBlockSize;
    std::memset(lane.tail + lane.tailSize, 0, end - 8 - lane.tailSize);
    writeLe64(lane.tail + end - 8, lane.length << 3);
    lane.tailSize = end;
    lane.padded = true;
}

// Whole blocks the lane can hand the kernel in one run of memory: those of
// the tail, which come first, or else those of the piece.
std::size_t Md5Lanes::blocksReady(const Lane& lane) const {
    if (lane.tailSize >= kBlockSize) return lane.tailSize / kBlockSize;
    return lane.tailSize == 0 ? lane.pieceSize / kBlockSize : 0;
}

const unsigned char* Md5Lanes::nextBlock(const Lane& lane) const {
    return lane.tailSize >= kBlockSize ? lane.tail : lane.piece;
}

// The lanes outside `ready` are compressed too, over another lane's blocks,
// and their chaining values put back afterwards: every kernel then works on
// all of its lanes, whichever of them have data.
void Md5Lanes::compress(std::uint64_t ready, std::size_t blockCount) {
    const std::size_t count = lanes_.size();
    const unsigned char* blocks[kMaxLanes];
    std::uint32_t kept[kMaxLanes][4];
    const unsigned char* standIn = nextBlock(lanes_[static_cast<std::size_t>(std::countr_zero(ready))]);
    for (std::size_t lane = 0; lane < count; ++lane) {
        const bool active = (ready >> lane) & 1;
        blocks[lane] = active ? nextBlock(lanes_[lane]) : standIn;
        if (!active) {
            for (std::size_t row = 0; row < 4; ++row) kept[lane][row] = state_[row * count + lane];
        }
    }
    kernel_.compress(state_.data(), blocks, blockCount);
    for (std::size_t lane = 0; lane < count; ++lane) {
        if ((ready >> lane) & 1) {
            advance(lanes_[lane], blockCount);
            settle(lane);
        } else {
            for (std::size_t row = 0; row < 4; ++row) state_[row * count + lane] = kept[lane][row];
        }
    }
}

void Md5Lanes::advance(Lane& lane, std::size_t blockCount) {
    const std::size_t used = blockCount * kBlockSize;
    if (lane.tailSize >= kBlockSize) {
        std::memmove(lane.tail, lane.tail + used, lane.tailSize - used);
        lane.tailSize -= used;
    } else {
        lane.piece += used;
        lane.pieceSize -= used;
    }
}

}  // namespace cairn
