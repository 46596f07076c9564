#include "layout/hidden_picture.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "encryption/hidden_keys.h"
#include "layout/bit_words.h"
#include "layout/byte_order.h"
#include "layout/hidden_layout.h"

namespace glint {
namespace {

// Key-stream domains of the "layout" subkey beside those of the blocks
// (layout/block_shuffle.cpp, layout/hidden_layout.cpp), and of the others.
constexpr std::uint32_t kLengthUnitsDomain = 5;
constexpr std::uint32_t kLengthMaskDomain = 6;
constexpr std::uint32_t kSaltUnitsDomain = 7;  // placement key
constexpr std::uint32_t kPaddingDomain = 8;    // "changes" subkey
constexpr std::uint32_t kReservedDomain = 9;   // "changes" subkey

const char kVersion[] = "glint hidden layout 2";

void appendLe64(std::vector<unsigned char>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::vector<unsigned char> contextOf(const HiddenCover& cover) {
    std::vector<unsigned char> context(kVersion, kVersion + sizeof kVersion);
    for (const std::uint64_t field : {std::uint64_t{cover.plane.rows}, std::uint64_t{cover.plane.pixelsPerRow},
                                      std::uint64_t{cover.plane.channels}, std::uint64_t{cover.plane.sampleBytes},
                                      std::uint64_t{cover.headerSize}}) {
        appendLe64(context, field);
    }
    context.insert(context.end(), cover.header, cover.header + cover.headerSize);
    return context;
}

std::vector<unsigned char> associatedData(const std::vector<unsigned char>& context, bool grey, std::uint32_t length) {
    std::vector<unsigned char> data = context;
    data.push_back(grey ? 1 : 0);
    appendLe64(data, length);
    return data;
}

// The layout reads the body as little-endian words.
void wordsFromBytes(std::uint64_t* words, std::size_t count) {
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < count; ++i) words[i] = swapBytes64(words[i]);
    }
}

// The keys that follow from the salt.
struct HideKeys {
    std::unique_ptr<SecretBytes> layout, changes, seal, nonce;
    bool ready() const { return layout && changes && seal && nonce; }
};

HideKeys keysOf(const SecretBytes& passphrase, const unsigned char* salt) {
    const std::unique_ptr<SecretBytes> master = deriveKey(passphrase, salt);
    if (!master) return {};
    return {subkey(*master, "layout"), subkey(*master, "changes"), subkey(*master, "seal"), subkey(*master, "nonce")};
}

// Where the salt and the length lie in `layout`'s units.
struct Reserved {
    std::vector<std::uint64_t> salt, length, all;
};

Reserved reservedUnits(const HiddenLayout& layout, KeyStream& placement, KeyStream& layoutStream) {
    Reserved r;
    r.salt = layout.drawReserved(placement, kSaltUnitsDomain, kSaltUnits, {});
    r.length = layout.drawReserved(layoutStream, kLengthUnitsDomain, kLengthUnits, r.salt);
    r.all = r.salt;
    r.all.insert(r.all.end(), r.length.begin(), r.length.end());
    return r;
}

std::uint32_t lengthMask(KeyStream& layoutStream) {
    unsigned char mask[4] = {};
    layoutStream.fill(kLengthMaskDomain, 0, mask, sizeof mask);
    return readLe32(mask);
}

}  // namespace

std::string lastNameComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::uint64_t> hiddenRoom(const SamplePlane& plane, std::size_t nameBytes) {
    // The length field holds at most 2^32 - 1 bytes.
    const std::uint64_t body = std::min<std::uint64_t>(HiddenLayout(plane, true).roomBits() / 8, 0xFFFFFFFFULL);
    const std::size_t overhead = bodyOverhead(std::min(nameBytes, kLongestStoredName));
    if (body < overhead) return std::nullopt;
    return body - overhead;
}

namespace {

HiddenHide hideWithPassphrase(const HiddenCover& cover, const SecretBytes& passphrase, const std::string& name,
                              const unsigned char* payload, std::size_t size) {
    HiddenLayout layout(cover.plane, true);
    const std::optional<std::uint64_t> room = hiddenRoom(cover.plane, lastNameComponent(name).size());
    if (!room || size > *room) return HiddenHide::TooLong;
    const std::vector<unsigned char> context = contextOf(cover);
    const std::unique_ptr<SecretBytes> placementBytes = placementKey(passphrase, context.data(), context.size());
    if (!placementBytes) return HiddenHide::Failed;
    KeyStream placement(*placementBytes);
    unsigned char salt[kSaltBytes];
    randomBytes(salt, sizeof salt);
    const HideKeys keys = keysOf(passphrase, salt);
    if (!placement.ready() || !keys.ready()) return HiddenHide::Failed;
    KeyStream layoutStream(*keys.layout);
    KeyStream changes(*keys.changes);
    if (!layoutStream.ready() || !changes.ready()) return HiddenHide::Failed;
    const Reserved reserved = reservedUnits(layout, placement, layoutStream);
    // Framed once Argon2's memory is released, so that the two are never
    // held together.
    std::optional<SealedBody> body = frameBody(lastNameComponent(name), payload, size);
    if (!body) return HiddenHide::Failed;

    const auto length = static_cast<std::uint32_t>(body->size);
    if (!sealBody(*body, *keys.seal, keys.nonce->data(), associatedData(context, layout.units().grey(), length))) {
        return HiddenHide::Failed;
    }
    wordsFromBytes(body->words.get(), body->wordCount() - 2);
    // The last group's spare bits are random like the rest.
    const std::size_t last = body->wordCount() - 2;
    if (!changes.fill(kPaddingDomain, 0, reinterpret_cast<unsigned char*>(body->words.get() + last), 16)) {
        return HiddenHide::Failed;
    }
    if (body->size % 8 != 0) {
        unsigned char spare[8];
        changes.fill(kPaddingDomain, 1, spare, sizeof spare);
        const auto used = static_cast<unsigned>(8 * (body->size % 8));
        body->words[last - 1] = (body->words[last - 1] & lowBits(used)) | (readLe64(spare) << used);
    }

    changes.start(kReservedDomain, 0);
    layout.writeReserved(reserved.salt, 0, readLe64(salt), 64, changes);
    layout.writeReserved(reserved.salt, 64, readLe64(salt + 8), 64, changes);
    layout.writeReserved(reserved.length, 0, length ^ lengthMask(layoutStream), kLengthUnits, changes);
    const bool hidden = layout.embed(*keys.layout, *keys.changes, reserved.all, body->words.get(), 8 * std::uint64_t{length});
    return hidden ? HiddenHide::Hidden : HiddenHide::Failed;
}

}  // namespace

