// The lanes against the scalar hasher: every kernel of the build, messages
// of every length class with a different one in every lane, lanes refilled
// at different times, pieces of odd sizes.
#include "hashing/md5_lanes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "hashing/md5_hasher.h"
#include "test_support.h"

namespace cairn {
// Kernels show by name in test output, not as addresses.
void PrintTo(const Md5Kernel* kernel, std::ostream* out) { *out << kernel->name; }
}  // namespace cairn

namespace {

using cairn::Md5Kernel;
using cairn::Md5Lanes;
using testing_support::Bytes;

std::string hasherHex(const Bytes& bytes) {
    cairn::Md5Hasher hasher;
    hasher.update(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    hasher.finish();
    return hasher.toHex();
}

struct Feeding {
    std::size_t maxPiece = 0;  // 0: each message in one piece
    bool starve = false;       // leave hungry lanes unfed now and then
};

// Hashes every message through the lanes, each lane taking the next message
// as soon as its digest is taken; the digests in message order.
std::vector<std::string> hashInLanes(const Md5Kernel& kernel, const std::vector<Bytes>& messages, Feeding feeding) {
    Md5Lanes lanes(kernel);
    std::mt19937 random(7);
    constexpr std::size_t kNone = ~std::size_t{0};
    struct Slot {
        std::size_t message = kNone;
        std::size_t at = 0;
    };
    std::vector<Slot> slots(lanes.laneCount());
    std::vector<std::string> digests(messages.size());
    std::size_t next = 0, taken = 0, idleRounds = 0;
    while (taken < messages.size()) {
        if (idleRounds > 100) {
            ADD_FAILURE() << "the lanes stopped with " << messages.size() - taken << " messages left";
            break;
        }
        const std::size_t takenBefore = taken;
        bool fed = false;
        for (std::size_t lane = 0; lane < lanes.laneCount(); ++lane) {
            Slot& slot = slots[lane];
            if (lanes.done(lane)) {
                digests[slot.message] = cairn::toHex(*lanes.take(lane));
                slot = Slot{};
                ++taken;
            }
            if (slot.message == kNone && next < messages.size()) slot = {next++, 0};
            if (slot.message == kNone || !lanes.hungry(lane)) continue;
            if (feeding.starve && random() % 3 == 0) continue;
            const Bytes& message = messages[slot.message];
            if (slot.at == message.size()) {
                EXPECT_TRUE(lanes.finish(lane));
                fed = true;
                continue;
            }
            std::size_t piece = message.size() - slot.at;
            if (feeding.maxPiece > 0) piece = std::min(piece, random() % (feeding.maxPiece + 1));
            EXPECT_TRUE(lanes.feed(lane, message.data() + slot.at, piece));
            slot.at += piece;
            fed = true;
        }
        const bool progress = lanes.run() > 0 || fed || taken > takenBefore;
        idleRounds = progress ? 0 : idleRounds + 1;
    }
    return digests;
}

std::vector<const Md5Kernel*> everyKernel() {
    std::vector<const Md5Kernel*> kernels;
    for (const Md5Kernel& kernel : cairn::md5Kernels()) kernels.push_back(&kernel);
    return kernels;
}

class Md5LanesKernel : public testing::TestWithParam<const Md5Kernel*> {
protected:
    void SetUp() override {
        if (!GetParam()->usable()) GTEST_SKIP() << "this processor or its system lacks the " << GetParam()->name << " kernel";
    }
    const Md5Kernel& kernel() const { return *GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Kernels, Md5LanesKernel, testing::ValuesIn(everyKernel()),
                         [](const testing::TestParamInfo<const Md5Kernel*>& kernel) { return std::string(kernel.param->name); });

// Round by round the classes move one lane on, so that every lane meets
// every class beside every other; lanes beyond the table take random lengths.
TEST_P(Md5LanesKernel, EveryLengthClassInEveryLaneMatchesHasher) {
    std::mt19937 random(static_cast<std::uint32_t>(kernel().lanes));
    const std::size_t classes[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, (1 << 20) + 17, random() % 5000};
    const std::size_t classCount = std::size(classes);
    std::vector<Bytes> messages;
    for (std::size_t round = 0; round < classCount; ++round) {
        for (std::size_t lane = 0; lane < kernel().lanes; ++lane) {
            const std::size_t length = lane < classCount ? classes[(lane + round) % classCount] : random() % 300;
            messages.push_back(testing_support::patternBytes(length, static_cast<std::uint32_t>(messages.size())));
        }
    }
    const std::vector<std::string> digests = hashInLanes(kernel(), messages, {});
    for (std::size_t i = 0; i < messages.size(); ++i) {
        ASSERT_EQ(digests[i], hasherHex(messages[i])) << "message " << i << ", length " << messages[i].size();
    }
}

TEST_P(Md5LanesKernel, LanesRefilledAtDifferentTimesFromOddPiecesMatchHasher) {
    std::mt19937 random(11);
    std::vector<Bytes> messages;
    for (std::uint32_t i = 0; i < 300; ++i) {
        const std::size_t length = i % 25 == 0 ? 70000 + random() % 1000 : random() % 3000;
        messages.push_back(testing_support::patternBytes(length, i));
    }
    for (const Feeding feeding : {Feeding{2, false}, Feeding{131, true}, Feeding{4099, true}}) {
        const std::vector<std::string> digests = hashInLanes(kernel(), messages, feeding);
        for (std::size_t i = 0; i < messages.size(); ++i) {
            ASSERT_EQ(digests[i], hasherHex(messages[i]))
                << "message " << i << ", length " << messages[i].size() << ", pieces up to " << feeding.maxPiece;
        }
    }
}

// The last message left goes on in a scalar lane, whether its lane holds a
// piece not yet read, part of a block, or is already finishing.
TEST_P(Md5LanesKernel, MessageMovedToScalarLaneGoesOn) {
    const Bytes message = testing_support::patternBytes(10000, 3);
    const std::string expected = hasherHex(message);
    const Md5Kernel& scalar = cairn::md5Kernels().back();
    for (const std::size_t fed : {std::size_t{0}, std::size_t{100}, std::size_t{6400}, std::size_t{10000}}) {
        Md5Lanes lanes(kernel());
        Md5Lanes alone(scalar);
        const std::size_t lane = lanes.laneCount() - 1;
        ASSERT_TRUE(lanes.feed(lane, message.data(), fed));
        lanes.run();
        ASSERT_TRUE(lanes.feed(lane, message.data() + fed, (message.size() - fed) / 2));
        const std::size_t rest = fed + (message.size() - fed) / 2;
        if (rest == message.size()) lanes.finish(lane);
        ASSERT_TRUE(lanes.moveTo(lane, alone, 0));
        EXPECT_TRUE(lanes.hungry(lane)) << "the lane left behind starts anew";
        while (!alone.hungry(0) && !alone.done(0)) alone.run();
        if (!alone.done(0)) {
            ASSERT_TRUE(alone.feed(0, message.data() + rest, message.size() - rest));
            alone.finish(0);
        }
        while (!alone.done(0)) {
            ASSERT_GT(alone.run(), 0u);
        }
        EXPECT_EQ(cairn::toHex(*alone.take(0)), expected) << fed << " bytes fed before the move";
    }
}

// Sixteen blocks in lane 0 are compressed while lane 1 waits with part of a
// block and the others hold nothing.
TEST(Md5Lanes, WaitingLaneDoesNotHoldOthersUp) {
    const Bytes first = testing_support::patternBytes(16 * 64, 1);
    const Bytes second = testing_support::patternBytes(30, 2);
    Md5Lanes lanes;
    ASSERT_TRUE(lanes.feed(0, first.data(), first.size()));
    if (lanes.laneCount() > 1) {
        ASSERT_TRUE(lanes.feed(1, second.data(), second.size()));
    }
    EXPECT_EQ(lanes.run(), 16u);
    EXPECT_TRUE(lanes.hungry(0));
    EXPECT_EQ(lanes.run(), 0u) << "no lane holds a whole block";
    for (std::size_t lane : {std::size_t{0}, std::size_t{1}}) {
        if (lane >= lanes.laneCount()) continue;
        lanes.finish(lane);
        while (!lanes.done(lane)) {
            ASSERT_GT(lanes.run(), 0u);
        }
        EXPECT_EQ(cairn::toHex(*lanes.take(lane)), hasherHex(lane == 0 ? first : second));
    }
}

// A message dropped part way, with a piece unread, part of a block held or
// its padding queued, leaves nothing behind for the lane's next message.
TEST(Md5Lanes, DiscardedMessageLeavesNothingBehind) {
    const Bytes dropped = testing_support::patternBytes(10000, 6);
    const Bytes next = testing_support::patternBytes(300, 7);
    for (const std::size_t fed : {std::size_t{0}, std::size_t{30}, std::size_t{100}, std::size_t{6400}}) {
        for (const bool finished : {false, true}) {
            Md5Lanes lanes;
            ASSERT_TRUE(lanes.feed(0, dropped.data(), fed));
            lanes.run();
            if (finished) lanes.finish(0);
            lanes.discard(0);
            ASSERT_TRUE(lanes.feed(0, next.data(), next.size()));
            lanes.finish(0);
            while (!lanes.done(0)) {
                ASSERT_GT(lanes.run(), 0u);
            }
            EXPECT_EQ(cairn::toHex(*lanes.take(0)), hasherHex(next)) << fed << " bytes dropped, finished " << finished;
        }
    }
}

// Each lane's buffer is its own, starts on a cache line and at an offset
// within a page that no other lane's buffer shares.
TEST(Md5LaneBuffers, EachLaneOwnsAStaggeredBuffer) {
    const struct {
        std::size_t lanes, pieceSize;
    } cases[] = {{32, 65536}, {16, 4096}, {4, 100}, {1, 1}};
    for (const auto& c : cases) {
        cairn::Md5LaneBuffers buffers(c.lanes, c.pieceSize);
        std::vector<std::uintptr_t> offsets;
        for (std::size_t lane = 0; lane < c.lanes; ++lane) {
            std::fill_n(buffers[lane], c.pieceSize, static_cast<unsigned char>(lane));
            offsets.push_back(reinterpret_cast<std::uintptr_t>(buffers[lane]) % 4096);
            EXPECT_EQ(offsets.back() % 64, 0u) << c.lanes << " lanes, lane " << lane;
        }
        for (std::size_t lane = 0; lane < c.lanes; ++lane) {
            const unsigned char* buffer = buffers[lane];
            EXPECT_TRUE(std::all_of(buffer, buffer + c.pieceSize, [&](unsigned char b) { return b == lane; }))
                << c.lanes << " lanes, lane " << lane << " overwritten";
        }
        std::sort(offsets.begin(), offsets.end());
        EXPECT_EQ(std::adjacent_find(offsets.begin(), offsets.end()), offsets.end()) << c.lanes << " lanes";
    }
}

// What a lane refuses, so that a pool's mistake cannot mix two messages.
TEST(Md5Lanes, RefusesWhatItsLaneCannotTake) {
    const Bytes bytes = testing_support::patternBytes(1000, 5);
    Md5Lanes lanes;
    Md5Lanes other;
    Md5Lanes fresh;
    ASSERT_TRUE(lanes.feed(0, bytes.data(), bytes.size()));
    ASSERT_TRUE(other.feed(0, bytes.data(), 10));
    const struct {
        const char* what;
        bool accepted;
    } cases[] = {
        {"a second piece while the first is unread", lanes.feed(0, bytes.data(), 1)},
        {"a move into a lane that holds a message", lanes.moveTo(0, other, 0)},
        {"the digest of an unfinished message", lanes.take(0).has_value()},
        {"finish of an empty lane, then again", fresh.finish(0) && fresh.finish(0)},
    };
    for (const auto& c : cases) EXPECT_FALSE(c.accepted) << c.what;
}

// The 64-bit bit count carries past 2^32 bits (512 MiB): the same 1 MiB
// piece fed again and again.
TEST(Md5Lanes, LengthBeyondFourGibibitsMatchesHasher) {
    const Bytes piece = testing_support::patternBytes(std::size_t{1} << 20, 9);
    Md5Lanes lanes;
    cairn::Md5Hasher hasher;
    for (int i = 0; i < 513; ++i) {
        ASSERT_TRUE(lanes.feed(0, piece.data(), piece.size()));
        lanes.run();
        hasher.update(piece.data(), static_cast<std::uint32_t>(piece.size()));
    }
    lanes.finish(0);
    while (!lanes.done(0)) lanes.run();
    hasher.finish();
    EXPECT_EQ(cairn::toHex(*lanes.take(0)), hasher.toHex());
}

}  // namespace
