// Encryption of a payload with a passphrase, through libgcrypt. The hidden
// bytes of an encrypted payload are
//
//   salt (16) | nonce (12) | ciphertext (as long as the payload) | tag (16)
//
// with the key derived by Argon2id from the passphrase and the salt, and the
// payload sealed by AES-256-GCM under that key and the nonce. Salt and nonce
// are fresh random bytes for every payload; nothing else is added, so the
// hidden bytes cannot be told from random ones. Nothing outside this file
// and its header sees libgcrypt.
#pragma once

#include <cstddef>
#include <memory>

#include "encryption/payload_seal.h"

namespace glint {

inline constexpr std::size_t kSaltBytes = 16;
inline constexpr std::size_t kNonceBytes = 12;
inline constexpr std::size_t kTagBytes = 16;
inline constexpr std::size_t kSealOverhead = kSaltBytes + kNonceBytes + kTagBytes;
inline constexpr std::size_t kKeyBytes = 32;  // AES-256
// The longest passphrase taken, in bytes.
inline constexpr std::size_t kLongestPassphrase = 1024;

// Secret bytes (a passphrase, a key) in libgcrypt's secure memory, which is
// kept out of swap where the system allows, and wiped when released.
class SecretBytes {
public:
    // Room for `capacity` bytes; none (allocated() false) when the secure
    // memory is used up or libgcrypt cannot start.
    explicit SecretBytes(std::size_t capacity);
    ~SecretBytes();
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    bool allocated() const { return bytes_ != nullptr; }
    unsigned char* data() { return bytes_; }
    const unsigned char* data() const { return bytes_; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    // False, and nothing kept, when it is full.
    bool append(unsigned char byte);
    // Keeps the first `size` bytes (at most the capacity) and wipes the rest.
    void resize(std::size_t size);
    bool operator==(const SecretBytes& other) const;

private:
    unsigned char* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// AES-256-GCM under a key that is already derived; no associated data.
bool sealWithKey(const SecretBytes& key, const unsigned char* nonce, unsigned char* bytes, std::size_t size,
                 unsigned char* tag);
PayloadSeal::Opened openWithKey(const SecretBytes& key, const unsigned char* nonce, unsigned char* bytes,
                                std::size_t size, const unsigned char* tag);

// Fresh random bytes for a salt or a nonce.
void randomBytes(unsigned char* bytes, std::size_t size);

// The seal of `glint hide -p` and `glint recover -p`.
class PassphraseSeal final : public PayloadSeal {
public:
    explicit PassphraseSeal(std::unique_ptr<SecretBytes> passphrase);

    bool close(unsigned char* before, unsigned char* payload, std::size_t size, unsigned char* after) override;
    Opened open(const unsigned char* before, unsigned char* payload, std::size_t size,
                const unsigned char* after) override;

private:
    std::unique_ptr<SecretBytes> passphrase_;
};

}  // namespace glint
