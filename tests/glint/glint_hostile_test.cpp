// Hostile images, payloads and outputs against the real glint binary: every
// run must end normally, say exactly what happened, and write only what it
// reports as written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "glint_transcript.h"
#include "png_bytes.h"
#include "test_support.h"
#include "test_pictures.h"

namespace {

namespace fs = std::filesystem;
namespace msg = glint::msg;
using testing_support::BmpFields;
using testing_support::Bytes;
using testing_support::makeBmp;
using testing_support::patternBytes;
using testing_support::withLengthBits;
using testing_support::readFile;
using testing_support::RunOptions;
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

// Quiet, and in English: standard error holds only the failures.
RunResult hide(const ScratchDir& dir, const std::string& image, const std::string& target, RunOptions options = {}) {
    options.arguments = {"--quiet", "hide", image, "one.bin", target};
    return testing_support::runInUtf8Locale(GLINT_BINARY, "", dir.path(), options);
}

// Writes img.bmp and one.bin, and hides the one in the other as an ordinary
// new file, first.bmp; returns what every save of them must write.
Bytes savedImage(const ScratchDir& dir) {
    writeFile(dir / "img.bmp", makeBmp(plain(400)));
    writeFile(dir / "one.bin", {'!'});
    hide(dir, "img.bmp", "first.bmp");
    return readFile(dir / "first.bmp");
}

// Where no temporary file fits beside the target (a 255-byte name, the
// longest ext4 allows), it is written in place; a file with other hard
// links is written in place so that they all see it; a pipe whose reader
// has gone fails the save, and ends neither the command nor the dialogue.
TEST(GlintHostileInput, OutputsInTheCornersOfTheFileSystem) {
    ScratchDir dir;
    const Bytes saved = savedImage(dir);

    const std::string longName = std::string(251, 'n') + ".bmp";
    EXPECT_EQ(hide(dir, "img.bmp", longName).exitStatus, 0);
    EXPECT_EQ(readFile(dir / longName), saved);

    writeFile(dir / "h1.bmp", {1, 2, 3});
    fs::create_hard_link(dir / "h1.bmp", dir / "h2.bmp");
    EXPECT_EQ(hide(dir, "img.bmp", "h1.bmp").exitStatus, 0);
    EXPECT_EQ(readFile(dir / "h2.bmp"), saved);

    fs::create_symlink("/dev/stdout", dir / "stdout");
    RunOptions readerGone;
    readerGone.stdoutReaderGone = true;
    const RunResult command = hide(dir, "img.bmp", "stdout", readerGone);
    EXPECT_EQ(command.exitStatus, 1);
    EXPECT_EQ(command.err, "glint: stdout: cannot save: " + std::string(std::strerror(EPIPE)) + "\n");
    const RunResult dialogue = runProgram(GLINT_BINARY, "1 img.bmp one.bin stdout 3", dir.path(), readerGone);
    EXPECT_EQ(dialogue.exitStatus, 0);
    EXPECT_EQ(dialogue.err, line(msg::kSaveFailed));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 7);  // no temporary left
}

