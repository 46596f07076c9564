// RFC 1321, the MD5 message-digest algorithm.
#include "hashing/md5_hasher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/byte_order.h"

namespace cairn {
namespace {

// Shift amounts per round (RFC 1321, 3.4).
constexpr unsigned S11 = 7, S12 = 12, S13 = 17, S14 = 22;
constexpr unsigned S21 = 5, S22 = 9, S23 = 14, S24 = 20;
constexpr unsigned S31 = 4, S32 = 11, S33 = 16, S34 = 23;
constexpr unsigned S41 = 6, S42 = 10, S43 = 15, S44 = 21;

// One 0x80 byte then zeros: the padding of RFC 1321, 3.1.
constexpr unsigned char PADDING[64] = {0x80};

// The auxiliary functions of RFC 1321, 3.4. F and H are written in
// equivalent forms that leave fewer operations depending on x, the register
// that the previous step has only just computed.
constexpr std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return z ^ (x & (y ^ z));  // = (x & y) | (~x & z)
}
constexpr std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return (x & z) | (y & ~z);
}
constexpr std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return x ^ (y ^ z);  // y ^ z is ready before x
}
constexpr std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return y ^ (x | ~z);
}

constexpr std::uint32_t ROTATE_LEFT(std::uint32_t x, unsigned n) {
    return (x << n) | (x >> (32 - n));
}

// Returns v unchanged, but the compiler can no longer see how it was made.
// Without it clang reassociates the sums below and adds the round constant
// after the round function, putting one more operation on the chain.
inline std::uint32_t settled(std::uint32_t v) {
#if defined(__GNUC__)
    asm("" : "+r"(v));
#endif
    return v;
}

// The message word and the constant are added to a before the round
// function's result: they do not depend on b, so they stay off the
// dependency chain from one step to the next.
inline void FF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
               std::uint32_t x, unsigned s, std::uint32_t ac) {
    a = ROTATE_LEFT(settled(a + x + ac) + F(b, c, d), s) + b;
}
// G's two terms never share a set bit, so the OR is also a sum; adding the
// term without b first leaves a single AND on b's chain.
inline void GG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
               std::uint32_t x, unsigned s, std::uint32_t ac) {
    a = ROTATE_LEFT(settled(a + x + ac + (c & ~d)) + (b & d), s) + b;
}
static_assert(G(0x12345678U, 0x9abcdef0U, 0x0ff00ff0U) ==
              (0x12345678U & 0x0ff00ff0U) + (0x9abcdef0U & ~0x0ff00ff0U));
inline void HH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
               std::uint32_t x, unsigned s, std::uint32_t ac) {
    a = ROTATE_LEFT(settled(a + x + ac) + H(b, c, d), s) + b;
}
inline void II(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
               std::uint32_t x, unsigned s, std::uint32_t ac) {
    a = ROTATE_LEFT(settled(a + x + ac) + I(b, c, d), s) + b;
}

// Longest piece handed to update() at once: its length is 32-bit.
constexpr std::size_t kMaxPiece = std::size_t{1} << 31;

}  // namespace

Md5Hasher::Md5Hasher() { init(); }

Md5Hasher::Md5Hasher(const std::string& text) {
    init();
    // Texts of 4 GiB or more are fed in pieces so that every byte is hashed.
    for (std::size_t at = 0; at < text.size(); at += kMaxPiece) {
        const std::size_t piece = std::min(kMaxPiece, text.size() - at);
        update(text.data() + at, static_cast<std::uint32_t>(piece));
    }
    finish();
}

// Initial chaining values (RFC 1321, 3.3).
void Md5Hasher::init() {
    finished = false;
    count[0] = 0;
    count[1] = 0;
    state[0] = 0x67452301;
    state[1] = 0xefcdab89;
    state[2] = 0x98badcfe;
    state[3] = 0x10325476;
}

