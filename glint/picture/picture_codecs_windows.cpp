// Pictures by the Windows Imaging Component, each format by its own decoder
// only (never by guessing from the bytes). WIC reads and writes no PNG chunk
// byte for byte, so the colour chunks are copied from the cover's chunk list
// and put into the written file's: only chunk lengths, names and CRCs are
// read there, never pixels.
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/byte_order.h"
#include "picture/picture_codecs.h"
#include "files/large_block.h"

namespace glint {
namespace {

using common::readLe16;
using common::readLe32;

// The densest coding of each format, as on Linux: deflate expands a byte
// to at most 1032 (a PNG of one bit a pixel then holds 8256 pixels a byte),
// a Huffman-coded JPEG spends a bit at least on a block of up to 32 x 32
// pixels, and an RLE BMP codes at most 255 pixels in two bytes.
constexpr std::uint64_t kPngMaxPixelsPerByte = 1032 * 8;
constexpr std::uint64_t kJpegMaxPixelsPerByte = 8 * 32 * 32;
constexpr std::uint64_t kBmpMaxPixelsPerByte = 128;
// At most this many colour chunks are kept, each at most this large: as on
// Linux, where libpng holds the limits.
constexpr std::size_t kMaxColourChunks = 64;
constexpr std::size_t kMaxChunkBytes = std::size_t{16} << 20;
// Pixels are copied in and out in strips of at most this many bytes: WIC
// counts a buffer's bytes in 32 bits.
constexpr std::size_t kStripBytes = std::size_t{16} << 20;

// The PNG file's layout around the chunks: the signature, then IHDR first
// with 13 bytes of data.
constexpr std::size_t kPngSignatureBytes = 8;
constexpr std::size_t kChunkFrameBytes = 12;  // length, name, CRC
constexpr std::size_t kIhdrEnd = kPngSignatureBytes + kChunkFrameBytes + 13;
constexpr std::size_t kIhdrColourType = kPngSignatureBytes + 8 + 9;
constexpr unsigned char kPngColourBit = 2;

constexpr const char* kColourChunkNames[] = {"gAMA", "cHRM", "sRGB", "iCCP"};

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_ != nullptr) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** put() { return &p_; }
    T* get() const { return p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

// COM for this thread while a picture is read or written; a thread already
// in another apartment keeps it.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result_;
};

std::string hresultText(HRESULT result) {
    char text[32];
    std::snprintf(text, sizeof text, "WIC error 0x%08lX", static_cast<unsigned long>(result));
    return text;
}

std::uint32_t readBe32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void appendBe32(std::vector<unsigned char>& out, std::uint32_t v) {
    out.insert(out.end(), {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                           static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)});
}

bool isColourChunk(const unsigned char* name) {
    return std::any_of(std::begin(kColourChunkNames), std::end(kColourChunkNames),
                       [name](const char* kept) { return std::memcmp(name, kept, 4) == 0; });
}

// Calls `visit(name, data, length)` for each whole chunk after IHDR up to
// the image data, each length checked against the bytes that are there.
template <typename Visit>
void forEachChunkBeforeImage(const unsigned char* file, std::size_t size, Visit visit) {
    for (std::size_t at = kIhdrEnd; at <= size && size - at >= kChunkFrameBytes;) {
        const std::uint32_t length = readBe32(file + at);
        if (length > size - at - kChunkFrameBytes) return;
        const unsigned char* name = file + at + 4;
        if (std::memcmp(name, "IDAT", 4) == 0) return;
        visit(name, file + at + 8, length);
        at += kChunkFrameBytes + length;
    }
}

// The colour chunks, as libpng keeps them on Linux; their CRCs are checked.
void keepColourChunks(const unsigned char* file, std::size_t size, Picture& picture) {
    forEachChunkBeforeImage(file, size, [&](const unsigned char* name, const unsigned char* data, std::uint32_t length) {
        if (!isColourChunk(name) || length > kMaxChunkBytes || picture.colourChunks.size() == kMaxColourChunks) return;
        ColourChunk chunk;
        std::memcpy(chunk.name.data(), name, 4);
        chunk.data.assign(data, data + length);
        picture.colourChunks.push_back(std::move(chunk));
    });
}

