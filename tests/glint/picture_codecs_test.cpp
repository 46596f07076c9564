// The Linux decoders against pictures written here with libpng and
// libjpeg-turbo themselves, and against hostile files of a few bytes.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "carrier/picture.h"
#include "carrier/picture_codecs.h"
#include "test_support.h"

namespace {

using glint::DecodedPicture;
using glint::PictureProblem;
using testing_support::Bytes;

// --- PNG files written by libpng ------------------------------------------

struct PngSpec {
    int colourType;
    int depth;
    bool interlaced = false;
    bool transparency = false;  // tRNS: palette alphas or a colour key
};

constexpr std::uint32_t kWidth = 13;  // odd sizes: partial Adam7 passes, bits packed across bytes
constexpr std::uint32_t kHeight = 7;

int fileChannels(int colourType) {
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
        default: return 1;
    }
}

struct PngWriteState {
    Bytes out;
};

void appendPng(png_structp png, png_bytep data, std::size_t size) {
    auto* state = static_cast<PngWriteState*>(png_get_io_ptr(png));
    state->out.insert(state->out.end(), data, data + size);
}

// The file's samples: `values` holds one value per sample (a palette index
// for palette pictures), packed here as the format packs them.
Bytes writePng(const PngSpec& spec, const std::vector<unsigned>& values, const std::vector<png_color>& palette,
               const std::vector<png_byte>& paletteAlpha, const png_color_16& key) {
    const std::size_t channels = static_cast<std::size_t>(fileChannels(spec.colourType));
    const std::size_t rowBytes = (kWidth * channels * static_cast<std::size_t>(spec.depth) + 7) / 8;
    std::vector<Bytes> rows(kHeight, Bytes(rowBytes, 0));
    for (std::size_t y = 0; y < kHeight; ++y) {
        for (std::size_t i = 0; i < kWidth * channels; ++i) {
            const unsigned v = values[y * kWidth * channels + i];
            if (spec.depth == 16) {
                rows[y][2 * i] = static_cast<unsigned char>(v >> 8);
                rows[y][2 * i + 1] = static_cast<unsigned char>(v);
            } else {
                const std::size_t bit = i * static_cast<std::size_t>(spec.depth);
                rows[y][bit / 8] |= static_cast<unsigned char>(v << (8 - static_cast<std::size_t>(spec.depth) - bit % 8));
            }
        }
    }
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows) pointers.push_back(row.data());
    PngWriteState state;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_write_fn(png, &state, appendPng, nullptr);
    png_set_IHDR(png, info, kWidth, kHeight, spec.depth, spec.colourType,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    if (spec.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    if (spec.transparency) {
        png_set_tRNS(png, info, paletteAlpha.data(), static_cast<int>(paletteAlpha.size()), &key);
    }
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return state.out;
}

// What the decoder must give for each file sample: grey below 8 bits
// widened by repeating its bits, palette entries looked up, a transparency
// key or palette alpha made into an alpha sample.
Bytes expectedSamples(const PngSpec& spec, const std::vector<unsigned>& values, const std::vector<png_color>& palette,
                      const std::vector<png_byte>& paletteAlpha, const png_color_16& key) {
    const int channels = fileChannels(spec.colourType);
    const unsigned top = (1U << spec.depth) - 1;
    Bytes out;
    auto put = [&](unsigned v, bool wide) {
        if (wide) out.push_back(static_cast<unsigned char>(v >> 8));
        out.push_back(static_cast<unsigned char>(v));
    };
    for (std::size_t p = 0; p < std::size_t{kWidth} * kHeight; ++p) {
        const unsigned* pixel = &values[p * static_cast<std::size_t>(channels)];
        if (spec.colourType == PNG_COLOR_TYPE_PALETTE) {
            const png_color& c = palette[pixel[0]];
            out.insert(out.end(), {c.red, c.green, c.blue});
            if (spec.transparency) out.push_back(pixel[0] < paletteAlpha.size() ? paletteAlpha[pixel[0]] : 0xFF);
            continue;
        }
        const bool wide = spec.depth == 16;
        for (int c = 0; c < channels; ++c) put(spec.depth < 8 ? pixel[c] * 255 / top : pixel[c], wide);
        if (!spec.transparency) continue;
        const bool keyed = spec.colourType == PNG_COLOR_TYPE_GRAY
                               ? pixel[0] == key.gray
                               : pixel[0] == key.red && pixel[1] == key.green && pixel[2] == key.blue;
        put(keyed ? 0 : (wide ? 0xFFFF : 0xFF), wide);
    }
    return out;
}

std::string describe(const PngSpec& spec) {
    return "colour type " + std::to_string(spec.colourType) + ", " + std::to_string(spec.depth) + " bits" +
           (spec.interlaced ? ", interlaced" : "") + (spec.transparency ? ", tRNS" : "");
}

TEST(PngDecoder, EveryColourTypeAndDepthGivesTheWrittenSamples) {
    const PngSpec kinds[] = {
        {PNG_COLOR_TYPE_GRAY, 1},        {PNG_COLOR_TYPE_GRAY, 2},          {PNG_COLOR_TYPE_GRAY, 4},
        {PNG_COLOR_TYPE_GRAY, 8},        {PNG_COLOR_TYPE_GRAY, 16},         {PNG_COLOR_TYPE_GRAY, 2, false, true},
        {PNG_COLOR_TYPE_GRAY, 16, false, true},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 8},  {PNG_COLOR_TYPE_GRAY_ALPHA, 16},   {PNG_COLOR_TYPE_RGB, 8},
        {PNG_COLOR_TYPE_RGB, 16},        {PNG_COLOR_TYPE_RGB, 8, false, true},
        {PNG_COLOR_TYPE_RGB_ALPHA, 8},   {PNG_COLOR_TYPE_RGB_ALPHA, 16},    {PNG_COLOR_TYPE_PALETTE, 1},
        {PNG_COLOR_TYPE_PALETTE, 2},     {PNG_COLOR_TYPE_PALETTE, 4},       {PNG_COLOR_TYPE_PALETTE, 8},
        {PNG_COLOR_TYPE_PALETTE, 4, false, true},
    };
    for (PngSpec spec : kinds) {
        for (const bool interlaced : {false, true}) {
            spec.interlaced = interlaced;
            const int channels = fileChannels(spec.colourType);
            const unsigned top = (1U << spec.depth) - 1;
            std::vector<png_color> palette;
            for (unsigned i = 0; i <= top && spec.colourType == PNG_COLOR_TYPE_PALETTE; ++i) {
                palette.push_back({static_cast<png_byte>(i * 37), static_cast<png_byte>(255 - i), static_cast<png_byte>(i * 11)});
            }
            const std::vector<png_byte> paletteAlpha = {0, 100, 200};  // entries beyond stay opaque
            std::vector<unsigned> values;
            const Bytes noise = testing_support::patternBytes(kWidth * kHeight * 4 * 2, static_cast<std::uint32_t>(spec.depth));
            for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight * static_cast<std::size_t>(channels); ++i) {
                values.push_back((noise[2 * i] | (unsigned{noise[2 * i + 1]} << 8)) & top);
            }
            // A key that some pixels match: the first pixel's colour.
            png_color_16 key{};
            key.gray = key.red = static_cast<png_uint_16>(values[0]);
            key.green = static_cast<png_uint_16>(channels >= 3 ? values[1] : 0);
            key.blue = static_cast<png_uint_16>(channels >= 3 ? values[2] : 0);

            const Bytes file = writePng(spec, values, palette, paletteAlpha, key);
            const DecodedPicture decoded = glint::decodePng(file.data(), file.size());
            SCOPED_TRACE(describe(spec));
            ASSERT_EQ(decoded.problem, PictureProblem::None) << decoded.detail;
            const glint::Picture& picture = decoded.picture;
            const bool colour = spec.colourType == PNG_COLOR_TYPE_PALETTE || channels >= 3;
            EXPECT_EQ(picture.colourChannels, colour ? 3 : 1);
            EXPECT_EQ(picture.alpha, spec.transparency || spec.colourType == PNG_COLOR_TYPE_GRAY_ALPHA ||
                                         spec.colourType == PNG_COLOR_TYPE_RGB_ALPHA);
            EXPECT_EQ(picture.bitsPerSample, spec.depth == 16 ? 16 : 8);
            const Bytes samples(picture.samples.get(), picture.samples.get() + picture.byteCount());
            EXPECT_EQ(samples, expectedSamples(spec, values, palette, paletteAlpha, key));

            // Written again and read back, the picture is the same.
            const glint::EncodedPicture again = glint::encodePng(picture);
            ASSERT_EQ(again.problem, PictureProblem::None) << again.detail;
            const DecodedPicture reread = glint::decodePng(again.bytes.get(), again.size);
            ASSERT_EQ(reread.problem, PictureProblem::None) << reread.detail;
            EXPECT_EQ(Bytes(reread.picture.samples.get(), reread.picture.samples.get() + reread.picture.byteCount()), samples);
            EXPECT_EQ(reread.picture.pixelBytes(), picture.pixelBytes());
        }
    }
}

