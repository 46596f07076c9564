// Hostile images, payloads and outputs against the real glint binary: every
// run must end normally, say exactly what happened, and write only what it
// reports as written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "glint_transcript.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
namespace msg = glint::msg;
using testing_support::BmpFields;
using testing_support::Bytes;
using testing_support::makeBmp;
using testing_support::patternBytes;
using testing_support::withLengthBits;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::runProgram;
using testing_support::ScratchDir;
using testing_support::writeFile;

using transcript::kMenu;
using transcript::kStart;
using transcript::line;
const std::string kMenuAndEnd = kMenu + line(msg::kPressAnyKey);

BmpFields plain(std::size_t dataSize, std::uint32_t length = 0) {
    BmpFields f;
    f.data = withLengthBits(patternBytes(dataSize, static_cast<std::uint32_t>(dataSize)), length);
    return f;
}

struct Image {
    std::string what;
    Bytes file;
    bool loads;
    bool decodes;  // recovering succeeds
    bool hides;    // a one-byte payload is accepted
};

std::vector<Image> hostileImages() {
    std::vector<Image> images;
    const Bytes good = makeBmp(plain(48));
    for (const std::size_t cut : std::vector<std::size_t>{0, 1, 2, 6, 8, 10, 14, 18, 22, 26, 28, 30, 34, 38, 42, 46, 50, 53, 54, 101}) {
        images.push_back({"cut at " + std::to_string(cut), Bytes(good.begin(), good.begin() + static_cast<long>(cut)), false, false, false});
    }
    for (std::int64_t bfSize : {0LL, 53LL, 54LL + 49, 0xFFFFFFFFLL}) {
        BmpFields f = plain(48);
        f.bfSize = bfSize;
        images.push_back({"bfSize " + std::to_string(bfSize), makeBmp(f), false, false, false});
    }
    BmpFields headersOnly;
    images.push_back({"bfSize 54", makeBmp(headersOnly), true, false, false});
    for (std::uint32_t clrUsed : {0x40000000U, 0x40000001U, 0xFFFFFFFFU}) {
        BmpFields f = plain(200);
        f.clrUsed = clrUsed;
        images.push_back({"biClrUsed " + std::to_string(clrUsed), makeBmp(f), true, true, false});
    }
    for (const std::uint16_t bits : std::vector<std::uint16_t>{0, 2, 3, 5, 6, 7, 9, 15, 64, 0xFFFF}) {
        BmpFields f = plain(400);
        f.bitCount = bits;
        const bool tableFits = bits != 7;  // 128 entries take 512 bytes
        images.push_back({"biBitCount " + std::to_string(bits), makeBmp(f), true, true, tableFits});
    }
    BmpFields huge = plain(64);
    huge.width = 0x10000;
    huge.height = 0x10000;
    images.push_back({"width x height beyond 32 bits", makeBmp(huge), true, true, true});
    huge.height = -0x10001;
    images.push_back({"negative height beyond 32 bits", makeBmp(huge), true, true, true});
    images.push_back({"length 0xFFFFFFFF", makeBmp(plain(200, 0xFFFFFFFF)), true, false, true});
    images.push_back({"length capacity + 1", makeBmp(plain(200, 22)), true, false, true});
    images.push_back({"length at capacity", makeBmp(plain(200, 21)), true, true, true});
    BmpFields onePixel = plain(4);
    onePixel.width = onePixel.height = 1;
    images.push_back({"1 x 1 image", makeBmp(onePixel), true, false, false});
    return images;
}

std::string expectedRecover(const Image& image) {
    return kStart + msg::kAskStegoImage + (image.loads ? line(msg::kLoadSucceeded) : "") +
           msg::kAskRecoveredFile + (image.decodes ? line(msg::kDecodeSucceeded) : "") +
           kMenuAndEnd;
}

// After a refusal the output name that follows answers the menu instead.
std::string expectedHide(const Image& image) {
    const std::string tail = image.hides ? line(msg::kHideSucceeded) + msg::kAskOutputImage +
                                               line(msg::kSaveSucceeded)
                                         : line(msg::kPayloadTooLong) + line(msg::kPressAnyKey) +
                                               kMenu + line(msg::kWrongChoice);
    return kStart + msg::kAskSourceImage + (image.loads ? line(msg::kLoadSucceeded) : "") +
           msg::kAskPayload + tail + kMenuAndEnd;
}

