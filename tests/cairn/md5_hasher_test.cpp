#include "hashing/md5_hasher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

using cairn::Md5Hasher;

std::string md5Hex(const std::string& text) { return Md5Hasher(text).toHex(); }

TEST(Md5Vectors, MatchKnownDigests) {
    struct Case {
        std::string input;
        const char* digest;
    };
    const Case cases[] = {
        // RFC 1321, A.5
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // padding boundaries: "a" repeated, digests from coreutils md5sum
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},  // one padding byte
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},  // a whole padding block
        {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(md5Hex(c.input), c.digest) << "length " << c.input.size();
    }
}

// Every way of cutting an input into two or three update() calls, empty
// calls included, gives the one-shot digest.
TEST(Md5Incremental, AnySplitMatchesOneShot) {
    const auto bytes = testing_support::patternBytes(200, 1);
    const std::string input(bytes.begin(), bytes.end());
    const std::string expected = md5Hex(input);
    for (std::uint32_t first = 0; first <= input.size(); ++first) {
        for (std::uint32_t second = first; second <= input.size(); second += 7) {
            Md5Hasher hasher;
            hasher.update(input.data(), first);
            hasher.update(input.data() + first, 0);
            hasher.update(input.data() + first, second - first);
            hasher.update(input.data() + second, static_cast<std::uint32_t>(input.size()) - second);
            hasher.finish();
            ASSERT_EQ(hasher.toHex(), expected) << first << "/" << second;
        }
    }
}

// The 64-bit bit count carries past 4 GiB.
TEST(Md5LongText, TextBeyondFourGibibytesIsHashedWhole) {
    if (testing_support::underAddressSanitizer()) GTEST_SKIP() << "4 GiB under AddressSanitizer is too slow for every run; the plain build runs this test";
    // In pieces of 1 MiB, so that memory stays small.
    const std::string piece(std::size_t{1} << 20, 'a');
    Md5Hasher hasher;
    for (int i = 0; i < 4096; ++i) hasher.update(piece.data(), static_cast<std::uint32_t>(piece.size()));
    hasher.update("a", 1);
    hasher.finish();
    // 2^32 + 1 bytes of "a", digest from coreutils md5sum
    EXPECT_EQ(hasher.toHex(), "653f43470458e7c99bc79e8732c5a623");
}

TEST(Md5Incremental, ByteAtATimeMatchesOneShot) {
    const std::string input(1000, 'q');
    Md5Hasher hasher;
    for (const char& byte : input) hasher.update(&byte, 1);
    hasher.finish();
    EXPECT_EQ(hasher.toHex(), md5Hex(input));
}

TEST(Md5Lifecycle, DigestAppearsOnlyAfterFinishAndFinishIsIdempotent) {
    Md5Hasher hasher;
    hasher.update("abc", 3);
    EXPECT_EQ(hasher.toHex(), "");
    hasher.finish();
    const std::string once = hasher.toHex();
    hasher.finish();
    EXPECT_EQ(hasher.toHex(), once);
    EXPECT_EQ(once, "900150983cd24fb0d6963f7d28e17f72");

    hasher.init();
    EXPECT_EQ(hasher.toHex(), "");
    hasher.finish();
    EXPECT_EQ(hasher.toHex(), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5Lifecycle, CopiesHashOnIndependently) {
    Md5Hasher left;
    left.update("abc", 3);
    Md5Hasher right = left;
    left.finish();
    right.update("def", 3);
    right.finish();
    EXPECT_EQ(left.toHex(), md5Hex("abc"));
    EXPECT_EQ(right.toHex(), md5Hex("abcdef"));
}

}  // namespace