HiddenHide hideHidden(const HiddenCover& cover, const SecretBytes& passphrase, const std::string& name,
                      const unsigned char* payload, std::size_t size) {
    const HiddenHide result = hideWithPassphrase(cover, passphrase, name, payload, size);
    scrubStack();
    return result;
}

bool readHiddenSalt(const HiddenCover& cover, const SecretBytes& passphrase, unsigned char* salt) {
    const HiddenLayout layout(cover.plane, true);
    const std::vector<unsigned char> context = contextOf(cover);
    const std::unique_ptr<SecretBytes> placementBytes = placementKey(passphrase, context.data(), context.size());
    if (layout.roomBits() == 0 || !placementBytes) return false;
    KeyStream placement(*placementBytes);
    if (!placement.ready()) return false;
    const std::vector<std::uint64_t> saltUnits = layout.drawReserved(placement, kSaltUnitsDomain, kSaltUnits, {});
    writeLe64(salt, layout.readReserved(saltUnits, 0, 64));
    writeLe64(salt + 8, layout.readReserved(saltUnits, 64, 64));
    return true;
}

namespace {

HiddenRecovery recoverWithPassphrase(const HiddenCover& cover, const SecretBytes& passphrase) {
    HiddenRecovery recovery;
    const std::vector<unsigned char> context = contextOf(cover);
    const std::unique_ptr<SecretBytes> placementBytes = placementKey(passphrase, context.data(), context.size());
    if (!placementBytes) return recovery;
    KeyStream placement(*placementBytes);
    if (!placement.ready()) return recovery;

    std::unique_ptr<SecretBytes> layoutKey, sealKey, nonce;
    std::uint32_t length = 0;
    // A grey picture may also come from a colour cover whose every changed
    // pixel came out grey: then its samples are the units. The reserved units
    // are the same samples either way, so the salt and the key are read once.
    bool greyTried = false;
    for (const bool allowGrey : {true, false}) {
        const HiddenLayout layout(cover.plane, allowGrey);
        if (!allowGrey && !greyTried) break;
        greyTried = layout.units().grey();
        if (layout.roomBits() == 0) {
            recovery.result = PayloadSeal::Opened::Refused;
            return recovery;
        }
        if (!layoutKey) {
            unsigned char salt[kSaltBytes];
            if (!readHiddenSalt(cover, passphrase, salt)) return recovery;
            HideKeys keys = keysOf(passphrase, salt);
            if (!keys.ready()) return recovery;
            layoutKey = std::move(keys.layout);
            sealKey = std::move(keys.seal);
            nonce = std::move(keys.nonce);
        }
        KeyStream layoutStream(*layoutKey);
        if (!layoutStream.ready()) return recovery;
        const Reserved reserved = reservedUnits(layout, placement, layoutStream);
        length = static_cast<std::uint32_t>(layout.readReserved(reserved.length, 0, kLengthUnits)) ^ lengthMask(layoutStream);
        // A length that no hide could have written: nothing is hidden here
        // under this passphrase.
        recovery.result = PayloadSeal::Opened::Refused;
        if (length < kFrameBytes + kTagBytes || 8 * std::uint64_t{length} > layout.roomBits()) continue;
        std::optional<SealedBody> body = bodyOfSize(length);
        if (!body) {
            recovery.result = PayloadSeal::Opened::Failed;
            return recovery;
        }
        if (!layout.extract(*layoutKey, reserved.all, body->words.get(), 8 * std::uint64_t{length})) continue;
        wordsFromBytes(body->words.get(), body->wordCount() - 2);
        OpenedBody opened = openBody(*body, *sealKey, nonce->data(), associatedData(context, layout.units().grey(), length));
        recovery.result = opened.result;
        if (opened.result != PayloadSeal::Opened::Yes) continue;
        recovery.name = std::move(opened.name);
        recovery.size = opened.size;
        recovery.data = opened.data;
        recovery.inflated = std::move(opened.payload);
        recovery.body = std::move(body->words);
        return recovery;
    }
    return recovery;
}

}  // namespace

HiddenRecovery recoverHidden(const HiddenCover& cover, const SecretBytes& passphrase) {
    HiddenRecovery recovery = recoverWithPassphrase(cover, passphrase);
    scrubStack();
    return recovery;
}

}  // namespace glint
