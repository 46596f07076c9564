// Runs the real glint binary with piped standard input and compares what it
// writes, byte for byte, with the GBK texts of its dialogue. The texts are
// spelled out here in bytes, independently of the program's own header.
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "glint_transcript.h"
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
    return testing_support::runInUtf8Locale(GLINT_BINARY, input, dir.path());
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
    // An image path of more than 255 bytes loads too.
    const std::string deep = std::string(200, 'd') + "/" + std::string(100, 'n') + ".bmp";
    fs::create_directory(dir / std::string(200, 'd'));
    writeFile(dir / deep, makeBmp(fields));

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
        {"1 " + deep + " tiny.bin long.bmp 3\n",
         kTitle + kMenu + kAskSource + kLoaded + kAskPayload + kHidden + kAskOutput + kSaved + kMenu + kPressAnyKey, ""},
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

// The command line in the C.UTF-8 locale, which speaks English.
RunResult command(const ScratchDir& dir, std::vector<std::string> arguments, const std::string& input = "",
                  testing_support::RunOptions options = {}) {
    options.arguments = std::move(arguments);
    return testing_support::runInUtf8Locale(GLINT_BINARY, input, dir.path(), options);
}

std::string failure(const std::string& name, const std::string& step, const std::string& reason) {
    return "glint: " + name + ": " + step + ": " + reason + "\n";
}

