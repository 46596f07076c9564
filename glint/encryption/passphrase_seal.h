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
    // A copy in secure memory of its own; none when the memory is used up.
    std::unique_ptr<SecretBytes> copy() const;

private:
    unsigned char* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// AES-256-GCM under a key that is already derived, authenticating
// `associated` too when given.
bool sealWithKey(const SecretBytes& key, const unsigned char* nonce, unsigned char* bytes, std::size_t size,
                 unsigned char* tag, const unsigned char* associated = nullptr, std::size_t associatedSize = 0);
PayloadSeal::Opened openWithKey(const SecretBytes& key, const unsigned char* nonce, unsigned char* bytes,
                                std::size_t size, const unsigned char* tag, const unsigned char* associated = nullptr,
                                std::size_t associatedSize = 0);

// libgcrypt set up (once, before its first use); false when it cannot start.
bool libraryReady();

// A store the compiler may not leave out because the block is freed next.
void wipe(unsigned char* bytes, std::size_t size);

// Overwrites the stack below the caller, where the calls made with a key
// leave copies of it: libgcrypt's own temporaries, and the vector registers
// the dynamic linker saves there when it binds a function on its first call
// (a build that binds every function at start, as ours does, has none).
// Called when a key's work is done, from no deeper than that work began.
void scrubStack();

// The 32-byte key of Argon2id for `passphrase` and the 16-byte `salt`; none
// when libgcrypt fails (for instance when the 64 MiB cannot be had).
std::unique_ptr<SecretBytes> deriveKey(const SecretBytes& passphrase, const unsigned char* salt);

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
