// Pictures through each platform's decoders and glint's writers: BMPs of
// every kind from the writers people use, the classic BMP writer, and the
// view of the samples that carry hidden bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "carrier/bmp_carrier.h"
#include "picture/picture.h"
#include "picture/picture_codecs.h"
#include "png_bytes.h"
#include "test_support.h"
#include "test_pictures.h"

namespace {

using glint::DecodedPicture;
using glint::Picture;
using glint::PictureProblem;
using testing_support::Bytes;
using png_bytes::be32;
using png_bytes::chunk;
using png_bytes::chunkNames;
using png_bytes::idat;
using png_bytes::ihdr;
using png_bytes::png;

Bytes fixture(const std::string& name) { return testing_support::readFile(testPictures() / name); }

Bytes samplesOf(const Picture& picture) {
    return Bytes(picture.samples.get(), picture.samples.get() + picture.byteCount());
}

DecodedPicture decode(const Bytes& file) { return glint::decodePicture(file.data(), file.size()); }

// Made by make_pictures.sh beside the files; each shows the picture of its
// expected PNG, in colours that every one of these forms holds exactly.
TEST(BmpDecoder, EveryKindFromCommonWritersGivesItsPixels) {
    struct Case {
        const char* file;
        const char* expected;
    };
    const Case cases[] = {
        {"imagemagick-32bit-alpha.bmp", "expected-8-alpha.png"},
        {"imagemagick-v5-24bit.bmp", "expected-8.png"},   {"imagemagick-palette4.bmp", "expected-8.png"},
        {"imagemagick-rle8.bmp", "expected-8.png"},       {"imagemagick-565.bmp", "expected-8.png"},
        {"imagemagick-555.bmp", "expected-8.png"},        {"imagemagick-os2.bmp", "expected-8.png"},
        {"netpbm-palette4.bmp", "expected-8.png"},        {"netpbm-os2-palette4.bmp", "expected-8.png"},
        {"pillow-palette8.bmp", "expected-8.png"},        {"pillow-32bit.bmp", "expected-8.png"},
        {"pillow-1bit.bmp", "expected-2.png"},            {"handmade-rle4.bmp", "expected-8.png"},
        {"handmade-top-down-palette8.bmp", "expected-8.png"},
        {"suite-rgb24-table.bmp", "expected-8.png"},      {"suite-rgb24-gap.bmp", "expected-8.png"},
        {"suite-rgb16-bi-rgb.bmp", "expected-8.png"},     {"suite-rgb32-bitfields.bmp", "expected-8.png"},
        {"suite-rgb32-v4.bmp", "expected-8.png"},         {"suite-pal8-used8.bmp", "expected-8.png"},
        {"suite-pal8-os2.bmp", "expected-8.png"},         {"suite-pal4.bmp", "expected-8.png"},
        {"suite-rle8-absolute.bmp", "expected-8.png"},    {"suite-rgb32-odd-masks.bmp", "expected-8.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = fixture(c.file);
        ASSERT_FALSE(file.empty());
        EXPECT_FALSE(glint::isClassicBmp(file.data(), file.size()));
        const DecodedPicture decoded = decode(file);
        if (testing_support::unreadHere(c.file)) {
            EXPECT_EQ(decoded.problem, PictureProblem::Corrupt);
            continue;
        }
        ASSERT_EQ(decoded.problem, PictureProblem::None) << decoded.detail;
        const DecodedPicture expected = decode(fixture(c.expected));
        ASSERT_EQ(expected.problem, PictureProblem::None) << expected.detail;
        EXPECT_EQ(decoded.picture.colourChannels, 3);
        EXPECT_EQ(decoded.picture.alpha, expected.picture.alpha);  // opaque alpha is dropped
        EXPECT_EQ(decoded.picture.width, expected.picture.width);
        EXPECT_EQ(decoded.picture.height, expected.picture.height);
        EXPECT_EQ(samplesOf(decoded.picture), samplesOf(expected.picture));

        const glint::EncodedPicture png = glint::encodePng(decoded.picture);
        ASSERT_EQ(png.problem, PictureProblem::None) << png.detail;
        EXPECT_EQ(samplesOf(glint::decodePng(png.bytes.get(), png.size).picture), samplesOf(expected.picture));
    }
}

// The samples of the PNG fixtures, as make_pictures.sh computes them.
unsigned fixtureValue(unsigned x, unsigned y, unsigned c, unsigned depth) {
    if (depth == 16) return (x * 7919 + y * 104729 + c * 31337 + x * y * 17) & 0xFFFF;
    return (x * 7 + y * 13 + c * 5 + x * y * 3) & ((1U << depth) - 1);
}

struct PngKind {
    unsigned colourType;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    unsigned depth;
    bool transparency;  // tRNS: palette alphas 0, 100, 200, or the first pixel's colour as key
};

// What the decoder must give: grey below 8 bits widened by repeating its
// bits, palette entries looked up, tRNS made an alpha sample.
Bytes expectedSamples(const PngKind& kind, unsigned width, unsigned height) {
    const unsigned channels = kind.colourType == 2 ? 3 : kind.colourType == 4 ? 2 : kind.colourType == 6 ? 4 : 1;
    const bool wide = kind.depth == 16;
    Bytes out;
    auto put = [&](unsigned v) {
        if (wide) out.push_back(static_cast<unsigned char>(v >> 8));
        out.push_back(static_cast<unsigned char>(v));
    };
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            if (kind.colourType == 3) {
                const unsigned i = fixtureValue(x, y, 0, kind.depth);
                out.insert(out.end(), {static_cast<unsigned char>(i * 37), static_cast<unsigned char>(255 - i),
                                       static_cast<unsigned char>(i * 11)});
                if (kind.transparency) out.push_back(i < 3 ? static_cast<unsigned char>(i * 100) : 0xFF);
                continue;
            }
            bool keyed = true;
            for (unsigned c = 0; c < channels; ++c) {
                const unsigned v = fixtureValue(x, y, c, kind.depth);
                keyed = keyed && v == fixtureValue(0, 0, c, kind.depth);
                put(kind.depth < 8 ? v * 255 / ((1U << kind.depth) - 1) : v);
            }
            if (kind.transparency) put(keyed ? 0 : (wide ? 0xFFFF : 0xFF));
        }
    }
    return out;
}

