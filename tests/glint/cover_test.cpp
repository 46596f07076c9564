// Covers as the command line takes them: every picture fixture, hidden in
// to capacity and written as BMP and as PNG, changes only the lowest bits of
// its pixel samples and gives the payload back; BMPs written so are read by
// the designed carrier of the dialogue; PNG stego follows the order the
// README documents, read here without glint's layout code.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "carrier/bmp_carrier.h"
#include "carrier/cover.h"
#include "picture/picture_codecs.h"
#include "test_support.h"
#include "test_pictures.h"

namespace {

namespace fs = std::filesystem;
using glint::Carrier;
using glint::CoverOutput;
using glint::CoverUse;
using glint::OpenedCover;
using glint::Picture;
using glint::PictureFormat;
using testing_support::Bytes;

std::istringstream streamOf(const Bytes& bytes) { return std::istringstream(testing_support::asString(bytes)); }

struct Consoles {
    std::ostringstream sink;
    common::Console console{sink};
};

OpenedCover open(const Bytes& file, CoverUse use, CoverOutput output, Consoles& consoles) {
    std::istringstream in = streamOf(file);
    return glint::openCover(in, use, output, consoles.console, consoles.console);
}

Bytes saved(Carrier& carrier) {
    Bytes out;
    const Carrier::Failure failed = carrier.save([&](std::initializer_list<glint::ByteRange> pieces) {
        for (const glint::ByteRange& piece : pieces) out.insert(out.end(), piece.bytes, piece.bytes + piece.size);
        return std::error_code();
    });
    EXPECT_FALSE(failed);
    return out;
}

Picture decoded(const Bytes& file) {
    glint::DecodedPicture picture = glint::decodePicture(file.data(), file.size());
    EXPECT_EQ(picture.problem, glint::PictureProblem::None) << picture.detail;
    return std::move(picture.picture);
}

// The cover as the carrier sees it before hiding: for a PNG the decoded
// picture in the kind the platform writes, for a BMP the classic file.
Bytes cleanOutput(const Bytes& cover, CoverOutput output, Picture& clean) {
    clean = decoded(cover);
    if (output == CoverOutput::Png) {
        EXPECT_TRUE(glint::preparePngKind(clean));
        return {};
    }
    if (glint::isClassicBmp(cover.data(), cover.size())) return cover;
    const glint::EncodedPicture bmp = glint::encodeClassicBmp(clean);
    return Bytes(bmp.bytes.get(), bmp.bytes.get() + bmp.size);
}

// Only bit 0 of the lowest byte of each colour sample differs; alpha and
// every other byte are as they were.
void expectOnlyLowestBitsDiffer(const Picture& before, const Picture& after) {
    ASSERT_EQ(before.byteCount(), after.byteCount());
    EXPECT_EQ(after.colourChannels, before.colourChannels);
    EXPECT_EQ(after.alpha, before.alpha);
    const std::size_t sampleBytes = before.sampleBytes(), pixelBytes = before.pixelBytes();
    for (std::size_t i = 0; i < before.byteCount(); ++i) {
        const std::size_t inPixel = i % pixelBytes;
        const bool carried = inPixel < before.colourChannels * sampleBytes && inPixel % sampleBytes == sampleBytes - 1;
        ASSERT_EQ((before.samples[i] ^ after.samples[i]) & (carried ? 0xFE : 0xFF), 0) << "byte " << i;
    }
}

std::vector<fs::path> coverFixtures() {
    std::vector<fs::path> covers;
    for (const auto& entry : fs::directory_iterator(testPictures())) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".sh" && name != "jpeg-cmyk.jpg") covers.push_back(entry.path());
    }
    std::sort(covers.begin(), covers.end());
    return covers;
}