void Md5Hasher::update(const unsigned char* input, std::uint32_t length) {
    if (length == 0) return;
    std::uint32_t index = (count[0] / 8) % kBlockSize;

    // the bit count, modulo 2^64
    const std::uint32_t bits = length << 3;
    count[0] += bits;
    if (count[0] < bits) ++count[1];
    count[1] += length >> 29;

    // top up the partial block, then transform whole blocks straight from
    // the input, then keep the tail
    const std::uint32_t firstpart = kBlockSize - index;
    std::uint32_t i = 0;
    if (length >= firstpart) {
        std::memcpy(&buffer[index], input, firstpart);
        transform(buffer);
        i = firstpart;
        const std::uint32_t wholeBlocks = (length - i) / 64;
        transformBlocks(&input[i], wholeBlocks);
        i += wholeBlocks * 64;
        index = 0;
    }
    std::memcpy(&buffer[index], &input[i], length - i);
}

void Md5Hasher::update(const char* input, std::uint32_t length) {
    update(reinterpret_cast<const unsigned char*>(input), length);
}

void Md5Hasher::finish() {
    if (finished) return;
    unsigned char size_bits[8];
    encode(size_bits, count, sizeof size_bits);

    // pad to 56 mod 64, then append the length (RFC 1321, 3.1 and 3.2)
    const std::uint32_t index = (count[0] / 8) % kBlockSize;
    const std::uint32_t padLength = index < 56 ? 56 - index : 120 - index;
    update(PADDING, padLength);
    update(size_bits, sizeof size_bits);

    encode(digest, state, sizeof digest);
    std::memset(buffer, 0, sizeof buffer);
    std::memset(count, 0, sizeof count);
    finished = true;
}

std::string Md5Hasher::toHex() const {
    if (!finished) return "";
    char buf[33];
    for (std::size_t i = 0; i < kDigestSize; ++i) {
        std::snprintf(buf + 2 * i, 3, "%02x", digest[i]);
    }
    buf[32] = '\0';
    return buf;
}

// RFC 1321, 3.4: one 64-byte block.
void Md5Hasher::transform(const unsigned char* block) { transformBlocks(block, 1); }

