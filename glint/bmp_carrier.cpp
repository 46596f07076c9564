#include "bmp_carrier.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "bit_plane.h"
#include "byte_order.h"
#include "file_names.h"
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

BmpCarrier::BmpCarrier(Console& report, Console& failures)
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

    std::ifstream bmpfile(pathOfName(fileName), std::ios::binary);
    if (!readHeaders(bmpfile) || !readDataArea(bmpfile)) {
        reportLoadFailure();
        return;
    }
    numColors = colorCount();
    pixels = data.get() + std::min<std::uint64_t>(colorTableBytes(), dataSize);
    palette = pixels == data.get() ? nullptr : data.get();
    writeLe32(infoHeader.get() + kBiSizeImage, static_cast<std::uint32_t>(imageSize()));
    loaded = true;
    out.line(msg::kLoadSucceeded);
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

    // bfSize is only a claim: the block grows with the bytes the file
    // actually holds, and a file shorter than its claim does not load.
    const std::uint32_t size = fileSize - static_cast<std::uint32_t>(kHeadersSize);
    ReadBlock block = readUpTo(bmpfile, size);
    if (!block.bytes || block.size != size) return false;

    data = std::move(block.bytes);
    dataSize = size;
    return true;
}

void BmpCarrier::reportLoadFailure() { err.text(msg::kLoadFailed); }

bool BmpCarrier::saveBmp(const char* name) {
    // Before any good load, or after a failed one, the headers and the data
    // area may belong to different files: nothing is written.
    const bool saved =
        loaded && !replaceFileContents(name, {{fileHeader.get(), kFileHeaderSize},
                                              {infoHeader.get(), kInfoHeaderSize},
                                              {data.get(), dataSize}});
    if (saved) {
        out.line(msg::kSaveSucceeded);
    } else {
        err.line(msg::kSaveFailed);
    }
    return saved;
}

std::uint64_t BmpCarrier::colorTableBytes() const {
    // A "negative" count is a huge unsigned biClrUsed, not a small table.
    return kColorEntryBytes * static_cast<std::uint32_t>(numColors);
}

std::optional<std::uint32_t> BmpCarrier::capacity(std::size_t overhead) const {
    const std::uint64_t tableBytes = colorTableBytes();
    if (!loaded || tableBytes > dataSize || dataSize < kLengthBits) return std::nullopt;
    // The designed check counts the room after the colour table; the layout
    // itself starts at the first data-area byte and needs the length word
    // too. Both must hold, computed without 32-bit wrap-around.
    const std::uint64_t afterTable = (dataSize - tableBytes) / 8;
    const std::uint64_t afterLengthWord = (dataSize - kLengthBits) / 8;
    const std::uint64_t room = std::min(afterTable, afterLengthWord);
    if (room < overhead) return std::nullopt;
    return static_cast<std::uint32_t>(room - overhead);
}

std::int32_t BmpCarrier::hideText(const char* name) { return hide(name) == HideResult::Hidden ? 1 : 0; }

BmpCarrier::HideResult BmpCarrier::hide(const char* name, PayloadSeal* seal) {
    std::ifstream txtfile(pathOfName(name), std::ios::binary);
    if (!txtfile.is_open()) return HideResult::Unreadable;
    txtfile.peek();  // a folder opens, but its first read fails
    if (txtfile.bad()) return HideResult::Unreadable;
    const std::optional<std::uint32_t> room = capacity(seal != nullptr ? seal->overhead() : 0);
    const std::optional<std::uint64_t> measured = remainingBytes(txtfile);
    if (!room || (measured && *measured > *room)) return HideResult::TooLong;

    // One byte more than fits is asked for, so that a payload from a pipe,
    // or a file that grew since it was measured, shows that it is too long.
    const ReadBlock payload = readUpTo(txtfile, std::size_t{*room} + 1);
    if (payload.readFailed) return HideResult::Unreadable;
    if (!payload.bytes || payload.size > *room) return HideResult::TooLong;

    const auto length = static_cast<std::uint32_t>(payload.size);
    if (seal != nullptr) return hideSealed(payload.bytes.get(), length, *seal);
    embedPieces({{payload.bytes.get(), length}});
    return HideResult::Hidden;
}

