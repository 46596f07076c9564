// A payload hidden with a passphrase in the hidden layout
// (hidden/hidden_picture.h) over a cover's pixel samples, whatever file the
// cover came from, and bound to the bytes that tell the picture apart. Only
// the samples change: a BMP cover keeps its header byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>

#include "carrier/carrier.h"
#include "encryption/passphrase_seal.h"
#include "hidden/hidden_picture.h"

namespace glint {

// The largest payload, in bytes, that the cover's pixel samples take when it
// is stored under a name of `nameBytes` bytes; nothing when none fits, or
// the cover has no plain pixel samples.
std::optional<std::uint64_t> hiddenCapacity(const Carrier& cover, std::size_t nameBytes);

// Hides the rest of `payload`, stored under the last component of `name`
// (empty for standard input). TooLong, or a failed read, leaves the cover
// as it was; SealFailed may leave samples changed. Into `lonePixels`, when
// given, the changes that a reader could see as lone pixels.
Carrier::Failure hideInPixels(Carrier& cover, std::istream& payload, const std::string& name,
                              const SecretBytes& passphrase, std::uint64_t* lonePixels = nullptr);

// The payload hidden with `passphrase`; Refused when there is none to open
// (another passphrase, a changed picture, a payload of another layout).
HiddenRecovery recoverFromPixels(const Carrier& stego, const SecretBytes& passphrase);

}  // namespace glint