// --- PNG chunks -------------------------------------------------------------

Bytes be32(std::uint32_t v) {
    return {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v)};
}

Bytes chunk(const char* name, const Bytes& data) {
    Bytes out = be32(static_cast<std::uint32_t>(data.size()));
    Bytes named(name, name + 4);
    named.insert(named.end(), data.begin(), data.end());
    out.insert(out.end(), named.begin(), named.end());
    const Bytes crc = be32(static_cast<std::uint32_t>(crc32(0, named.data(), static_cast<uInt>(named.size()))));
    out.insert(out.end(), crc.begin(), crc.end());
    return out;
}

Bytes ihdr(std::uint32_t width, std::uint32_t height, unsigned char depth, unsigned char colourType) {
    Bytes data = be32(width);
    const Bytes h = be32(height);
    data.insert(data.end(), h.begin(), h.end());
    data.insert(data.end(), {depth, colourType, 0, 0, 0});
    return chunk("IHDR", data);
}

Bytes idat(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(size);
    compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    packed.resize(size);
    return chunk("IDAT", packed);
}

Bytes png(std::initializer_list<Bytes> chunks) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
    return out;
}

std::vector<std::string> chunkNames(const unsigned char* file, std::size_t size) {
    std::vector<std::string> names;
    for (std::size_t at = 8; at + 12 <= size;) {
        const std::size_t length = (std::size_t{file[at]} << 24) | (std::size_t{file[at + 1]} << 16) |
                                   (std::size_t{file[at + 2]} << 8) | file[at + 3];
        names.emplace_back(reinterpret_cast<const char*>(file + at + 4), 4);
        at += 12 + length;
    }
    return names;
}

