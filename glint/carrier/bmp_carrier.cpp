#include "carrier/bmp_carrier.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "common/byte_order.h"
#include "common/file_names.h"
#include "common/system_error.h"
#include "files/file_output.h"
#include "files/large_block.h"
#include "layout/bit_plane.h"
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
// biCompression are read only to warn that the layout will change the
// picture visibly.
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

const BmpCarrier::Failure kOutOfMemory{BmpCarrier::Problem::OutOfMemory, {}};

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
    numColors = colorCount();
    pixels = data.get() + std::min<std::uint64_t>(colorTableBytes(), dataSize);
    palette = pixels == data.get() ? nullptr : data.get();
    writeLe32(infoHeader.get() + kBiSizeImage, static_cast<std::uint32_t>(imageSize()));
    loaded = true;
    return {};
}

BmpCarrier::Failure BmpCarrier::readHeaders(std::istream& bmpfile) {
    // Zeroed first, so that a short read never leaves another file's bytes.
    std::memset(fileHeader.get(), 0, kFileHeaderSize);
    std::memset(infoHeader.get(), 0, kInfoHeaderSize);
    bmpfile.read(asChars(fileHeader.get()), kFileHeaderSize);
    bmpfile.read(asChars(infoHeader.get()), kInfoHeaderSize);
    if (bmpfile.bad()) return {Problem::System, common::lastSystemError()};  // a folder, a failing disk
    if (readLe16(fileHeader.get() + kBfType) != kBmpMagic) return {Problem::NotBmp, {}};
    if (bmpfile.gcount() != kInfoHeaderSize) return {Problem::ShorterThanHeaders, {}};
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
    if (!block.bytes) return kOutOfMemory;
    if (block.size != size) return {Problem::ShorterThanSize, {}};

    data = std::move(block.bytes);
    dataSize = size;
    return {};
}

// Saving ------------------------------------------------------------------------

BmpCarrier::Failure BmpCarrier::save(const char* name) {
    return save([name](std::initializer_list<ByteRange> pieces) { return replaceFileContents(name, pieces); });
}

BmpCarrier::Failure BmpCarrier::save(const Writer& write) {
    // Before any good load, or after a failed one, the headers and the data
    // area may belong to different files: nothing is written.
    if (!loaded) return {Problem::NothingLoaded, {}};
    const std::error_code written =
        write({{fileHeader.get(), kFileHeaderSize}, {infoHeader.get(), kInfoHeaderSize}, {data.get(), dataSize}});
    if (written) return {Problem::System, written};
    return {};
}

// Hiding ------------------------------------------------------------------------

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

BmpCarrier::Failure BmpCarrier::hide(const char* name, PayloadSeal* seal) {
    std::ifstream txtfile(common::pathOfName(name), std::ios::binary);
    if (!txtfile.is_open()) return {Problem::System, common::lastSystemError()};
    return hide(txtfile, seal);
}

BmpCarrier::Failure BmpCarrier::hide(std::istream& txtfile, PayloadSeal* seal) {
    const Failure tooLong{Problem::TooLong, {}};
    txtfile.peek();  // a folder opens, but its first read fails
    if (txtfile.bad()) return {Problem::System, common::lastSystemError()};
    const std::optional<std::uint32_t> room = capacity(seal != nullptr ? seal->overhead() : 0);
    const std::optional<std::uint64_t> measured = remainingBytes(txtfile);
    if (!room || (measured && *measured > *room)) return tooLong;

    // One byte more than fits is asked for, so that a payload from a pipe,
    // or a file that grew since it was measured, shows that it is too long.
    const ReadBlock payload = readUpTo(txtfile, std::size_t{*room} + 1);
    if (payload.readFailed) return {Problem::System, common::lastSystemError()};
    if (!payload.bytes) return kOutOfMemory;
    if (payload.size > *room) return tooLong;

    const auto length = static_cast<std::uint32_t>(payload.size);
    if (seal != nullptr) return hideSealed(payload.bytes.get(), length, *seal);
    embedPieces({{payload.bytes.get(), length}});
    return {};
}

