// Hiding with a passphrase so that the picture cannot be told from a clean
// one: the hidden layout (hidden/hidden_layout.h) carrying a sealed body
// (encryption/hidden_seal.h). Where everything lies:
//
//   context           the layout's version, the picture's shape, its header
//                     bytes and its anchors (samples no hide changes)
//   master key        Argon2id(passphrase, SHA-256(context)): 3 passes,
//                     64 MiB, 4 lanes
//   seed (16 bytes)   fresh random bytes for every hide, at 3 x 128 reserved
//                     units drawn by HMAC(master, "seed places")
//   length (32 bits)  the body's length in bytes, XORed with key stream, at
//                     3 x 32 reserved units drawn by the "layout" subkey
//   body              the sealed body in the blocks, placed by the "layout"
//                     subkey, +1 or -1 by the "changes" subkey
//
// The subkeys are HMAC(master, seed | label); the seal's key and nonce are
// the "seal" and "nonce" subkeys, and its associated data is the context,
// whether units are grey pixels, and the length.
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

// The largest payload, in bytes before any deflating, stored under a name of
// `nameBytes` bytes (as storedNameOf gives it); nothing when none fits.
std::optional<std::uint64_t> hiddenRoom(const SamplePlane& plane, std::size_t nameBytes);

enum class HiddenHide {
    Hidden,
    TooLong,  // nothing was changed
    Failed,   // libgcrypt or memory failed; the samples may have changed
};

// Hides `payload`, stored under storedNameOf(name); into `lonePixels`, when
// given, the changes that left a pixel lone (HiddenLayout::lonePixels).
HiddenHide hideHidden(const HiddenCover& cover, const SecretBytes& passphrase, const std::string& name,
                      const unsigned char* payload, std::size_t size, std::uint64_t* lonePixels = nullptr);

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

// The keys of the hide with `passphrase` whose seed the picture holds (of
// none, keys no hide used); nothing when the picture is too small or
// libgcrypt failed. One Argon2id derivation.
struct HiddenKeys {
    std::unique_ptr<SecretBytes> master, layout, changes, seal, nonce;
    bool ready() const { return master && layout && changes && seal && nonce; }
};
std::optional<HiddenKeys> hiddenKeysOf(const HiddenCover& cover, const SecretBytes& passphrase);

// The name a payload at `path` is stored under: its last component, '/' and
// '\\' both separating, and of a component longer than kLongestStoredName
// bytes its extension and as much of the rest before it as fits, cut between
// two UTF-8 characters.
std::string storedNameOf(const std::string& path);

}  // namespace glint