TEST(PngEncoder, KeepsColourChunksByteForByteAndWritesNoTextOrTime) {
    const Bytes raw = {0, 10, 20, 30, 40, 50, 60};  // one row of two RGB pixels
    const Bytes gamma = be32(45455);
    const Bytes srgb = {1};
    const Bytes chrm = testing_support::patternBytes(32, 3);
    const Bytes iccp = {'p', 0, 0, 0x78, 0x9C, 0x03, 0, 0, 0, 0, 1};  // a name, method 0, compressed data
    const Bytes file = png({ihdr(2, 1, 8, 2), chunk("tEXt", {'a', 0, 'b'}), chunk("gAMA", gamma), chunk("cHRM", chrm),
                            chunk("tIME", {7, 0xE9, 1, 1, 0, 0, 0}), chunk("sRGB", srgb), chunk("iCCP", iccp),
                            idat(raw), chunk("zTXt", {'c', 0, 0, 0x78, 0x9C, 0x03, 0, 0, 0, 0, 1}), chunk("IEND", {})});
    const DecodedPicture decoded = glint::decodePng(file.data(), file.size());
    ASSERT_EQ(decoded.problem, PictureProblem::None) << decoded.detail;
    const glint::EncodedPicture encoded = glint::encodePng(decoded.picture);
    ASSERT_EQ(encoded.problem, PictureProblem::None);
    const std::vector<std::string> names = chunkNames(encoded.bytes.get(), encoded.size);
    const std::vector<std::string> expected = {"IHDR", "gAMA", "cHRM", "sRGB", "iCCP"};
    ASSERT_GE(names.size(), expected.size() + 2);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 5), expected);
    for (std::size_t i = 5; i + 1 < names.size(); ++i) EXPECT_EQ(names[i], "IDAT");
    EXPECT_EQ(names.back(), "IEND");
    const DecodedPicture reread = glint::decodePng(encoded.bytes.get(), encoded.size);
    ASSERT_EQ(reread.picture.colourChunks.size(), 4U);
    const Bytes datas[] = {gamma, chrm, srgb, iccp};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(reread.picture.colourChunks[i].data, datas[i]) << expected[i + 1];
}

// --- JPEG files written by libjpeg-turbo -------------------------------------

struct JpegSpec {
    const char* name;
    int components;  // 1 grey, 3 YCbCr, 4 CMYK
    bool progressive;
    bool withIcc;
};

// A smooth picture, so that a good JPEG stays close to it.
Bytes smoothSamples(std::uint32_t width, std::uint32_t height, int components) {
    Bytes out;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            for (unsigned c = 0; c < unsigned(components); ++c) out.push_back(static_cast<unsigned char>((x * 3 + y * (c + 1) * 2) % 256));
        }
    }
    return out;
}