// What libpng checks on Linux and WIC may not (Wine's does not): every
// chunk whole, its CRC right, the file ending with IEND. Empty when it holds.
std::string brokenChunk(const unsigned char* file, std::size_t size) {
    for (std::size_t at = kPngSignatureBytes; size - at >= kChunkFrameBytes;) {
        const std::uint32_t length = readBe32(file + at);
        if (length > size - at - kChunkFrameBytes) break;
        const unsigned char* name = file + at + 4;
        const std::string named(reinterpret_cast<const char*>(name), 4);
        if (crc32(crc32(0, name, 4), name + 4, length) != readBe32(name + 4 + length)) return named + ": CRC error";
        if (named == "IEND") return {};
        at += kChunkFrameBytes + length;
    }
    return "the file ends early";
}

struct Size {
    std::uint64_t width;
    std::uint64_t height;
};

// The size in a JPEG's frame header, found by walking the marker segments
// before it by their lengths; nothing when there is none before the scan.
std::optional<Size> jpegSize(const unsigned char* file, std::size_t size) {
    std::size_t at = 2;  // after SOI
    while (at + 4 <= size && file[at] == 0xFF) {
        const unsigned char marker = file[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // the scan, or the end
        const std::size_t length = (std::size_t{file[at + 2]} << 8) | file[at + 3];
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        // A frame header: length, precision, height, width, each big-endian.
        if (frame && at + 9 <= size) {
            return Size{(std::uint64_t{file[at + 7]} << 8) | file[at + 8], (std::uint64_t{file[at + 5]} << 8) | file[at + 6]};
        }
        at += 2 + length;
    }
    return std::nullopt;
}

// A PNG's size from IHDR, which comes first.
std::optional<Size> pngSize(const unsigned char* file, std::size_t size) {
    if (size < kIhdrEnd || std::memcmp(file + kPngSignatureBytes + 4, "IHDR", 4) != 0) return std::nullopt;
    return Size{readBe32(file + 16), readBe32(file + 20)};
}

// A BMP's size from its info header: 16-bit fields in the 12-byte OS/2
// header, signed 32-bit ones (a negative height for top-down) in the rest.
std::optional<Size> bmpSize(const unsigned char* file, std::size_t size) {
    constexpr std::size_t kInfoHeader = 14;
    if (size < kInfoHeader + 12) return std::nullopt;
    if (readLe32(file + kInfoHeader) == 12) return Size{readLe16(file + 18), readLe16(file + 20)};
    if (size < kInfoHeader + 16) return std::nullopt;
    const auto height = static_cast<std::int32_t>(readLe32(file + 22));
    const std::int64_t rows = height < 0 ? -std::int64_t{height} : height;
    return Size{readLe32(file + 18), static_cast<std::uint64_t>(rows)};
}

// Sizes are checked before WIC sees a file: some of its decoders (Wine's
// JPEG and PNG ones) decode the whole picture when they open it.
DecodedPicture failure(PictureProblem problem, std::string detail = {});

std::optional<DecodedPicture> refusedSize(std::optional<Size> claimed, std::size_t size, std::uint64_t pixelsPerByte) {
    if (!claimed) return std::nullopt;
    const Size known = *claimed;
    const PictureProblem problem = checkPictureSize(known.width, known.height, size, pixelsPerByte);
    if (problem == PictureProblem::None) return std::nullopt;
    return failure(problem, problem == PictureProblem::Corrupt ? "no pixels" : "");
}

struct Decoder {
    ComScope com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
};

// What a source pixel format becomes: its kind and the WIC format that
// holds it in the picture's sample order.
struct Target {
    WICPixelFormatGUID format;
    std::uint8_t channels;
    bool alpha;
    std::uint8_t bits;
};

bool paletteHasAlpha(Decoder& wic) {
    ComPtr<IWICPalette> palette;
    BOOL alpha = FALSE;
    if (FAILED(wic.factory->CreatePalette(palette.put())) || FAILED(wic.frame->CopyPalette(palette.get()))) return false;
    return SUCCEEDED(palette->HasAlpha(&alpha)) && alpha != FALSE;
}

bool sameFormat(const WICPixelFormatGUID& a, const WICPixelFormatGUID& b) { return IsEqualGUID(a, b) != FALSE; }

bool oneOf(const WICPixelFormatGUID& format, std::initializer_list<const WICPixelFormatGUID*> formats) {
    return std::any_of(formats.begin(), formats.end(), [&](const WICPixelFormatGUID* f) { return sameFormat(format, *f); });
}

std::optional<Target> targetOf(Decoder& wic, const WICPixelFormatGUID& source) {
    if (oneOf(source, {&GUID_WICPixelFormat32bppCMYK, &GUID_WICPixelFormat64bppCMYK, &GUID_WICPixelFormat40bppCMYKAlpha,
                       &GUID_WICPixelFormat80bppCMYKAlpha})) {
        return std::nullopt;
    }
    if (sameFormat(source, GUID_WICPixelFormat16bppGray)) return Target{GUID_WICPixelFormat16bppGray, 1, false, 16};
    if (oneOf(source, {&GUID_WICPixelFormat48bppRGB, &GUID_WICPixelFormat48bppBGR})) {
        return Target{GUID_WICPixelFormat48bppRGB, 3, false, 16};
    }
    if (oneOf(source, {&GUID_WICPixelFormat64bppRGBA, &GUID_WICPixelFormat64bppBGRA})) {
        return Target{GUID_WICPixelFormat64bppRGBA, 3, true, 16};
    }
    if (oneOf(source, {&GUID_WICPixelFormatBlackWhite, &GUID_WICPixelFormat2bppGray, &GUID_WICPixelFormat4bppGray,
                       &GUID_WICPixelFormat8bppGray})) {
        return Target{GUID_WICPixelFormat8bppGray, 1, false, 8};
    }
    const bool indexed = oneOf(source, {&GUID_WICPixelFormat1bppIndexed, &GUID_WICPixelFormat2bppIndexed,
                                        &GUID_WICPixelFormat4bppIndexed, &GUID_WICPixelFormat8bppIndexed});
    const bool alpha = indexed ? paletteHasAlpha(wic)
                               : oneOf(source, {&GUID_WICPixelFormat32bppBGRA, &GUID_WICPixelFormat32bppRGBA,
                                                &GUID_WICPixelFormat32bppPBGRA, &GUID_WICPixelFormat32bppPRGBA,
                                                &GUID_WICPixelFormat16bppBGRA5551});
    if (alpha) return Target{GUID_WICPixelFormat32bppRGBA, 3, true, 8};
    return Target{GUID_WICPixelFormat24bppRGB, 3, false, 8};
}

// WIC's 16-bit samples are little-endian; the picture's are big-endian.
void swapSampleBytes(Picture& picture) {
    if (picture.bitsPerSample != 16) return;
    unsigned char* bytes = picture.samples.get();
    for (std::uint64_t i = 0; i + 1 < picture.byteCount(); i += 2) std::swap(bytes[i], bytes[i + 1]);
}

// Each strip of rows through `place(first row, rows, bytes)`; `pixelBytes`
// is the size of a pixel as WIC delivers it.
template <typename Place>
bool copyStrips(IWICBitmapSource* source, const Picture& picture, std::size_t pixelBytes, Place place) {
    const std::size_t rowBytes = std::size_t{picture.width} * pixelBytes;
    const std::uint32_t stripRows = static_cast<std::uint32_t>(std::max<std::size_t>(1, kStripBytes / rowBytes));
    std::vector<unsigned char> strip(std::size_t{std::min(stripRows, picture.height)} * rowBytes);
    for (std::uint32_t y = 0; y < picture.height; y += stripRows) {
        const std::uint32_t rows = std::min(stripRows, picture.height - y);
        const WICRect area{0, static_cast<INT>(y), static_cast<INT>(picture.width), static_cast<INT>(rows)};
        if (FAILED(source->CopyPixels(&area, static_cast<UINT>(rowBytes), static_cast<UINT>(rows * rowBytes), strip.data()))) {
            return false;
        }
        place(y, rows, strip.data());
    }
    return true;
}

// 8-bit pictures come through WIC's 32-bit BGRA, which its converters make
// from every other 8-bit format (Wine's from no fewer), and are then put in
// the picture's own order; other pictures come as they are.
bool copyPixels(IWICBitmapSource* source, Picture& picture, bool asBgra) {
    const std::size_t rowBytes = picture.rowBytes();
    unsigned char* samples = picture.samples.get();
    if (!asBgra) {
        return copyStrips(source, picture, picture.pixelBytes(), [&](std::uint32_t y, std::uint32_t rows, const unsigned char* strip) {
            std::memcpy(samples + y * rowBytes, strip, rows * rowBytes);
        });
    }
    const std::size_t pixelBytes = picture.pixelBytes();
    const bool grey = picture.colourChannels == 1;
    return copyStrips(source, picture, 4, [&](std::uint32_t y, std::uint32_t rows, const unsigned char* bgra) {
        unsigned char* out = samples + y * rowBytes;
        for (std::size_t p = 0; p < std::size_t{rows} * picture.width; ++p, bgra += 4, out += pixelBytes) {
            out[0] = bgra[2];
            if (!grey) {
                out[1] = bgra[1];
                out[2] = bgra[0];
            }
            if (picture.alpha) out[pixelBytes - 1] = bgra[3];
        }
    });
}

// Grey pictures the decoder gave as colour (grey with alpha, whose PNG
// kind WIC lacks): the red sample of each pixel is the grey one.
void keepGreyOnly(Picture& picture) {
    const std::size_t sampleBytes = picture.sampleBytes();
    const std::size_t from = picture.pixelBytes();
    picture.colourChannels = 1;
    const std::size_t to = picture.pixelBytes();
    unsigned char* bytes = picture.samples.get();
    const std::uint64_t pixels = std::uint64_t{picture.width} * picture.height;
    for (std::uint64_t p = 0; p < pixels; ++p) {
        std::memmove(bytes + p * to, bytes + p * from, sampleBytes);
        if (picture.alpha) std::memmove(bytes + p * to + sampleBytes, bytes + p * from + 3 * sampleBytes, sampleBytes);
    }
}

// An alpha that is opaque everywhere is dropped, as gdk-pixbuf's is on Linux.
void dropOpaqueAlpha(Picture& picture) {
    if (!picture.alpha || picture.bitsPerSample != 8) return;
    unsigned char* bytes = picture.samples.get();
    const std::uint64_t pixels = std::uint64_t{picture.width} * picture.height;
    for (std::uint64_t p = 0; p < pixels; ++p) {
        if (bytes[4 * p + 3] != 0xFF) return;
    }
    for (std::uint64_t p = 0; p < pixels; ++p) std::memmove(bytes + 3 * p, bytes + 4 * p, 3);
    picture.alpha = false;
}

struct Source {
    const GUID* container;
    std::uint64_t pixelsPerByte;
};

DecodedPicture failure(PictureProblem problem, std::string detail) {
    DecodedPicture failed;
    failed.problem = problem;
    failed.detail = std::move(detail);
    return failed;
}

// The factory, and the format's own decoder over the bytes in memory.
HRESULT openDecoder(Decoder& wic, const Source& source, const unsigned char* bytes, std::size_t size) {
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(wic.factory.put()));
    if (SUCCEEDED(result)) result = wic.factory->CreateStream(wic.stream.put());
    // WIC only reads the bytes, though the call takes them as writable.
    if (SUCCEEDED(result)) result = wic.stream->InitializeFromMemory(const_cast<BYTE*>(bytes), static_cast<DWORD>(size));
    if (SUCCEEDED(result)) result = wic.factory->CreateDecoder(*source.container, nullptr, wic.decoder.put());
    return result;
}

