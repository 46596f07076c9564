#include "layout/bit_plane.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using glint::embedBits;
using glint::embedLength;
using glint::extractBits;
using glint::extractLength;
using testing_support::Bytes;
using testing_support::patternBytes;

// The layout bit by bit: bit b of message byte k goes to bit 0 of carrier
// byte 8k + b, and nothing else changes.
Bytes embedOneBitAtATime(Bytes carrier, const Bytes& message) {
    for (std::size_t i = 0; i < 8 * message.size(); ++i) {
        const int bit = (message[i / 8] >> (i % 8)) & 1;
        carrier[i] = static_cast<unsigned char>((carrier[i] & 0xFE) | bit);
    }
    return carrier;
}

TEST(BitPlane, EmbedMatchesBitByBitLayoutForEveryLength) {
    for (const std::size_t count : std::vector<std::size_t>{0, 1, 2, 7, 8, 9, 31, 64, 1000}) {
        const Bytes message = patternBytes(count, static_cast<std::uint32_t>(count));
        const Bytes original = patternBytes(8 * count + 16, 99);
        Bytes carrier = original;
        embedBits(carrier.data(), message.data(), count);
        EXPECT_EQ(carrier, embedOneBitAtATime(original, message)) << "count " << count;
    }
}

TEST(BitPlane, ExtractInvertsEmbed) {
    const Bytes message = patternBytes(4099, 7);
    Bytes carrier = patternBytes(8 * message.size(), 8);
    embedBits(carrier.data(), message.data(), message.size());
    Bytes recovered(message.size());
    extractBits(recovered.data(), carrier.data(), recovered.size());
    EXPECT_EQ(recovered, message);
}

TEST(BitPlane, CarriesEveryByteValueOverExtremeCarriers) {
    Bytes message(256);
    for (unsigned v = 0; v < 256; ++v) message[v] = static_cast<unsigned char>(v);
    for (const unsigned char fill : Bytes{0x00, 0xFF, 0xFE, 0x01}) {
        Bytes carrier(8 * 256, fill);
        embedBits(carrier.data(), message.data(), message.size());
        for (std::size_t i = 0; i < carrier.size(); ++i) {
            const int bit = (message[i / 8] >> (i % 8)) & 1;
            ASSERT_EQ(carrier[i], static_cast<unsigned char>((fill & 0xFE) | bit)) << "byte " << i << " fill " << int{fill};
        }
        Bytes recovered(256);
        extractBits(recovered.data(), carrier.data(), recovered.size());
        EXPECT_EQ(recovered, message);
    }
}

TEST(BitPlane, LengthWordIsLeastSignificantBitFirst) {
    struct Case {
        std::uint32_t length;
        std::size_t onesAt[3];
        std::size_t ones;
    };
    const Case cases[] = {{0, {}, 0}, {1, {0}, 1}, {0x80000000U, {31}, 1}, {0x00010102U, {1, 8, 16}, 3}};
    for (const Case& c : cases) {
        Bytes carrier(40, 0xAA);
        embedLength(carrier.data(), c.length);
        Bytes expected(40, 0xAA);
        for (std::size_t i = 0; i < 32; ++i) expected[i] = 0xAA & 0xFE;
        for (std::size_t i = 0; i < c.ones; ++i) expected[c.onesAt[i]] |= 1;
        EXPECT_EQ(carrier, expected) << c.length;
        EXPECT_EQ(extractLength(carrier.data()), c.length);
    }
}

}  // namespace
