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
#include "test_pictures.h"

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
// area is (400 - 32) / 8 = 46 bytes; a 4 x 4 BMP with a colour table is
// converted to a classic one, whose 48 data bytes carry 2.
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
    indexed.offBits = 54 + 1024;  // its pixels after the colour table
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
    const std::string notAPicture = "not a picture glint reads (BMP, PNG or JPEG)";
    // Converted to a classic BMP of 4 x 4 pixels: 48 bytes carry 2.
    const auto asBmpNote = [](const std::string& name) {
        return "glint: " + name + ": note: that is for a BMP output; a PNG output takes 2 bytes\n";
    };
    const Case cases[] = {
        {{"hide", "cover.bmp", "fits.bin", "stego.bmp"}, loaded + "Payload hidden.\nFile saved.\n", 0},
        {{"recover", "stego.bmp", "back.bin"}, loaded + "Payload recovered.\n", 0},
        {{"--quiet", "hide", "cover.bmp", "fits.bin", "quiet.bmp"}, "", 0},
        {{"hide", "cover.bmp", "big.bin", "refused.bmp"},
         loaded + failure("big.bin", "cannot hide", "too long for the image, which takes at most 46 bytes"), 1},
        {{"hide", "cover.bmp", "missing.bin", "refused.bmp"},
         loaded + failure("missing.bin", "cannot read payload", noSuchFile), 1},
        {{"hide", "fake.bmp", "fits.bin", "refused.bmp"}, failure("fake.bmp", "cannot load image", notAPicture), 1},
        {{"-q", "hide", "cover.bmp", "fits.bin", "no/such/folder"},
         failure("no/such/folder", "cannot save", noSuchFile), 1},
        {{"-q", "recover", "stego.bmp", "nodir/"}, failure("nodir/", "cannot save", noSuchFile), 1},
        {{"-q", "recover", "cover.bmp", "refused.bin"},
         failure("cover.bmp", "cannot recover", "the image holds no payload that fits it"), 1},
        {{"capacity", "cover.bmp", "nosuch.bmp", "fake.bmp", "indexed.bmp", "tiny.bmp", "overrun.bmp", deep, "--",
          "-cover.bmp"},
         failure("nosuch.bmp", "cannot load image", noSuchFile) + failure("fake.bmp", "cannot load image", notAPicture) +
             asBmpNote("indexed.bmp") + failure("tiny.bmp", "no room", "the image is too small to carry a payload") +
             asBmpNote("overrun.bmp"),
         1},
        {{"hide", "--passphrase-file", "pass.txt", "cover.bmp", "fits.bin", "refused.bmp"},
         loaded + failure("cover.bmp", "cannot hide", "the image is too small to carry a payload"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1]);
        const RunResult r = command(dir, c.arguments);
        EXPECT_EQ(r.out, c.arguments[0] == "capacity"
                             ? "46  cover.bmp\n2  indexed.bmp\n2  overrun.bmp\n46  " + deep + "\n46  -cover.bmp\n"
                             : "");
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
    // The hidden layout of -p takes only pixel samples, and needs more of them than 4 x 4 pixels.
    const RunResult hiddenRoom = command(dir, {"capacity", "-p", "cover.bmp"});
    EXPECT_EQ(hiddenRoom.err, failure("cover.bmp", "no room", "the image is too small to carry a payload"));
    EXPECT_EQ(hiddenRoom.exitStatus, 1);
    // A control character in a name never reaches the terminal or splits a line.
    fs::copy_file(dir / "cover.bmp", dir / "clear\x1b[2J\nscreen.bmp");
    const RunResult controls = command(dir, {"capacity", "clear\x1b[2J\nscreen.bmp", "gone\r.bmp"});
    EXPECT_EQ(controls.out, "46  clear?[2J?screen.bmp\n");
    EXPECT_EQ(controls.err, failure("gone?.bmp", "cannot load image", noSuchFile));
    // So do C1 controls (CSI and OSC in UTF-8 here) and bytes that are no
    // character in the locale's encoding, but never GBK's own characters.
    struct Shown {
        std::string locale, name, shown;
    };
    const Shown names[] = {
        {"C.UTF-8", "csi\xc2\x9b" "2J.bmp", "csi?2J.bmp"}, {"C.UTF-8", "osc\xc2\x9d" "0;x.bmp", "osc?0;x.bmp"},
        {"C.UTF-8", "lone\x9b.bmp", "lone?.bmp"},        {"C.UTF-8", "\xe4\xb8\xad.bmp", "\xe4\xb8\xad.bmp"},
        {"C.UTF-8", "far\xf5\x80\x80\x80.bmp", "far????.bmp"},
        {"C", "csi\xc2\x9b.bmp", "csi?.bmp"},           {"zh_CN.GBK", "\x9b\x40\xc2\x9b.bmp", "\x9b\x40\xc2\x9b.bmp"},
        {"zh_CN.GBK", "cut\x9b.bmp", "cut?.bmp"},       {"zh_CN.GBK", "\xff.bmp", "?.bmp"},
    };
    for (const Shown& n : names) {
        SCOPED_TRACE(n.locale + " " + n.shown);
        testing_support::RunOptions options;
        options.environment = testing_support::localeEnvironment(n.locale);
        if (options.environment.empty()) continue;  // no locales package
        fs::copy_file(dir / "cover.bmp", dir / n.name, fs::copy_options::overwrite_existing);
        options.arguments = {"capacity", n.name};
        EXPECT_EQ(testing_support::runProgram(GLINT_BINARY, "", dir.path(), options).out, "46  " + n.shown + "\n");
    }

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

Bytes fixture(const std::string& name) { return readFile(testPictures() / name); }

// An output that is one of the inputs, by any name or link, is refused
// before anything is read, and so is any existing file as the picture of
// planes, which never replaces one: the file is left as it was. A cover may
// still become its own stego picture, and a stego picture its payload, as
// the menu allows.
TEST(GlintCommandLine, RefusesOutputsThatWouldDestroyAnInput) {
    ScratchDir dir;
    BmpFields fields;
    fields.width = fields.height = 8;
    fields.data = patternBytes(8 * 8 * 3, 9);
    writeFile(dir / "cover.bmp", makeBmp(fields));
    writeFile(dir / "secret.bin", {'s'});
    fs::create_hard_link(dir / "secret.bin", dir / "linked.bin");
    ASSERT_EQ(command(dir, {"-q", "hide", "cover.bmp", "secret.bin", "stego.bmp"}).exitStatus, 0);
    writeFile(dir / "drawn.png", {'d'});
    writeFile(dir / "pass.txt", {'p', 'w', '\n'});
    const std::string isInput = "it is one of the input files, which saving would destroy; choose another name";
    const std::string exists = "the file exists already; remove it or choose a new name";
    struct Case {
        std::vector<std::string> arguments;
        std::string reason;
    };
    const Case cases[] = {
        {{"hide", "cover.bmp", "secret.bin", "secret.bin"}, isInput},
        {{"hide", "cover.bmp", "secret.bin", "./secret.bin"}, isInput},
        {{"hide", "cover.bmp", "secret.bin", "linked.bin"}, isInput},
        {{"hide", "--passphrase-file", "pass.txt", "cover.bmp", "secret.bin", "pass.txt"}, isInput},
        {{"recover", "--passphrase-file", "pass.txt", "stego.bmp", "./pass.txt"}, isInput},
        {{"planes", "stego.bmp", "stego.bmp"}, isInput},
        {{"planes", "cover.bmp", "stego.bmp", "./cover.bmp"}, isInput},
        {{"planes", "cover.bmp", "stego.bmp"}, exists},  // the picture forgotten
        {{"planes", "cover.bmp", "stego.bmp", "drawn.png"}, exists},
    };
    for (const Case& c : cases) {
        const std::string& output = c.arguments.back();
        SCOPED_TRACE(c.arguments[0] + " to " + output);
        const Bytes before = readFile(dir / output);
        const RunResult refused = command(dir, c.arguments);
        EXPECT_EQ(refused.err, failure(output, "cannot save", c.reason));
        EXPECT_EQ(refused.exitStatus, 1);
        EXPECT_EQ(readFile(dir / output), before);
    }
    EXPECT_EQ(command(dir, {"-q", "hide", "cover.bmp", "secret.bin", "cover.bmp"}).exitStatus, 0);
    EXPECT_EQ(command(dir, {"-q", "recover", "cover.bmp", "cover.bmp"}).exitStatus, 0);
    EXPECT_EQ(readFile(dir / "cover.bmp"), Bytes{'s'});
}

// Covers that are not classic BMPs are converted, with a note that says from
// what, to what and what was lost, and give their payload back; BMPs written
// so are recovered by the dialogue too. Outputs in lossy formats are refused
// before anything is read.
TEST(GlintCommandLine, ConvertsCoversAndWritesWhatTheOutputsNameAsks) {
    ScratchDir dir;
    for (const char* name : {"imagemagick-v5-24bit.bmp", "imagemagick-rle8.bmp", "imagemagick-os2.bmp",
                             "netpbm-os2-palette4.bmp", "jpeg-grey.jpg", "jpeg-baseline.jpg", "png-6-16.png"}) {
        writeFile(dir / name, fixture(name));
    }
    writeFile(dir / "one.bin", {'!'});
    const std::string note = "note: converted ";
    struct Case {
        std::string cover, output, notes;
    };
    const Case cases[] = {
        {"imagemagick-v5-24bit.bmp", "out.bmp",
         note + "to a classic 24-bit BMP, so that only pixels carry the payload; the cover has 84 bytes of info "
                "header after the first 40"},
        {"imagemagick-rle8.bmp", "out.bmp",
         note + "to a classic 24-bit BMP, so that only pixels carry the payload; the cover has 8 bits a pixel, a "
                "colour table of 256 entries and compressed pixel data"},
        {"imagemagick-rle8.bmp", "out.PNG", note + "from BMP to PNG, as the output's name asks"},
        // OS/2's 12-byte header: its own bit count, no compression field.
        {"imagemagick-os2.bmp", "out.bmp", note + "to a classic 24-bit BMP, so that only pixels carry the payload"},
        {"netpbm-os2-palette4.bmp", "out.bmp",
         note + "to a classic 24-bit BMP, so that only pixels carry the payload; the cover has 4 bits a pixel and a "
                "colour table of 16 entries"},
        {"jpeg-grey.jpg", "out", note + "from JPEG to a classic 24-bit BMP: a JPEG loses hidden bits whenever it is saved"},
        {"jpeg-baseline.jpg", "out.png", note + "from JPEG to PNG: a JPEG loses hidden bits whenever it is saved"},
        {"png-6-16.png", "out.Bmp",
         note + "from PNG to a classic 24-bit BMP, as the output's name asks\nglint: png-6-16.png: note: 16-bit "
                "samples rounded to 8 bits, as a BMP holds no more; name the output .png to keep them\nglint: "
                "png-6-16.png: note: transparency dropped, as a classic BMP has none; name the output .png to keep it"},
        {"png-6-16.png", "out.png", ""},
        // A name that asks for nothing: glint's choice.
        {"png-6-16.png", "out.dat",
         note + "from PNG to a classic 24-bit BMP, which glint writes for every output not named .png\nglint: "
                "png-6-16.png: note: 16-bit samples rounded to 8 bits, as a BMP holds no more; name the output .png "
                "to keep them\nglint: png-6-16.png: note: transparency dropped, as a classic BMP has none; name the "
                "output .png to keep it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cover + " to " + c.output);
        const RunResult hidden = command(dir, {"-q", "hide", c.cover, "one.bin", c.output});
        EXPECT_EQ(hidden.err, c.notes.empty() ? "" : "glint: " + c.cover + ": " + c.notes + "\n");
        EXPECT_EQ(hidden.exitStatus, 0);
        const Bytes written = readFile(dir / c.output);
        const bool png = c.output.back() == 'G' || c.output.back() == 'g';
        ASSERT_GE(written.size(), 8U);
        EXPECT_EQ(written[1], png ? 'P' : 'M');
        // Recovered by its signature, whatever it is named.
        fs::rename(dir / c.output, dir / "stego.dat");
        EXPECT_EQ(command(dir, {"-q", "recover", "stego.dat", "-"}).out, "!");
        if (!png) {
            EXPECT_EQ(glint("2\nstego.dat\nback.bin\n3\n", dir).err, "");
            EXPECT_EQ(readFile(dir / "back.bin"), Bytes{'!'});
        }
    }
    // Also in a Turkish locale, whose own case folding leaves I as it is.
    std::vector<std::vector<std::string>> locales = {{"LC_ALL=C.UTF-8"}};
    if (const auto turkish = testing_support::localeEnvironment("tr_TR.UTF-8"); !turkish.empty()) locales.push_back(turkish);
    for (const std::vector<std::string>& locale : locales) {
        for (const std::string lossy : {"out.jpg", "out.JPEG", "out.webp", "out.gif", "out.GIF", "out.JFIF", "out.HEIC"}) {
            for (const std::string option : {"-q", "-p"}) {
                SCOPED_TRACE(locale.back() + " " + option + " " + lossy);
                testing_support::RunOptions options;
                options.arguments = {"hide", option, "nosuch.png", "one.bin", lossy};
                options.environment = locale;
                const RunResult refused = testing_support::runProgram(GLINT_BINARY, "", dir.path(), options);
                EXPECT_EQ(refused.err, failure(lossy, "cannot save", "a lossy format would destroy the hidden bits; name it .png or .bmp"));
                EXPECT_EQ(refused.exitStatus, 2);
                options.arguments = {"planes", option, "nosuch.png", lossy};
                EXPECT_EQ(testing_support::runProgram(GLINT_BINARY, "", dir.path(), options).exitStatus, 2);
                EXPECT_FALSE(fs::exists(dir / lossy));
            }
        }
    }
    const RunResult jpeg = command(dir, {"recover", "jpeg-grey.jpg", "back.bin"});
    EXPECT_EQ(jpeg.err, failure("jpeg-grey.jpg", "cannot load image",
                                "a JPEG holds no payload: recover takes the BMP or PNG that hide wrote"));
    EXPECT_EQ(jpeg.exitStatus, 1);
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
    indexed.offBits = 54 + 1024;  // its pixels after the colour table
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
        {{"capacity", "indexed.bmp"}, "glint: indexed.bmp: 提示：以上是输出 BMP 时的容量；输出 PNG 时为 2 字节\n",
         "glint: indexed.bmp: note: that is for a BMP output; a PNG output takes 2 bytes\n"},
    };
    for (const Case& c : cases) {
        chinese.arguments = c.arguments;
        const RunResult inChinese = runProgram(GLINT_BINARY, "", dir.path(), chinese);
        EXPECT_EQ(inChinese.err.substr(0, c.chinese.size()), c.chinese);
        EXPECT_EQ(command(dir, c.arguments).err.substr(0, c.english.size()), c.english);
    }
}

}  // namespace