// The frame's pixels as they are, or through a converter to the target's
// format (8-bit ones to 32-bit BGRA, see copyPixels).
HRESULT pixelSource(Decoder& wic, const WICPixelFormatGUID& format, const Target& target,
                    ComPtr<IWICFormatConverter>& converter, IWICBitmapSource*& pixels) {
    pixels = wic.frame.get();
    if (sameFormat(format, target.format)) return S_OK;
    HRESULT result = wic.factory->CreateFormatConverter(converter.put());
    const WICPixelFormatGUID& to = target.bits == 8 ? GUID_WICPixelFormat32bppBGRA : target.format;
    if (SUCCEEDED(result)) {
        result = converter->Initialize(wic.frame.get(), to, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom);
    }
    if (SUCCEEDED(result)) pixels = converter.get();
    return result;
}

DecodedPicture decodeWith(const Source& source, const unsigned char* bytes, std::size_t size) {
    Decoder wic;
    // A file beyond 4 GiB holds more than the ceiling admits at any coding.
    if (size > std::numeric_limits<DWORD>::max()) return failure(PictureProblem::TooManyPixels);
    HRESULT result = openDecoder(wic, source, bytes, size);
    if (FAILED(result)) return failure(PictureProblem::Unsupported, hresultText(result));
    result = wic.decoder->Initialize(wic.stream.get(), WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(result)) result = wic.decoder->GetFrame(0, wic.frame.put());
    UINT width = 0, height = 0;
    if (SUCCEEDED(result)) result = wic.frame->GetSize(&width, &height);
    WICPixelFormatGUID format{};
    if (SUCCEEDED(result)) result = wic.frame->GetPixelFormat(&format);
    if (FAILED(result)) return failure(PictureProblem::Corrupt, hresultText(result));

    const PictureProblem sizeProblem = checkPictureSize(width, height, size, source.pixelsPerByte);
    if (sizeProblem != PictureProblem::None) return failure(sizeProblem);
    const std::optional<Target> target = targetOf(wic, format);
    if (!target) return failure(PictureProblem::Unsupported);
    ComPtr<IWICFormatConverter> converter;
    IWICBitmapSource* pixels = nullptr;
    result = pixelSource(wic, format, *target, converter, pixels);
    // The decoder read the header but cannot deliver such pixels.
    if (FAILED(result)) return failure(PictureProblem::Corrupt, hresultText(result));

    DecodedPicture decoded;
    Picture& picture = decoded.picture;
    picture.width = width;
    picture.height = height;
    picture.colourChannels = target->channels;
    picture.alpha = target->alpha;
    picture.bitsPerSample = target->bits;
    if (!allocateSamples(picture)) return failure(PictureProblem::OutOfMemory);
    const bool asBgra = pixels != wic.frame.get() && target->bits == 8;
    if (!copyPixels(pixels, picture, asBgra)) return failure(PictureProblem::Corrupt, "the pixels could not be read");
    swapSampleBytes(picture);
    return decoded;
}

