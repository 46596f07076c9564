// MD5 (RFC 1321) of many messages side by side, one in each lane of the
// processor's vector registers: independent files are hashed together where
// one file alone is a serial chain of blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace cairn {

// Compresses `blockCount` consecutive 64-byte blocks into the chaining
// values of each lane. `state` holds four rows of one word per lane (A of
// every lane, then B, C and D); blocks[lane] points at that lane's blocks.
using Md5Compress = void (*)(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount);

struct Md5Kernel {
    const char* name;  // "avx512x2", "avx2", "sse2", "scalar", ...
    std::size_t lanes;  // at most 64
    Md5Compress compress;
    bool (*usable)();  // whether this processor and its system run the kernel
};

// Every kernel this build has, the fastest first. The last one, "scalar",
// runs on any processor.
std::span<const Md5Kernel> md5Kernels();
// The fastest kernel this machine runs.
const Md5Kernel& fastestMd5Kernel();

using Md5Digest = std::array<unsigned char, 16>;
// 32 lower-case hexadecimal digits.
std::string toHex(const Md5Digest& digest);

// One buffer per lane for the pieces a caller reads, all in one block. Each
// starts on a cache line, and no two start at the same offset within a
// 4 KiB page: the kernels read the same block of every lane at once, and
// blocks 4 KiB apart compete for the same few ways of the first-level
// cache, which nearly halves the speed of the wider kernels.
class Md5LaneBuffers {
public:
    Md5LaneBuffers(std::size_t lanes, std::size_t pieceSize);

    unsigned char* operator[](std::size_t lane) { return first_ + lane * stride_; }
    std::size_t pieceSize() const { return pieceSize_; }

private:
    std::size_t pieceSize_;
    std::size_t stride_;
    std::unique_ptr<unsigned char[]> block_;
    unsigned char* first_;
};

// Holds one message in each lane of a kernel and compresses the lanes side
// by side. A lane takes its message in pieces of any length, which it reads
// in place, and pads it on its own when finished; a finished lane is given
// its next message while the others go on. Lanes waiting for their next
// piece are left out of the compression, so they never hold the others up.
//
// A lane's life: feed() while hungry(), as often as its message needs, with
// run() between; finish(); run() until done(); take() the digest, after
// which it holds a new, empty message. Lanes are numbered from 0 to
// laneCount() - 1.
class Md5Lanes {
public:
    explicit Md5Lanes(const Md5Kernel& kernel = fastestMd5Kernel());

    const Md5Kernel& kernel() const { return kernel_; }
    std::size_t laneCount() const { return lanes_.size(); }

    // True when the lane is open and holds less than a block that it has
    // not yet compressed: it needs its next piece, or finish().
    bool hungry(std::size_t lane) const;
    // True once the lane's message is finished and wholly compressed.
    bool done(std::size_t lane) const;

    // Hands a hungry lane the next `size` bytes of its message. They are read
    // in place, not copied: they must stay as they are until the lane is
    // hungry again (or its message was moved or taken). False, and nothing
    // taken, when the lane is not hungry.
    bool feed(std::size_t lane, const unsigned char* bytes, std::size_t size);
    // Ends the lane's message after the bytes fed to it so far. False when
    // it was already finished.
    bool finish(std::size_t lane);
    // Compresses the whole blocks the lanes hold, in every lane that has one,
    // until one of those lanes has none left (it is hungry or done). Returns
    // the number of blocks each of them compressed: 0 when no lane had one.
    std::size_t run();
    // The digest of a done lane, which then holds a new, empty message;
    // nothing when the lane is not done.
    std::optional<Md5Digest> take(std::size_t lane);
    // Drops the lane's message, wherever it is (its file could not be read
    // to the end); the lane then holds a new, empty message.
    void discard(std::size_t lane) { reset(lane); }

    // Moves the message in progress in `lane` (its chaining values, the
    // bytes it holds and the piece it reads in place) to `toLane` of
    // `other`, where it goes on as if it had been fed there: the last file
    // left can go on in a scalar lane instead of one among idle vector
    // lanes. `lane` then holds a new, empty message. False, and nothing
    // moved, when `toLane` holds anything.
    bool moveTo(std::size_t lane, Md5Lanes& other, std::size_t toLane);

private:
    enum class Phase { Open, Finishing, Done };
    struct Lane {
        // The caller's bytes that follow the tail, read in place.
        const unsigned char* piece = nullptr;
        std::size_t pieceSize = 0;
        // Bytes taken from pieces and not yet compressed, which come before
        // the piece: part of a block, or whole blocks (at most two, the
        // padding and length block among them).
        unsigned char tail[128] = {};
        std::size_t tailSize = 0;
        std::uint64_t length = 0;  // bytes of the message fed so far
        Phase phase = Phase::Open;
        bool padded = false;
    };

    void reset(std::size_t lane);
    void settle(std::size_t lane);
    void pad(Lane& lane);
    std::size_t blocksReady(const Lane& lane) const;
    const unsigned char* nextBlock(const Lane& lane) const;
    void compress(std::uint64_t ready, std::size_t blockCount);
    void advance(Lane& lane, std::size_t blockCount);
    bool empty(const Lane& lane) const;

    Md5Kernel kernel_;
    std::vector<Lane> lanes_;
    // Four rows of one chaining value per lane, as the kernel takes them.
    std::vector<std::uint32_t> state_;
};

}  // namespace cairn