// Each subcommand's texts, all on standard error, and the exit status: 0
// done, 1 refused or failed (and nothing written), 2 a usage error. Every
// failure names its file and the reason. The capacity of a 400-byte data
// area is (400 - 32) / 8 = 46 bytes; with a 256-entry colour table before
// 400 more bytes, 400 / 8 = 50.
TEST(GlintCommandLine, ExitStatusSaysWhatHappened) {
    ScratchDir dir;
    BmpFields rgb;
    rgb.data = patternBytes(400, 4);
    writeFile(dir / "cover.bmp", makeBmp(rgb));
    writeFile(dir / "-cover.bmp", makeBmp(rgb));
    // An image path of more than 255 bytes.
    const std::string deep = std::string(200, 'd') + "/" + std::string(100, 'n') + ".bmp";
    fs::create_directory(dir / std::string(200, 'd'));
    writeFile(dir / deep, makeBmp(rgb));
    BmpFields indexed;
    indexed.bitCount = 8;
    indexed.data = patternBytes(1024 + 400, 5);
    writeFile(dir / "indexed.bmp", makeBmp(indexed));
    BmpFields tiny;
    tiny.data = patternBytes(31, 6);
    writeFile(dir / "tiny.bmp", makeBmp(tiny));
    // As an OS/2 header read as a Windows one: biClrUsed from pixel bytes.
    BmpFields overrun = rgb;
    overrun.clrUsed = 101;
    writeFile(dir / "overrun.bmp", makeBmp(overrun));
    writeFile(dir / "fake.bmp", {'G', 'I', 'F'});
    const Bytes fits = patternBytes(46, 7);
    writeFile(dir / "fits.bin", fits);
    writeFile(dir / "big.bin", patternBytes(47, 8));
    writeFile(dir / "pass.txt", {'p', 'w', '\n'});

    struct Case {
        std::vector<std::string> arguments;
        std::string err;
        int status;
    };
    const std::string loaded = "Image loaded.\n", noSuchFile = std::strerror(ENOENT);
    const std::string paletteNote =
        "glint: indexed.bmp: warning: the first bytes that carry the payload are a colour table of 256 "
        "entries, so the picture will change visibly\nglint: indexed.bmp: for a clean cover, use a 24-bit "
        "BMP with the classic 40-byte header, for example: convert in.png -type truecolor BMP3:cover.bmp\n";
    const Case cases[] = {
        {{"hide", "cover.bmp", "fits.bin", "stego.bmp"}, loaded + "Payload hidden.\nFile saved.\n", 0},
        {{"recover", "stego.bmp", "back.bin"}, loaded + "Payload recovered.\n", 0},
        {{"--quiet", "hide", "cover.bmp", "fits.bin", "quiet.bmp"}, "", 0},
        {{"hide", "cover.bmp", "big.bin", "refused.bmp"},
         loaded + failure("big.bin", "cannot hide", "too long for the image, which takes at most 46 bytes"), 1},
        {{"hide", "cover.bmp", "missing.bin", "refused.bmp"},
         loaded + failure("missing.bin", "cannot read payload", noSuchFile), 1},
        {{"hide", "fake.bmp", "fits.bin", "refused.bmp"}, failure("fake.bmp", "cannot load image", "not a BMP image"), 1},
        {{"-q", "hide", "cover.bmp", "fits.bin", "no/such/folder"},
         failure("no/such/folder", "cannot save", noSuchFile), 1},
        {{"-q", "recover", "cover.bmp", "refused.bin"},
         failure("cover.bmp", "cannot recover", "the image holds no payload that fits it"), 1},
        {{"capacity", "cover.bmp", "nosuch.bmp", "fake.bmp", "indexed.bmp", "tiny.bmp", "overrun.bmp", deep, "--",
          "-cover.bmp"},
         failure("nosuch.bmp", "cannot load image", noSuchFile) + failure("fake.bmp", "cannot load image", "not a BMP image") +
             paletteNote + failure("tiny.bmp", "cannot hide", "the image is too small to carry a payload") +
             failure("overrun.bmp", "cannot hide", "its header implies a colour table larger than the image"),
         1},
        {{"hide", "--passphrase-file", "pass.txt", "cover.bmp", "fits.bin", "refused.bmp"},
         loaded + failure("fits.bin", "cannot hide", "too long for the image, which takes at most 2 bytes"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1]);
        const RunResult r = command(dir, c.arguments);
        EXPECT_EQ(r.out, c.arguments[0] == "capacity" ? "46  cover.bmp\n50  indexed.bmp\n46  " + deep + "\n46  -cover.bmp\n" : "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.exitStatus, c.status);
    }
    EXPECT_EQ(readFile(dir / "back.bin"), fits);
    EXPECT_EQ(readFile(dir / "quiet.bmp"), readFile(dir / "stego.bmp"));
    EXPECT_FALSE(fs::exists(dir / "refused.bmp"));
    EXPECT_FALSE(fs::exists(dir / "refused.bin"));
    const std::string help = command(dir, {"--help"}).out;
    EXPECT_EQ(help.substr(help.rfind('\n', help.size() - 2) + 1), "More in man glint.\n");
    for (std::size_t start = 0, end = 0; (end = help.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_LE(end - start, 80U) << help.substr(start, end - start);
    }
    // Encryption takes 44 bytes of the room.
    EXPECT_EQ(command(dir, {"capacity", "-p", "cover.bmp", "indexed.bmp"}).out, "2  cover.bmp\n6  indexed.bmp\n");
    // A control character in a name never reaches the terminal or splits a line.
    fs::copy_file(dir / "cover.bmp", dir / "clear\x1b[2J\nscreen.bmp");
    const RunResult controls = command(dir, {"capacity", "clear\x1b[2J\nscreen.bmp", "gone\r.bmp"});
    EXPECT_EQ(controls.out, "46  clear?[2J?screen.bmp\n");
    EXPECT_EQ(controls.err, failure("gone?.bmp", "cannot load image", noSuchFile));

    const std::vector<std::string> misuses[] = {{"hide", "cover.bmp", "fits.bin"}, {"capacity"}, {"--bogus"}, {"unhide"},
                                                {"--"}, {"--version", "extra"}, {"hide", "-", "-", "out.bmp"},
                                                {"capacity", "cover.bmp", "-", "-"},
                                                {"recover", "stego.bmp", "x", "--passphrase-file"},
                                                {"hide", "--passphrase-file", "-", "cover.bmp", "-", "x.bmp"}};
    for (const std::vector<std::string>& arguments : misuses) {
        const RunResult r = command(dir, arguments);
        EXPECT_EQ(r.exitStatus, 2) << arguments[0];
        EXPECT_EQ(r.out, "") << arguments[0];
        EXPECT_NE(r.err.find("Usage:\n"), std::string::npos) << arguments[0];
    }
}

// "-" is standard input for an image or payload and standard output for the
// output file, byte for byte; "./-" is a file named "-".
TEST(GlintCommandLine, DashIsStandardInputOrOutput) {
    ScratchDir dir;
    BmpFields rgb;
    rgb.data = patternBytes(400, 4);
    const std::string cover = testing_support::asString(makeBmp(rgb));
    const std::string payload = testing_support::asString(patternBytes(46, 7));
    writeFile(dir / "cover.bmp", makeBmp(rgb));
    writeFile(dir / "-", makeBmp(rgb));
    writeFile(dir / "fits.bin", patternBytes(46, 7));
    ASSERT_EQ(command(dir, {"hide", "cover.bmp", "fits.bin", "stego.bmp"}).exitStatus, 0);
    const std::string stego = testing_support::asString(readFile(dir / "stego.bmp"));

    struct Case {
        std::vector<std::string> arguments;
        std::string input, out;
    };
    const Case cases[] = {
        {{"-q", "hide", "-", "fits.bin", "-"}, cover, stego},
        {{"-q", "hide", "cover.bmp", "-", "-"}, payload, stego},
        {{"-q", "hide", "./-", "fits.bin", "-"}, "", stego},
        {{"-q", "recover", "-", "-"}, stego, payload},
        {{"capacity", "-", "./-"}, cover, "46  -\n46  ./-\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = command(dir, c.arguments, c.input);
        EXPECT_EQ(r.out, c.out) << c.arguments[1];
        EXPECT_EQ(r.err, "") << c.arguments[1];
        EXPECT_EQ(r.exitStatus, 0) << c.arguments[1];
    }
    // Standard input that cannot be read fails; it is never an empty payload.
    testing_support::RunOptions closed;
    closed.stdinClosed = true;
    const RunResult r = command(dir, {"-q", "hide", "cover.bmp", "-", "never.bmp"}, "", closed);
    EXPECT_EQ(r.err, failure("-", "cannot read payload", std::strerror(EBADF)));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_FALSE(fs::exists(dir / "never.bmp"));
}

// Standard output that is full or whose reader has gone fails the command
// with the system's reason, for the help, the version, capacity and data.
TEST(GlintCommandLine, WriteErrorsOnStandardOutputFail) {
    ScratchDir dir;
    transcript::writeCoverAndSecret(dir.path());
    fs::create_symlink("/dev/full", dir / "full");
    for (const bool full : {true, false}) {
        testing_support::RunOptions options;
        options.stdoutReaderGone = !full;
        if (full) options.stdoutTarget = dir / "full";
        const std::string reason = std::strerror(full ? ENOSPC : EPIPE);
        const std::string textsFailed = failure("standard output", "cannot write", reason);
        const std::pair<std::vector<std::string>, std::string> cases[] = {
            {{"--help"}, textsFailed},
            {{"--version"}, textsFailed},
            {{"capacity", "cover.bmp"}, textsFailed},
            {{"-q", "hide", "cover.bmp", "secret.bin", "-"}, failure("-", "cannot save", reason)},
        };
        for (const auto& [arguments, err] : cases) {
            const RunResult r = command(dir, arguments, "", options);
            EXPECT_EQ(r.err, err) << arguments[0] << (full ? " into a full disk" : " into a closed pipe");
            EXPECT_EQ(r.exitStatus, 1) << arguments[0];
        }
    }
    // Past the file-size limit, as on a full disk, and not ended by SIGXFSZ.
    testing_support::RunOptions limited;
    limited.prefix = {"sh", "-c", "ulimit -f 1 && exec \"$@\"", "sh"};
    const RunResult r = command(dir, {"-q", "hide", "cover.bmp", "secret.bin", "-"}, "", limited);
    EXPECT_EQ(r.err, failure("-", "cannot save", std::strerror(EFBIG)));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// The fields that say what the data area starts with, patched into a plain
// BMP: a 124-byte (V5) info header with bit-field masks, and an 8-bit image
// with run-length-encoded pixels after its colour table.
Bytes withHeaderFields(Bytes file, std::uint32_t biSize, std::uint32_t compression) {
    for (int i = 0; i < 4; ++i) {
        file[14 + i] = static_cast<unsigned char>(biSize >> (8 * i));
        file[30 + i] = static_cast<unsigned char>(compression >> (8 * i));
    }
    return file;
}

// Hiding in such an image changes the picture: hide warns before it writes
// (quiet or not), capacity adds the same note, and neither refuses the image.
TEST(GlintCommandLine, WarnsWhenTheLayoutChangesThePicture) {
    ScratchDir dir;
    BmpFields v5;
    v5.bitCount = 32;
    v5.data = patternBytes(84 + 4 * 4 * 4, 10);
    writeFile(dir / "v5.bmp", withHeaderFields(makeBmp(v5), 124, 3));
    BmpFields rle;
    rle.bitCount = 8;
    rle.data = patternBytes(1024 + 300, 11);
    writeFile(dir / "rle.bmp", withHeaderFields(makeBmp(rle), 40, 1));
    ASSERT_EQ(fs::file_size(dir / "v5.bmp"), 54U + 148);
    ASSERT_EQ(fs::file_size(dir / "rle.bmp"), 54U + 1324);
    writeFile(dir / "one.bin", {'!'});

    const std::pair<std::string, std::string> images[] = {
        {"v5.bmp", "84 bytes of info header after the first 40"},
        {"rle.bmp", "a colour table of 256 entries and compressed pixel data"},
    };
    for (const auto& [image, parts] : images) {
        const std::string note = "glint: " + image + ": warning: the first bytes that carry the payload are " + parts +
                                 ", so the picture will change visibly\nglint: " + image +
                                 ": for a clean cover, use a 24-bit BMP with the classic 40-byte header, for "
                                 "example: convert in.png -type truecolor BMP3:cover.bmp\n";
        const RunResult hidden = command(dir, {"-q", "hide", image, "one.bin", "out.bmp"});
        EXPECT_EQ(hidden.err, note);
        EXPECT_EQ(hidden.exitStatus, 0);
        EXPECT_EQ(command(dir, {"capacity", image}).err, note);
    }
}

// The user's language: Chinese texts (the dialogue's own) and the system's
// reasons in Chinese under LANG=zh_CN.UTF-8, English under C.UTF-8, both in
// the locale's encoding on a pipe.
TEST(GlintCommandLine, SpeaksTheLocalesLanguage) {
    const std::vector<std::string> built = testing_support::localeEnvironment("zh_CN.UTF-8");
    if (built.empty()) GTEST_SKIP() << "localedef cannot build zh_CN.UTF-8: install Debian's locales package";
    const std::string locales = built[0].substr(std::string_view("LOCPATH=").size());
    // What the system itself says in that locale.
    ::setenv("LOCPATH", locales.c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "zh_CN.UTF-8"), nullptr);
    const std::string noSuchFile = std::strerror(ENOENT);
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");

    ScratchDir dir;
    transcript::writeCoverAndSecret(dir.path());
    BmpFields indexed;
    indexed.bitCount = 8;
    indexed.data = patternBytes(1024 + 400, 5);
    writeFile(dir / "indexed.bmp", makeBmp(indexed));
    // LANG decides, with every LC_ variable that would override it emptied.
    testing_support::RunOptions chinese;
    chinese.environment = {"LOCPATH=" + locales, "LANG=zh_CN.UTF-8", "LC_ALL=", "LC_CTYPE=",
                           "LC_MESSAGES="};
    struct Case {
        std::vector<std::string> arguments;
        std::string chinese, english;
    };
    const Case cases[] = {
        {{"hide", "cover.bmp", "secret.bin", "stego.bmp"}, "载入成功！\n信息隐藏成功\n文件保存成功\n",
         "Image loaded.\nPayload hidden.\nFile saved.\n"},
        {{"recover", "missing.bmp", "back.bin"}, "glint: missing.bmp: 无法载入图像: " + noSuchFile + "\n",
         failure("missing.bmp", "cannot load image", std::strerror(ENOENT))},
        {{"--bogus"}, "glint: 无法识别的参数：--bogus\n用法：\n", "glint: unknown argument: --bogus\nUsage:\n"},
        {{"capacity", "indexed.bmp"}, "glint: indexed.bmp: 警告：最先承载数据的是颜色表（256 项），画面会明显改变\n",
         "glint: indexed.bmp: warning: the first bytes that carry the payload are a colour table of 256 entries, so"},
    };
    for (const Case& c : cases) {
        chinese.arguments = c.arguments;
        const RunResult inChinese = runProgram(GLINT_BINARY, "", dir.path(), chinese);
        EXPECT_EQ(inChinese.err.substr(0, c.chinese.size()), c.chinese);
        EXPECT_EQ(command(dir, c.arguments).err.substr(0, c.english.size()), c.english);
    }
}

}  // namespace