TEST(CoverRoundTrip, EveryFixtureCarriesAFullPayloadAsBmpAndAsPng) {
    const std::vector<fs::path> covers = coverFixtures();
    ASSERT_GE(covers.size(), 60U);
    std::uint32_t seed = 0;
    for (const fs::path& path : covers) {
        const Bytes cover = testing_support::readFile(path);
        for (const CoverOutput output : {CoverOutput::Bmp, CoverOutput::Png}) {
            SCOPED_TRACE(path.filename().string() + (output == CoverOutput::Png ? " as PNG" : " as BMP"));
            Consoles consoles;
            const OpenedCover opened = open(cover, CoverUse::Hide, output, consoles);
            if (testing_support::unreadHere(path.filename().string())) {
                EXPECT_EQ(opened.problem, glint::CoverProblem::Picture);
                continue;
            }
            ASSERT_TRUE(opened.carrier) << static_cast<int>(opened.problem) << " " << opened.detail;
            const std::optional<std::uint32_t> room = opened.carrier->capacity();
            ASSERT_TRUE(room);
            const Bytes payload = testing_support::patternBytes(*room, ++seed);
            std::istringstream payloadStream = streamOf(payload);
            ASSERT_FALSE(opened.carrier->hide(payloadStream));
            const Bytes stego = saved(*opened.carrier);

            Picture clean;
            const Bytes cleanBmp = cleanOutput(cover, output, clean);
            if (output == CoverOutput::Png) {
                ASSERT_EQ(glint::pictureFormat(stego.data(), stego.size()), PictureFormat::Png);
                const Picture written = decoded(stego);
                expectOnlyLowestBitsDiffer(clean, written);
                EXPECT_EQ(written.colourChunks.size(), clean.colourChunks.size());
            } else {
                ASSERT_TRUE(glint::isClassicBmp(stego.data(), stego.size()));
                ASSERT_EQ(stego.size(), cleanBmp.size());
                for (std::size_t i = 0; i < stego.size(); ++i) {
                    ASSERT_EQ((stego[i] ^ cleanBmp[i]) & (i < 54 ? 0xFF : 0xFE), 0) << "byte " << i;
                }
                // The dialogue's own load and recovery.
                Consoles dialogue;
                glint::BmpCarrier designed(dialogue.console, dialogue.console);
                std::istringstream in = streamOf(stego);
                ASSERT_FALSE(designed.load(in));
                const Carrier::Recovered recovered = designed.recover();
                ASSERT_FALSE(recovered.failure);
                EXPECT_EQ(Bytes(recovered.bytes.get(), recovered.bytes.get() + recovered.size), payload);
            }
            const OpenedCover again = open(stego, CoverUse::Recover, output, consoles);
            ASSERT_TRUE(again.carrier);
            const Carrier::Recovered back = again.carrier->recover();
            ASSERT_FALSE(back.failure);
            EXPECT_EQ(Bytes(back.bytes.get(), back.bytes.get() + back.size), payload);
            EXPECT_TRUE(consoles.sink.str().empty());
        }
    }
}

// The PNG layout as documented: the length (32 bits, least significant
// first), then each payload byte from its lowest bit, in bit 0 of each
// colour sample in turn, rows top-down, a pixel's red, green and blue (or
// its grey), never alpha; a 16-bit sample's bit 0 is in its second byte.
TEST(PngLayout, IsReadFromTheDocumentedOrderAlone) {
    for (const char* name : {"png-6-16.png", "png-4-8-interlaced.png", "png-2-8.png", "png-3-4-trns.png"}) {
        SCOPED_TRACE(name);
        Consoles consoles;
        const OpenedCover opened =
            open(testing_support::readFile(testPictures() / name), CoverUse::Hide, CoverOutput::Png, consoles);
        ASSERT_TRUE(opened.carrier);
        const Bytes payload = {'L', 'S', 'B', 0x00, 0xFF, 0x5A};
        std::istringstream in = streamOf(payload);
        ASSERT_FALSE(opened.carrier->hide(in));
        const Picture stego = decoded(saved(*opened.carrier));

        std::vector<unsigned> bits;
        const std::size_t sampleBytes = stego.sampleBytes();
        for (std::size_t i = 0; i < stego.byteCount() && bits.size() < 32 + 8 * payload.size(); i += sampleBytes) {
            if ((i / sampleBytes) % (stego.pixelBytes() / sampleBytes) < stego.colourChannels) {
                bits.push_back(stego.samples[i + sampleBytes - 1] & 1U);
            }
        }
        ASSERT_EQ(bits.size(), 32 + 8 * payload.size());
        std::uint32_t length = 0;
        for (unsigned i = 0; i < 32; ++i) length |= std::uint32_t{bits[i]} << i;
        EXPECT_EQ(length, payload.size());
        Bytes read(payload.size());
        for (std::size_t k = 0; k < read.size(); ++k) {
            for (unsigned b = 0; b < 8; ++b) read[k] = static_cast<unsigned char>(read[k] | bits[32 + 8 * k + b] << b);
        }
        EXPECT_EQ(read, payload);
    }
}

