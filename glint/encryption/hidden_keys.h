// The keys of the hidden layout, all held in libgcrypt's secure memory:
//
//   placement = HMAC-SHA256(passphrase, context)   where the salt lies
//   master    = Argon2id(passphrase, salt)         the one costly step
//   subkey    = HMAC-SHA256(master, label)         positions, changes, seal
//
// The context is what a hide leaves unchanged (the layout's version, the
// picture's shape and its header bytes), so the salt lies elsewhere in every
// picture, and only the passphrase finds it. The salt is fresh for every
// hide, so every master key, and every key and nonce under it, is new.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "encryption/passphrase_seal.h"

namespace glint {

std::unique_ptr<SecretBytes> placementKey(const SecretBytes& passphrase, const unsigned char* context,
                                          std::size_t size);
std::unique_ptr<SecretBytes> subkey(const SecretBytes& master, const char* label);

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