// Written rows in WIC's order: blue first in 8-bit colour, 16-bit samples
// in the byte order the encoder takes.
void toWicOrder(const Picture& picture, const unsigned char* row, unsigned char* out, bool swap16) {
    const std::size_t bytes = picture.rowBytes();
    std::memcpy(out, row, bytes);
    if (picture.bitsPerSample == 16) {
        if (!swap16) return;
        for (std::size_t i = 0; i + 1 < bytes; i += 2) std::swap(out[i], out[i + 1]);
    } else if (picture.colourChannels == 3) {
        for (std::size_t i = 0; i < bytes; i += picture.pixelBytes()) std::swap(out[i], out[i + 2]);
    }
}

WICPixelFormatGUID wicFormatOf(const Picture& picture) {
    if (picture.colourChannels == 1) return picture.bitsPerSample == 16 ? GUID_WICPixelFormat16bppGray : GUID_WICPixelFormat8bppGray;
    if (picture.bitsPerSample == 16) return picture.alpha ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat48bppRGB;
    return picture.alpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR;
}

struct Encoder {
    ComScope com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
};

HRESULT writeRows(IWICBitmapFrameEncode* frame, const Picture& picture, bool swap16) {
    const std::size_t rowBytes = picture.rowBytes();
    const std::uint32_t stripRows = static_cast<std::uint32_t>(std::max<std::size_t>(1, kStripBytes / rowBytes));
    std::vector<unsigned char> strip(std::size_t{stripRows} * rowBytes);
    for (std::uint32_t y = 0; y < picture.height; y += stripRows) {
        const std::uint32_t rows = std::min(stripRows, picture.height - y);
        for (std::uint32_t r = 0; r < rows; ++r) {
            toWicOrder(picture, picture.samples.get() + (y + r) * rowBytes, strip.data() + r * rowBytes, swap16);
        }
        const HRESULT result = frame->WritePixels(rows, static_cast<UINT>(rowBytes), static_cast<UINT>(rows * rowBytes), strip.data());
        if (FAILED(result)) return result;
    }
    return S_OK;
}