Bytes writeJpeg(const JpegSpec& spec, std::uint32_t width, std::uint32_t height, const Bytes& samples, const Bytes& icc) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = spec.components;
    cinfo.in_color_space = spec.components == 1 ? JCS_GRAYSCALE : spec.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (spec.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (!icc.empty()) jpeg_write_icc_profile(&cinfo, icc.data(), static_cast<unsigned>(icc.size()));
    const std::size_t rowBytes = std::size_t{width} * static_cast<std::size_t>(spec.components);
    while (cinfo.next_scanline < height) {
        JSAMPROW row = const_cast<unsigned char*>(samples.data()) + cinfo.next_scanline * rowBytes;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes file(out, out + size);
    std::free(out);
    return file;
}

double psnr(const Bytes& a, const Bytes& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

Bytes inflated(const Bytes& compressed) {
    Bytes out(1 << 16);
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &size, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK) return {};
    out.resize(size);
    return out;
}

TEST(JpegDecoder, BaselineProgressiveAndGreyComeCloseToWhatWasWritten) {
    const JpegSpec kinds[] = {
        {"baseline colour", 3, false, false}, {"progressive colour", 3, true, false},
        {"baseline grey", 1, false, false},   {"progressive grey", 1, true, false},
        {"colour with an ICC profile", 3, false, true},
    };
    const Bytes profile = testing_support::patternBytes(3000, 9);
    for (const JpegSpec& spec : kinds) {
        SCOPED_TRACE(spec.name);
        const Bytes samples = smoothSamples(37, 21, spec.components);
        const Bytes file = writeJpeg(spec, 37, 21, samples, spec.withIcc ? profile : Bytes());
        const DecodedPicture decoded = glint::decodeJpeg(file.data(), file.size());
        ASSERT_EQ(decoded.problem, PictureProblem::None) << decoded.detail;
        const glint::Picture& picture = decoded.picture;
        EXPECT_EQ(picture.width, 37U);
        EXPECT_EQ(picture.height, 21U);
        EXPECT_EQ(picture.colourChannels, spec.components);
        EXPECT_FALSE(picture.alpha);
        EXPECT_GT(psnr(Bytes(picture.samples.get(), picture.samples.get() + picture.byteCount()), samples), 35.0);
        ASSERT_EQ(picture.colourChunks.size(), spec.withIcc ? 1U : 0U);
        if (!spec.withIcc) continue;
        const Bytes& iccp = picture.colourChunks[0].data;
        const std::size_t nameEnd = std::string(reinterpret_cast<const char*>(iccp.data()), iccp.size()).find('\0');
        ASSERT_LT(nameEnd + 2, iccp.size());
        EXPECT_EQ(iccp[nameEnd + 1], 0);  // deflate
        EXPECT_EQ(inflated(Bytes(iccp.begin() + static_cast<std::ptrdiff_t>(nameEnd) + 2, iccp.end())), profile);
    }
}

TEST(JpegDecoder, RefusesCmyk) {
    const JpegSpec cmyk{"cmyk", 4, false, false};
    const Bytes file = writeJpeg(cmyk, 16, 16, smoothSamples(16, 16, 4), {});
    EXPECT_EQ(glint::decodeJpeg(file.data(), file.size()).problem, PictureProblem::Unsupported);
}

// --- Hostile files ------------------------------------------------------------

// The offset of the first marker `code` in a JPEG, after its FF.
std::size_t markerAt(const Bytes& file, unsigned char code) {
    for (std::size_t i = 2; i + 1 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == code) return i + 1;
    }
    return 0;
}

Bytes withJpegSize(Bytes file, std::uint16_t width, std::uint16_t height) {
    const std::size_t sof = markerAt(file, 0xC0);  // FF C0, length, precision, height, width
    file[sof + 4] = static_cast<unsigned char>(height >> 8);
    file[sof + 5] = static_cast<unsigned char>(height);
    file[sof + 6] = static_cast<unsigned char>(width >> 8);
    file[sof + 7] = static_cast<unsigned char>(width);
    return file;
}

Bytes withBmpSize(Bytes file, std::uint16_t side) {
    for (const std::size_t at : {std::size_t{18}, std::size_t{22}}) {  // biWidth, biHeight
        file[at] = static_cast<unsigned char>(side);
        file[at + 1] = static_cast<unsigned char>(side >> 8);
    }
    return file;
}

struct Hostile {
    const char* name;
    Bytes file;
    std::size_t size;  // asserted, so that a change in the helpers shows
    PictureProblem problem;
};

