// Arbitrary bytes as the image of `glint recover -p`, and the same image
// damaged by one flipped bit after a payload was sealed into it. Everything
// after the key derivation is the program's own code; in place of Argon2id,
// whose 64 MiB and 3 passes would make each run take a third of a second,
// the key is the salt twice, so that the key still depends on the salt.
// Beyond not crashing: a recover that is refused writes no file; a sealed
// payload comes back whole; any flipped bit of what it hid (length, salt,
// nonce, ciphertext or tag) is refused, and nothing is written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>

#include "carrier/bmp_carrier.h"
#include "encryption/passphrase_seal.h"
#include "fuzz_support.h"
#include "test_support.h"

using fuzzing::require;

namespace {

class SaltKeyedSeal final : public glint::PayloadSeal {
public:
    SaltKeyedSeal() : PayloadSeal(glint::kSaltBytes + glint::kNonceBytes, glint::kTagBytes) {}

    bool close(unsigned char* before, unsigned char* payload, std::size_t size, unsigned char* after) override {
        glint::randomBytes(before, beforeBytes);
        glint::SecretBytes key(glint::kKeyBytes);
        keyOf(before, key);
        return glint::sealWithKey(key, before + glint::kSaltBytes, payload, size, after);
    }
    Opened open(const unsigned char* before, unsigned char* payload, std::size_t size,
                const unsigned char* after) override {
        glint::SecretBytes key(glint::kKeyBytes);
        keyOf(before, key);
        return glint::openWithKey(key, before + glint::kSaltBytes, payload, size, after);
    }

private:
    static void keyOf(const unsigned char* salt, glint::SecretBytes& key) {
        for (std::size_t i = 0; i < glint::kKeyBytes; ++i) key.append(salt[i % glint::kSaltBytes]);
    }
};

// Recovers the sealed payload into `name`: nothing written unless it opens.
glint::BmpCarrier::Failure recoverInto(const glint::BmpCarrier& carrier, const std::string& name, SaltKeyedSeal& seal) {
    const glint::BmpCarrier::Recovered payload = carrier.recover(&seal);
    if (payload.failure) return payload.failure;
    return glint::BmpCarrier::write(payload, name.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    static const testing_support::ScratchDir scratch;
    const std::string image = scratch / "image.bmp", payload = scratch / "payload", first = scratch / "first.out",
                      sealed = scratch / "sealed.bmp", second = scratch / "second.out";
    fuzzing::writeBytes(image, input, size);
    std::filesystem::remove(first);
    std::filesystem::remove(second);

    std::ostringstream sink;
    common::Console console(sink);
    SaltKeyedSeal seal;
    glint::BmpCarrier carrier(console, console);
    carrier.loadBmp(image.c_str());
    require(!recoverInto(carrier, first, seal) == std::filesystem::exists(first));
    const std::optional<std::uint32_t> room = carrier.capacity(seal.overhead());
    if (!room || size < 3) return 0;

    // The last byte chooses how many leading bytes to seal; the two before
    // it, which hidden bit to flip (or none).
    const std::size_t payloadSize = input[size - 1] % (std::min<std::size_t>(*room, size) + 1);
    fuzzing::writeBytes(payload, input, payloadSize);
    require(!carrier.hide(payload.c_str(), &seal));
    carrier.saveBmp(sealed.c_str());
    const std::size_t hiddenBits = glint::BmpCarrier::kLengthBits + 8 * (payloadSize + seal.overhead());
    const std::size_t flip = (input[size - 2] | std::size_t{input[size - 3]} << 8) % (hiddenBits + 1);
    testing_support::Bytes file = testing_support::readFile(sealed);
    if (flip < hiddenBits) file[glint::BmpCarrier::kHeadersSize + flip] ^= 1;
    testing_support::writeFile(sealed, file);

    glint::BmpCarrier again(console, console);
    again.loadBmp(sealed.c_str());
    require(again.isLoaded());
    const bool opened = !recoverInto(again, second, seal);
    require(opened == (flip == hiddenBits) && opened == std::filesystem::exists(second));
    if (opened) require(testing_support::readFile(second) == testing_support::Bytes(input, input + payloadSize));
    return 0;
}
