#include "carrier/png_carrier.h"

#include <utility>

#include "picture/picture_codecs.h"

namespace glint {
namespace {

// PNG's colour types (IHDR byte 9) as the bits they are built of.
constexpr unsigned char kColourBit = 2;
constexpr unsigned char kAlphaBit = 4;

void appendBe32(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

}  // namespace

PngCarrier::PngCarrier(Picture picture) : picture_(std::move(picture)) {}

Carrier::Failure PngCarrier::save(const Writer& write) {
    const EncodedPicture png = encodePng(picture_);
    if (png.problem == PictureProblem::OutOfMemory) return {Problem::OutOfMemory, {}};
    if (png.problem != PictureProblem::None) return {Problem::Unencodable, {}};
    if (const std::error_code written = write({{png.bytes.get(), png.size}})) return {Problem::System, written};
    return {};
}

PixelSamples PngCarrier::pixelSamples() const {
    PixelSamples samples{picture_.plane(), {}};
    appendBe32(samples.unchanged, picture_.width);
    appendBe32(samples.unchanged, picture_.height);
    samples.unchanged.push_back(picture_.bitsPerSample);
    samples.unchanged.push_back(static_cast<unsigned char>((picture_.colourChannels == 3 ? kColourBit : 0) |
                                                           (picture_.alpha ? kAlphaBit : 0)));
    samples.unchanged.insert(samples.unchanged.end(), {0, 0, 0});  // compression, filter, no interlace
    return samples;
}

}  // namespace glint
