// Arbitrary bytes as a BMP file through every carrier operation. Beyond not
// crashing: an accepted hide must come back byte for byte from the saved
// file, which is exactly bfSize bytes long; a refused one changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "carrier/bmp_carrier.h"
#include "fuzz_support.h"
#include "test_support.h"

using fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    static const testing_support::ScratchDir scratch;
    const std::string image = scratch / "image.bmp", payload = scratch / "payload",
                      first = scratch / "first.out", saved = scratch / "saved.bmp",
                      second = scratch / "second.out";
    // The payload is cut from the input: its last byte says how many of the
    // leading bytes to carry.
    const std::size_t payloadSize = size == 0 ? 0 : input[size - 1] % size;
    fuzzing::writeBytes(image, input, size);
    fuzzing::writeBytes(payload, input, payloadSize);

    std::ostringstream sink;
    common::Console console(sink);
    glint::BmpCarrier carrier(console, console);
    carrier.loadBmp(image.c_str());
    carrier.extractText(first.c_str());
    if (carrier.isLoaded()) require(54 + std::uint64_t{carrier.dataAreaSize()} <= size);
    const std::vector<unsigned char> before(carrier.dataArea(), carrier.dataArea() + carrier.dataAreaSize());

    if (carrier.hideText(payload.c_str()) == 0) {
        require(std::equal(before.begin(), before.end(), carrier.dataArea()));
        return 0;
    }
    require(carrier.isLoaded());
    carrier.saveBmp(saved.c_str());
    require(std::filesystem::file_size(saved) == 54 + std::uint64_t{carrier.dataAreaSize()});

    glint::BmpCarrier again(console, console);
    again.loadBmp(saved.c_str());
    require(again.isLoaded());
    again.extractText(second.c_str());
    const testing_support::Bytes recovered = testing_support::readFile(second);
    require(recovered == testing_support::Bytes(input, input + payloadSize));
    return 0;
}
