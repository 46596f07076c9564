// Runs the real glint binary with piped standard input and compares what it
// writes, byte for byte, with the GBK texts of its dialogue. The texts are
// spelled out here in bytes, independently of the program's own header.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::BmpFields;
using testing_support::Bytes;
using testing_support::makeBmp;
using testing_support::patternBytes;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::runProgram;
using testing_support::ScratchDir;
using testing_support::writeFile;

// GLINT信息隐藏 / " 1.加密.bmp文件" / " 2.解密.bmp文件" / " 3.退出"
const std::string kTitle = "GLINT\xD0\xC5\xCF\xA2\xD2\xFE\xB2\xD8\n";
const std::string kMenu =
    " 1.\xBC\xD3\xC3\xDC.bmp\xCE\xC4\xBC\xFE\n"
    " 2.\xBD\xE2\xC3\xDC.bmp\xCE\xC4\xBC\xFE\n"
    " 3.\xCD\xCB\xB3\xF6\n";
const std::string kAskSource = "\xCA\xE4\xC8\xEB\xD4\xAD\xCA\xBC" "bmp\xCE\xC4\xBC\xFE\xC3\xFB\xA3\xBA";
const std::string kAskPayload =
    "\xCA\xE4\xC8\xEB\xD2\xAA\xBC\xD3\xC3\xDC\xB5\xC4\xCE\xC4\xB1\xBE\xCE\xC4\xBC\xFE\xC3\xFB\xA3\xBA";
const std::string kAskOutput = "\xD0\xC2" "bmp\xCE\xC4\xBC\xFE\xB1\xA3\xB4\xE6\xCE\xAA\xA3\xBA";
const std::string kAskStego = "\xCA\xE4\xC8\xEB\xD2\xAA\xBD\xE2\xC3\xDC\xB5\xC4" "BMP\xCE\xC4\xBC\xFE\xC3\xFB\xA3\xBA";
const std::string kAskRecovered = "\xC3\xDC\xCE\xC4\xCE\xC4\xB1\xBE\xB1\xA3\xB4\xE6\xCE\xAA\xA3\xBA";
const std::string kTooLong = " >>>\xCE\xC4\xBC\xFE\xB3\xA4\xB6\xC8\xB9\xFD\xB3\xA4<<<\n";
const std::string kWrong = "\xB4\xED\xCE\xF3\xCA\xE4\xC8\xEB\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xD1\xA1\xD4\xF1\n";
const std::string kLoaded = "\xD4\xD8\xC8\xEB\xB3\xC9\xB9\xA6\xA3\xA1\n";
const std::string kLoadFailed = "\xD4\xD8\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xA1";  // no line end
const std::string kHidden = "\xD0\xC5\xCF\xA2\xD2\xFE\xB2\xD8\xB3\xC9\xB9\xA6\n";
const std::string kSaved = "\xCE\xC4\xBC\xFE\xB1\xA3\xB4\xE6\xB3\xC9\xB9\xA6\n";
const std::string kSaveFailed = "\xCE\xC4\xBC\xFE\xB1\xA3\xB4\xE6\xCA\xA7\xB0\xDC\xA3\xA1\n";
const std::string kDecoded = "\xBD\xE2\xC2\xEB\xB3\xC9\xB9\xA6\n";
const std::string kDecodeFailed = "\xBD\xE2\xC2\xEB\xCA\xA7\xB0\xDC\xA3\xA1\n";
const std::string kPressAnyKey = "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\n";

// In a UTF-8 locale: pipes and files get the GBK bytes all the same.
RunResult glint(const std::string& input, const ScratchDir& dir) {
    testing_support::RunOptions options;
    options.environment = {"LC_ALL=C.UTF-8"};
    return runProgram(GLINT_BINARY, input, dir.path(), options);
}