TEST(GlintHostileInput, ImagesEndCleanlyAndReportExactly) {
    ScratchDir dir;
    writeFile(dir / "one.bin", {'!'});
    for (const Image& image : hostileImages()) {
        SCOPED_TRACE(image.what);
        writeFile(dir / "img.bmp", image.file);
        ASSERT_EQ(fs::file_size(dir / "img.bmp"), image.file.size());
        fs::remove(dir / "out.bin");
        fs::remove(dir / "out.bmp");

        const RunResult recovered = runProgram(GLINT_BINARY, "2 img.bmp out.bin 3\n", dir.path());
        EXPECT_EQ(recovered.exitStatus, 0);
        EXPECT_EQ(recovered.out, expectedRecover(image));
        EXPECT_EQ(recovered.err, std::string(image.loads ? "" : msg::kLoadFailed) +
                                     (image.decodes ? "" : line(msg::kDecodeFailed)));
        EXPECT_EQ(fs::exists(dir / "out.bin"), image.decodes);

        const RunResult hidden = runProgram(GLINT_BINARY, "1 img.bmp one.bin out.bmp 3\n", dir.path());
        EXPECT_EQ(hidden.exitStatus, 0);
        EXPECT_EQ(hidden.out, expectedHide(image));
        EXPECT_EQ(hidden.err, image.loads ? "" : msg::kLoadFailed);
        ASSERT_EQ(fs::exists(dir / "out.bmp"), image.hides);
        if (image.hides) {
            EXPECT_EQ(readFile(dir / "out.bmp").size(), image.file.size());
        }
    }
}

TEST(GlintHostileInput, MissingOrFolderNamesAreRefused) {
    ScratchDir dir;
    fs::create_directory(dir / "folder");
    writeFile(dir / "img.bmp", makeBmp(plain(400)));
    writeFile(dir / "one.bin", {'!'});
    const std::string refused = kStart + msg::kAskSourceImage + line(msg::kLoadSucceeded) +
                                msg::kAskPayload + line(msg::kPayloadTooLong) +
                                line(msg::kPressAnyKey) + kMenuAndEnd;
    for (const char* payload : {"missing", "folder"}) {
        const RunResult r = runProgram(GLINT_BINARY, std::string("1 img.bmp ") + payload + " 3", dir.path());
        EXPECT_EQ(r.out, refused) << payload;
        EXPECT_EQ(r.err, "") << payload;
    }
    for (const char* image : {"missing", "folder"}) {
        const RunResult r = runProgram(GLINT_BINARY, std::string("2 ") + image + " out.bin 3", dir.path());
        EXPECT_EQ(r.err, std::string(msg::kLoadFailed) + line(msg::kDecodeFailed)) << image;
    }
    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
    EXPECT_FALSE(fs::exists(dir / "out.bin"));
}

// A failed write leaves any earlier file of that name as it was and says so;
// a device is written in place and stays a device.
TEST(GlintHostileInput, UnwritableOutputsKeepWhatWasThere) {
    ScratchDir dir;
    writeFile(dir / "img.bmp", makeBmp(plain(400)));
    writeFile(dir / "stego.bmp", makeBmp(plain(400, 3)));
    writeFile(dir / "one.bin", {'!'});
    fs::create_symlink("/dev/full", dir / "full");
    fs::create_symlink("/dev/null", dir / "null");
    for (const char* target : {"no/such/folder", "full"}) {
        const RunResult hide = runProgram(GLINT_BINARY, std::string("1 img.bmp one.bin ") + target + " 3", dir.path());
        EXPECT_EQ(hide.err, line(msg::kSaveFailed)) << target;
        const RunResult recover = runProgram(GLINT_BINARY, std::string("2 stego.bmp ") + target + " 3", dir.path());
        EXPECT_EQ(recover.err, line(msg::kSaveFailed)) << target;
    }
    const RunResult toNull = runProgram(GLINT_BINARY, "1 img.bmp one.bin null 3", dir.path());
    EXPECT_EQ(toNull.err, "");
    EXPECT_TRUE(fs::is_symlink(dir / "full"));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 5);
}

}  // namespace
