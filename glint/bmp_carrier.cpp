#include "bmp_carrier.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "bit_plane.h"
#include "byte_order.h"
#include "file_output.h"
#include "large_block.h"
#include "messages.h"

namespace glint {
namespace {

// File header offsets. bfReserved1 (6), bfReserved2 (8) and bfOffBits (10)
// are carried through unread: the data area starts at offset 54 whatever
// they say.
constexpr std::size_t kBfType = 0;  // "BM", the only validity test
constexpr std::size_t kBfSize = 2;  // total file size; the data area ends there
constexpr std::uint16_t kBmpMagic = 0x4D42;

// Info header offsets. biSize, biPlanes, biCompression, the resolutions and
// biClrImportant are carried through unread: pixels are never interpreted.
constexpr std::size_t kBiWidth = 4;
constexpr std::size_t kBiHeight = 8;
constexpr std::size_t kBiBitCount = 14;
constexpr std::size_t kBiSizeImage = 20;  // rewritten with imageSize() on load
constexpr std::size_t kBiClrUsed = 32;

// Each colour-table entry is four bytes (blue, green, red, reserved).
constexpr std::uint64_t kColorEntryBytes = 4;

char* asChars(unsigned char* bytes) { return reinterpret_cast<char*>(bytes); }

}  // namespace

BmpCarrier::BmpCarrier(std::ostream& report, std::ostream& failures)
    : fileHeader(new unsigned char[kFileHeaderSize]()),
      infoHeader(new unsigned char[kInfoHeaderSize]()),
      out(report),
      err(failures) {}

void BmpCarrier::loadBmp(const char* name) {
    loaded = false;
    const std::size_t nameLength = std::strlen(name);
    if (nameLength >= sizeof fileName) {
        reportLoadFailure();
        return;
    }
    std::memcpy(fileName, name, nameLength + 1);

    std::ifstream bmpfile(fileName, std::ios::binary);
    if (!readHeaders(bmpfile) || !readDataArea(bmpfile)) {
        reportLoadFailure();
        return;
    }
    numColors = colorCount();
    pixels = data.get() + std::min<std::uint64_t>(colorTableBytes(), dataSize);
    palette = pixels == data.get() ? nullptr : data.get();
    writeLe32(infoHeader.get() + kBiSizeImage, static_cast<std::uint32_t>(imageSize()));
    loaded = true;
    out << msg::kLoadSucceeded << std::endl;
}

bool BmpCarrier::readHeaders(std::istream& bmpfile) {
    // Zeroed first, so that a short read never leaves another file's bytes.
    std::memset(fileHeader.get(), 0, kFileHeaderSize);
    std::memset(infoHeader.get(), 0, kInfoHeaderSize);
    bmpfile.read(asChars(fileHeader.get()), kFileHeaderSize);
    bmpfile.read(asChars(infoHeader.get()), kInfoHeaderSize);
    return bmpfile.gcount() == kInfoHeaderSize &&
           readLe16(fileHeader.get() + kBfType) == kBmpMagic;
}

bool BmpCarrier::readDataArea(std::istream& bmpfile) {
    const std::uint32_t fileSize = readLe32(fileHeader.get() + kBfSize);
    if (fileSize < kHeadersSize) return false;  // no data area; bfSize - 54 would wrap

    // bfSize is only a claim: the file must hold that many bytes before a
    // block that large is allocated.
    bmpfile.seekg(0, std::ios::end);
    const std::streamoff actualSize = bmpfile.tellg();
    if (actualSize < 0 || static_cast<std::uint64_t>(actualSize) < fileSize) return false;
    bmpfile.seekg(static_cast<std::streamoff>(kHeadersSize));

    const std::uint32_t size = fileSize - static_cast<std::uint32_t>(kHeadersSize);
    std::unique_ptr<unsigned char[]> block = allocateBlock(size);
    bmpfile.read(asChars(block.get()), size);
    if (bmpfile.gcount() != static_cast<std::streamsize>(size)) return false;

    data = std::move(block);
    dataSize = size;
    return true;
}

void BmpCarrier::reportLoadFailure() { err << msg::kLoadFailed; }

void BmpCarrier::saveBmp(const char* name) {
    // Before any good load, or after a failed one, the headers and the data
    // area may belong to different files: nothing is written.
    const bool saved =
        loaded && replaceFileContents(name, {{fileHeader.get(), kFileHeaderSize},
                                             {infoHeader.get(), kInfoHeaderSize},
                                             {data.get(), dataSize}});
    if (saved) {
        out << msg::kSaveSucceeded << std::endl;
    } else {
        err << msg::kSaveFailed << std::endl;
    }
}

std::uint64_t BmpCarrier::colorTableBytes() const {
    // A "negative" count is a huge unsigned biClrUsed, not a small table.
    return kColorEntryBytes * static_cast<std::uint32_t>(numColors);
}

bool BmpCarrier::payloadFits(std::uint64_t length) const {
    if (!loaded) return false;
    // A payload longer than the whole data area cannot fit; refusing it first
    // also keeps 8 * length from overflowing for absurd file sizes.
    const std::uint64_t tableBytes = colorTableBytes();
    if (length > dataSize || tableBytes > dataSize) return false;
    // The designed check counts the room after the colour table; the layout
    // itself starts at the first data-area byte and needs the length word
    // too. Both must hold, computed without 32-bit wrap-around.
    const std::uint64_t room = dataSize - tableBytes;
    const std::uint64_t payloadBits = 8 * length;
    return payloadBits <= room && kLengthBits + payloadBits <= dataSize;
}

std::int32_t BmpCarrier::hideText(const char* name) {
    std::ifstream txtfile(name, std::ios::binary | std::ios::ate);
    const std::streamoff end = txtfile.tellg();
    if (end < 0 || !payloadFits(static_cast<std::uint64_t>(end))) return 0;

    const auto length = static_cast<std::uint32_t>(end);
    std::unique_ptr<unsigned char[]> buffer = allocateBlock(length);
    txtfile.seekg(0);
    txtfile.read(asChars(buffer.get()), length);
    // The whole file and nothing more: a directory fails here, and so does a
    // file that changed size since it was measured.
    const bool readWhole = txtfile.gcount() == static_cast<std::streamsize>(length) &&
                           txtfile.peek() == std::ifstream::traits_type::eof() &&
                           !txtfile.bad();
    txtfile.close();
    if (!readWhole) return 0;

    embedBits(data.get() + kLengthBits, buffer.get(), length);
    out << msg::kHideSucceeded << std::endl;
    embedLength(data.get(), length);
    return 1;
}

void BmpCarrier::extractText(const char* name) {
    // The length bits are untrusted: the payload they claim must lie inside
    // the data area before anything is allocated or read.
    const bool lengthReadable = loaded && dataSize >= kLengthBits;
    const std::uint32_t length = lengthReadable ? extractLength(data.get()) : 0;
    if (!lengthReadable || kLengthBits + 8 * std::uint64_t{length} > dataSize) {
        err << msg::kDecodeFailed << std::endl;
        return;
    }
    std::unique_ptr<unsigned char[]> buffer = allocateBlock(length);
    extractBits(buffer.get(), data.get() + kLengthBits, length);
    out << msg::kDecodeSucceeded << std::endl;

    if (!replaceFileContents(name, {{buffer.get(), length}})) {
        err << msg::kSaveFailed << std::endl;
    }
}

std::int32_t BmpCarrier::colorCount() const {
    const std::uint32_t numberOfColors = readLe32(infoHeader.get() + kBiClrUsed);
    if (numberOfColors != 0) return static_cast<std::int32_t>(numberOfColors);
    // 1 to 8 bits per pixel index a table of 2^bits entries; 0 bits and
    // 16-, 24- and 32-bit images have none.
    const std::uint16_t bitCount = readLe16(infoHeader.get() + kBiBitCount);
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