void appendChunk(std::vector<unsigned char>& out, const char* name, const unsigned char* data, std::size_t length) {
    appendBe32(out, static_cast<std::uint32_t>(length));
    out.insert(out.end(), name, name + 4);
    out.insert(out.end(), data, data + length);
    const uLong crc = crc32(crc32(0, reinterpret_cast<const Bytef*>(name), 4), data, static_cast<uInt>(length));
    appendBe32(out, static_cast<std::uint32_t>(crc));
}

// WIC's file with its ancillary chunks left out and the picture's colour
// chunks put after IHDR: only the chunks glint means to write.
bool spliceChunks(const unsigned char* file, std::size_t size, const Picture& picture, EncodedPicture& encoded) {
    if (size < kIhdrEnd) return false;
    std::vector<unsigned char> out(file, file + kIhdrEnd);
    for (const ColourChunk& chunk : picture.colourChunks) appendChunk(out, chunk.name.data(), chunk.data.data(), chunk.data.size());
    for (std::size_t at = kIhdrEnd; size - at >= kChunkFrameBytes;) {
        const std::uint32_t length = readBe32(file + at);
        if (length > size - at - kChunkFrameBytes) return false;
        const bool critical = (file[at + 4] & 0x20) == 0;
        if (critical) out.insert(out.end(), file + at, file + at + kChunkFrameBytes + length);
        at += kChunkFrameBytes + length;
    }
    encoded.bytes = allocateBlock(out.size());
    if (!encoded.bytes) return false;
    std::memcpy(encoded.bytes.get(), out.data(), out.size());
    encoded.size = out.size();
    return true;
}

