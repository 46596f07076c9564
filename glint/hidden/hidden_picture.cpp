#include "hidden/hidden_picture.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "encryption/hidden_keys.h"
#include "layout/bit_words.h"
#include "common/byte_order.h"
#include "hidden/hidden_layout.h"

namespace glint {

using common::readLe32;
using common::readLe64;
using common::writeLe64;
namespace {

// Key-stream domains of the "layout" subkey beside those of the blocks
// (hidden/block_shuffle.cpp, hidden/hidden_layout.cpp), and of the others.
constexpr std::uint32_t kLengthUnitsDomain = 5;
constexpr std::uint32_t kLengthMaskDomain = 6;
constexpr std::uint32_t kSeedUnitsDomain = 7;  // the places key
constexpr std::uint32_t kPaddingDomain = 8;    // "changes" subkey
constexpr std::uint32_t kReservedDomain = 9;   // "changes" subkey

const char kVersion[] = "glint hidden layout 5";

// An extension longer than this is taken as part of the name when one is cut.
constexpr std::size_t kLongestKeptExtension = 64;

void appendLe64(std::vector<unsigned char>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::vector<unsigned char> contextOf(const HiddenCover& cover, const HiddenLayout& layout) {
    std::vector<unsigned char> context(kVersion, kVersion + sizeof kVersion);
    for (const std::uint64_t field : {std::uint64_t{cover.plane.rows}, std::uint64_t{cover.plane.pixelsPerRow},
                                      std::uint64_t{cover.plane.channels}, std::uint64_t{cover.plane.sampleBytes},
                                      std::uint64_t{cover.headerSize}}) {
        appendLe64(context, field);
    }
    context.insert(context.end(), cover.header, cover.header + cover.headerSize);
    for (const std::uint64_t anchor : layout.anchors()) {
        const unsigned value = layout.units().value(anchor);
        context.push_back(static_cast<unsigned char>(value));
        context.push_back(static_cast<unsigned char>(value >> 8));
    }
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
        for (std::size_t i = 0; i < count; ++i) words[i] = common::swapBytes(words[i]);
    }
}

std::unique_ptr<SecretBytes> masterOf(const SecretBytes& passphrase, const std::vector<unsigned char>& context) {
    unsigned char salt[kSaltBytes];
    if (!saltOfContext(context.data(), context.size(), salt)) return nullptr;
    return deriveKey(passphrase, salt);
}

HiddenKeys keysOf(std::unique_ptr<SecretBytes> master, const unsigned char* seed) {
    HiddenKeys keys;
    if (!master) return keys;
    for (auto [key, label] : {std::pair{&keys.layout, "layout"}, std::pair{&keys.changes, "changes"},
                              std::pair{&keys.seal, "seal"}, std::pair{&keys.nonce, "nonce"}}) {
        *key = subkey(*master, label, seed, kSeedBytes);
    }
    keys.master = std::move(master);
    return keys;
}

// The seed's units, from the master key.
std::optional<std::vector<std::uint64_t>> seedUnitsOf(const HiddenLayout& layout, const SecretBytes& master,
                                                      const std::vector<std::uint64_t>& anchors) {
    const std::unique_ptr<SecretBytes> places = subkey(master, "seed places");
    if (!places) return std::nullopt;
    KeyStream stream(*places);
    if (!stream.ready()) return std::nullopt;
    return layout.drawReserved(stream, kSeedUnitsDomain, kSeedBits, anchors);
}

// The units that never carry the body: anchors, seed and length.
struct Kept {
    std::vector<std::uint64_t> anchors, seed, length, all;
};

Kept keptUnits(const HiddenLayout& layout, std::vector<std::uint64_t> seed, KeyStream& layoutStream) {
    Kept kept;
    kept.anchors = layout.anchors();
    kept.seed = std::move(seed);
    std::vector<std::uint64_t> taken = kept.anchors;
    taken.insert(taken.end(), kept.seed.begin(), kept.seed.end());
    kept.length = layout.drawReserved(layoutStream, kLengthUnitsDomain, kLengthBits, taken);
    kept.all = std::move(taken);
    kept.all.insert(kept.all.end(), kept.length.begin(), kept.length.end());
    return kept;
}

std::uint32_t lengthMask(KeyStream& layoutStream) {
    unsigned char mask[4] = {};
    layoutStream.fill(kLengthMaskDomain, 0, mask, sizeof mask);
    return readLe32(mask);
}

std::string lastComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The body words' last group's spare bits, and those after the body in its
// last word, are random like the rest.
bool padBody(SealedBody& body, KeyStream& changes) {
    const std::size_t last = body.wordCount() - 2;
    if (!changes.fill(kPaddingDomain, 0, reinterpret_cast<unsigned char*>(body.words.get() + last), 16)) return false;
    if (body.size % 8 != 0) {
        unsigned char spare[8];
        if (!changes.fill(kPaddingDomain, 1, spare, sizeof spare)) return false;
        const auto used = static_cast<unsigned>(8 * (body.size % 8));
        body.words[last - 1] = (body.words[last - 1] & lowBits(used)) | (readLe64(spare) << used);
    }
    return true;
}

HiddenHide hideWithPassphrase(const HiddenCover& cover, const SecretBytes& passphrase, const std::string& name,
                              const unsigned char* payload, std::size_t size, std::uint64_t* lonePixels) {
    HiddenLayout layout(cover.plane, true);
    const std::string stored = storedNameOf(name);
    const std::optional<std::uint64_t> room = hiddenRoom(cover.plane, stored.size());
    if (!room || size > *room) return HiddenHide::TooLong;
    const std::vector<unsigned char> context = contextOf(cover, layout);
    unsigned char seed[kSeedBytes];
    randomBytes(seed, sizeof seed);
    std::unique_ptr<SecretBytes> master = masterOf(passphrase, context);
    if (!master) return HiddenHide::Failed;
    std::optional<std::vector<std::uint64_t>> seedUnits = seedUnitsOf(layout, *master, layout.anchors());
    const HiddenKeys keys = keysOf(std::move(master), seed);
    if (!seedUnits || !keys.ready()) return HiddenHide::Failed;
    KeyStream layoutStream(*keys.layout);
    KeyStream changes(*keys.changes);
    if (!layoutStream.ready() || !changes.ready()) return HiddenHide::Failed;
    const Kept kept = keptUnits(layout, std::move(*seedUnits), layoutStream);
    // Framed once Argon2's memory is released, so that the two are never
    // held together.
    std::optional<SealedBody> body = frameBody(stored, payload, size);
    if (!body) return HiddenHide::Failed;

    const auto length = static_cast<std::uint32_t>(body->size);
    if (!sealBody(*body, *keys.seal, keys.nonce->data(), associatedData(context, layout.units().grey(), length))) {
        return HiddenHide::Failed;
    }
    wordsFromBytes(body->words.get(), body->wordCount() - 2);
    if (!padBody(*body, changes)) return HiddenHide::Failed;

    changes.start(kReservedDomain, 0);
    layout.writeReserved(kept.seed, 0, readLe64(seed), 64, changes);
    layout.writeReserved(kept.seed, 64, readLe64(seed + 8), 64, changes);
    layout.writeReserved(kept.length, 0, length ^ lengthMask(layoutStream), kLengthBits, changes);
    const bool hidden =
        layout.embed(*keys.layout, *keys.changes, kept.all, body->words.get(), 8 * std::uint64_t{length}, 8 * size);
    if (lonePixels != nullptr) *lonePixels = layout.lonePixels();
    return hidden ? HiddenHide::Hidden : HiddenHide::Failed;
}

// What a recovery reads before the body: the keys, and the seed's units.
struct Opening {
    std::vector<unsigned char> context;
    HiddenKeys keys;
    std::vector<std::uint64_t> seedUnits;
};

// The seed and the keys are the same samples and keys whether the units
// are pixels or samples: anchors and reserved units are first samples.
std::optional<Opening> openingOf(const HiddenCover& cover, const HiddenLayout& layout, const SecretBytes& passphrase) {
    Opening opening;
    opening.context = contextOf(cover, layout);
    std::unique_ptr<SecretBytes> master = masterOf(passphrase, opening.context);
    if (!master) return std::nullopt;
    std::optional<std::vector<std::uint64_t>> seedUnits = seedUnitsOf(layout, *master, layout.anchors());
    if (!seedUnits) return std::nullopt;
    unsigned char seed[kSeedBytes];
    writeLe64(seed, layout.readReserved(*seedUnits, 0, 64));
    writeLe64(seed + 8, layout.readReserved(*seedUnits, 64, 64));
    opening.keys = keysOf(std::move(master), seed);
    if (!opening.keys.ready()) return std::nullopt;
    opening.seedUnits = std::move(*seedUnits);
    return opening;
}

HiddenRecovery recoverWithPassphrase(const HiddenCover& cover, const SecretBytes& passphrase) {
    HiddenRecovery recovery;
    // A grey picture may also come from a colour cover whose every changed
    // pixel came out grey: then its samples are the units.
    std::vector<HiddenLayout> layouts = {HiddenLayout(cover.plane, true)};
    if (layouts.front().units().grey()) layouts.emplace_back(cover.plane, false);
    if (layouts.front().roomBits() == 0) {
        recovery.result = PayloadSeal::Opened::Refused;
        return recovery;
    }
    std::optional<Opening> opening = openingOf(cover, layouts.front(), passphrase);
    if (!opening) return recovery;
    const HiddenKeys& keys = opening->keys;
    for (const HiddenLayout& layout : layouts) {
        KeyStream layoutStream(*keys.layout);
        if (!layoutStream.ready()) return recovery;
        const Kept kept = keptUnits(layout, opening->seedUnits, layoutStream);
        const auto length =
            static_cast<std::uint32_t>(layout.readReserved(kept.length, 0, kLengthBits)) ^ lengthMask(layoutStream);
        // A length that no hide could have written: nothing is hidden here
        // under this passphrase.
        recovery.result = PayloadSeal::Opened::Refused;
        if (length < kFrameBytes + kTagBytes || 8 * std::uint64_t{length} > layout.roomBits()) continue;
        std::optional<SealedBody> body = bodyOfSize(length);
        if (!body) {
            recovery.result = PayloadSeal::Opened::Failed;
            return recovery;
        }
        if (!layout.extract(*keys.layout, kept.all, body->words.get(), 8 * std::uint64_t{length})) continue;
        wordsFromBytes(body->words.get(), body->wordCount() - 2);
        OpenedBody opened = openBody(*body, *keys.seal, keys.nonce->data(),
                                     associatedData(opening->context, layout.units().grey(), length));
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

std::string storedNameOf(const std::string& path) {
    const std::string name = lastComponent(path);
    if (name.size() <= kLongestStoredName) return name;
    const std::size_t dot = name.find_last_of('.');
    const bool keepExtension = dot != std::string::npos && dot > 0 && name.size() - dot <= kLongestKeptExtension;
    const std::string extension = keepExtension ? name.substr(dot) : std::string();
    std::size_t cut = kLongestStoredName - extension.size();
    // Back to the first byte of a UTF-8 character.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut) + extension;
}

std::optional<std::uint64_t> hiddenRoom(const SamplePlane& plane, std::size_t nameBytes) {
    // The length field holds at most 2^32 - 1 bytes.
    const std::uint64_t body = std::min<std::uint64_t>(HiddenLayout(plane, true).roomBits() / 8, 0xFFFFFFFFULL);
    const std::size_t overhead = bodyOverhead(std::min(nameBytes, kLongestStoredName));
    if (body < overhead) return std::nullopt;
    return body - overhead;
}

HiddenHide hideHidden(const HiddenCover& cover, const SecretBytes& passphrase, const std::string& name,
                      const unsigned char* payload, std::size_t size, std::uint64_t* lonePixels) {
    const HiddenHide result = hideWithPassphrase(cover, passphrase, name, payload, size, lonePixels);
    scrubStack();
    return result;
}

HiddenRecovery recoverHidden(const HiddenCover& cover, const SecretBytes& passphrase) {
    HiddenRecovery recovery = recoverWithPassphrase(cover, passphrase);
    scrubStack();
    return recovery;
}

std::optional<HiddenKeys> hiddenKeysOf(const HiddenCover& cover, const SecretBytes& passphrase) {
    const HiddenLayout layout(cover.plane, true);
    if (layout.roomBits() == 0) return std::nullopt;
    std::optional<Opening> opening = openingOf(cover, layout, passphrase);
    scrubStack();
    if (!opening) return std::nullopt;
    return std::move(opening->keys);
}

}  // namespace glint
