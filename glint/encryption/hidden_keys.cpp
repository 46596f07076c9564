#include "encryption/hidden_keys.h"

#include <gcrypt.h>

#include <cstring>

#include "common/byte_order.h"

namespace glint {

using common::readLe64;
namespace {

constexpr std::size_t kDigestBytes = 32;  // SHA-256

// HMAC-SHA256 of the two parts in secure memory; none when libgcrypt fails.
std::unique_ptr<SecretBytes> hmac(const SecretBytes& key, const unsigned char* first, std::size_t firstSize,
                                  const unsigned char* second, std::size_t secondSize) {
    auto out = std::make_unique<SecretBytes>(kDigestBytes);
    gcry_md_hd_t handle = nullptr;
    if (!out->allocated() ||
        gcry_md_open(&handle, GCRY_MD_SHA256, GCRY_MD_FLAG_HMAC | GCRY_MD_FLAG_SECURE) != 0) {
        return nullptr;
    }
    const bool done = gcry_md_setkey(handle, key.data(), key.size()) == 0;
    if (done) {
        if (firstSize > 0) gcry_md_write(handle, first, firstSize);
        gcry_md_write(handle, second, secondSize);
        out->resize(kDigestBytes);
        std::memcpy(out->data(), gcry_md_read(handle, GCRY_MD_SHA256), kDigestBytes);
    }
    gcry_md_close(handle);  // wipes the handle's state
    return done ? std::move(out) : nullptr;
}

gcry_cipher_hd_t handleOf(void* cipher) { return static_cast<gcry_cipher_hd_t>(cipher); }

}  // namespace

bool saltOfContext(const unsigned char* context, std::size_t size, unsigned char* salt) {
    if (!libraryReady()) return false;
    unsigned char digest[kDigestBytes];
    gcry_md_hash_buffer(GCRY_MD_SHA256, digest, context, size);
    std::memcpy(salt, digest, kSaltBytes);
    return true;
}

std::unique_ptr<SecretBytes> subkey(const SecretBytes& key, const char* label, const unsigned char* prefix,
                                    std::size_t prefixSize) {
    if (!libraryReady()) return nullptr;
    return hmac(key, prefix, prefixSize, reinterpret_cast<const unsigned char*>(label), std::strlen(label));
}

KeyStream::KeyStream(const SecretBytes& key) {
    gcry_cipher_hd_t handle = nullptr;
    if (!libraryReady() || key.size() != kKeyBytes ||
        gcry_cipher_open(&handle, GCRY_CIPHER_AES256, GCRY_CIPHER_MODE_CTR, GCRY_CIPHER_SECURE) != 0) {
        return;
    }
    if (gcry_cipher_setkey(handle, key.data(), kKeyBytes) != 0) {
        gcry_cipher_close(handle);
        return;
    }
    cipher_ = handle;
}

KeyStream::~KeyStream() {
    wipe(pool_, sizeof pool_);
    if (cipher_ != nullptr) gcry_cipher_close(handleOf(cipher_));
}

// The counter block is domain (4 bytes) | index (8) | block number (4), so
// that no two streams share a block below 64 GiB each.
bool KeyStream::fill(std::uint32_t domain, std::uint64_t index, unsigned char* out, std::size_t size) {
    return fillFrom(domain, index, 0, out, size);
}

bool KeyStream::fillFrom(std::uint32_t domain, std::uint64_t index, std::uint32_t block, unsigned char* out,
                         std::size_t size) {
    if (cipher_ == nullptr) return false;
    unsigned char counter[16] = {};
    for (int i = 0; i < 4; ++i) counter[i] = static_cast<unsigned char>(domain >> (24 - 8 * i));
    for (int i = 0; i < 8; ++i) counter[4 + i] = static_cast<unsigned char>(index >> (56 - 8 * i));
    for (int i = 0; i < 4; ++i) counter[12 + i] = static_cast<unsigned char>(block >> (24 - 8 * i));
    std::memset(out, 0, size);
    return gcry_cipher_setctr(handleOf(cipher_), counter, sizeof counter) == 0 &&
           gcry_cipher_encrypt(handleOf(cipher_), out, size, nullptr, 0) == 0;
}

void KeyStream::start(std::uint32_t domain, std::uint64_t index) {
    domain_ = domain;
    index_ = index;
    piece_ = 0;
    used_ = sizeof pool_;
}

std::uint64_t KeyStream::below(std::uint64_t bound) {
    // Values in the last, incomplete run of `bound` are drawn again, so that
    // every result is equally likely.
    const std::uint64_t limit = ~std::uint64_t{0} - (~std::uint64_t{0} % bound + 1) % bound;
    for (;;) {
        if (used_ + 8 > sizeof pool_) {
            const auto block = static_cast<std::uint32_t>(piece_++ * (sizeof pool_ / 16));
            if (!fillFrom(domain_, index_, block, pool_, sizeof pool_)) std::memset(pool_, 0, sizeof pool_);
            used_ = 0;
        }
        const std::uint64_t value = readLe64(pool_ + used_);
        used_ += 8;
        if (value <= limit) return value % bound;
    }
}

}  // namespace glint
