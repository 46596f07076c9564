// glint planes, run as a user runs it, its pictures judged as a person
// checking a hiding tool judges them: in a flat picture the hidden block
// stands out from bits that are all 0, in a photograph-like one the bits
// look like noise everywhere, and a comparison shows change only where the
// payload lies.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/picture.h"
#include "picture/picture_codecs.h"
#include "test_support.h"

namespace {

using testing_support::BmpFields;
using testing_support::Bytes;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::ScratchDir;
using testing_support::writeFile;

constexpr int kSide = 64;
// 100 payload bytes and the length take 832 data bytes: the bottom four
// rows of 192 bytes and part of the fifth, as a BMP stores rows bottom-up.
constexpr int kPayloadBytes = 100;
constexpr int kCarriedRows = 4;

RunResult glint(const ScratchDir& dir, std::vector<std::string> arguments) {
    testing_support::RunOptions options;
    options.arguments = std::move(arguments);
    return testing_support::runInUtf8Locale(GLINT_BINARY, "", dir.path(), options);
}

glint::Picture decodedPng(const Bytes& file) {
    glint::DecodedPicture decoded = glint::decodePng(file.data(), file.size());
    EXPECT_EQ(decoded.problem, glint::PictureProblem::None) << decoded.detail;
    return std::move(decoded.picture);
}

// The share of non-zero samples among rows [firstRow, endRow) of the panel
// at (`panelColumn`, `panelRow`).
double shareLit(const glint::Picture& picture, int panelColumn, int panelRow, int firstRow, int endRow) {
    std::size_t lit = 0, all = 0;
    for (int row = firstRow; row < endRow; ++row) {
        const unsigned char* samples = picture.samples.get() + std::size_t(panelRow * kSide + row) * picture.rowBytes() +
                                       std::size_t(panelColumn * kSide) * picture.pixelBytes();
        for (std::size_t i = 0; i < kSide * picture.pixelBytes(); ++i, ++all) lit += samples[i] != 0 ? 1 : 0;
    }
    return double(lit) / double(all);
}

TEST(GlintPlanes, ShowTheHiddenBlockAndNoiseWhereEachBelongs) {
    ScratchDir dir;
    BmpFields flat;
    flat.width = flat.height = kSide;
    flat.data = Bytes(kSide * kSide * 3, 200);  // even: every lowest bit 0
    writeFile(dir / "flat.bmp", testing_support::makeBmp(flat));
    BmpFields photograph = flat;
    photograph.data = testing_support::patternBytes(flat.data.size(), 3);
    writeFile(dir / "photograph.bmp", testing_support::makeBmp(photograph));
    writeFile(dir / "payload.bin", testing_support::patternBytes(kPayloadBytes, 4));
    ASSERT_EQ(glint(dir, {"-q", "hide", "flat.bmp", "payload.bin", "stego.bmp"}).exitStatus, 0);

    // Four panels: red, green, blue and all three.
    struct Case {
        const char* image;
        double carried, rest;  // the share of lit samples expected in each region, give or take 0.15
    };
    const Case cases[] = {{"flat.bmp", 0, 0}, {"stego.bmp", 0.5, 0}, {"photograph.bmp", 0.5, 0.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const std::string picture = std::string(c.image) + "-planes.png";  // planes never replaces a file
        const RunResult drawn = glint(dir, {"-q", "planes", c.image, picture});
        ASSERT_EQ(drawn.exitStatus, 0) << drawn.err;
        const glint::Picture planes = decodedPng(readFile(dir / picture));
        ASSERT_EQ(planes.width, 2U * kSide);
        ASSERT_EQ(planes.height, 2U * kSide);
        for (int panel = 0; panel < 4; ++panel) {
            EXPECT_NEAR(shareLit(planes, panel % 2, panel / 2, kSide - kCarriedRows, kSide), c.carried, 0.15) << panel;
            EXPECT_NEAR(shareLit(planes, panel % 2, panel / 2, 0, kSide - kCarriedRows - 1), c.rest, 0.15) << panel;
        }
    }

    // Cover, stego and their difference: change only where the payload lies.
    const RunResult compared = glint(dir, {"-q", "planes", "flat.bmp", "stego.bmp", "compared.png"});
    ASSERT_EQ(compared.exitStatus, 0) << compared.err;
    const glint::Picture three = decodedPng(readFile(dir / "compared.png"));
    ASSERT_EQ(three.width, 3U * kSide);
    ASSERT_EQ(three.height, std::uint32_t(kSide));
    EXPECT_EQ(shareLit(three, 0, 0, 0, kSide), 0);
    EXPECT_NEAR(shareLit(three, 1, 0, kSide - kCarriedRows, kSide), 0.5, 0.15);
    EXPECT_NEAR(shareLit(three, 2, 0, kSide - kCarriedRows, kSide), 0.5, 0.15);
    EXPECT_EQ(shareLit(three, 2, 0, 0, kSide - kCarriedRows - 1), 0);

    // A grey picture is one grey panel; pictures of two sizes are not compared.
    glint::Picture grey;
    grey.width = grey.height = kSide;
    grey.colourChannels = 1;
    ASSERT_TRUE(glint::allocateSamples(grey));
    std::fill(grey.samples.get(), grey.samples.get() + grey.byteCount(), 1);
    const glint::EncodedPicture greyPng = glint::encodePng(grey);
    writeFile(dir / "grey.png", Bytes(greyPng.bytes.get(), greyPng.bytes.get() + greyPng.size));
    ASSERT_EQ(glint(dir, {"-q", "planes", "grey.png", "grey-planes.png"}).exitStatus, 0);
    const glint::Picture greyPlanes = decodedPng(readFile(dir / "grey-planes.png"));
    EXPECT_EQ(greyPlanes.colourChannels, 1);
    EXPECT_EQ(greyPlanes.width, std::uint32_t(kSide));
    EXPECT_EQ(shareLit(greyPlanes, 0, 0, 0, kSide), 1);
    BmpFields small;
    small.data = Bytes(48, 0);
    writeFile(dir / "small.bmp", testing_support::makeBmp(small));
    const RunResult sizes = glint(dir, {"planes", "small.bmp", "stego.bmp", "never.png"});
    EXPECT_EQ(sizes.err, "glint: stego.bmp: cannot compare: the two pictures differ in size\n");
    EXPECT_EQ(sizes.exitStatus, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "never.png"));
}

}  // namespace
