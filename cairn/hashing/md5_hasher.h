// The MD5 message digest of RFC 1321.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cairn {

// Absorbs bytes with update() and produces the 16-byte digest with finish().
// Plain data: it holds no pointers and copies freely.
class Md5Hasher {
public:
    static constexpr std::size_t kBlockSize = 64;
    static constexpr std::size_t kDigestSize = 16;

    Md5Hasher();
    // Hashes the whole text; the hasher is finished afterwards.
    explicit Md5Hasher(const std::string& text);

    void init();
    void update(const unsigned char* input, std::uint32_t length);
    void update(const char* input, std::uint32_t length);
    // Pads, appends the bit count and fixes the digest; a second call does nothing.
    void finish();
    // 32 lower-case hexadecimal digits, or "" before finish().
    std::string toHex() const;

private:
    void transform(const unsigned char* block);
    void transformBlocks(const unsigned char* blocks, std::size_t blockCount);
    static void encode(unsigned char* output, const std::uint32_t* input, std::size_t length);
    static void decode(std::uint32_t* output, const unsigned char* input, std::size_t length);

    std::uint32_t state[4];  // chaining values A, B, C, D
    unsigned char digest[kDigestSize];
    unsigned char buffer[kBlockSize];  // input not yet forming a whole block
    std::uint32_t count[2];  // bits absorbed, modulo 2^64; count[0] is the low word
    bool finished;
};

}  // namespace cairn