// Root replaces a file owned by another user, who keeps it; that user saves
// into a folder they may not write to, onto a file they may.
TEST(GlintHostileInput, OwnersAndFoldersOfOtherUsers) {
    if (::geteuid() != 0 || std::system("setpriv --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "acts as another user: run as root, with setpriv (util-linux)";
    }
    using testing_support::kNobody;
    ScratchDir dir;
    const Bytes saved = savedImage(dir);

    writeFile(dir / "theirs.bmp", {1});
    ASSERT_EQ(::chown((dir / "theirs.bmp").c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(hide(dir, "img.bmp", "theirs.bmp").exitStatus, 0);
    struct stat owner {};
    ASSERT_EQ(::stat((dir / "theirs.bmp").c_str(), &owner), 0);
    EXPECT_EQ(owner.st_uid, kNobody);
    EXPECT_EQ(owner.st_gid, kNobody);

    // What that user is handed is open to them, whatever the umask; runProgram
    // copies the program where they can reach it, wherever the build is.
    fs::create_directory(dir / "locked");
    writeFile(dir / "locked" / "target.bmp", {1});
    ASSERT_EQ(::chown((dir / "locked" / "target.bmp").c_str(), kNobody, kNobody), 0);
    for (const char* name : {"", "locked", "img.bmp", "one.bin"}) {
        ASSERT_EQ(::chmod((dir / name).c_str(), fs::is_directory(dir / name) ? 0755 : 0644), 0) << name;
    }
    RunOptions asNobody;
    asNobody.asUser = kNobody;
    const RunResult r = hide(dir, "img.bmp", "locked/target.bmp", asNobody);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(readFile(dir / "locked" / "target.bmp"), saved);
}

// A named pipe fed by another process: the image is read straight through,
// and one shorter than its bfSize is refused.
TEST(GlintHostileInput, ImagesFromPipes) {
    ScratchDir dir;
    const Bytes image = makeBmp(plain(4000));
    writeFile(dir / "img.bmp", image);
    writeFile(dir / "one.bin", {'!'});
    ASSERT_EQ(hide(dir, "img.bmp", "from-file.bmp").exitStatus, 0);
    for (const bool whole : {true, false}) {
        const fs::path pipe = dir / "img.fifo";
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        const pid_t feeder = ::fork();
        if (feeder == 0) {
            const int end = ::open(pipe.c_str(), O_WRONLY);
            const std::size_t size = whole ? image.size() : image.size() - 1;
            ::_exit(end >= 0 && ::write(end, image.data(), size) == static_cast<ssize_t>(size) ? 0 : 1);
        }
        const RunResult r = hide(dir, "img.fifo", "from-pipe.bmp");
        ::kill(feeder, SIGKILL);
        ::waitpid(feeder, nullptr, 0);
        fs::remove(pipe);
        EXPECT_EQ(r.exitStatus, whole ? 0 : 1);
        EXPECT_EQ(r.err, whole ? "" : "glint: img.fifo: cannot load image: shorter than its header says\n");
    }
    EXPECT_EQ(readFile(dir / "from-pipe.bmp"), readFile(dir / "from-file.bmp"));
}

// Damaged and hostile pictures on the command line, through every decoder:
// each run ends with status 1 and the library's reason or glint's own
// limit, and writes nothing.
TEST(GlintHostileInput, DamagedPicturesFailWithTheirReasonAndWriteNothing) {
    using png_bytes::chunk;
    using png_bytes::idat;
    using png_bytes::ihdr;
    using png_bytes::png;
    ScratchDir dir;
    writeFile(dir / "one.bin", {'!'});
    const Bytes pixel = {0, 0, 0, 0};
    const Bytes goodPng = png({ihdr(1, 1, 8, 2), idat(pixel), chunk("IEND", {})});
    Bytes badCrc = goodPng;
    badCrc[8 + 8 + 13] ^= 1;
    const Bytes jpeg = readFile(testPictures() / "jpeg-baseline.jpg");
    const auto marker = [&](unsigned char code) {
        const unsigned char bytes[] = {0xFF, code};
        return static_cast<std::size_t>(std::search(jpeg.begin(), jpeg.end(), bytes, bytes + 2) - jpeg.begin());
    };
    Bytes badHuffman = jpeg;
    badHuffman[marker(0xC4) + 5] = 0xFF;  // the first code count: more codes than one bit holds
    Bytes hugeJpeg = jpeg;
    std::fill_n(hugeJpeg.begin() + static_cast<std::ptrdiff_t>(marker(0xC0)) + 5, 4, 0xFE);  // 65278 x 65278
    const std::string damaged = "damaged picture: ";
    struct Case {
        std::string what;
        Bytes file;
        std::string reason;  // the start of it
    };
    const Case cases[] = {
        {"PNG cut inside IDAT", Bytes(goodPng.begin(), goodPng.end() - 16), damaged},
        {"PNG with a bad CRC", badCrc, damaged},
        {"PNG of 100000 x 100000", png({ihdr(100000, 100000, 8, 2), idat(pixel), chunk("IEND", {})}),
         "more than 268435456 pixels"},
        {"PNG of 16000 x 16000 in 69 bytes", png({ihdr(16000, 16000, 8, 2), idat(pixel), chunk("IEND", {})}),
         "shorter than its size needs"},
        {"JPEG cut in half", Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)), damaged},
        {"JPEG with a bad Huffman table", badHuffman, damaged},
        {"JPEG of 65278 x 65278", hugeJpeg, "more than 268435456 pixels"},
        {"CMYK JPEG", readFile(testPictures() / "jpeg-cmyk.jpg"), "a kind of picture glint does not take"},
        {"GIF", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "not a picture glint reads (BMP, PNG or JPEG)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(dir / "img", c.file);
        // The two ways into the decoders: a cover, and a picture to draw.
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"hide", "img", "one.bin", "out.png"}, {"planes", "img", "out.bmp"}}) {
            RunOptions options;
            options.arguments = arguments;
            const RunResult r = testing_support::runInUtf8Locale(GLINT_BINARY, "", dir.path(), options);
            EXPECT_EQ(r.exitStatus, 1) << arguments[0];
            EXPECT_EQ(r.err.rfind("glint: img: cannot load image: " + c.reason, 0), 0U) << r.err;
            EXPECT_EQ(r.out, "");
        }
        EXPECT_FALSE(fs::exists(dir / "out.png"));
        EXPECT_FALSE(fs::exists(dir / "out.bmp"));
    }
}

