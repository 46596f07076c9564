// The classic BMP writer: what it writes is exactly what BmpCarrier carries
// as designed, so the dialogue reads every file it makes.
#include <cstring>
#include <limits>

#include "common/byte_order.h"
#include "picture/picture.h"
#include "files/large_block.h"

namespace glint {
namespace {

using common::writeLe16;
using common::writeLe32;

// File header.
constexpr std::size_t kBfType = 0;
constexpr std::size_t kBfSize = 2;
constexpr std::size_t kBfOffBits = 10;
// Info header, from the file's start; the reserved fields, the resolutions
// (unknown) and the colour counts (no table) stay 0.
constexpr std::size_t kBiSize = 14;
constexpr std::size_t kBiWidth = 18;
constexpr std::size_t kBiHeight = 22;
constexpr std::size_t kBiPlanes = 26;
constexpr std::size_t kBiBitCount = 28;
constexpr std::size_t kBiSizeImage = 34;
constexpr std::uint32_t kHeadersSize = 54;
constexpr std::uint32_t kInfoHeaderSize = 40;

// A 16-bit sample to the nearest 8-bit one.
unsigned char toEightBits(const unsigned char* sample, std::size_t sampleBytes) {
    if (sampleBytes == 1) return sample[0];
    const std::uint32_t wide = (std::uint32_t{sample[0]} << 8) | sample[1];
    return static_cast<unsigned char>((wide * 255 + 32767) / 65535);
}

// One row of the picture as blue, green, red triples.
void writeRow(unsigned char* out, const unsigned char* row, const Picture& picture) {
    const std::size_t sampleBytes = picture.sampleBytes();
    const std::size_t pixelBytes = picture.pixelBytes();
    const bool grey = picture.colourChannels == 1;
    for (std::uint32_t x = 0; x < picture.width; ++x, row += pixelBytes, out += 3) {
        const unsigned char red = toEightBits(row, sampleBytes);
        out[2] = red;
        out[1] = grey ? red : toEightBits(row + sampleBytes, sampleBytes);
        out[0] = grey ? red : toEightBits(row + 2 * sampleBytes, sampleBytes);
    }
}

void writeHeaders(unsigned char* file, const Picture& picture, std::uint32_t fileSize, std::uint32_t imageSize) {
    std::memset(file, 0, kHeadersSize);
    file[kBfType] = 'B';
    file[kBfType + 1] = 'M';
    writeLe32(file + kBfSize, fileSize);
    writeLe32(file + kBfOffBits, kHeadersSize);
    writeLe32(file + kBiSize, kInfoHeaderSize);
    writeLe32(file + kBiWidth, picture.width);
    writeLe32(file + kBiHeight, picture.height);  // positive: bottom-up
    writeLe16(file + kBiPlanes, 1);
    writeLe16(file + kBiBitCount, 24);
    writeLe32(file + kBiSizeImage, imageSize);
}

}  // namespace

EncodedPicture encodeClassicBmp(const Picture& picture) {
    EncodedPicture encoded;
    const std::uint64_t stride = (std::uint64_t{picture.width} * 3 + 3) & ~std::uint64_t{3};
    const std::uint64_t imageSize = stride * picture.height;
    // bfSize and biSizeImage are 32-bit, and the width and height signed.
    if (kHeadersSize + imageSize > std::numeric_limits<std::uint32_t>::max() ||
        picture.width > std::numeric_limits<std::int32_t>::max() ||
        picture.height > std::numeric_limits<std::int32_t>::max()) {
        encoded.problem = PictureProblem::TooLargeForBmp;
        return encoded;
    }
    encoded.size = static_cast<std::size_t>(kHeadersSize + imageSize);
    encoded.bytes = allocateBlock(encoded.size);
    if (!encoded.bytes) {
        encoded.problem = PictureProblem::OutOfMemory;
        return encoded;
    }
    unsigned char* file = encoded.bytes.get();
    writeHeaders(file, picture, static_cast<std::uint32_t>(encoded.size), static_cast<std::uint32_t>(imageSize));
    const std::size_t rowBytes = picture.rowBytes();
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        unsigned char* out = file + kHeadersSize + (picture.height - 1 - y) * stride;
        writeRow(out, picture.samples.get() + y * rowBytes, picture);
        std::memset(out + std::size_t{picture.width} * 3, 0, static_cast<std::size_t>(stride) - std::size_t{picture.width} * 3);
    }
    return encoded;
}

}  // namespace glint