TEST(PictureDecoders, RefuseHostileFilesCleanly) {
    const Bytes tinyRaw = {0, 0, 0, 0};  // one RGB pixel
    const Bytes goodPng = png({ihdr(1, 1, 8, 2), idat(tinyRaw), chunk("IEND", {})});
    Bytes badCrc = goodPng;
    badCrc[8 + 8 + 13] ^= 1;  // the IHDR's CRC
    Bytes badIdatCrc = goodPng;
    badIdatCrc[goodPng.size() - 12 - 1] ^= 1;  // the IDAT's CRC
    const JpegSpec baseline{"baseline", 3, false, false};
    const Bytes jpeg = writeJpeg(baseline, 16, 16, smoothSamples(16, 16, 3), {});
    Bytes badHuffman = jpeg;
    badHuffman[markerAt(jpeg, 0xC4) + 4] = 0xFF;  // the table's first code count: more codes than one bit holds
    const Bytes rleBomb = {'B', 'M', 60, 0, 0, 0, 0, 0, 0, 0, 58, 0, 0, 0,
                           40, 0, 0, 0, 0x50, 0xC3, 0, 0, 0x50, 0xC3, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0,
                           4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,
                           0, 0, 0, 0, 0, 1};  // RLE8 50000 x 50000, one colour, "end of picture"
    const Hostile cases[] = {
        {"PNG cut inside IHDR", Bytes(goodPng.begin(), goodPng.begin() + 20), 20, PictureProblem::Corrupt},
        {"PNG cut inside IDAT", Bytes(goodPng.begin(), goodPng.end() - 16), 53, PictureProblem::Corrupt},
        {"PNG without IEND", Bytes(goodPng.begin(), goodPng.end() - 12), 57, PictureProblem::Corrupt},
        {"PNG with a bad IHDR CRC", badCrc, 69, PictureProblem::Corrupt},
        {"PNG with a bad IDAT CRC", badIdatCrc, 69, PictureProblem::Corrupt},
        {"PNG of width 0", png({ihdr(0, 1, 8, 2), idat(tinyRaw), chunk("IEND", {})}), 69, PictureProblem::Corrupt},
        {"PNG of bit depth 3", png({ihdr(1, 1, 3, 0), idat(tinyRaw), chunk("IEND", {})}), 69, PictureProblem::Corrupt},
        {"PNG with an unknown critical chunk", png({ihdr(1, 1, 8, 2), chunk("QUUX", {}), idat(tinyRaw), chunk("IEND", {})}),
         81, PictureProblem::Corrupt},
        {"PNG of 100000 x 100000", png({ihdr(100000, 100000, 8, 2), idat(tinyRaw), chunk("IEND", {})}), 69,
         PictureProblem::TooManyPixels},
        {"PNG of 16000 x 16000 in 69 bytes", png({ihdr(16000, 16000, 8, 2), idat(tinyRaw), chunk("IEND", {})}), 69,
         PictureProblem::TooShortForSize},
        {"JPEG cut in half", Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)),
         jpeg.size() / 2, PictureProblem::Corrupt},
        {"JPEG with a bad Huffman table", badHuffman, jpeg.size(), PictureProblem::Corrupt},
        {"JPEG of 65000 x 65000", withJpegSize(jpeg, 65000, 65000), jpeg.size(), PictureProblem::TooManyPixels},
        {"JPEG of 12000 x 12000 in a few hundred bytes", withJpegSize(jpeg, 12000, 12000), jpeg.size(),
         PictureProblem::TooShortForSize},
        {"JPEG of its first marker only", {0xFF, 0xD8, 0xFF, 0xD9}, 4, PictureProblem::Corrupt},
        {"RLE8 BMP of 50000 x 50000", rleBomb, 60, PictureProblem::TooManyPixels},
        {"RLE8 BMP of 5000 x 5000 in 60 bytes", withBmpSize(rleBomb, 5000), 60, PictureProblem::TooShortForSize},
        {"BMP of 7 bits a pixel", {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                                   40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 7, 0, 0, 0, 0, 0,
                                   4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         58, PictureProblem::Corrupt},
        {"BMP cut inside its header", {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0}, 16, PictureProblem::Corrupt},
        {"GIF", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, 10, PictureProblem::UnknownFormat},
        {"nothing", {}, 0, PictureProblem::UnknownFormat},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.file.size(), c.size);
        const DecodedPicture decoded = glint::decodePicture(c.file.data(), c.file.size());
        EXPECT_EQ(decoded.problem, c.problem) << decoded.detail;
        EXPECT_EQ(decoded.picture.samples, nullptr);
        if (c.problem == PictureProblem::Corrupt && c.file.size() > 0 && c.file[0] != 'B') {
            EXPECT_FALSE(decoded.detail.empty());
        }
    }
}

}  // namespace