BmpCarrier::Failure BmpCarrier::hideSealed(unsigned char* payload, std::uint32_t size, PayloadSeal& seal) {
    std::vector<unsigned char> before(seal.beforeBytes);
    std::vector<unsigned char> after(seal.afterBytes);
    if (!seal.close(before.data(), payload, size, after.data())) return {Problem::SealFailed, {}};
    embedPieces({{before.data(), before.size()}, {payload, size}, {after.data(), after.size()}});
    return {};
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
    embedLength(data.get(), length);
}

// Extracting --------------------------------------------------------------------

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

BmpCarrier::Recovered BmpCarrier::recover(PayloadSeal* seal) const {
    if (seal != nullptr) return recoverSealed(*seal);
    const std::optional<std::uint32_t> length = hiddenLength();
    if (!length) return {nullptr, 0, {Problem::NoPayload, {}}};
    Recovered payload{allocateBlock(*length), *length, {}};
    if (!payload.bytes) return {nullptr, 0, kOutOfMemory};
    extractPieces({{payload.bytes.get(), *length}});
    return payload;
}

// Nothing is recovered unless the seal opens the payload: a wrong key,
// changed bytes and an image that holds no sealed payload all end the same
// way.
BmpCarrier::Recovered BmpCarrier::recoverSealed(PayloadSeal& seal) const {
    const Failure notOpened{Problem::NotOpened, {}};
    const std::optional<std::uint32_t> length = hiddenLength();
    if (!length || *length < seal.overhead()) return {nullptr, 0, notOpened};
    const std::size_t size = *length - seal.overhead();
    Recovered payload{allocateBlock(size), size, {}};
    if (!payload.bytes) return {nullptr, 0, kOutOfMemory};
    std::vector<unsigned char> before(seal.beforeBytes);
    std::vector<unsigned char> after(seal.afterBytes);
    extractPieces({{before.data(), before.size()}, {payload.bytes.get(), size}, {after.data(), after.size()}});
    switch (seal.open(before.data(), payload.bytes.get(), size, after.data())) {
        case PayloadSeal::Opened::Yes:
            return payload;
        case PayloadSeal::Opened::Refused:
            return {nullptr, 0, notOpened};
        case PayloadSeal::Opened::Failed:
            break;
    }
    return {nullptr, 0, {Problem::SealFailed, {}}};
}

BmpCarrier::Failure BmpCarrier::write(const Recovered& payload, const char* name) {
    return write(payload, [name](std::initializer_list<ByteRange> pieces) { return replaceFileContents(name, pieces); });
}

BmpCarrier::Failure BmpCarrier::write(const Recovered& payload, const Writer& write) {
    if (const std::error_code written = write({{payload.bytes.get(), payload.size}})) return {Problem::System, written};
    return {};
}

// The header fields ---------------------------------------------------------------

BmpCarrier::LeadingBytes BmpCarrier::leadingBytes() const {
    LeadingBytes lead;
    if (!loaded) return lead;
    const std::uint32_t headerSize = readLe32(infoHeader.get() + kBiSize);
    const std::uint32_t compression = readLe32(infoHeader.get() + kBiCompression);
    if (headerSize > kInfoHeaderSize) {
        lead.headerBytes = std::min(headerSize - static_cast<std::uint32_t>(kInfoHeaderSize), dataSize);
    } else if (headerSize == kInfoHeaderSize && compression == kBiBitFields) {
        lead.maskBytes = kMaskBytes;
    } else if (headerSize == kInfoHeaderSize && compression == kBiAlphaBitFields) {
        lead.maskBytes = kAlphaMaskBytes;
    }
    lead.tableEntries = static_cast<std::uint32_t>(numColors);
    lead.compressed = compression != kBiRgb && compression != kBiBitFields && compression != kBiAlphaBitFields;
    return lead;
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
