// The sealed body of the hidden layout: what a hide with a passphrase hides.
//
//   flags (1) | name length (1) | name | [original size (8), when deflated] | data
//
// sealed with AES-256-GCM under a key and nonce of its own hide, with the
// picture's unchanged bytes as associated data, and the 16-byte tag after
// it. Flag bit 0: data is the payload deflated by zlib, which is done only
// when that makes it smaller. The name is the payload's last name component.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encryption/passphrase_seal.h"
#include "encryption/payload_seal.h"

namespace glint {

inline constexpr std::size_t kFrameBytes = 2;
inline constexpr std::size_t kLongestStoredName = 255;

// Bytes a body adds to a payload of that name, before any deflating.
inline std::size_t bodyOverhead(std::size_t nameBytes) { return kFrameBytes + nameBytes + kTagBytes; }

// A body held in whole 64-bit words, the layout's unit of work, with two
// words to spare after it.
struct SealedBody {
    std::unique_ptr<std::uint64_t[]> words;
    std::size_t size = 0;  // bytes, tag included

    unsigned char* bytes() { return reinterpret_cast<unsigned char*>(words.get()); }
    std::size_t wordCount() const { return (size + 7) / 8 + 2; }
};

// Room for a body of `size` bytes.
std::optional<SealedBody> bodyOfSize(std::size_t size);

// The frame of `payload` named `name` (at most kLongestStoredName bytes),
// with room for the tag; nothing when memory ran out.
std::optional<SealedBody> frameBody(const std::string& name, const unsigned char* payload, std::size_t size);

bool sealBody(SealedBody& body, const SecretBytes& key, const unsigned char* nonce,
              const std::vector<unsigned char>& associated);

struct OpenedBody {
    PayloadSeal::Opened result = PayloadSeal::Opened::Failed;
    std::string name;
    std::unique_ptr<unsigned char[]> payload;  // set when opened
    std::size_t size = 0;
    const unsigned char* data = nullptr;  // the payload: in `payload`, or inside the body
};

// Opens a sealed body in place: Refused when the key, the associated data or
// any byte differs from the seal's, or the frame inside is not one.
OpenedBody openBody(SealedBody& body, const SecretBytes& key, const unsigned char* nonce,
                    const std::vector<unsigned char>& associated);

}  // namespace glint
