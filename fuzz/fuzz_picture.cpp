// A file's bytes as a cover, as glint takes one: the format by its first
// bytes, a classic BMP left to the carrier (fuzz_carrier), anything else
// decoded by the libraries. Beyond not crashing: a refusal holds no
// picture; a picture has the size and kind it says, written as PNG it reads
// back as the same samples, kind and colour chunks, and its classic BMP is
// one the carrier takes as plain pixels. Opened as the command line opens a
// cover, for either output, it carries a payload as large as it takes, which
// comes back from the file saved.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

#include "carrier/bmp_carrier.h"
#include "carrier/cover.h"
#include "picture/picture.h"
#include "picture/picture_codecs.h"
#include "fuzz_support.h"

using fuzzing::require;

namespace {

// Larger pictures are only decoded: writing them again would take most of
// the time of each run.
constexpr std::uint64_t kLargestRewritten = std::uint64_t{16} << 20;
constexpr std::uint64_t kLargestCarried = std::uint64_t{1} << 20;

bool sameChunks(const glint::Picture& a, const glint::Picture& b) {
    if (a.colourChunks.size() != b.colourChunks.size()) return false;
    for (std::size_t i = 0; i < a.colourChunks.size(); ++i) {
        if (a.colourChunks[i].name != b.colourChunks[i].name || a.colourChunks[i].data != b.colourChunks[i].data) {
            return false;
        }
    }
    return true;
}

void requireSameSamples(const glint::Picture& a, const glint::Picture& b) {
    require(a.width == b.width && a.height == b.height && a.colourChannels == b.colourChannels &&
            a.alpha == b.alpha && a.bitsPerSample == b.bitsPerSample);
    require(std::equal(a.samples.get(), a.samples.get() + a.byteCount(), b.samples.get()));
}

void requireClassicBmp(const glint::Picture& picture) {
    const glint::EncodedPicture bmp = glint::encodeClassicBmp(picture);
    require(bmp.problem == glint::PictureProblem::None);
    require(glint::isClassicBmp(bmp.bytes.get(), bmp.size));
    std::ostringstream sink;
    common::Console console(sink);
    glint::BmpCarrier carrier(console, console);
    std::istringstream in(std::string(reinterpret_cast<const char*>(bmp.bytes.get()), bmp.size));
    require(!carrier.load(in));
    require(carrier.leadingBytes().plainPixels());
    require(54 + std::uint64_t{carrier.dataAreaSize()} == bmp.size);
}

std::istringstream streamOf(const unsigned char* bytes, std::size_t size) {
    return std::istringstream(std::string(reinterpret_cast<const char*>(bytes), size));
}

void requireRoundTrip(const std::uint8_t* input, std::size_t size, glint::CoverOutput output) {
    std::ostringstream sink;
    common::Console console(sink);
    std::istringstream file = streamOf(input, size);
    const glint::OpenedCover cover = glint::openCover(file, glint::CoverUse::Hide, output, console, console);
    require(cover.carrier != nullptr);
    const std::optional<std::uint32_t> room = cover.carrier->capacity();
    if (!room) return;
    std::string payload(*room, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(input[i % size] + i);
    std::istringstream payloadStream(payload);
    require(!cover.carrier->hide(payloadStream));
    std::string saved;
    require(!cover.carrier->save([&](std::initializer_list<glint::ByteRange> pieces) {
        for (const glint::ByteRange& piece : pieces) saved.append(reinterpret_cast<const char*>(piece.bytes), piece.size);
        return std::error_code();
    }));
    std::istringstream stego(saved);
    const glint::OpenedCover again = glint::openCover(stego, glint::CoverUse::Recover, output, console, console);
    require(again.carrier != nullptr);
    const glint::Carrier::Recovered back = again.carrier->recover();
    require(!back.failure && back.size == payload.size() &&
            std::equal(payload.begin(), payload.end(), reinterpret_cast<const char*>(back.bytes.get())));
    require(sink.str().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (glint::isClassicBmp(input, size)) return 0;
    const glint::DecodedPicture decoded = glint::decodePicture(input, size);
    const glint::Picture& picture = decoded.picture;
    if (decoded.problem != glint::PictureProblem::None) {
        require(picture.samples == nullptr);
        return 0;
    }
    require(picture.samples != nullptr && picture.width > 0 && picture.height > 0);
    require(std::uint64_t{picture.width} * picture.height <= glint::kMaxPicturePixels);
    require((picture.colourChannels == 1 || picture.colourChannels == 3) &&
            (picture.bitsPerSample == 8 || picture.bitsPerSample == 16));
    require(picture.plane().sampleCount() == std::uint64_t{picture.width} * picture.height * picture.colourChannels);
    if (picture.byteCount() > kLargestRewritten) return 0;

    const glint::EncodedPicture png = glint::encodePng(picture);
    require(png.problem == glint::PictureProblem::None);
    const glint::DecodedPicture again = glint::decodePng(png.bytes.get(), png.size);
    require(again.problem == glint::PictureProblem::None);
    requireSameSamples(picture, again.picture);
    require(sameChunks(picture, again.picture));
    requireClassicBmp(picture);
    if (picture.byteCount() > kLargestCarried) return 0;
    requireRoundTrip(input, size, glint::CoverOutput::Png);
    requireRoundTrip(input, size, glint::CoverOutput::Bmp);
    return 0;
}