EncodedPicture encodeFailure(PictureProblem problem, std::string detail = {}) {
    EncodedPicture failed;
    failed.problem = problem;
    failed.detail = std::move(detail);
    return failed;
}

EncodedPicture encodeWith(const Picture& picture, bool swap16) {
    Encoder wic;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(wic.factory.put()));
    if (SUCCEEDED(result)) result = CreateStreamOnHGlobal(nullptr, TRUE, wic.stream.put());
    if (SUCCEEDED(result)) result = wic.factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, wic.encoder.put());
    if (SUCCEEDED(result)) result = wic.encoder->Initialize(wic.stream.get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(result)) result = wic.encoder->CreateNewFrame(wic.frame.put(), wic.options.put());
    if (SUCCEEDED(result)) result = wic.frame->Initialize(wic.options.get());
    if (SUCCEEDED(result)) result = wic.frame->SetSize(picture.width, picture.height);
    WICPixelFormatGUID format = wicFormatOf(picture);
    if (SUCCEEDED(result)) result = wic.frame->SetPixelFormat(&format);
    if (SUCCEEDED(result) && !sameFormat(format, wicFormatOf(picture))) result = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(result)) result = writeRows(wic.frame.get(), picture, swap16);
    if (SUCCEEDED(result)) result = wic.frame->Commit();
    if (SUCCEEDED(result)) result = wic.encoder->Commit();
    HGLOBAL memory = nullptr;
    if (SUCCEEDED(result)) result = GetHGlobalFromStream(wic.stream.get(), &memory);
    STATSTG stat{};
    if (SUCCEEDED(result)) result = wic.stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(result)) return encodeFailure(PictureProblem::Unencodable, hresultText(result));

    EncodedPicture encoded;
    const auto* file = static_cast<const unsigned char*>(GlobalLock(memory));
    const bool spliced = file != nullptr && spliceChunks(file, static_cast<std::size_t>(stat.cbSize.QuadPart), picture, encoded);
    if (file != nullptr) GlobalUnlock(memory);
    if (!spliced) return encodeFailure(PictureProblem::OutOfMemory);
    return encoded;
}

