// Pictures through each platform's decoders and glint's writers: BMPs of
// every kind from the writers people use, the classic BMP writer, and the
// view of the samples that carry hidden bits.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "bmp_carrier.h"
#include "carrier/picture.h"
#include "carrier/picture_codecs.h"
#include "test_support.h"

namespace {

using glint::DecodedPicture;
using glint::Picture;
using glint::PictureProblem;
using testing_support::Bytes;

Bytes fixture(const std::string& name) { return testing_support::readFile(std::string(GLINT_TEST_PICTURES) + "/" + name); }

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
        {"imagemagick-v5-24bit.bmp", "expected-8.png"},   {"imagemagick-palette4.bmp", "expected-8.png"},
        {"imagemagick-rle8.bmp", "expected-8.png"},       {"imagemagick-565.bmp", "expected-8.png"},
        {"imagemagick-555.bmp", "expected-8.png"},        {"imagemagick-os2.bmp", "expected-8.png"},
        {"netpbm-palette4.bmp", "expected-8.png"},        {"netpbm-os2-palette4.bmp", "expected-8.png"},
        {"pillow-palette8.bmp", "expected-8.png"},        {"pillow-32bit.bmp", "expected-8.png"},
        {"pillow-1bit.bmp", "expected-2.png"},            {"handmade-rle4.bmp", "expected-8.png"},
        {"handmade-top-down-palette8.bmp", "expected-8.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = fixture(c.file);
        ASSERT_FALSE(file.empty());
        EXPECT_FALSE(glint::isClassicBmp(file.data(), file.size()));
        const DecodedPicture decoded = decode(file);
        ASSERT_EQ(decoded.problem, PictureProblem::None) << decoded.detail;
        const DecodedPicture expected = decode(fixture(c.expected));
        ASSERT_EQ(expected.problem, PictureProblem::None) << expected.detail;
        EXPECT_EQ(decoded.picture.colourChannels, 3);
        EXPECT_FALSE(decoded.picture.alpha);  // opaque alpha is dropped
        EXPECT_EQ(decoded.picture.width, expected.picture.width);
        EXPECT_EQ(decoded.picture.height, expected.picture.height);
        EXPECT_EQ(samplesOf(decoded.picture), samplesOf(expected.picture));

        const glint::EncodedPicture png = glint::encodePng(decoded.picture);
        ASSERT_EQ(png.problem, PictureProblem::None) << png.detail;
        EXPECT_EQ(samplesOf(glint::decodePng(png.bytes.get(), png.size).picture), samplesOf(expected.picture));
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
            glint::Console console(sink);
            glint::BmpCarrier carrier(console, console);
            std::istringstream in(std::string(file.begin(), file.end()));
            carrier.loadBmp(in);
            ASSERT_TRUE(carrier.isLoaded());
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
