#include "carrier/cover.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <optional>
#include <utility>

#include "common/byte_order.h"
#include "common/file_names.h"
#include "picture/picture_codecs.h"
#include "carrier/png_carrier.h"
#include "common/system_error.h"
#include "files/large_block.h"

namespace glint {
namespace {

using common::readLe16;
using common::readLe32;

// A BMP's two headers: enough to tell its kind and its stated size.
constexpr std::size_t kHeadBytes = BmpCarrier::kHeadersSize;
constexpr std::size_t kBfSize = 2;
// Fields of the info header, from the file's start, and the header sizes
// that hold them: OS/2's 12-byte header has 16-bit sizes, its bit count at
// its own place and neither compression nor a colour count; OS/2's second
// version may end after any of the fields of the 40-byte one.
constexpr std::size_t kBiSize = 14;
constexpr std::size_t kBiBitCount = 28;
constexpr std::size_t kBiCompression = 30;
constexpr std::size_t kBiClrUsed = 46;
constexpr std::size_t kBcBitCount = 24;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kHeaderSizeWithBitCount = 16;
constexpr std::uint32_t kHeaderSizeWithCompression = 20;
constexpr std::uint32_t kHeaderSizeWithClrUsed = 36;

const std::size_t kMaxCoverBytes =
    static_cast<std::size_t>(std::min<std::uint64_t>(kMaxCoverFileBytes, std::numeric_limits<std::size_t>::max() - 1));

// The file's first bytes, or why they could not be read.
struct Head {
    ReadBlock block;
    Carrier::Failure failure;
};

Head readHead(std::istream& file) {
    file.peek();  // a folder opens, but its first read fails
    if (file.bad()) return {{}, {Carrier::Problem::System, common::lastSystemError()}};
    Head head{readUpTo(file, kHeadBytes), {}};
    if (head.block.readFailed) head.failure = {Carrier::Problem::System, common::lastSystemError()};
    else if (!head.block.bytes) head.failure = {Carrier::Problem::OutOfMemory, {}};
    return head;
}

// The rest of the file after its head, up to `limit` bytes more, in one block with the head.
ReadBlock readRest(std::istream& file, const ReadBlock& head, std::size_t limit) {
    return readUpTo(file, limit, head.bytes.get(), head.size);
}

bool carriedAsItIs(const ReadBlock& head, CoverUse use, CoverOutput output) {
    if (pictureFormat(head.bytes.get(), head.size) != PictureFormat::Bmp) return false;
    // Any BMP to recover from, as the dialogue loads it; to hide in, only
    // the classic kind (a BMP of fewer than 54 bytes, OS/2's, goes to the
    // library like every other).
    if (use == CoverUse::Recover) return true;
    return output == CoverOutput::Bmp && isClassicBmp(head.bytes.get(), head.size);
}

void failLoad(OpenedCover& opened, Carrier::Failure failure) {
    opened.problem = CoverProblem::Load;
    opened.load = failure;
}

// The designed path: the headers and the data area, bfSize bytes as the
// header states them, loaded as BmpCarrier loads a file.
void carryBmp(std::istream& file, const ReadBlock& head, OpenedCover& opened, common::Console& out,
              common::Console& err) {
    const std::uint32_t fileSize = head.size < kHeadBytes ? 0 : readLe32(head.bytes.get() + kBfSize);
    ReadBlock whole = readRest(file, head, fileSize > head.size ? fileSize - head.size : 0);
    if (whole.readFailed) return failLoad(opened, {Carrier::Problem::System, common::lastSystemError()});
    if (!whole.bytes) return failLoad(opened, {Carrier::Problem::OutOfMemory, {}});
    auto carrier = std::make_unique<BmpCarrier>(out, err);
    if (const Carrier::Failure failed = carrier->load(std::move(whole.bytes), whole.size)) return failLoad(opened, failed);
    opened.carrier = std::move(carrier);
}

// The whole file after its head, decoded; false, with the reason in
// `problem`, when it is none. A format glint does not read, or a file larger
// than any cover, is refused before the rest is read.
bool decodeRest(std::istream& file, const ReadBlock& head, DecodedPicture& decoded, CoverProblem& problem,
                Carrier::Failure& load) {
    problem = CoverProblem::Picture;
    if (pictureFormat(head.bytes.get(), head.size) == PictureFormat::Unknown) {
        decoded.problem = PictureProblem::UnknownFormat;
        return false;
    }
    const std::optional<std::uint64_t> rest = remainingBytes(file);
    problem = CoverProblem::FileTooLarge;
    if (rest && *rest > kMaxCoverBytes - head.size) return false;
    ReadBlock whole = readRest(file, head, kMaxCoverBytes - head.size + 1);
    if (whole.size > kMaxCoverBytes) return false;
    problem = CoverProblem::Load;
    if (whole.readFailed) load = {Carrier::Problem::System, common::lastSystemError()};
    else if (!whole.bytes) load = {Carrier::Problem::OutOfMemory, {}};
    if (load) return false;
    problem = CoverProblem::Picture;
    decoded = decodePicture(whole.bytes.get(), whole.size);
    if (decoded.problem != PictureProblem::None) return false;
    problem = CoverProblem::None;
    return true;
}

void failPicture(OpenedCover& opened, PictureProblem problem) {
    opened.problem = CoverProblem::Picture;
    opened.picture = problem;
}

std::unique_ptr<Carrier> pngCarrier(Picture picture, OpenedCover& opened) {
    if (!preparePngKind(picture)) {
        failPicture(opened, PictureProblem::OutOfMemory);
        return nullptr;
    }
    return std::make_unique<PngCarrier>(std::move(picture));
}

// A classic 24-bit BMP of the picture, carried as designed.
std::unique_ptr<Carrier> bmpCarrier(const Picture& picture, OpenedCover& opened, common::Console& out,
                                    common::Console& err) {
    EncodedPicture bmp = encodeClassicBmp(picture);
    if (bmp.problem != PictureProblem::None) {
        failPicture(opened, bmp.problem);
        return nullptr;
    }
    auto carrier = std::make_unique<BmpCarrier>(out, err);
    if (const Carrier::Failure failed = carrier->load(std::move(bmp.bytes), bmp.size)) {
        failLoad(opened, failed);
        return nullptr;
    }
    return carrier;
}

// The colour table a palette of `bitCount` bits implies: none above 8.
std::uint32_t impliedTableEntries(std::uint16_t bitCount) {
    return bitCount == 0 || bitCount > 8 ? 0 : std::uint32_t{1} << bitCount;
}

// What the BMP's header says of its kind, read from the fields its own
// header has, a full 54-byte head given.
void noteBmpKind(const unsigned char* head, CoverConversion& conversion) {
    const std::uint32_t headerSize = readLe32(head + kBiSize);
    const std::uint32_t fileSize = readLe32(head + kBfSize);
    const std::uint32_t dataSize = fileSize > kHeadBytes ? fileSize - static_cast<std::uint32_t>(kHeadBytes) : 0;
    BmpCarrier::LeadingBytes& lead = conversion.bmpLeading;
    if (headerSize >= BmpCarrier::kInfoHeaderSize) {
        conversion.bmpBitsPerPixel = readLe16(head + kBiBitCount);
        lead = BmpCarrier::leadingBytesOf(head + BmpCarrier::kFileHeaderSize, dataSize);
    } else if (headerSize == kCoreHeaderSize) {
        conversion.bmpBitsPerPixel = readLe16(head + kBcBitCount);
        lead.tableEntries = impliedTableEntries(conversion.bmpBitsPerPixel);
    } else if (headerSize >= kHeaderSizeWithBitCount) {
        conversion.bmpBitsPerPixel = readLe16(head + kBiBitCount);
        lead.compressed = headerSize >= kHeaderSizeWithCompression && readLe32(head + kBiCompression) != 0;
        const std::uint32_t used = headerSize >= kHeaderSizeWithClrUsed ? readLe32(head + kBiClrUsed) : 0;
        lead.tableEntries = used != 0 ? used : impliedTableEntries(conversion.bmpBitsPerPixel);
    }
}

CoverConversion conversionOf(const ReadBlock& head, PictureFormat format, CoverOutput output, const Picture& picture) {
    CoverConversion conversion;
    if (format == PictureFormat::Png && output == CoverOutput::Png) return conversion;
    conversion.from = format;
    conversion.to = output;
    conversion.roundedTo8Bits = output == CoverOutput::Bmp && picture.bitsPerSample == 16;
    conversion.alphaDropped = output == CoverOutput::Bmp && picture.alpha;
    if (format == PictureFormat::Bmp && head.size >= kHeadBytes) noteBmpKind(head.bytes.get(), conversion);
    return conversion;
}

// The picture as the output asks; for capacity, a PNG as PNG and anything
// else as a BMP, with the PNG beside it.
void convert(Picture picture, const ReadBlock& head, CoverUse use, CoverOutput output, OpenedCover& opened,
             common::Console& out, common::Console& err) {
    if (use == CoverUse::Capacity) output = opened.format == PictureFormat::Png ? CoverOutput::Png : CoverOutput::Bmp;
    opened.conversion = conversionOf(head, opened.format, output, picture);
    if (output == CoverOutput::Png) {
        opened.carrier = pngCarrier(std::move(picture), opened);
        return;
    }
    opened.carrier = bmpCarrier(picture, opened, out, err);
    if (opened.carrier && use == CoverUse::Capacity) {
        opened.asPng = pngCarrier(std::move(picture), opened);
        if (!opened.asPng) opened.carrier.reset();
    }
}

template <typename Opened, typename Open>
Opened openNamed(const char* name, Open open) {
    std::ifstream file(common::pathOfName(name), std::ios::binary);
    if (!file.is_open()) {
        Opened failed;
        failed.problem = CoverProblem::Load;
        failed.load = {Carrier::Problem::System, common::lastSystemError()};
        return failed;
    }
    return open(file);
}

}  // namespace

OpenedCover openCover(std::istream& file, CoverUse use, CoverOutput output, common::Console& out,
                      common::Console& err) {
    OpenedCover opened;
    const Head head = readHead(file);
    if (head.failure) {
        failLoad(opened, head.failure);
        return opened;
    }
    opened.format = pictureFormat(head.block.bytes.get(), head.block.size);
    if (carriedAsItIs(head.block, use, output)) {
        carryBmp(file, head.block, opened, out, err);
        return opened;
    }
    if (use == CoverUse::Recover && opened.format != PictureFormat::Png) {
        opened.problem = CoverProblem::NotStego;
        return opened;
    }
    DecodedPicture decoded;
    if (!decodeRest(file, head.block, decoded, opened.problem, opened.load)) {
        opened.picture = decoded.problem;
        opened.detail = std::move(decoded.detail);
        return opened;
    }
    if (use == CoverUse::Recover) {
        opened.carrier = std::make_unique<PngCarrier>(std::move(decoded.picture));
        return opened;
    }
    convert(std::move(decoded.picture), head.block, use, output, opened, out, err);
    return opened;
}

OpenedCover openCover(const char* name, CoverUse use, CoverOutput output, common::Console& out,
                      common::Console& err) {
    return openNamed<OpenedCover>(name, [&](std::istream& file) { return openCover(file, use, output, out, err); });
}

OpenedPicture openPicture(std::istream& file) {
    OpenedPicture opened;
    const Head head = readHead(file);
    if (head.failure) {
        opened.problem = CoverProblem::Load;
        opened.load = head.failure;
        return opened;
    }
    decodeRest(file, head.block, opened.decoded, opened.problem, opened.load);
    return opened;
}

OpenedPicture openPicture(const char* name) {
    return openNamed<OpenedPicture>(name, [](std::istream& file) { return openPicture(file); });
}

}  // namespace glint