TEST(PngDecoder, EveryColourTypeAndDepthGivesItsSamplesAndWritesThemBack) {
    const PngKind kinds[] = {
        {0, 1, false}, {0, 2, false}, {0, 4, false}, {0, 8, false}, {0, 16, false}, {0, 2, true},  {0, 16, true},
        {4, 8, false}, {4, 16, false}, {2, 8, false}, {2, 16, false}, {2, 8, true}, {6, 8, false}, {6, 16, false},
        {3, 1, false}, {3, 2, false}, {3, 4, false}, {3, 8, false}, {3, 4, true},
    };
    for (const PngKind& kind : kinds) {
        for (const bool interlaced : {false, true}) {
            const std::string name = "png-" + std::to_string(kind.colourType) + "-" + std::to_string(kind.depth) +
                                     (kind.transparency ? "-trns" : "") + (interlaced ? "-interlaced" : "") + ".png";
            SCOPED_TRACE(name);
            const DecodedPicture decoded = decode(fixture(name));
            ASSERT_EQ(decoded.problem, PictureProblem::None) << decoded.detail;
            const Picture& picture = decoded.picture;
            EXPECT_EQ(picture.colourChannels, (kind.colourType & 2) != 0 ? 3 : 1);
            EXPECT_EQ(picture.alpha, kind.transparency || (kind.colourType & 4) != 0);
            EXPECT_EQ(picture.bitsPerSample, kind.depth == 16 ? 16 : 8);
            EXPECT_EQ(samplesOf(picture), expectedSamples(kind, 13, 7));

            // Written again, in the kind the platform writes, and read back.
            DecodedPicture again = decode(fixture(name));
            ASSERT_TRUE(glint::preparePngKind(again.picture));
            const glint::EncodedPicture png = glint::encodePng(again.picture);
            ASSERT_EQ(png.problem, PictureProblem::None) << png.detail;
            const DecodedPicture reread = glint::decodePng(png.bytes.get(), png.size);
            ASSERT_EQ(reread.problem, PictureProblem::None) << reread.detail;
            EXPECT_EQ(samplesOf(reread.picture), samplesOf(again.picture));
            EXPECT_EQ(reread.picture.pixelBytes(), again.picture.pixelBytes());
        }
    }
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


TEST(JpegDecoder, BaselineProgressiveAndGreyComeCloseToTheirPicturesAndCmykIsRefused) {
    struct Case {
        const char* file;
        const char* expected;
        std::uint8_t channels;
    };
    const Case cases[] = {
        {"jpeg-baseline.jpg", "expected-8.png", 3},
        {"jpeg-progressive.jpg", "expected-8.png", 3},
        {"jpeg-grey.jpg", "expected-2.png", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const DecodedPicture decoded = decode(fixture(c.file));
        ASSERT_EQ(decoded.problem, PictureProblem::None) << decoded.detail;
        EXPECT_EQ(decoded.picture.colourChannels, c.channels);
        EXPECT_FALSE(decoded.picture.alpha);
        const DecodedPicture expected = decode(fixture(c.expected));
        ASSERT_EQ(decoded.picture.width * decoded.picture.height, expected.picture.width * expected.picture.height);
        // The expected picture is RGB; a grey JPEG is compared with its red.
        double squares = 0;
        const std::size_t samples = decoded.picture.byteCount();
        for (std::size_t i = 0; i < samples; ++i) {
            const double difference = double(decoded.picture.samples[i]) - expected.picture.samples[i * 3 / c.channels];
            squares += difference * difference;
        }
        EXPECT_GT(10 * std::log10(255.0 * 255.0 * double(samples) / std::max(squares, 1.0)), 40.0);
    }
    EXPECT_EQ(decode(fixture("jpeg-cmyk.jpg")).problem, PictureProblem::Unsupported);
}

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
    const Bytes jpeg = fixture("jpeg-baseline.jpg");
    ASSERT_EQ(jpeg.size(), 477U);
    Bytes badHuffman = jpeg;
    badHuffman[markerAt(jpeg, 0xC4) + 4] = 0xFF;  // the table's first code count: more codes than one bit holds
    const Bytes rleBomb = {'B', 'M', 60, 0, 0, 0, 0, 0, 0, 0, 58, 0, 0, 0,
                           40, 0, 0, 0, 0x50, 0xC3, 0, 0, 0x50, 0xC3, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0,
                           4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,
                           0, 0, 0, 0, 0, 1};  // RLE8 50000 x 50000, one colour, "end of picture"
    const Bytes v5 = fixture("imagemagick-v5-24bit.bmp");  // 7 x 5, rows of 24 bytes
    const Bytes os2 = fixture("imagemagick-os2.bmp");
    Bytes tallPalette = fixture("pillow-palette8.bmp");
    tallPalette[22] = 0xE8;  // the height: 1000 rows, not 5
    tallPalette[23] = 0x03;
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
        {"JPEG of 12000 x 12000 in 477 bytes", withJpegSize(jpeg, 12000, 12000), jpeg.size(),
         PictureProblem::TooShortForSize},
        {"JPEG of its first marker only", {0xFF, 0xD8, 0xFF, 0xD9}, 4, PictureProblem::Corrupt},
        {"RLE8 BMP of 50000 x 50000", rleBomb, 60, PictureProblem::TooManyPixels},
        {"RLE8 BMP of 5000 x 5000 in 60 bytes", withBmpSize(rleBomb, 5000), 60, PictureProblem::TooShortForSize},
        {"BMP of 7 bits a pixel", {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                                   40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 7, 0, 0, 0, 0, 0,
                                   4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         58, PictureProblem::Corrupt},
        {"BMP claiming a header of 4 GiB", {'B', 'M', 0xC2, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0xFF,
                                            0xFF, 0x23, 0xFF, 0xFF, 0xFF, 0, 0x32, 0, 0xFF, 0xFF, 0xFF, 0xFF},
         30, PictureProblem::Corrupt},
        {"V5 BMP cut by a pixel row", Bytes(v5.begin(), v5.end() - 24), 234, PictureProblem::Corrupt},
        {"OS/2 BMP cut by a pixel row", Bytes(os2.begin(), os2.end() - 24), 122, PictureProblem::Corrupt},
        {"palette BMP claiming 1000 rows", tallPalette, 1118, PictureProblem::Corrupt},
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

// libpng's default limit of a million rows or columns is lifted for writing
// as for reading: what glint decodes, it writes. An encoder that keeps the
// limit says it could not write the picture, never that it is damaged.
TEST(PngEncoder, WritesPicturesOfMoreThanAMillionRowsOrColumns) {
    const std::uint32_t sides[][2] = {{1, 1000001}, {1000001, 1}};
    for (const auto& side : sides) {
        SCOPED_TRACE(side[0]);
        Picture picture;
        picture.width = side[0];
        picture.height = side[1];
        picture.colourChannels = 1;
        ASSERT_TRUE(glint::allocateSamples(picture));
        for (std::size_t i = 0; i < picture.byteCount(); ++i) picture.samples[i] = static_cast<unsigned char>(i * 7);
        const glint::EncodedPicture file = glint::encodePng(picture);
        if (testing_support::pngEncoderStopsAtAMillionRows()) {
            EXPECT_EQ(file.problem, PictureProblem::Unencodable) << file.detail;
            continue;
        }
        ASSERT_EQ(file.problem, PictureProblem::None) << file.detail;
        const DecodedPicture back = glint::decodePicture(file.bytes.get(), file.size);
        ASSERT_EQ(back.problem, PictureProblem::None) << back.detail;
        EXPECT_EQ(back.picture.width, picture.width);
        EXPECT_EQ(samplesOf(back.picture), samplesOf(picture));
    }
}

TEST(PngDecoder, KeepsColourChunksWithinTheirLimitsAndStillReadsThePicture) {
    const Bytes raw = {0, 1, 2, 3};  // one RGB pixel
    Bytes manyChunks = png({ihdr(1, 1, 8, 2)});
    for (int i = 0; i < 100; ++i) {
        const Bytes gamma = chunk("gAMA", be32(45455));
        manyChunks.insert(manyChunks.end(), gamma.begin(), gamma.end());
    }
    for (const Bytes& rest : {idat(raw), chunk("IEND", {})}) manyChunks.insert(manyChunks.end(), rest.begin(), rest.end());
    const struct {
        const char* name;
        Bytes file;
        std::size_t mostKept;
    } cases[] = {
        {"100 gAMA chunks", manyChunks, 64},
        {"a 17 MiB iCCP chunk", png({ihdr(1, 1, 8, 2), chunk("iCCP", Bytes(std::size_t{17} << 20, 1)), idat(raw), chunk("IEND", {})}), 0},
    };
    for (const auto& c : cases) {
        const DecodedPicture decoded = glint::decodePng(c.file.data(), c.file.size());
        ASSERT_EQ(decoded.problem, PictureProblem::None) << c.name << ": " << decoded.detail;
        EXPECT_EQ(samplesOf(decoded.picture), Bytes({1, 2, 3})) << c.name;
        EXPECT_LE(decoded.picture.colourChunks.size(), c.mostKept) << c.name;
    }
}

Picture pictureOf(std::uint32_t width, std::uint32_t height, std::uint8_t channels, bool alpha, std::uint8_t bits) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.colourChannels = channels;
    picture.alpha = alpha;
    picture.bitsPerSample = bits;
    EXPECT_TRUE(glint::allocateSamples(picture));
    return picture;
}

// Each picture holds 8-bit values k: as k itself, or 16-bit as k * 257
// moved by up to 127 either way, which rounds back to k.
void fillWithLevels(Picture& picture, const Bytes& levels) {
    const std::size_t samples = picture.byteCount() / picture.sampleBytes();
    for (std::size_t i = 0; i < samples; ++i) {
        const unsigned k = levels[i];
        if (picture.bitsPerSample == 8) {
            picture.samples[i] = static_cast<unsigned char>(k);
            continue;
        }
        const unsigned wide = k * 257 + (k < 128 ? 127 : 0) - (k >= 128 ? 127 : 0);
        picture.samples[2 * i] = static_cast<unsigned char>(wide >> 8);
        picture.samples[2 * i + 1] = static_cast<unsigned char>(wide);
    }
}

TEST(ClassicBmpWriter, WritesPlainPixelsThatTheCarrierAndTheDecoderRead) {
    struct Kind {
        std::uint8_t channels;
        bool alpha;
        std::uint8_t bits;
    };
    const Kind kinds[] = {{3, false, 8}, {1, false, 8}, {3, true, 8}, {3, false, 16}, {1, true, 16}};
    for (const Kind& kind : kinds) {
        for (std::uint32_t width = 1; width <= 5; ++width) {  // every row padding, 0 to 3 bytes
            SCOPED_TRACE(std::to_string(kind.channels) + " channels, " + std::to_string(kind.bits) + " bits, width " +
                         std::to_string(width));
            Picture picture = pictureOf(width, 3, kind.channels, kind.alpha, kind.bits);
            const Bytes levels = testing_support::patternBytes(width * 3 * 4, width);
            fillWithLevels(picture, levels);
            const glint::EncodedPicture bmp = glint::encodeClassicBmp(picture);
            ASSERT_EQ(bmp.problem, PictureProblem::None);
            const Bytes file(bmp.bytes.get(), bmp.bytes.get() + bmp.size);
            const std::size_t stride = (width * 3 + 3) / 4 * 4;
            ASSERT_EQ(file.size(), 54 + stride * 3);
            EXPECT_TRUE(glint::isClassicBmp(file.data(), file.size()));

            std::ostringstream sink;
            common::Console console(sink);
            glint::BmpCarrier carrier(console, console);
            std::istringstream in(std::string(file.begin(), file.end()));
            ASSERT_FALSE(carrier.load(in));
            EXPECT_TRUE(carrier.leadingBytes().plainPixels());
            EXPECT_EQ(carrier.dataAreaSize(), stride * 3);
            EXPECT_EQ(carrier.imageSize(), static_cast<std::int32_t>(stride * 3));  // biSizeImage filled

            Bytes expected;
            const std::size_t pixelSamples = std::size_t{kind.channels} + (kind.alpha ? 1 : 0);
            for (std::size_t p = 0; p < std::size_t{width} * 3; ++p) {
                for (std::size_t c = 0; c < 3; ++c) expected.push_back(levels[p * pixelSamples + (kind.channels == 3 ? c : 0)]);
            }
            const DecodedPicture reread = decode(file);
            ASSERT_EQ(reread.problem, PictureProblem::None) << reread.detail;
            EXPECT_EQ(samplesOf(reread.picture), expected);
            for (std::size_t row = 0; row < 3; ++row) {
                for (std::size_t pad = width * 3; pad < stride; ++pad) EXPECT_EQ(file[54 + row * stride + pad], 0);
            }
        }
    }
}

TEST(PictureSamplePlane, ReachesTheLowestBitOfEveryColourSampleAndNothingElse) {
    struct Kind {
        std::uint8_t channels;
        bool alpha;
        std::uint8_t bits;
    };
    const Kind kinds[] = {{1, false, 8}, {1, true, 8}, {3, false, 8}, {3, true, 8}, {1, true, 16}, {3, true, 16}};
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(std::to_string(kind.channels) + " channels, alpha " + std::to_string(kind.alpha) + ", " +
                     std::to_string(kind.bits) + " bits");
        Picture picture = pictureOf(5, 4, kind.channels, kind.alpha, kind.bits);
        const Bytes before = testing_support::patternBytes(picture.byteCount(), 7);
        std::copy(before.begin(), before.end(), picture.samples.get());
        const glint::SamplePlane plane = picture.plane();
        EXPECT_EQ(plane.sampleCount(), 5U * 4U * kind.channels);
        for (std::size_t row = 0; row < plane.rows; ++row) {
            for (std::size_t column = 0; column < plane.pixelsPerRow; ++column) {
                for (std::size_t s = 0; s < plane.channels; ++s) {
                    plane.pixel(row, column)[s * plane.sampleBytes + plane.sampleBytes - 1] ^= 1;
                }
            }
        }
        // Only the lowest byte of each colour sample changed, by its bit 0.
        const std::size_t sampleBytes = kind.bits / 8;
        const std::size_t pixelBytes = (kind.channels + (kind.alpha ? 1U : 0U)) * sampleBytes;
        for (std::size_t i = 0; i < before.size(); ++i) {
            const std::size_t inPixel = i % pixelBytes;
            const bool carried = inPixel < kind.channels * sampleBytes && inPixel % sampleBytes == sampleBytes - 1;
            EXPECT_EQ(picture.samples[i] ^ before[i], carried ? 1 : 0) << "byte " << i;
        }
    }
}

TEST(PictureFormat, IsToldByTheFirstBytesAndOnlyTheClassicBmpIsCarriedAsIs) {
    testing_support::BmpFields classic;
    classic.data = Bytes(48, 0);
    const Bytes classicFile = testing_support::makeBmp(classic);
    struct Case {
        const char* name;
        Bytes file;
        glint::PictureFormat format;
        bool classic;
    };
    auto changed = [&](std::size_t offset, unsigned char value) {
        Bytes file = classicFile;
        file[offset] = value;
        return file;
    };
    const Case cases[] = {
        {"classic", classicFile, glint::PictureFormat::Bmp, true},
        {"124-byte header", changed(14, 124), glint::PictureFormat::Bmp, false},
        {"32 bits", changed(28, 32), glint::PictureFormat::Bmp, false},
        {"bit fields", changed(30, 3), glint::PictureFormat::Bmp, false},
        {"a colour table", changed(46, 2), glint::PictureFormat::Bmp, false},
        {"pixels at 58", changed(10, 58), glint::PictureFormat::Bmp, false},
        {"headers cut", Bytes(classicFile.begin(), classicFile.begin() + 53), glint::PictureFormat::Bmp, false},
        {"PNG", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, glint::PictureFormat::Png, false},
        {"PNG cut", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A}, glint::PictureFormat::Unknown, false},
        {"JPEG", {0xFF, 0xD8, 0xFF, 0xE0}, glint::PictureFormat::Jpeg, false},
        {"text", {'B', 'x', 'M'}, glint::PictureFormat::Unknown, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(glint::pictureFormat(c.file.data(), c.file.size()), c.format) << c.name;
        EXPECT_EQ(glint::isClassicBmp(c.file.data(), c.file.size()), c.classic) << c.name;
    }
}

}  // namespace