BmpCarrier::HideResult BmpCarrier::hideSealed(unsigned char* payload, std::uint32_t size, PayloadSeal& seal) {
    std::vector<unsigned char> before(seal.beforeBytes);
    std::vector<unsigned char> after(seal.afterBytes);
    if (!seal.close(before.data(), payload, size, after.data())) return HideResult::SealFailed;
    embedPieces({{before.data(), before.size()}, {payload, size}, {after.data(), after.size()}});
    return HideResult::Hidden;
}

// The caller has checked that the pieces fit the data area together.
void BmpCarrier::embedPieces(std::initializer_list<Piece> pieces) {
    unsigned char* at = data.get() + kLengthBits;
    std::uint32_t length = 0;
    for (const Piece& piece : pieces) {
        embedBits(at, piece.bytes, piece.size);
        at += 8 * piece.size;
        length += static_cast<std::uint32_t>(piece.size);
    }
    out.line(msg::kHideSucceeded);
    embedLength(data.get(), length);
}

void BmpCarrier::extractPieces(std::initializer_list<Piece> pieces) const {
    const unsigned char* at = data.get() + kLengthBits;
    for (const Piece& piece : pieces) {
        extractBits(piece.bytes, at, piece.size);
        at += 8 * piece.size;
    }
}

std::optional<std::uint32_t> BmpCarrier::hiddenLength() const {
    // The length bits are untrusted: the payload they claim must lie inside
    // the data area before anything is allocated or read.
    if (!loaded || dataSize < kLengthBits) return std::nullopt;
    const std::uint32_t length = extractLength(data.get());
    if (kLengthBits + 8 * std::uint64_t{length} > dataSize) return std::nullopt;
    return length;
}

bool BmpCarrier::extractText(const char* name, PayloadSeal* seal) {
    if (seal != nullptr) return extractSealed(name, *seal);
    const std::optional<std::uint32_t> length = hiddenLength();
    const std::unique_ptr<unsigned char[]> buffer = length ? allocateBlock(*length) : nullptr;
    if (!buffer) {
        err.line(msg::kDecodeFailed);
        return false;
    }
    extractPieces({{buffer.get(), *length}});
    return writeRecovered(name, buffer.get(), *length);
}

// Nothing is written unless the seal opens the payload: a wrong key, changed
// bytes and an image that holds no sealed payload all end the same way.
bool BmpCarrier::extractSealed(const char* name, PayloadSeal& seal) {
    const std::optional<std::uint32_t> length = hiddenLength();
    if (!length || *length < seal.overhead()) {
        err.line(msg::kDecryptFailed);
        return false;
    }
    const std::size_t size = *length - seal.overhead();
    const std::unique_ptr<unsigned char[]> payload = allocateBlock(size);
    if (!payload) {
        err.line(msg::kDecodeFailed);
        return false;
    }
    std::vector<unsigned char> before(seal.beforeBytes);
    std::vector<unsigned char> after(seal.afterBytes);
    extractPieces({{before.data(), before.size()}, {payload.get(), size}, {after.data(), after.size()}});
    switch (seal.open(before.data(), payload.get(), size, after.data())) {
        case PayloadSeal::Opened::Yes:
            return writeRecovered(name, payload.get(), size);
        case PayloadSeal::Opened::Refused:
            err.line(msg::kDecryptFailed);
            return false;
        case PayloadSeal::Opened::Failed:
            err.line(msg::kCryptoFailed);
            return false;
    }
    return false;
}

bool BmpCarrier::writeRecovered(const char* name, const unsigned char* payload, std::size_t size) {
    out.line(msg::kDecodeSucceeded);
    if (replaceFileContents(name, {{payload, size}})) {
        err.line(msg::kSaveFailed);
        return false;
    }
    return true;
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
