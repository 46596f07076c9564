// The keys of the hidden layout, all held in libgcrypt's secure memory:
//
//   master = Argon2id(passphrase, SHA-256(context))    the one costly step
//   places = HMAC-SHA256(master, "seed places")         where the seed lies
//   subkey = HMAC-SHA256(master, seed | label)          positions, changes, seal
//
// The context is what a hide leaves unchanged (the layout's version, the
// picture's shape, its header bytes and samples it never changes), so that
// every picture has its own master key and only the passphrase, through
// Argon2id, finds anything in it: even someone who holds the cover and sees
// which samples changed can test a guessed passphrase no faster than
// Argon2id allows. The seed is fresh random bytes for every hide, so every
// key and nonce under it is new.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "encryption/passphrase_seal.h"

namespace glint {

inline constexpr std::size_t kSeedBytes = 16;

// The 16-byte Argon2id salt of a context; false when libgcrypt cannot start.
bool saltOfContext(const unsigned char* context, std::size_t size, unsigned char* salt);
// HMAC-SHA256(key, prefix | label); none when libgcrypt fails.
std::unique_ptr<SecretBytes> subkey(const SecretBytes& key, const char* label, const unsigned char* prefix = nullptr,
                                    std::size_t prefixSize = 0);

// AES-256 in counter mode under a key: independent streams of pseudo-random
// bytes, one for each (domain, index), from any thread that has its own.
class KeyStream {
public:
    explicit KeyStream(const SecretBytes& key);
    ~KeyStream();
    KeyStream(const KeyStream&) = delete;
    KeyStream& operator=(const KeyStream&) = delete;

    bool ready() const { return cipher_ != nullptr; }
    // Bytes [0, size) of stream (domain, index); false when libgcrypt failed.
    bool fill(std::uint32_t domain, std::uint64_t index, unsigned char* out, std::size_t size);
    // A number uniform in [0, bound), bound > 0, from a stream read in order.
    std::uint64_t below(std::uint64_t bound);
    // Starts the stream that below() reads.
    void start(std::uint32_t domain, std::uint64_t index);

private:
    bool fillFrom(std::uint32_t domain, std::uint64_t index, std::uint32_t block, unsigned char* out,
                  std::size_t size);

    void* cipher_ = nullptr;  // gcry_cipher_hd_t, kept out of the header
    unsigned char pool_[512];
    std::size_t used_ = sizeof pool_;
    std::uint32_t domain_ = 0;
    std::uint64_t index_ = 0;
    std::uint64_t piece_ = 0;
};

}  // namespace glint
