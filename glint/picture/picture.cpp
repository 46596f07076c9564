#include "picture/picture.h"

#include <zlib.h>

#include <cstring>
#include <limits>

#include "common/byte_order.h"
#include "picture/picture_codecs.h"
#include "files/large_block.h"

namespace glint {
namespace {

using common::readLe16;
using common::readLe32;

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr unsigned char kJpegStart[] = {0xFF, 0xD8, 0xFF};  // SOI and the next marker's first byte

// The classic BMP's fields that decide whether BmpCarrier carries it.
constexpr std::size_t kBmpHeadersSize = 54;
constexpr std::size_t kBfOffBits = 10;
constexpr std::size_t kBiSize = 14;  // from the file's start
constexpr std::size_t kBiBitCount = 28;
constexpr std::size_t kBiCompression = 30;
constexpr std::size_t kBiClrUsed = 46;

// Named as most writers name a profile that has no name of its own.
constexpr char kIccProfileName[] = "ICC Profile";

bool startsWith(const unsigned char* bytes, std::size_t size, const unsigned char* prefix, std::size_t length) {
    return size >= length && std::memcmp(bytes, prefix, length) == 0;
}

}  // namespace

SamplePlane Picture::plane() const {
    SamplePlane view;
    view.first = samples.get();
    view.rows = height;
    view.rowBytes = rowBytes();
    view.pixelsPerRow = width;
    view.pixelBytes = pixelBytes();
    view.channels = colourChannels;
    view.sampleBytes = sampleBytes();
    return view;
}

PictureFormat pictureFormat(const unsigned char* bytes, std::size_t size) {
    if (startsWith(bytes, size, kPngSignature, sizeof kPngSignature)) return PictureFormat::Png;
    if (startsWith(bytes, size, kJpegStart, sizeof kJpegStart)) return PictureFormat::Jpeg;
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return PictureFormat::Bmp;
    return PictureFormat::Unknown;
}

bool isClassicBmp(const unsigned char* bytes, std::size_t size) {
    return pictureFormat(bytes, size) == PictureFormat::Bmp && size >= kBmpHeadersSize &&
           readLe32(bytes + kBfOffBits) == kBmpHeadersSize && readLe32(bytes + kBiSize) == 40 &&
           readLe16(bytes + kBiBitCount) == 24 && readLe32(bytes + kBiCompression) == 0 &&
           readLe32(bytes + kBiClrUsed) == 0;
}

bool bmpHeaderInFile(const unsigned char* bytes, std::size_t size) {
    return size >= kBiSize + 4 && std::uint64_t{kBiSize} + readLe32(bytes + kBiSize) <= size;
}

DecodedPicture decodePicture(const unsigned char* bytes, std::size_t size) {
    switch (pictureFormat(bytes, size)) {
        case PictureFormat::Png:
            return decodePng(bytes, size);
        case PictureFormat::Jpeg:
            return decodeJpeg(bytes, size);
        case PictureFormat::Bmp:
            return decodeBmp(bytes, size);
        case PictureFormat::Unknown:
            break;
    }
    DecodedPicture unknown;
    unknown.problem = PictureProblem::UnknownFormat;
    return unknown;
}

PictureProblem checkPictureSize(std::uint64_t width, std::uint64_t height, std::uint64_t fileBytes,
                                std::uint64_t pixelsPerByte) {
    // Each side is below 2^32, so the product cannot wrap.
    const std::uint64_t pixels = width * height;
    if (width == 0 || height == 0) return PictureProblem::Corrupt;
    if (pixels > kMaxPicturePixels) return PictureProblem::TooManyPixels;
    if (pixelsPerByte != 0 && pixels / pixelsPerByte > fileBytes) return PictureProblem::TooShortForSize;
    return PictureProblem::None;
}

bool appendIccpChunk(const unsigned char* profile, std::size_t size, Picture& picture) {
    if (size > std::numeric_limits<uLong>::max()) return false;
    uLongf compressedSize = compressBound(static_cast<uLong>(size));
    ColourChunk chunk;
    std::memcpy(chunk.name.data(), "iCCP", 4);
    const std::size_t prefix = sizeof kIccProfileName + 1;  // the name, its end and the method
    chunk.data.assign(prefix + compressedSize, 0);
    std::memcpy(chunk.data.data(), kIccProfileName, sizeof kIccProfileName);
    if (compress2(chunk.data.data() + prefix, &compressedSize, profile, static_cast<uLong>(size), Z_BEST_COMPRESSION) != Z_OK) {
        return false;
    }
    chunk.data.resize(prefix + compressedSize);
    picture.colourChunks.push_back(std::move(chunk));
    return true;
}

bool allocateSamples(Picture& picture) {
    picture.samples = allocateBlock(static_cast<std::size_t>(picture.byteCount()));
    return picture.samples != nullptr;
}

}  // namespace glint