// WIC's 16-bit samples are little-endian, but Wine's PNG encoder writes
// them as it gets them, big-endian. One sample written and read back tells
// which this system's encoder takes.
bool encoderTakesLittleEndian() {
    static const bool littleEndian = [] {
        Picture probe;
        probe.width = probe.height = 1;
        probe.colourChannels = 1;
        probe.bitsPerSample = 16;
        if (!allocateSamples(probe)) return true;
        probe.samples[0] = 0x12;
        probe.samples[1] = 0x34;
        const EncodedPicture png = encodeWith(probe, true);
        if (png.problem != PictureProblem::None) return true;
        const DecodedPicture back = decodePng(png.bytes.get(), png.size);
        return back.problem != PictureProblem::None || back.picture.samples[0] == 0x12;
    }();
    return littleEndian;
}

}  // namespace

DecodedPicture decodePng(const unsigned char* bytes, std::size_t size) {
    const std::string broken = brokenChunk(bytes, size);
    if (!broken.empty()) return failure(PictureProblem::Corrupt, broken);
    if (std::optional<DecodedPicture> refused = refusedSize(pngSize(bytes, size), size, kPngMaxPixelsPerByte)) {
        return std::move(*refused);
    }
    DecodedPicture decoded = decodeWith({&GUID_ContainerFormatPng, kPngMaxPixelsPerByte}, bytes, size);
    if (decoded.problem != PictureProblem::None) return decoded;
    const bool grey = size > kIhdrColourType && (bytes[kIhdrColourType] & kPngColourBit) == 0;
    if (grey && decoded.picture.colourChannels == 3) keepGreyOnly(decoded.picture);
    keepColourChunks(bytes, size, decoded.picture);
    return decoded;
}

DecodedPicture decodeJpeg(const unsigned char* bytes, std::size_t size) {
    if (std::optional<DecodedPicture> refused = refusedSize(jpegSize(bytes, size), size, kJpegMaxPixelsPerByte)) {
        return std::move(*refused);
    }
    return decodeWith({&GUID_ContainerFormatJpeg, kJpegMaxPixelsPerByte}, bytes, size);
}

DecodedPicture decodeBmp(const unsigned char* bytes, std::size_t size) {
    if (!bmpHeaderInFile(bytes, size)) return failure(PictureProblem::Corrupt, "the file ends inside its header");
    if (std::optional<DecodedPicture> refused = refusedSize(bmpSize(bytes, size), size, kBmpMaxPixelsPerByte)) {
        return std::move(*refused);
    }
    DecodedPicture decoded = decodeWith({&GUID_ContainerFormatBmp, kBmpMaxPixelsPerByte}, bytes, size);
    if (decoded.problem == PictureProblem::None) dropOpaqueAlpha(decoded.picture);
    return decoded;
}

bool preparePngKind(Picture& picture) {
    if (picture.colourChannels != 1 || !picture.alpha) return true;
    Picture colour;
    colour.width = picture.width;
    colour.height = picture.height;
    colour.colourChannels = 3;
    colour.alpha = true;
    colour.bitsPerSample = picture.bitsPerSample;
    colour.colourChunks = std::move(picture.colourChunks);
    if (!allocateSamples(colour)) return false;
    const std::size_t sampleBytes = picture.sampleBytes();
    const std::uint64_t pixels = std::uint64_t{picture.width} * picture.height;
    for (std::uint64_t p = 0; p < pixels; ++p) {
        const unsigned char* grey = picture.samples.get() + p * 2 * sampleBytes;
        unsigned char* out = colour.samples.get() + p * 4 * sampleBytes;
        for (int c = 0; c < 3; ++c) std::memcpy(out + c * sampleBytes, grey, sampleBytes);
        std::memcpy(out + 3 * sampleBytes, grey + sampleBytes, sampleBytes);
    }
    picture = std::move(colour);
    return true;
}

EncodedPicture encodePng(const Picture& picture) {
    if (picture.colourChannels == 1 && picture.alpha) return encodeFailure(PictureProblem::Unsupported, "grey with alpha");
    return encodeWith(picture, picture.bitsPerSample == 16 && encoderTakesLittleEndian());
}

}  // namespace glint