TEST(GlintProgram, QuitsAtOnceWithTheFinalWait) {
    ScratchDir dir;
    const RunResult r = glint("3\n", dir);
    EXPECT_EQ(r.out, kTitle + kMenu + kPressAnyKey);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(GlintProgram, HidesAndRecoversAFileWithEveryByteValue) {
    ScratchDir dir;
    BmpFields fields;
    fields.bitCount = 8;
    fields.width = 64;
    fields.height = 40;
    fields.offBits = 54 + 1024;
    fields.data = patternBytes(1024 + 64 * 40, 1);
    writeFile(dir / "cover.bmp", makeBmp(fields));
    Bytes payload(256);
    for (unsigned v = 0; v < 256; ++v) payload[v] = static_cast<unsigned char>(v);
    writeFile(dir / "secret.bin", payload);

    const RunResult r = glint("1\ncover.bmp\nsecret.bin\nstego.bmp\n2\nstego.bmp\nback.bin\n3\n", dir);
    EXPECT_EQ(r.out, kTitle + kMenu + kAskSource + kLoaded + kAskPayload + kHidden + kAskOutput +
                         kSaved + kMenu + kAskStego + kLoaded + kAskRecovered + kDecoded + kMenu +
                         kPressAnyKey);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(readFile(dir / "back.bin"), payload);
}

TEST(GlintProgram, ReportsFailuresOnStandardError) {
    ScratchDir dir;
    BmpFields fields;
    fields.data = patternBytes(100, 2);
    writeFile(dir / "small.bmp", makeBmp(fields));
    writeFile(dir / "big.bin", patternBytes(100, 3));
    writeFile(dir / "tiny.bin", {'a'});
    writeFile(dir / "fake.bmp", {'G', 'I', 'F', '8', '9', 'a'});
    fs::create_symlink("/dev/full", dir / "full");

    struct Case {
        std::string input;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"7\nx\n3\n", kTitle + kMenu + kWrong + kMenu + kWrong + kMenu + kPressAnyKey, ""},
        {"1 small.bmp big.bin 3\n",
         kTitle + kMenu + kAskSource + kLoaded + kAskPayload + kTooLong + kPressAnyKey + kMenu +
             kPressAnyKey,
         ""},
        {"2 fake.bmp out.bin 3\n",
         kTitle + kMenu + kAskStego + kAskRecovered + kMenu + kPressAnyKey,
         kLoadFailed + kDecodeFailed},
        {"1 small.bmp tiny.bin full 3\n",
         kTitle + kMenu + kAskSource + kLoaded + kAskPayload + kHidden + kAskOutput + kMenu +
             kPressAnyKey,
         kSaveFailed},
    };
    for (const Case& c : cases) {
        const RunResult r = glint(c.input, dir);
        EXPECT_EQ(r.out, c.out) << c.input;
        EXPECT_EQ(r.err, c.err) << c.input;
        EXPECT_EQ(r.exitStatus, 0) << c.input;
    }
    EXPECT_FALSE(fs::exists(dir / "out.bin"));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// Each subcommand's texts, where they go, and the exit status: 0 done, 1
// refused or failed (and nothing written), 2 a usage error. The capacity of
// a 400-byte data area is (400 - 32) / 8 = 46 bytes; with a 256-entry colour
// table before 400 more bytes, 400 / 8 = 50. Encryption takes 44 of them.
TEST(GlintCommandLine, ExitStatusSaysWhatHappened) {
    ScratchDir dir;
    BmpFields rgb;
    rgb.data = patternBytes(400, 4);
    writeFile(dir / "cover.bmp", makeBmp(rgb));
    writeFile(dir / "-cover.bmp", makeBmp(rgb));
    BmpFields indexed;
    indexed.bitCount = 8;
    indexed.data = patternBytes(1024 + 400, 5);
    writeFile(dir / "indexed.bmp", makeBmp(indexed));
    BmpFields tiny;
    tiny.data = patternBytes(31, 6);
    writeFile(dir / "tiny.bmp", makeBmp(tiny));
    writeFile(dir / "fake.bmp", {'G', 'I', 'F'});
    const Bytes fits = patternBytes(46, 7);
    writeFile(dir / "fits.bin", fits);
    writeFile(dir / "big.bin", patternBytes(47, 8));
    writeFile(dir / "pass.txt", {'p', 'w', '\n'});

    struct Case {
        std::vector<std::string> arguments;
        std::string out, err;
        int status;
    };
    const std::string failedLoad = kLoadFailed + "\n";
    const Case cases[] = {
        {{"hide", "cover.bmp", "fits.bin", "stego.bmp"}, kLoaded + kHidden + kSaved, "", 0},
        {{"recover", "stego.bmp", "back.bin"}, kLoaded + kDecoded, "", 0},
        {{"hide", "cover.bmp", "big.bin", "refused.bmp"}, kLoaded, kTooLong, 1},
        {{"hide", "cover.bmp", "missing.bin", "refused.bmp"}, kLoaded, failedLoad, 1},
        {{"hide", "fake.bmp", "fits.bin", "refused.bmp"}, "", failedLoad, 1},
        {{"hide", "cover.bmp", "fits.bin", "no/such/folder"}, kLoaded + kHidden, kSaveFailed, 1},
        {{"recover", "cover.bmp", "refused.bin"}, kLoaded, kDecodeFailed, 1},
        {{"capacity", "cover.bmp", "fake.bmp", "indexed.bmp", "tiny.bmp", "--", "-cover.bmp"},
         "46  cover.bmp\n50  indexed.bmp\n46  -cover.bmp\n", failedLoad + kTooLong, 1},
        {{"capacity", "-p", "cover.bmp", "indexed.bmp"}, "2  cover.bmp\n6  indexed.bmp\n", "", 0},
        {{"hide", "--passphrase-file", "pass.txt", "cover.bmp", "fits.bin", "refused.bmp"}, kLoaded, kTooLong, 1},
        {{"--version"}, "glint " GLINT_VERSION "\n", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + (c.arguments.size() > 1 ? c.arguments[1] : ""));
        testing_support::RunOptions options;
        options.arguments = c.arguments;
        const RunResult r = runProgram(GLINT_BINARY, "", dir.path(), options);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.exitStatus, c.status);
    }
    EXPECT_EQ(readFile(dir / "back.bin"), fits);
    EXPECT_FALSE(fs::exists(dir / "refused.bmp"));
    EXPECT_FALSE(fs::exists(dir / "refused.bin"));

    const std::vector<std::string> misuses[] = {{"hide", "cover.bmp", "fits.bin"}, {"capacity"}, {"--bogus"}, {"unhide"}, {"--"},
                                                {"recover", "stego.bmp", "x", "--passphrase-file"},
                                                {"hide", "--passphrase-file", "-", "cover.bmp", "-", "x.bmp"}};
    for (const std::vector<std::string>& arguments : misuses) {
        testing_support::RunOptions options;
        options.arguments = arguments;
        const RunResult r = runProgram(GLINT_BINARY, "", dir.path(), options);
        EXPECT_EQ(r.exitStatus, 2) << arguments[0];
        EXPECT_EQ(r.out, "") << arguments[0];
        EXPECT_NE(r.err, "") << arguments[0];
    }
}

}  // namespace
