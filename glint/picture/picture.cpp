#include "picture/picture.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <iterator>
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
constexpr std::size_t kBiWidth = 18;
constexpr std::size_t kBiHeight = 22;
constexpr std::size_t kBiBitCount = 28;
constexpr std::size_t kBiCompression = 30;
constexpr std::size_t kBiClrUsed = 46;
// OS/2's 12-byte header holds its size, width and height in 16 bits each.
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::size_t kBcWidth = 18;
constexpr std::size_t kBcHeight = 20;
constexpr std::size_t kBcBitCount = 24;
// Info headers that end before their compression field (16 bytes, OS/2's
// shortest second version) code no compression.
constexpr std::uint32_t kHeaderSizeWithCompression = 20;
constexpr std::size_t kFirstInfoFieldsEnd = 30;  // width, height, planes and bit count of a 16-byte header
// Pixels stored as plain rows: BI_RGB, BI_BITFIELDS, BI_ALPHABITFIELDS.
constexpr std::uint32_t kPlainCompressions[] = {0, 3, 6};

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

bool bmpRowsInFile(const unsigned char* bytes, std::size_t size) {
    if (!bmpHeaderInFile(bytes, size)) return true;  // the decoder says so itself
    const std::uint32_t headerSize = readLe32(bytes + kBiSize);
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t bitCount = 0;
    if (headerSize == kCoreHeaderSize) {
        width = readLe16(bytes + kBcWidth);
        height = readLe16(bytes + kBcHeight);
        bitCount = readLe16(bytes + kBcBitCount);
    } else if (size >= kFirstInfoFieldsEnd && headerSize >= kFirstInfoFieldsEnd - kBiSize) {
        const std::uint32_t compression =
            headerSize >= kHeaderSizeWithCompression ? readLe32(bytes + kBiCompression) : 0;
        if (std::find(std::begin(kPlainCompressions), std::end(kPlainCompressions), compression) ==
            std::end(kPlainCompressions)) {
            return true;  // only the decoder knows where compressed rows end
        }
        // Negative sizes (a top-down picture has a negative height) count by
        // their magnitude, as two's complement in 64 bits.
        const auto magnitude = [](std::uint32_t field) {
            const std::int64_t value = field >= 0x80000000U ? std::int64_t{field} - (std::int64_t{1} << 32) : field;
            return static_cast<std::uint64_t>(value < 0 ? -value : value);
        };
        width = magnitude(readLe32(bytes + kBiWidth));
        height = magnitude(readLe32(bytes + kBiHeight));
        bitCount = readLe16(bytes + kBiBitCount);
    } else {
        return true;
    }
    // Rows padded to four bytes, from the stated pixel offset or, when that
    // points into the header, from the header's end at the earliest. Widths
    // below 2^32 times 16-bit counts cannot wrap 64 bits.
    const std::uint64_t rowBytes = (width * bitCount + 31) / 32 * 4;
    const std::uint64_t first = std::max<std::uint64_t>(readLe32(bytes + kBfOffBits), std::uint64_t{kBiSize} + headerSize);
    if (first > size) return height == 0 || rowBytes == 0;
    return rowBytes == 0 || height <= (size - first) / rowBytes;
}

DecodedPicture decodePicture(const unsigned char* bytes, std::size_t size) {
    switch (pictureFormat(bytes, size)) {
        case PictureFormat::Png:
            return decodePng(bytes, size);
        case PictureFormat::Jpeg:
            return decodeJpeg(bytes, size);
        case PictureFormat::Bmp:
            if (!bmpRowsInFile(bytes, size)) {
                DecodedPicture cut;
                cut.problem = PictureProblem::Corrupt;
                cut.detail = "the file ends before the pixel rows its header describes";
                return cut;
            }
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