// Which carrier each cover becomes, what its conversion lost, and what a
// layout over pixels is given: the samples and the bytes a hide keeps.
TEST(CoverKinds, EachCoverIsCarriedAsItsUseAndOutputAsk) {
    testing_support::BmpFields fields;
    fields.width = 5;
    fields.height = 3;
    fields.data = testing_support::patternBytes(16 * 3, 4);
    const Bytes classic = testing_support::makeBmp(fields);
    struct Case {
        const char* name;
        Bytes file;
        CoverUse use;
        CoverOutput output;
        PictureFormat from;  // Unknown: carried as it is
        bool alphaDropped, rounded, asPng;
        std::size_t pixelRows, unchangedBytes;
    };
    const auto fixture = [](const char* name) { return testing_support::readFile(testPictures() / name); };
    const Case cases[] = {
        {"classic BMP as BMP", classic, CoverUse::Hide, CoverOutput::Bmp, PictureFormat::Unknown, false, false, false, 3, 54},
        {"classic BMP as PNG", classic, CoverUse::Hide, CoverOutput::Png, PictureFormat::Bmp, false, false, false, 3, 13},
        {"RGBA 16-bit PNG as BMP", fixture("png-6-16.png"), CoverUse::Hide, CoverOutput::Bmp, PictureFormat::Png, true,
         true, false, 7, 54},
        {"RGBA 16-bit PNG as PNG", fixture("png-6-16.png"), CoverUse::Hide, CoverOutput::Png, PictureFormat::Unknown,
         false, false, false, 7, 13},
        {"32-bit alpha BMP as BMP", fixture("imagemagick-32bit-alpha.bmp"), CoverUse::Hide, CoverOutput::Bmp,
         PictureFormat::Bmp, true, false, false, 5, 54},
        {"JPEG for capacity", fixture("jpeg-grey.jpg"), CoverUse::Capacity, CoverOutput::Png, PictureFormat::Jpeg, false,
         false, true, 5, 54},
        {"PNG for capacity", fixture("png-0-8.png"), CoverUse::Capacity, CoverOutput::Bmp, PictureFormat::Unknown, false,
         false, false, 7, 13},
        {"RLE BMP to recover from", fixture("imagemagick-rle8.bmp"), CoverUse::Recover, CoverOutput::Bmp,
         PictureFormat::Unknown, false, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Consoles consoles;
        const OpenedCover opened = open(c.file, c.use, c.output, consoles);
        ASSERT_TRUE(opened.carrier);
        EXPECT_EQ(opened.conversion.from, c.from);
        EXPECT_EQ(opened.conversion.alphaDropped, c.alphaDropped);
        EXPECT_EQ(opened.conversion.roundedTo8Bits, c.rounded);
        EXPECT_EQ(opened.asPng != nullptr, c.asPng);
        const glint::PixelSamples samples = opened.carrier->pixelSamples();
        EXPECT_EQ(samples.plane.rows, c.pixelRows);
        EXPECT_EQ(samples.unchanged.size(), c.unchangedBytes);
    }
}

TEST(CoverKinds, RecoverTakesOnlyBmpAndPngAndCmykJpegIsRefused) {
    Consoles consoles;
    const auto fixture = [](const char* name) { return testing_support::readFile(testPictures() / name); };
    EXPECT_EQ(open(fixture("jpeg-baseline.jpg"), CoverUse::Recover, CoverOutput::Bmp, consoles).problem,
              glint::CoverProblem::NotStego);
    EXPECT_EQ(open({'G', 'I', 'F', '8'}, CoverUse::Recover, CoverOutput::Bmp, consoles).problem,
              glint::CoverProblem::NotStego);
    const OpenedCover cmyk = open(fixture("jpeg-cmyk.jpg"), CoverUse::Hide, CoverOutput::Png, consoles);
    EXPECT_EQ(cmyk.problem, glint::CoverProblem::Picture);
    EXPECT_EQ(cmyk.picture, glint::PictureProblem::Unsupported);
    EXPECT_EQ(cmyk.carrier, nullptr);
}

}  // namespace
