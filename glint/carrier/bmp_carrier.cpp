#include "carrier/bmp_carrier.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "common/byte_order.h"
#include "common/file_names.h"
#include "common/system_error.h"
#include "files/large_block.h"
#include "messages.h"

namespace glint {
namespace {

using common::readLe16;
using common::readLe32;
using common::writeLe32;

// File header offsets. bfReserved1 (6), bfReserved2 (8) and bfOffBits (10)
// are carried through unread: the data area starts at offset 54 whatever
// they say.
constexpr std::size_t kBfType = 0;  // "BM", the only validity test
constexpr std::size_t kBfSize = 2;  // total file size; the data area ends there
constexpr std::uint16_t kBmpMagic = 0x4D42;

// Info header offsets. biPlanes, the resolutions and biClrImportant are
// carried through unread: pixels are never interpreted. biSize and
// biCompression are read only to tell what the data area starts with, and
// whether it holds plain 24-bit pixels for a layout over pixels.
constexpr std::size_t kBiSize = 0;
constexpr std::size_t kBiWidth = 4;
constexpr std::size_t kBiHeight = 8;
constexpr std::size_t kBiBitCount = 14;
constexpr std::size_t kBiCompression = 16;
constexpr std::size_t kBiSizeImage = 20;  // rewritten with imageSize() on load
constexpr std::size_t kBiClrUsed = 32;

// Each colour-table entry is four bytes (blue, green, red, reserved).
constexpr std::uint64_t kColorEntryBytes = 4;

// biCompression values whose pixels are plain samples; with a 40-byte info
// header the two bit-field kinds put three or four 4-byte colour masks
// before the pixels.
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitFields = 3;
constexpr std::uint32_t kBiAlphaBitFields = 6;
constexpr std::uint32_t kMaskBytes = 12;
constexpr std::uint32_t kAlphaMaskBytes = 16;

char* asChars(unsigned char* bytes) { return reinterpret_cast<char*>(bytes); }

}  // namespace

BmpCarrier::BmpCarrier(common::Console& report, common::Console& failures)
    : fileHeader(new unsigned char[kFileHeaderSize]()),
      infoHeader(new unsigned char[kInfoHeaderSize]()),
      out(report),
      err(failures) {}

// The dialogue's operations ----------------------------------------------------

void BmpCarrier::loadBmp(const char* name) {
    if (load(name)) {
        err.text(msg::kLoadFailed);
    } else {
        out.line(msg::kLoadSucceeded);
    }
}

std::int32_t BmpCarrier::hideText(const char* name) {
    if (hide(name)) return 0;
    out.line(msg::kHideSucceeded);
    return 1;
}

bool BmpCarrier::saveBmp(const char* name) {
    if (save(name)) {
        err.line(msg::kSaveFailed);
        return false;
    }
    out.line(msg::kSaveSucceeded);
    return true;
}

bool BmpCarrier::extractText(const char* name) {
    const Recovered payload = recover();
    if (payload.failure) {
        err.line(msg::kDecodeFailed);
        return false;
    }
    out.line(msg::kDecodeSucceeded);
    if (write(payload, name)) {
        err.line(msg::kSaveFailed);
        return false;
    }
    return true;
}

// Loading -----------------------------------------------------------------------

BmpCarrier::Failure BmpCarrier::load(const char* name) {
    fileName = name;
    std::ifstream bmpfile(common::pathOfName(fileName.c_str()), std::ios::binary);
    const std::error_code unopened = bmpfile.is_open() ? std::error_code() : common::lastSystemError();
    // A file that did not open reads as nothing and fails the load like any
    // other; the reason is the open's.
    const Failure failed = load(bmpfile);
    if (unopened) return {Problem::System, unopened};
    return failed;
}

BmpCarrier::Failure BmpCarrier::load(std::istream& bmpfile) {
    loaded = false;
    Failure why = readHeaders(bmpfile);
    if (!why) why = readDataArea(bmpfile);
    if (why) return why;
    finishLoad();
    return {};
}

BmpCarrier::Failure BmpCarrier::load(std::unique_ptr<unsigned char[]> file, std::size_t size) {
    loaded = false;
    std::memset(fileHeader.get(), 0, kFileHeaderSize);
    std::memset(infoHeader.get(), 0, kInfoHeaderSize);
    std::memcpy(fileHeader.get(), file.get(), std::min(size, kFileHeaderSize));
    if (size > kFileHeaderSize) {
        std::memcpy(infoHeader.get(), file.get() + kFileHeaderSize, std::min(size, kHeadersSize) - kFileHeaderSize);
    }
    if (const Failure why = headersProblem(size)) return why;
    // As from a stream: bfSize bytes are the file, and bytes after them are
    // never part of it.
    const std::uint32_t fileSize = readLe32(fileHeader.get() + kBfSize);
    if (fileSize < kHeadersSize) return {Problem::SizeBelowHeaders, {}};
    if (size < fileSize) return {Problem::ShorterThanSize, {}};
    dataBlock = std::move(file);
    data = dataBlock.get() + kHeadersSize;
    dataSize = fileSize - static_cast<std::uint32_t>(kHeadersSize);
    finishLoad();
    return {};
}

void BmpCarrier::finishLoad() {
    numColors = colorCount();
    pixels = data + std::min<std::uint64_t>(colorTableBytes(), dataSize);
    palette = pixels == data ? nullptr : data;
    writeLe32(infoHeader.get() + kBiSizeImage, static_cast<std::uint32_t>(imageSize()));
    loaded = true;
}

BmpCarrier::Failure BmpCarrier::readHeaders(std::istream& bmpfile) {
    // Zeroed first, so that a short read never leaves another file's bytes.
    std::memset(fileHeader.get(), 0, kFileHeaderSize);
    std::memset(infoHeader.get(), 0, kInfoHeaderSize);
    bmpfile.read(asChars(fileHeader.get()), kFileHeaderSize);
    bmpfile.read(asChars(infoHeader.get()), kInfoHeaderSize);
    if (bmpfile.bad()) return {Problem::System, common::lastSystemError()};  // a folder, a failing disk
    // A short file header leaves nothing for the info header.
    return headersProblem(kFileHeaderSize + static_cast<std::size_t>(bmpfile.gcount()));
}

BmpCarrier::Failure BmpCarrier::headersProblem(std::size_t read) const {
    if (readLe16(fileHeader.get() + kBfType) != kBmpMagic) return {Problem::NotBmp, {}};
    if (read < kHeadersSize) return {Problem::ShorterThanHeaders, {}};
    return {};
}

BmpCarrier::Failure BmpCarrier::readDataArea(std::istream& bmpfile) {
    const std::uint32_t fileSize = readLe32(fileHeader.get() + kBfSize);
    // No data area: bfSize - 54 would wrap.
    if (fileSize < kHeadersSize) return {Problem::SizeBelowHeaders, {}};

    // bfSize is only a claim: the block grows with the bytes the file
    // actually holds, and a file shorter than its claim does not load.
    const std::uint32_t size = fileSize - static_cast<std::uint32_t>(kHeadersSize);
    ReadBlock block = readUpTo(bmpfile, size);
    if (block.readFailed) return {Problem::System, common::lastSystemError()};
    if (!block.bytes) return {Problem::OutOfMemory, {}};
    if (block.size != size) return {Problem::ShorterThanSize, {}};

    dataBlock = std::move(block.bytes);
    data = dataBlock.get();
    dataSize = size;
    return {};
}

// Saving ------------------------------------------------------------------------

BmpCarrier::Failure BmpCarrier::save(const Writer& write) {
    // Before any good load, or after a failed one, the headers and the data
    // area may belong to different files: nothing is written.
    if (!loaded) return {Problem::NothingLoaded, {}};
    const std::error_code written =
        write({{fileHeader.get(), kFileHeaderSize}, {infoHeader.get(), kInfoHeaderSize}, {data, dataSize}});
    if (written) return {Problem::System, written};
    return {};
}

// Hiding ------------------------------------------------------------------------

std::uint64_t BmpCarrier::colorTableBytes() const {
    // A "negative" count is a huge unsigned biClrUsed, not a small table.
    return kColorEntryBytes * static_cast<std::uint32_t>(numColors);
}

SamplePlane BmpCarrier::layoutPlane() const {
    SamplePlane bytes;
    if (!loaded) return bytes;
    // Every data-area byte is the next sample, as designed: one row of them.
    bytes.first = data;
    bytes.rows = 1;
    bytes.rowBytes = bytes.pixelsPerRow = dataSize;
    bytes.pixelBytes = bytes.channels = bytes.sampleBytes = 1;
    return bytes;
}

std::optional<std::uint64_t> BmpCarrier::ownRoom() const {
    // The designed check counts the room after the colour table, although the
    // layout itself starts at the first data-area byte.
    const std::uint64_t tableBytes = colorTableBytes();
    if (tableBytes > dataSize) return std::nullopt;
    return (dataSize - tableBytes) / 8;
}

PixelSamples BmpCarrier::pixelSamples() const {
    PixelSamples samples;
    if (!loaded || width() <= 0 || height() == 0) return samples;
    const std::uint64_t width = static_cast<std::uint32_t>(this->width());
    const std::int64_t signedHeight = height();  // negative: rows top-down
    const std::uint64_t rows = static_cast<std::uint64_t>(signedHeight < 0 ? -signedHeight : signedHeight);
    const std::uint64_t stride = (3 * width + 3) & ~std::uint64_t{3};
    const bool classic = readLe32(infoHeader.get() + kBiSize) == kInfoHeaderSize &&
                         readLe16(infoHeader.get() + kBiBitCount) == 24 && leadingBytes().plainPixels();
    if (!classic || stride * rows > dataSize) return samples;
    samples.plane = {data, static_cast<std::size_t>(rows), static_cast<std::size_t>(stride),
                     static_cast<std::size_t>(width), 3, 3, 1};
    samples.unchanged.resize(kHeadersSize);
    std::memcpy(samples.unchanged.data(), fileHeader.get(), kFileHeaderSize);
    std::memcpy(samples.unchanged.data() + kFileHeaderSize, infoHeader.get(), kInfoHeaderSize);
    return samples;
}

// The header fields ---------------------------------------------------------------

BmpCarrier::LeadingBytes BmpCarrier::leadingBytes() const {
    if (!loaded) return {};
    return leadingBytesOf(infoHeader.get(), dataSize);
}

BmpCarrier::LeadingBytes BmpCarrier::leadingBytesOf(const unsigned char* info, std::uint32_t areaSize) {
    LeadingBytes lead;
    const std::uint32_t headerSize = readLe32(info + kBiSize);
    const std::uint32_t compression = readLe32(info + kBiCompression);
    if (headerSize > kInfoHeaderSize) {
        lead.headerBytes = std::min(headerSize - static_cast<std::uint32_t>(kInfoHeaderSize), areaSize);
    } else if (headerSize == kInfoHeaderSize && compression == kBiBitFields) {
        lead.maskBytes = kMaskBytes;
    } else if (headerSize == kInfoHeaderSize && compression == kBiAlphaBitFields) {
        lead.maskBytes = kAlphaMaskBytes;
    }
    lead.tableEntries = static_cast<std::uint32_t>(colorCountOf(info));
    lead.compressed = compression != kBiRgb && compression != kBiBitFields && compression != kBiAlphaBitFields;
    return lead;
}

std::int32_t BmpCarrier::colorCount() const { return colorCountOf(infoHeader.get()); }

std::int32_t BmpCarrier::colorCountOf(const unsigned char* info) {
    const std::uint32_t numberOfColors = readLe32(info + kBiClrUsed);
    if (numberOfColors != 0) return static_cast<std::int32_t>(numberOfColors);
    // 1 to 8 bits per pixel index a table of 2^bits entries; 0 bits and
    // 16-, 24- and 32-bit images have none.
    const std::uint16_t bitCount = readLe16(info + kBiBitCount);
    if (bitCount == 0 || bitCount > 8) return 0;
    return std::int32_t{1} << bitCount;
}

std::int32_t BmpCarrier::imageSize() const {
    const std::uint32_t stored = readLe32(infoHeader.get() + kBiSizeImage);
    if (stored != 0) return static_cast<std::int32_t>(stored);
    // The signed product wraps as 32-bit two's complement, done unsigned.
    const std::uint32_t product =
        static_cast<std::uint32_t>(height()) * static_cast<std::uint32_t>(width());
    return static_cast<std::int32_t>(product);
}

std::int32_t BmpCarrier::width() const {
    return static_cast<std::int32_t>(readLe32(infoHeader.get() + kBiWidth));
}

std::int32_t BmpCarrier::height() const {
    return static_cast<std::int32_t>(readLe32(infoHeader.get() + kBiHeight));
}

}  // namespace glint
