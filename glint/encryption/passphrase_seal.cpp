#include "encryption/passphrase_seal.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstdarg>

namespace glint {
namespace {

// Argon2id with RFC 9106's second recommended option (section 4, for
// memory-constrained use): 3 passes over 64 MiB in 4 lanes. libgcrypt runs
// the lanes one after another here; on one core that takes as long as
// parallel lanes take on four, and the attacker's cost is the same.
constexpr unsigned long kArgonPasses = 3;
constexpr unsigned long kArgonMemoryKiB = 64 * 1024;
constexpr unsigned long kArgonLanes = 4;

// Enough for a passphrase, its converted copy, the key and the cipher's key
// schedule, with room to spare.
constexpr std::size_t kSecureMemoryBytes = 64 * 1024;

// libgcrypt's own notes (on Windows its entropy gatherer asks for
// "diskperf -y") are not texts of this program.
void dropLibraryNote(void* /*unused*/, int /*level*/, const char* /*format*/, va_list /*arguments*/) {}

// libgcrypt must be set up once, before its first use.
bool libraryReady() {
    static const bool ready = [] {
        gcry_set_log_handler(dropLibraryNote, nullptr);
        if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
        // Without the right to lock memory the pool still works, unlocked;
        // the warning libgcrypt would print about it says nothing useful here.
        gcry_control(GCRYCTL_DISABLE_SECMEM_WARN);
        gcry_control(GCRYCTL_INIT_SECMEM, kSecureMemoryBytes, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    return ready;
}

// A store the compiler may not leave out because the block is freed next.
void wipe(unsigned char* bytes, std::size_t size) {
    volatile unsigned char* at = bytes;
    for (std::size_t i = 0; i < size; ++i) at[i] = 0;
}

struct CipherCloser {
    void operator()(gcry_cipher_handle* handle) const { gcry_cipher_close(handle); }
};
using Cipher = std::unique_ptr<gcry_cipher_handle, CipherCloser>;

struct KdfCloser {
    void operator()(gcry_kdf_handle* handle) const { gcry_kdf_close(handle); }
};
using Kdf = std::unique_ptr<gcry_kdf_handle, KdfCloser>;

// AES-256-GCM keyed and set to `nonce`; its key schedule in secure memory.
Cipher startCipher(const SecretBytes& key, const unsigned char* nonce) {
    gcry_cipher_hd_t handle = nullptr;
    if (!libraryReady() || key.size() != kKeyBytes ||
        gcry_cipher_open(&handle, GCRY_CIPHER_AES256, GCRY_CIPHER_MODE_GCM, GCRY_CIPHER_SECURE) != 0) {
        return nullptr;
    }
    Cipher cipher(handle);
    if (gcry_cipher_setkey(handle, key.data(), kKeyBytes) != 0 || gcry_cipher_setiv(handle, nonce, kNonceBytes) != 0 ||
        gcry_cipher_final(handle) != 0) {
        return nullptr;
    }
    return cipher;
}

// The key for `passphrase` and `salt`; none when libgcrypt fails (for
// instance when the 64 MiB cannot be had).
std::unique_ptr<SecretBytes> deriveKey(const SecretBytes& passphrase, const unsigned char* salt) {
    // tag length, passes, memory in KiB, lanes: libgcrypt's order
    const unsigned long parameters[] = {kKeyBytes, kArgonPasses, kArgonMemoryKiB, kArgonLanes};
    auto key = std::make_unique<SecretBytes>(kKeyBytes);
    gcry_kdf_hd_t handle = nullptr;
    if (!key->allocated() ||
        gcry_kdf_open(&handle, GCRY_KDF_ARGON2, GCRY_KDF_ARGON2ID, parameters, std::size(parameters),
                      passphrase.data(), passphrase.size(), salt, kSaltBytes, nullptr, 0, nullptr, 0) != 0) {
        return nullptr;
    }
    const Kdf kdf(handle);
    key->resize(kKeyBytes);
    if (gcry_kdf_compute(handle, nullptr) != 0 || gcry_kdf_final(handle, kKeyBytes, key->data()) != 0) return nullptr;
    return key;
}

}  // namespace

SecretBytes::SecretBytes(std::size_t capacity) {
    if (!libraryReady()) return;
    bytes_ = static_cast<unsigned char*>(gcry_malloc_secure(std::max<std::size_t>(capacity, 1)));
    if (bytes_ != nullptr) capacity_ = capacity;
}

SecretBytes::~SecretBytes() {
    if (bytes_ == nullptr) return;
    wipe(bytes_, capacity_);
    gcry_free(bytes_);
}

bool SecretBytes::append(unsigned char byte) {
    if (size_ == capacity_) return false;
    bytes_[size_++] = byte;
    return true;
}

void SecretBytes::resize(std::size_t size) {
    size_ = std::min(size, capacity_);
    if (bytes_ != nullptr) wipe(bytes_ + size_, capacity_ - size_);
}

bool SecretBytes::operator==(const SecretBytes& other) const {
    return size_ == other.size_ && std::equal(bytes_, bytes_ + size_, other.bytes_);
}

bool sealWithKey(const SecretBytes& key, const unsigned char* nonce, unsigned char* bytes, std::size_t size,
                 unsigned char* tag) {
    const Cipher cipher = startCipher(key, nonce);
    return cipher && (size == 0 || gcry_cipher_encrypt(cipher.get(), bytes, size, nullptr, 0) == 0) &&
           gcry_cipher_gettag(cipher.get(), tag, kTagBytes) == 0;
}

PayloadSeal::Opened openWithKey(const SecretBytes& key, const unsigned char* nonce, unsigned char* bytes,
                                std::size_t size, const unsigned char* tag) {
    const Cipher cipher = startCipher(key, nonce);
    if (!cipher || (size > 0 && gcry_cipher_decrypt(cipher.get(), bytes, size, nullptr, 0) != 0)) {
        wipe(bytes, size);
        return PayloadSeal::Opened::Failed;
    }
    // GCM decrypts before it can check: bytes that fail the check are never
    // let out.
    if (gcry_cipher_checktag(cipher.get(), tag, kTagBytes) != 0) {
        wipe(bytes, size);
        return PayloadSeal::Opened::Refused;
    }
    return PayloadSeal::Opened::Yes;
}

void randomBytes(unsigned char* bytes, std::size_t size) {
    if (libraryReady()) gcry_randomize(bytes, size, GCRY_STRONG_RANDOM);
}

PassphraseSeal::PassphraseSeal(std::unique_ptr<SecretBytes> passphrase)
    : PayloadSeal(kSaltBytes + kNonceBytes, kTagBytes), passphrase_(std::move(passphrase)) {}

bool PassphraseSeal::close(unsigned char* before, unsigned char* payload, std::size_t size, unsigned char* after) {
    if (!libraryReady()) return false;
    randomBytes(before, kSaltBytes + kNonceBytes);
    const std::unique_ptr<SecretBytes> key = deriveKey(*passphrase_, before);
    return key && sealWithKey(*key, before + kSaltBytes, payload, size, after);
}

PayloadSeal::Opened PassphraseSeal::open(const unsigned char* before, unsigned char* payload, std::size_t size,
                                         const unsigned char* after) {
    const std::unique_ptr<SecretBytes> key = deriveKey(*passphrase_, before);
    if (!key) {
        wipe(payload, size);
        return Opened::Failed;
    }
    return openWithKey(*key, before + kSaltBytes, payload, size, after);
}

}  // namespace glint
