// Arbitrary bytes hashed in one piece and in pieces whose sizes the input
// itself chooses must give the same digest; a second finish changes nothing.
// Where OpenSSL is present its MD5 is the reference as well. The input is
// also cut into messages that every kernel this machine runs hashes side by
// side in its lanes, fed in pieces the input chooses, each lane taking the
// next message as soon as it is done: each digest must be the hasher's.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "hashing/md5_hasher.h"
#include "hashing/md5_lanes.h"

#ifdef HAVE_OPENSSL
#include <openssl/md5.h>
#endif

using fuzzing::require;

namespace {

// At most 48 messages, of up to 7 x 255 bytes each but the last, which
// takes the rest; lengths are read from the input.
std::vector<std::string> messagesOf(const std::string& text) {
    if (text.empty()) return {text};
    std::vector<std::string> messages;
    for (std::size_t at = 0, cut = 0; at < text.size(); ++cut) {
        std::size_t length = 7 * std::size_t{static_cast<unsigned char>(text[cut % text.size()])};
        length = messages.size() == 47 ? text.size() - at : std::min(length, text.size() - at);
        messages.push_back(text.substr(at, length));
        at += length;
    }
    return messages;
}

void requireLanesMatchHasher(const std::uint8_t* data, std::size_t size, const cairn::Md5Kernel& kernel) {
    const std::vector<std::string> messages = messagesOf(std::string(reinterpret_cast<const char*>(data), size));
    cairn::Md5Lanes lanes(kernel);
    constexpr std::size_t kIdle = ~std::size_t{0};
    std::vector<std::size_t> message(lanes.laneCount(), kIdle), fed(lanes.laneCount(), 0);
    std::size_t next = 0, taken = 0, cut = 0;
    while (taken < messages.size()) {
        for (std::size_t lane = 0; lane < lanes.laneCount(); ++lane) {
            if (lanes.done(lane)) {
                require(cairn::toHex(*lanes.take(lane)) == cairn::Md5Hasher(messages[message[lane]]).toHex());
                message[lane] = kIdle;
                ++taken;
            }
            if (message[lane] == kIdle && next < messages.size()) {
                message[lane] = next++;
                fed[lane] = 0;
            }
            if (message[lane] == kIdle || !lanes.hungry(lane)) continue;
            const std::string& text = messages[message[lane]];
            if (fed[lane] == text.size()) {
                require(lanes.finish(lane));
                continue;
            }
            // piece sizes from 1 to 300, read from the input itself
            const std::size_t piece = std::min<std::size_t>(text.size() - fed[lane], 1 + data[cut++ % size] * 300 / 256);
            require(lanes.feed(lane, reinterpret_cast<const unsigned char*>(text.data()) + fed[lane], piece));
            fed[lane] += piece;
        }
        lanes.run();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (std::size_t{1} << 24)) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string oneShot = cairn::Md5Hasher(text).toHex();
    require(oneShot.size() == 32);

    cairn::Md5Hasher pieces;
    std::size_t at = 0;
    for (std::size_t cut = 0; at < size; ++cut) {
        // piece sizes from 0 to 130, read from the input itself; every other
        // piece takes at least one byte, so the loop always ends
        std::size_t piece = std::min<std::size_t>(data[cut % size] % 131, size - at);
        if (cut % 2 == 1) piece = std::max<std::size_t>(piece, 1);
        pieces.update(data + at, static_cast<std::uint32_t>(piece));
        at += piece;
    }
    require(pieces.toHex().empty());
    pieces.finish();
    require(pieces.toHex() == oneShot);
    pieces.finish();
    require(pieces.toHex() == oneShot);

    for (const cairn::Md5Kernel& kernel : cairn::md5Kernels()) {
        if (kernel.usable()) requireLanesMatchHasher(data, size, kernel);
    }

#ifdef HAVE_OPENSSL
    unsigned char digest[MD5_DIGEST_LENGTH];
    MD5(data, size, digest);
    static const char kHex[] = "0123456789abcdef";
    std::string reference;
    for (unsigned char byte : digest) {
        reference += kHex[byte >> 4];
        reference += kHex[byte & 15];
    }
    require(reference == oneShot);
#endif
    return 0;
}
