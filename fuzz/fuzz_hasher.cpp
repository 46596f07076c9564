// Arbitrary bytes hashed in one piece and in pieces whose sizes the input
// itself chooses must give the same digest; a second finish changes nothing.
// Where OpenSSL is present its MD5 is the reference as well.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "hashing/md5_hasher.h"

#ifdef HAVE_OPENSSL
#include <openssl/md5.h>
#endif

using fuzzing::require;

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