// Consecutive blocks in one call, so that the chaining values stay in
// registers from one block to the next instead of going through memory.
void Md5Hasher::transformBlocks(const unsigned char* blocks, std::size_t blockCount) {
    std::uint32_t x[16];
    std::uint32_t A = state[0], B = state[1], C = state[2], D = state[3];
    for (; blockCount > 0; --blockCount, blocks += kBlockSize) {
        std::uint32_t a = A, b = B, c = C, d = D;
        decode(x, blocks, kBlockSize);

        // Round 1
        FF(a, b, c, d, x[0], S11, 0xd76aa478);
        FF(d, a, b, c, x[1], S12, 0xe8c7b756);
        FF(c, d, a, b, x[2], S13, 0x242070db);
        FF(b, c, d, a, x[3], S14, 0xc1bdceee);
        FF(a, b, c, d, x[4], S11, 0xf57c0faf);
        FF(d, a, b, c, x[5], S12, 0x4787c62a);
        FF(c, d, a, b, x[6], S13, 0xa8304613);
        FF(b, c, d, a, x[7], S14, 0xfd469501);
        FF(a, b, c, d, x[8], S11, 0x698098d8);
        FF(d, a, b, c, x[9], S12, 0x8b44f7af);
        FF(c, d, a, b, x[10], S13, 0xffff5bb1);
        FF(b, c, d, a, x[11], S14, 0x895cd7be);
        FF(a, b, c, d, x[12], S11, 0x6b901122);
        FF(d, a, b, c, x[13], S12, 0xfd987193);
        FF(c, d, a, b, x[14], S13, 0xa679438e);
        FF(b, c, d, a, x[15], S14, 0x49b40821);

        // Round 2
        GG(a, b, c, d, x[1], S21, 0xf61e2562);
        GG(d, a, b, c, x[6], S22, 0xc040b340);
        GG(c, d, a, b, x[11], S23, 0x265e5a51);
        GG(b, c, d, a, x[0], S24, 0xe9b6c7aa);
        GG(a, b, c, d, x[5], S21, 0xd62f105d);
        GG(d, a, b, c, x[10], S22, 0x02441453);
        GG(c, d, a, b, x[15], S23, 0xd8a1e681);
        GG(b, c, d, a, x[4], S24, 0xe7d3fbc8);
        GG(a, b, c, d, x[9], S21, 0x21e1cde6);
        GG(d, a, b, c, x[14], S22, 0xc33707d6);
        GG(c, d, a, b, x[3], S23, 0xf4d50d87);
        GG(b, c, d, a, x[8], S24, 0x455a14ed);
        GG(a, b, c, d, x[13], S21, 0xa9e3e905);
        GG(d, a, b, c, x[2], S22, 0xfcefa3f8);
        GG(c, d, a, b, x[7], S23, 0x676f02d9);
        GG(b, c, d, a, x[12], S24, 0x8d2a4c8a);

        // Round 3
        HH(a, b, c, d, x[5], S31, 0xfffa3942);
        HH(d, a, b, c, x[8], S32, 0x8771f681);
        HH(c, d, a, b, x[11], S33, 0x6d9d6122);
        HH(b, c, d, a, x[14], S34, 0xfde5380c);
        HH(a, b, c, d, x[1], S31, 0xa4beea44);
        HH(d, a, b, c, x[4], S32, 0x4bdecfa9);
        HH(c, d, a, b, x[7], S33, 0xf6bb4b60);
        HH(b, c, d, a, x[10], S34, 0xbebfbc70);
        HH(a, b, c, d, x[13], S31, 0x289b7ec6);
        HH(d, a, b, c, x[0], S32, 0xeaa127fa);
        HH(c, d, a, b, x[3], S33, 0xd4ef3085);
        HH(b, c, d, a, x[6], S34, 0x04881d05);
        HH(a, b, c, d, x[9], S31, 0xd9d4d039);
        HH(d, a, b, c, x[12], S32, 0xe6db99e5);
        HH(c, d, a, b, x[15], S33, 0x1fa27cf8);
        HH(b, c, d, a, x[2], S34, 0xc4ac5665);

        // Round 4
        II(a, b, c, d, x[0], S41, 0xf4292244);
        II(d, a, b, c, x[7], S42, 0x432aff97);
        II(c, d, a, b, x[14], S43, 0xab9423a7);
        II(b, c, d, a, x[5], S44, 0xfc93a039);
        II(a, b, c, d, x[12], S41, 0x655b59c3);
        II(d, a, b, c, x[3], S42, 0x8f0ccc92);
        II(c, d, a, b, x[10], S43, 0xffeff47d);
        II(b, c, d, a, x[1], S44, 0x85845dd1);
        II(a, b, c, d, x[8], S41, 0x6fa87e4f);
        II(d, a, b, c, x[15], S42, 0xfe2ce6e0);
        II(c, d, a, b, x[6], S43, 0xa3014314);
        II(b, c, d, a, x[13], S44, 0x4e0811a1);
        II(a, b, c, d, x[4], S41, 0xf7537e82);
        II(d, a, b, c, x[11], S42, 0xbd3af235);
        II(c, d, a, b, x[2], S43, 0x2ad7d2bb);
        II(b, c, d, a, x[9], S44, 0xeb86d391);

        A += a;
        B += b;
        C += c;
        D += d;
    }
    state[0] = A;
    state[1] = B;
    state[2] = C;
    state[3] = D;
    // The message words are not left behind on the stack.
    std::memset(x, 0, sizeof x);
}

// Little-endian words to bytes (RFC 1321, 3.4); length is a multiple of 4.
void Md5Hasher::encode(unsigned char* output, const std::uint32_t* input, std::size_t length) {
    for (std::size_t i = 0, j = 0; j < length; ++i, j += 4) common::writeLe32(output + j, input[i]);
}

// Each word is one unaligned load on a little-endian host, which keeps the
// message words out of a stack copy at every optimisation level.
inline void Md5Hasher::decode(std::uint32_t* output, const unsigned char* input, std::size_t length) {
    for (std::size_t i = 0, j = 0; j < length; ++i, j += 4) output[i] = common::loadLe<std::uint32_t>(input + j);
}

}  // namespace cairn