// BMPs that end before the rows their headers describe: every way in
// (hide to PNG and to BMP, planes, capacity) ends with status 1 and writes
// nothing, never a picture with rows made up. A classic BMP to BMP takes
// the designed path, which refuses a file shorter than its stated size.
TEST(GlintHostileInput, BmpsShorterThanTheirRowsAreRefusedEverywhere) {
    ScratchDir dir;
    writeFile(dir / "one.bin", {'!'});
    const auto fixture = [](const char* name) { return readFile(testPictures() / name); };
    const auto cut = [](Bytes file, std::size_t keep, bool statedSizeToo) {  // files below 64 KiB
        file.resize(keep);
        if (statedSizeToo) {
            file[2] = static_cast<unsigned char>(keep);
            file[3] = static_cast<unsigned char>(keep >> 8);
        }
        return file;
    };
    BmpFields classic;
    classic.width = classic.height = 8;
    classic.data = patternBytes(8 * 8 * 3, 5);
    Bytes tall = fixture("imagemagick-v5-24bit.bmp");
    tall[22] = 0xE8;  // 1000 rows instead of 5, the stated file size unchanged
    tall[23] = 0x03;
    const Bytes rle = fixture("imagemagick-rle8.bmp");
    const Bytes palette = fixture("pillow-palette8.bmp");
    struct Case {
        std::string what;
        Bytes file;
        bool classic;
    };
    const Case cases[] = {
        {"classic BMP cut by a row", cut(makeBmp(classic), 54 + 7 * 8 * 3, false), true},
        {"V5 BMP claiming 1000 rows", tall, false},
        {"palette BMP cut, its stated size too", cut(palette, palette.size() - 20, true), false},
        {"RLE8 BMP cut halfway through its pixel data, its stated size too",
         cut(rle, (rle.size() + (rle[10] | rle[11] << 8)) / 2, true), false},
    };
    const std::vector<std::string> commands[] = {
        {"hide", "img", "one.bin", "out.png"}, {"hide", "img", "one.bin", "out.bmp"}, {"planes", "img", "out.png"},
        {"capacity", "img"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(dir / "img", c.file);
        for (const std::vector<std::string>& arguments : commands) {
            RunOptions options;
            options.arguments = arguments;
            const RunResult r = testing_support::runInUtf8Locale(GLINT_BINARY, "", dir.path(), options);
            const bool designed = c.classic && (arguments[0] == "capacity" || arguments.back() == "out.bmp");
            EXPECT_EQ(r.exitStatus, 1) << arguments.back();
            EXPECT_EQ(r.err.rfind(std::string("glint: img: cannot load image: ") +
                                      (designed ? "shorter than its header says" : "damaged picture: "), 0),
                      0U) << r.err;
            EXPECT_EQ(r.out, "");
            EXPECT_FALSE(fs::exists(dir / "out.png"));
            EXPECT_FALSE(fs::exists(dir / "out.bmp"));
        }
    }
}

// The carrier's hostile BMPs on the command line, where every one that is
// not classic goes to the BMP library: each run ends normally, and writes its
// output exactly when it says so. (Left out of the memory checker's run, for
// its time: the sanitizers' run covers it.)
TEST(GlintHostileInput, CarriersHostileBmpsAreDecodedOrRefused) {
    ScratchDir dir;
    writeFile(dir / "one.bin", {'!'});
    for (const Image& image : hostileImages()) {
        SCOPED_TRACE(image.what);
        writeFile(dir / "img.bmp", image.file);
        for (const char* output : {"out.png", "out.bmp"}) {
            fs::remove(dir / output);
            const RunResult r = hide(dir, "img.bmp", output);
            EXPECT_TRUE(r.exitStatus == 0 || r.exitStatus == 1) << r.exitStatus;
            EXPECT_EQ(r.exitStatus == 0, r.err.find("cannot") == std::string::npos) << r.err;
            EXPECT_EQ(fs::exists(dir / output), r.exitStatus == 0);
        }
    }
}

// Memory that runs out is the failure of the step that needed it, and the
// dialogue goes on as after any such failure. The files are sparse: a
// 4 GiB image; a 512 MiB data area whose length bits claim nearly the
// largest payload it can hold (64 MiB), and a payload of that size. The
// limit leaves room for the program (under 6 MiB) and the data area, but
// not for the payload as well.
TEST(GlintHostileInput, RunningOutOfMemoryFailsTheStep) {
    if (testing_support::underAddressSanitizer()) GTEST_SKIP() << "AddressSanitizer needs address space of its own; the plain build runs this test";
    if (testing_support::underMemoryChecker()) GTEST_SKIP() << "the memory checker needs address space of its own; the plain run covers this test";
    ScratchDir dir;
    const std::uint32_t area = 512U << 20;
    BmpFields huge = plain(64, 0xFFFFFFFF);
    huge.bfSize = 0xFFFFFFFF;
    writeFile(dir / "huge.bmp", makeBmp(huge));
    fs::resize_file(dir / "huge.bmp", 0xFFFFFFFFU);
    const std::uint32_t payload = area / 8 - 4;
    BmpFields big = plain(64, payload);
    big.bfSize = 54 + std::int64_t{area};
    writeFile(dir / "big.bmp", makeBmp(big));
    fs::resize_file(dir / "big.bmp", 54 + std::uint64_t{area});
    { std::ofstream(dir / "pay.bin"); }
    fs::resize_file(dir / "pay.bin", payload);

    RunOptions limited;
    limited.addressSpaceLimit = area + (std::uint64_t{32} << 20);
    const std::string loaded = line(msg::kLoadSucceeded);
    const std::string refused = line(msg::kPayloadTooLong) + line(msg::kPressAnyKey);
    struct Case {
        std::string input, out, err;
    };
    const Case cases[] = {
        {"2 huge.bmp out.bin 3", kStart + msg::kAskStegoImage + msg::kAskRecoveredFile + kMenuAndEnd,
         msg::kLoadFailed + line(msg::kDecodeFailed)},
        {"2 big.bmp out.bin 3", kStart + msg::kAskStegoImage + loaded + msg::kAskRecoveredFile + kMenuAndEnd,
         line(msg::kDecodeFailed)},
        {"1 big.bmp pay.bin\n3", kStart + msg::kAskSourceImage + loaded + msg::kAskPayload + refused + kMenuAndEnd, ""},
    };
    for (const Case& c : cases) {
        const RunResult r = runProgram(GLINT_BINARY, c.input, dir.path(), limited);
        EXPECT_EQ(r.exitStatus, 0) << c.input;
        EXPECT_EQ(r.out, c.out) << c.input;
        EXPECT_EQ(r.err, c.err) << c.input;
    }
    EXPECT_FALSE(fs::exists(dir / "out.bin"));
}

}  // namespace
