#include "picture/plane_picture.h"

#include <algorithm>

namespace glint {
namespace {

constexpr unsigned char kFull = 255;
constexpr unsigned kDifferenceGain = 128;

// The samples of one picture, read at a chosen depth.
class Samples {
public:
    Samples(const Picture& picture, unsigned bits) : picture_(picture), eightBits_(bits == 8) {}

    // Channel 0, 1 or 2 of a pixel; a grey picture's one sample for each.
    unsigned at(std::uint32_t row, std::uint32_t column, unsigned channel) const {
        const unsigned char* pixel =
            picture_.samples.get() + std::size_t{row} * picture_.rowBytes() + std::size_t{column} * picture_.pixelBytes();
        const std::size_t sampleBytes = picture_.sampleBytes();
        const unsigned char* sample = pixel + (picture_.colourChannels == 1 ? 0 : channel) * sampleBytes;
        if (sampleBytes == 1) return sample[0];
        const unsigned wide = (unsigned{sample[0]} << 8) | sample[1];
        // 16 bits read as 8 round as the classic BMP writer rounds.
        return eightBits_ ? (wide * 255 + 32767) / 65535 : wide;
    }

private:
    const Picture& picture_;
    bool eightBits_;
};

// A picture of `columns` x `rows` panels of the given picture's size.
DrawnPlanes canvas(const Picture& like, std::uint32_t columns, std::uint32_t rows, std::uint8_t channels) {
    DrawnPlanes drawn;
    const std::uint64_t width = std::uint64_t{like.width} * columns, height = std::uint64_t{like.height} * rows;
    if (width * height > kMaxPicturePixels) {
        drawn.problem = PictureProblem::TooManyPixels;
        return drawn;
    }
    drawn.picture.width = static_cast<std::uint32_t>(width);
    drawn.picture.height = static_cast<std::uint32_t>(height);
    drawn.picture.colourChannels = channels;
    if (!allocateSamples(drawn.picture)) drawn.problem = PictureProblem::OutOfMemory;
    return drawn;
}

// The first output sample of a pixel of the panel in column `panelColumn` and row `panelRow`.
unsigned char* panelPixel(Picture& out, const Picture& like, std::uint32_t panelColumn, std::uint32_t panelRow,
                          std::uint32_t row, std::uint32_t column) {
    const std::uint64_t y = std::uint64_t{panelRow} * like.height + row;
    const std::uint64_t x = std::uint64_t{panelColumn} * like.width + column;
    return out.samples.get() + y * out.rowBytes() + x * out.pixelBytes();
}

unsigned char lowBitShown(unsigned sample) { return (sample & 1U) != 0 ? kFull : 0; }

}  // namespace

DrawnPlanes drawPlanes(const Picture& picture) {
    const bool grey = picture.colourChannels == 1;
    DrawnPlanes drawn = canvas(picture, grey ? 1 : 2, grey ? 1 : 2, grey ? 1 : 3);
    if (drawn.problem != PictureProblem::None) return drawn;
    const Samples samples(picture, picture.bitsPerSample);
    for (std::uint32_t row = 0; row < picture.height; ++row) {
        for (std::uint32_t column = 0; column < picture.width; ++column) {
            if (grey) {
                *panelPixel(drawn.picture, picture, 0, 0, row, column) = lowBitShown(samples.at(row, column, 0));
                continue;
            }
            unsigned char* combined = panelPixel(drawn.picture, picture, 1, 1, row, column);
            for (unsigned channel = 0; channel < 3; ++channel) {
                const unsigned char shown = lowBitShown(samples.at(row, column, channel));
                unsigned char* alone = panelPixel(drawn.picture, picture, channel % 2, channel / 2, row, column);
                std::fill(alone, alone + 3, shown);
                combined[channel] = shown;
            }
        }
    }
    return drawn;
}

DrawnPlanes drawComparison(const Picture& cover, const Picture& stego) {
    const bool grey = cover.colourChannels == 1 && stego.colourChannels == 1;
    const std::uint8_t channels = grey ? 1 : 3;
    DrawnPlanes drawn = canvas(cover, 3, 1, channels);
    if (drawn.problem != PictureProblem::None) return drawn;
    const unsigned bits = std::min(cover.bitsPerSample, stego.bitsPerSample);
    const Samples before(cover, bits), after(stego, bits);
    for (std::uint32_t row = 0; row < cover.height; ++row) {
        for (std::uint32_t column = 0; column < cover.width; ++column) {
            unsigned char* panels[] = {panelPixel(drawn.picture, cover, 0, 0, row, column),
                                       panelPixel(drawn.picture, cover, 1, 0, row, column),
                                       panelPixel(drawn.picture, cover, 2, 0, row, column)};
            for (unsigned channel = 0; channel < channels; ++channel) {
                const unsigned was = before.at(row, column, channel), is = after.at(row, column, channel);
                const unsigned difference = was > is ? was - is : is - was;
                panels[0][channel] = lowBitShown(was);
                panels[1][channel] = lowBitShown(is);
                panels[2][channel] = static_cast<unsigned char>(std::min<unsigned>(kFull, difference * kDifferenceGain));
            }
        }
    }
    return drawn;
}

}  // namespace glint
