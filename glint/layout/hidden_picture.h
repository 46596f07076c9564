// Hiding with a passphrase so that the picture cannot be told from a clean
// one: the hidden layout (layout/hidden_layout.h) carrying a sealed body
// (encryption/hidden_seal.h). Where everything lies:
//
//   salt (16 bytes)   at 128 reserved units drawn by HMAC-SHA256(passphrase,
//                     context), the context being the layout's version, the
//                     picture's shape and its unchanged header bytes
//   master key        Argon2id(passphrase, salt): 3 passes, 64 MiB, 4 lanes
//   length (32 bits)  the body's length in bytes, XORed with key stream, at
//                     32 reserved units drawn by the "layout" subkey
//   body              the sealed body in the blocks, placed by the "layout"
//                     subkey, +1 or -1 by the "changes" subkey
//
// The seal's key and nonce are the "seal" and "nonce" subkeys; its
// associated data is the context, whether units are grey pixels, and the
// length. The salt is fresh random bytes for every hide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "encryption/hidden_seal.h"
#include "encryption/passphrase_seal.h"
#include "layout/sample_plane.h"

namespace glint {

struct HiddenCover {
    SamplePlane plane;
    // The bytes a hide leaves as they are and that tell the picture apart
    // (for a BMP, its headers): bound to the body, so that a body moved into
    // another picture does not open.
    const unsigned char* header = nullptr;
    std::size_t headerSize = 0;
};

// The largest payload, in bytes before any deflating, whose last name
// component takes `nameBytes` bytes; nothing when none fits.
std::optional<std::uint64_t> hiddenRoom(const SamplePlane& plane, std::size_t nameBytes);

enum class HiddenHide {
    Hidden,
    TooLong,  // nothing was changed
    Failed,   // libgcrypt or memory failed; the samples may have changed
};

// Hides `payload`, stored under the last component of `name`.
HiddenHide hideHidden(const HiddenCover& cover, const SecretBytes& passphrase, const std::string& name,
                      const unsigned char* payload, std::size_t size);

struct HiddenRecovery {
    // Refused: another passphrase, a changed picture, or none hidden.
    PayloadSeal::Opened result = PayloadSeal::Opened::Failed;
    std::string name;
    std::unique_ptr<std::uint64_t[]> body;     // holds the payload when not deflated
    std::unique_ptr<unsigned char[]> inflated;  // holds it when deflated
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

HiddenRecovery recoverHidden(const HiddenCover& cover, const SecretBytes& passphrase);

// The 16 bytes at the salt's place for `passphrase`: the salt of the hide
// that used it, random-looking bytes otherwise. False when the picture is too
// small or libgcrypt failed.
bool readHiddenSalt(const HiddenCover& cover, const SecretBytes& passphrase, unsigned char* salt);

// The last component of a path, '/' and '\\' both separating.
std::string lastNameComponent(const std::string& path);

}  // namespace glint
