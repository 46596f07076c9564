#include "carrier/bmp_carrier.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>

#include "messages.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using glint::BmpCarrier;
using testing_support::BmpFields;
using testing_support::Bytes;
using testing_support::makeBmp;
using testing_support::patternBytes;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

class CarrierTest : public ::testing::Test {
protected:
    // Writes the file and loads it; the load's own messages are cleared.
    void load(const Bytes& file, const std::string& name = "in.bmp") {
        writeFile(dir / name, file);
        carrier.loadBmp(path(name).c_str());
        ASSERT_TRUE(carrier.isLoaded()) << err.str();
        clearConsole();
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    Bytes dataArea() const {
        return Bytes(carrier.dataArea(), carrier.dataArea() + carrier.dataAreaSize());
    }
    void clearConsole() {
        out.str("");
        err.str("");
    }
    std::int32_t hide(const Bytes& payload) {
        writeFile(dir / "payload", payload);
        return carrier.hideText(path("payload").c_str());
    }

    ScratchDir dir;
    std::ostringstream out;
    std::ostringstream err;
    common::Console outConsole{out};
    common::Console errConsole{err};
    BmpCarrier carrier{outConsole, errConsole};
};

TEST_F(CarrierTest, ColourTableFollowsBitCountAndClrUsed) {
    struct Case {
        std::uint16_t bitCount;
        std::uint32_t clrUsed;
        std::size_t dataSize;
        std::int32_t numColors;
        std::size_t pixelOffset;  // palette is null exactly when this is 0
    };
    const Case cases[] = {
        {24, 0, 100, 0, 0},       {32, 0, 100, 0, 0},     {16, 0, 100, 0, 0},
        {8, 0, 2000, 256, 1024},  {4, 0, 100, 16, 64},    {1, 0, 100, 2, 8},
        {24, 5, 100, 5, 20},      {0, 0, 100, 0, 0},      {2, 0, 100, 4, 16},
        {3, 0, 100, 8, 32},       {5, 0, 200, 32, 128},   {7, 0, 600, 128, 512},
        // tables larger than the data area: pixels stop at its end
        {8, 0, 500, 256, 500},    {24, 0x40000000, 100, 0x40000000, 100},
        {24, 0xFFFFFFFF, 100, -1, 100},
    };
    for (const Case& c : cases) {
        BmpFields fields;
        fields.bitCount = c.bitCount;
        fields.clrUsed = c.clrUsed;
        fields.data = patternBytes(c.dataSize, 1);
        load(makeBmp(fields));
        EXPECT_EQ(carrier.colorEntries(), c.numColors) << "bits " << c.bitCount;
        EXPECT_EQ(carrier.colorCount(), c.numColors);
        EXPECT_EQ(carrier.pixelStart(), carrier.dataArea() + c.pixelOffset) << "bits " << c.bitCount;
        EXPECT_EQ(carrier.paletteStart(), c.pixelOffset == 0 ? nullptr : carrier.dataArea());
    }
}

TEST_F(CarrierTest, SavedSizeImageIsStoredOrWrappedPixelCount) {
    struct Case {
        std::uint32_t sizeImage;
        std::int32_t width, height;
        std::uint32_t saved;
    };
    const Case cases[] = {
        {0, 100, 50, 5000},
        {0, 100, -50, 0xFFFFEC78},  // -5000, a top-down image
        {1234, 100, 50, 1234},
        {0, 65536, 65536, 0},           // 2^32 wraps to 0
        {0, 65536, 32768, 0x80000000},  // wraps to the most negative value
    };
    for (const Case& c : cases) {
        BmpFields fields;
        fields.sizeImage = c.sizeImage;
        fields.width = c.width;
        fields.height = c.height;
        fields.data = patternBytes(64, 2);
        const Bytes input = makeBmp(fields);
        load(input);
        EXPECT_EQ(carrier.imageSize(), static_cast<std::int32_t>(c.saved));
        carrier.saveBmp(path("out.bmp").c_str());
        Bytes expected = input;
        for (std::size_t i = 0; i < 4; ++i) expected[34 + i] = static_cast<unsigned char>(c.saved >> (8 * i));
        EXPECT_EQ(readFile(dir / "out.bmp"), expected) << c.width << "x" << c.height;
        EXPECT_EQ(out.str(), std::string(glint::msg::kSaveSucceeded) + "\n");
        clearConsole();
    }
}

TEST_F(CarrierTest, SavesOnlyTheFirstBfSizeBytes) {
    BmpFields fields;
    fields.sizeImage = 48;
    fields.data = patternBytes(48, 3);
    const Bytes image = makeBmp(fields);
    Bytes longer = image;
    longer.insert(longer.end(), 100, 0x5A);
    load(longer);
    EXPECT_EQ(carrier.dataAreaSize(), 48U);
    carrier.saveBmp(path("out.bmp").c_str());
    EXPECT_EQ(readFile(dir / "out.bmp"), image);
}

TEST_F(CarrierTest, RefusesFilesItCannotTakeWhole) {
    BmpFields good;
    good.data = patternBytes(64, 4);
    const Bytes image = makeBmp(good);
    auto withBfSize = [&](std::int64_t bfSize) {
        BmpFields f = good;
        f.bfSize = bfSize;
        return makeBmp(f);
    };
    Bytes notBm = image;
    notBm[0] = 'X';
    using Problem = BmpCarrier::Problem;
    struct Case {
        const char* what;
        Bytes file;
        Problem problem;  // the reason the command line gives
    };
    const Case cases[] = {
        {"no BM magic", notBm, Problem::NotBmp},
        {"empty", {}, Problem::NotBmp},
        {"ends inside the file header", Bytes(image.begin(), image.begin() + 13), Problem::ShorterThanHeaders},
        {"ends inside the info header", Bytes(image.begin(), image.begin() + 53), Problem::ShorterThanHeaders},
        {"bfSize 0", withBfSize(0), Problem::SizeBelowHeaders},
        {"bfSize 53", withBfSize(53), Problem::SizeBelowHeaders},
        {"shorter than bfSize", withBfSize(54 + 65), Problem::ShorterThanSize},
        {"bfSize 0xFFFFFFFF", withBfSize(0xFFFFFFFF), Problem::ShorterThanSize},
    };
    for (const Case& c : cases) {
        writeFile(dir / "bad.bmp", c.file);
        EXPECT_EQ(carrier.load(path("bad.bmp").c_str()).problem, c.problem) << c.what;
        EXPECT_EQ(err.str(), "") << c.what;
        carrier.loadBmp(path("bad.bmp").c_str());
        EXPECT_FALSE(carrier.isLoaded()) << c.what;
        EXPECT_EQ(err.str(), glint::msg::kLoadFailed) << c.what;
        EXPECT_EQ(out.str(), "") << c.what;
        clearConsole();
    }

    // The system's reason: a name longer than any file system takes is its
    // refusal, not the carrier's.
    fs::create_directory(dir / "folder.bmp");
    const std::pair<std::string, std::errc> refusals[] = {
        {path("missing.bmp"), std::errc::no_such_file_or_directory},
        {path("folder.bmp"), std::errc::is_a_directory},
        {path(std::string(300, 'n')), std::errc::filename_too_long}};
    for (const auto& [name, reason] : refusals) {
        EXPECT_EQ(carrier.load(name.c_str()).system, reason) << name;
        carrier.loadBmp(name.c_str());
        EXPECT_FALSE(carrier.isLoaded()) << name;
        EXPECT_EQ(err.str(), glint::msg::kLoadFailed) << name;
        clearConsole();
    }
}

TEST_F(CarrierTest, HeaderOnlyFileLoadsWithEmptyDataArea) {
    BmpFields fields;
    load(makeBmp(fields));
    EXPECT_EQ(carrier.dataAreaSize(), 0U);
    EXPECT_EQ(hide({}), 0);  // not even the length word fits
}

TEST_F(CarrierTest, FailedLoadKeepsEarlierDataButDisarmsEveryOperation) {
    BmpFields fields;
    fields.data = patternBytes(400, 5);
    load(makeBmp(fields));
    writeFile(dir / "out.txt", {'o', 'l', 'd'});

    writeFile(dir / "bad.bmp", {'X', 'Y'});
    carrier.loadBmp(path("bad.bmp").c_str());
    clearConsole();
    EXPECT_EQ(dataArea(), fields.data);

    EXPECT_EQ(hide({'h', 'i'}), 0);
    EXPECT_EQ(dataArea(), fields.data);
    carrier.saveBmp(path("out.bmp").c_str());
    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
    carrier.extractText(path("out.txt").c_str());
    EXPECT_EQ(readFile(dir / "out.txt"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), std::string(glint::msg::kSaveFailed) + "\n" +
                             glint::msg::kDecodeFailed + "\n");
}

TEST_F(CarrierTest, NeverLoadedCarrierDoesNothing) {
    EXPECT_EQ(hide({}), 0);
    carrier.extractText(path("out.txt").c_str());
    carrier.saveBmp(path("out.bmp").c_str());
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
    EXPECT_EQ(out.str(), "");
}

// A hide then an extract returns the payload, on the same carrier and on the
// saved file loaded again; the saved file differs from the input only in bit
// 0 of the bytes the layout names and in biSizeImage.
TEST_F(CarrierTest, RoundTripForEveryBitDepth) {
    struct Case {
        std::uint16_t bitCount;
        std::int32_t width, height;
        std::size_t dataSize;
        std::size_t payloadSize;
    };
    const Case cases[] = {
        {1, 32, 8, 8 + 32, 0},      {1, 64, 64, 8 + 512, 50},     {4, 16, 16, 64 + 128, 10},
        {8, 16, 16, 1024 + 256, 28}, {16, 10, 10, 200, 21},        {24, 10, 10, 320, 36},
        {24, 10, -10, 320, 36},      {32, 100, 100, 40000, 4996},
    };
    for (const Case& c : cases) {
        BmpFields fields;
        fields.bitCount = c.bitCount;
        fields.width = c.width;
        fields.height = c.height;
        fields.data = patternBytes(c.dataSize, c.bitCount);
        const Bytes input = makeBmp(fields);
        const Bytes payload = patternBytes(c.payloadSize, 77);
        load(input);
        ASSERT_EQ(hide(payload), 1) << "bits " << c.bitCount;
        carrier.extractText(path("same.out").c_str());
        EXPECT_EQ(readFile(dir / "same.out"), payload);
        carrier.saveBmp(path("stego.bmp").c_str());

        const Bytes saved = readFile(dir / "stego.bmp");
        ASSERT_EQ(saved.size(), input.size());
        const std::size_t carried = 54 + 32 + 8 * payload.size();
        for (std::size_t i = 0; i < saved.size(); ++i) {
            const bool sizeImage = i >= 34 && i < 38;
            const unsigned mask = sizeImage ? 0x00 : (i >= 54 && i < carried) ? 0xFE : 0xFF;
            ASSERT_EQ(saved[i] & mask, input[i] & mask) << "byte " << i << " bits " << c.bitCount;
        }

        load(saved, "stego.bmp");
        carrier.extractText(path("reloaded.out").c_str());
        EXPECT_EQ(readFile(dir / "reloaded.out"), payload) << "bits " << c.bitCount;
    }
}

TEST_F(CarrierTest, CapacityCheckRefusesWhatDoesNotFitAndLeavesCarrierUnchanged) {
    struct Case {
        const char* what;
        std::uint16_t bitCount;
        std::uint32_t clrUsed;
        std::size_t dataSize;
        std::size_t payloadSize;
        bool accepted;
    };
    const Case cases[] = {
        {"256-entry table, room/8 bytes", 8, 0, 1024 + 800, 100, true},
        {"256-entry table, one more", 8, 0, 1024 + 800, 101, false},
        {"no table, room for length word and payload", 24, 0, 800, 96, true},
        {"no table, passes room/8 but the length word overflows", 24, 0, 800, 97, false},
        {"no table, exactly room/8", 24, 0, 800, 100, false},
        {"31 data bytes cannot hold the length word", 24, 0, 31, 0, false},
        {"32 data bytes hold an empty payload", 24, 0, 32, 0, true},
        {"colour table beyond the data area", 8, 0, 500, 0, false},
        {"biClrUsed 0x40000000", 24, 0x40000000, 800, 0, false},
        {"biClrUsed 0x40000001", 24, 0x40000001, 800, 1, false},
        {"biClrUsed 0xFFFFFFFF", 24, 0xFFFFFFFF, 800, 0, false},
    };
    for (const Case& c : cases) {
        BmpFields fields;
        fields.bitCount = c.bitCount;
        fields.clrUsed = c.clrUsed;
        fields.data = patternBytes(c.dataSize, 6);
        load(makeBmp(fields));
        EXPECT_EQ(hide(patternBytes(c.payloadSize, 9)), c.accepted ? 1 : 0) << c.what;
        if (!c.accepted) {
            EXPECT_EQ(dataArea(), fields.data) << c.what;
            EXPECT_EQ(out.str(), "") << c.what;
        }
        clearConsole();
    }
}

TEST_F(CarrierTest, UnreadablePayloadIsRefused) {
    BmpFields fields;
    fields.data = patternBytes(800, 10);
    load(makeBmp(fields));
    fs::create_directory(dir / "folder");
    for (const char* name : {"missing", "folder"}) {
        EXPECT_EQ(carrier.hideText(path(name).c_str()), 0) << name;
        EXPECT_EQ(dataArea(), fields.data) << name;
    }
}

TEST_F(CarrierTest, OneBytePayloadSetsExactlyTheNamedBits) {
    BmpFields fields;
    fields.data = Bytes(48, 0xFF);
    for (std::size_t i = 24; i < 48; ++i) fields.data[i] = 0x00;
    load(makeBmp(fields));
    ASSERT_EQ(hide({0x41}), 1);
    EXPECT_EQ(out.str(), std::string(glint::msg::kHideSucceeded) + "\n");

    Bytes expected(48, 0x00);
    for (std::size_t i = 0; i < 24; ++i) expected[i] = 0xFE;  // length 1: only D[0] carries a 1
    expected[0] = 0xFF;
    expected[32] = 0x01;  // 0x41: bits 0 and 6
    expected[38] = 0x01;
    EXPECT_EQ(dataArea(), expected);
}

TEST_F(CarrierTest, EmptyPayloadClearsLengthAndExtractsEmptyFile) {
    BmpFields fields;
    fields.data = Bytes(40, 0xFF);
    load(makeBmp(fields));
    ASSERT_EQ(hide({}), 1);
    Bytes expected(40, 0xFF);
    for (std::size_t i = 0; i < 32; ++i) expected[i] = 0xFE;
    EXPECT_EQ(dataArea(), expected);
    carrier.extractText(path("empty.out").c_str());
    EXPECT_TRUE(fs::exists(dir / "empty.out"));
    EXPECT_EQ(readFile(dir / "empty.out"), Bytes{});
}

TEST_F(CarrierTest, ExtractRefusesLengthsBeyondTheDataArea) {
    struct Case {
        std::size_t dataSize;
        std::uint32_t lengthBits;
        bool decodes;
    };
    const Case cases[] = {
        {31, 0, false},               // too short for the length word
        {32 + 80, 10, true},          // exactly fills the data area
        {32 + 80, 11, false},         // one byte beyond it
        {32 + 80, 0xFFFFFFFF, false}, // would wrap in 32 bits
        {32 + 80, 0x20000000, false}, // 8N wraps to 0 in 32 bits
    };
    for (const Case& c : cases) {
        BmpFields fields;
        fields.data = testing_support::withLengthBits(patternBytes(c.dataSize, 11), c.lengthBits);
        load(makeBmp(fields));
        writeFile(dir / "keep.out", {'k'});
        carrier.extractText(path("keep.out").c_str());
        if (c.decodes) {
            EXPECT_EQ(readFile(dir / "keep.out").size(), c.lengthBits);
            EXPECT_EQ(out.str(), std::string(glint::msg::kDecodeSucceeded) + "\n");
        } else {
            EXPECT_EQ(readFile(dir / "keep.out"), Bytes{'k'}) << c.lengthBits;
            EXPECT_EQ(err.str(), std::string(glint::msg::kDecodeFailed) + "\n");
            EXPECT_EQ(out.str(), "");
        }
        clearConsole();
    }
}

TEST_F(CarrierTest, UnwritableOutputsAreReportedNotCelebrated) {
    BmpFields fields;
    fields.data = patternBytes(200, 12);
    load(makeBmp(fields));
    ASSERT_EQ(hide({'x', 'y'}), 1);
    clearConsole();
    fs::create_symlink("/dev/full", dir / "full");
    const std::string failed = std::string(glint::msg::kSaveFailed) + "\n";

    for (const std::string& target : {path("no/such/folder.bmp"), path("full")}) {
        carrier.saveBmp(target.c_str());
        EXPECT_EQ(out.str(), "") << target;
        EXPECT_EQ(err.str(), failed) << target;
        clearConsole();

        carrier.extractText(target.c_str());
        EXPECT_EQ(out.str(), std::string(glint::msg::kDecodeSucceeded) + "\n") << target;
        EXPECT_EQ(err.str(), failed) << target;
        clearConsole();
    }
    EXPECT_TRUE(fs::is_symlink(dir / "full"));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

}  // namespace
