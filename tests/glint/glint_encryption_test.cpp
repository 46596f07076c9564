// glint hide -p, recover -p and capacity -p, run as a user runs them: the
// hidden layout over every kind of cover, images of the version 1.0 layout,
// and what must be refused without writing anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "glint_transcript.h"
#include "picture/picture.h"
#include "picture/picture_codecs.h"
#include "test_support.h"
#include "test_pictures.h"

namespace {

namespace fs = std::filesystem;
using Byte = unsigned char;
using testing_support::Bytes;
using testing_support::readFile;
using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::namesIn;
using testing_support::ScratchDir;
using testing_support::Terminal;
using testing_support::writeFile;
using testing_support::writeText;

const std::string kPassphrase = "correct horse 电池";
const std::string kLoaded = "Image loaded.\n";  // UTF-8, as typed on a UTF-8 terminal

// The command line in the C.UTF-8 locale, which speaks English.
RunResult glint(const std::vector<std::string>& arguments, const ScratchDir& dir, const std::string& input = "",
                bool stdinClosed = false) {
    RunOptions options;
    options.arguments = arguments;
    options.stdinClosed = stdinClosed;
    return testing_support::runInUtf8Locale(GLINT_BINARY, input, dir.path(), options);
}

// Runs glint with `arguments` on a pseudo-terminal and types every answer at
// the first prompt, as a paste does: none may be lost or shown. Returns the
// exit status; the terminal must end with echo back on and `shown` on it.
int typedAt(const std::vector<std::string>& arguments, const std::vector<std::string>& answers, const ScratchDir& dir,
            const std::string& shown = "") {
    std::vector<std::string> command = {GLINT_BINARY};
    command.insert(command.end(), arguments.begin(), arguments.end());
    Terminal terminal(command, dir.path(), {"LC_ALL=C.UTF-8"});
    if (!terminal.opened()) return -2;
    if (!terminal.waitFor("Passphrase: ")) return -3;
    for (const std::string& answer : answers) terminal.type(answer + "\r");
    if (answers.size() > 1 && !terminal.waitFor("Passphrase again: ")) return -3;
    if (!shown.empty()) {
        EXPECT_TRUE(terminal.waitFor(shown)) << terminal.output();
    }
    const int status = terminal.finish();
    EXPECT_TRUE(terminal.inLineMode());
    for (const std::string& answer : answers) {
        if (!answer.empty()) {
            EXPECT_EQ(terminal.output().find(answer), std::string::npos) << terminal.output();
        }
    }
    return status;
}

// Each way hides once and recovers what the next way hid: the prompt (asked
// twice on hide), a file, standard input, and standard input at a terminal
// (typed as at the prompt), written as BMP and as PNG. A plain recover finds
// no payload, and no two hides of one payload in one cover look alike.
TEST(GlintEncryption, EveryWayOfGivingThePassphraseRoundTrips) {
    ScratchDir dir;
    const Bytes payload = transcript::writeCoverAndSecret(dir.path());
    transcript::writePhotoCover(dir.path());
    writeText(dir / "pass.txt", kPassphrase + "\r\n");
    struct Way {
        std::vector<std::string> option;
        std::string input;
        bool typed;
    };
    const Way ways[] = {{{"-p"}, "", true},
                        {{"--passphrase-file", "pass.txt"}, "", false},
                        {{"--passphrase-file", "-"}, kPassphrase + "\n", false},
                        {{"--passphrase-file", "-"}, "", true}};
    const auto run = [&](const Way& way, std::vector<std::string> arguments, bool twice) {
        arguments.insert(arguments.begin() + 1, way.option.begin(), way.option.end());
        if (way.typed) {
            return typedAt(arguments, twice ? std::vector{kPassphrase, kPassphrase} : std::vector{kPassphrase}, dir);
        }
        return glint(arguments, dir, way.input).exitStatus;
    };
    std::set<std::string> stegos;
    for (std::size_t i = 0; i < std::size(ways); ++i) {
        SCOPED_TRACE(i);
        const std::string stego = "stego" + std::to_string(i) + (i % 2 == 1 ? ".png" : ".bmp");
        const std::string back = "back" + std::to_string(i);
        ASSERT_EQ(run(ways[i], {"hide", "photo.bmp", "secret.bin", stego}, true), 0);
        ASSERT_EQ(run(ways[(i + 1) % std::size(ways)], {"recover", stego, back}, false), 0);
        EXPECT_EQ(readFile(dir / back), payload);
        const RunResult plain = glint({"recover", stego, "plain.bin"}, dir);
        EXPECT_TRUE(plain.exitStatus == 1 || readFile(dir / "plain.bin") != payload);
        stegos.insert(testing_support::asString(readFile(dir / stego)));
    }
    EXPECT_EQ(stegos.size(), std::size(ways));
}

// Every kind of cover, written as BMP and as PNG, gives back the payload
// byte for byte. capacity -p is the exact room: a payload that much larger
// than its stored name fits, one byte more is refused before anything is
// written. A classic BMP written as BMP changes only pixel samples, each by
// one: its header (biSizeImage 0 included) and row padding stay as they were.
TEST(GlintHidden, EveryCoverKindRoundTripsInTheExactRoom) {
    ScratchDir dir;
    writeText(dir / "pass.txt", "hidden\n");
    struct Cover {
        std::string name;
        bool classic;
        Bytes file;
    };
    std::vector<Cover> covers;
    const auto bmp = [&](const std::string& name, std::uint16_t bits, std::int32_t width, std::int32_t height,
                         Bytes data, bool classic) {
        testing_support::BmpFields fields;
        fields.bitCount = bits;
        fields.width = width;
        fields.height = height;
        if (bits == 8) {  // a grey colour table before the pixels
            fields.clrUsed = 256;
            fields.offBits = 54 + 1024;
            Bytes table;
            for (unsigned v = 0; v < 256; ++v) table.insert(table.end(), {Byte(v), Byte(v), Byte(v), 0});
            data.insert(data.begin(), table.begin(), table.end());
        }
        fields.data = std::move(data);
        covers.push_back({name, classic, testing_support::makeBmp(fields)});
    };
    const auto padded = [](std::size_t width, std::size_t rows, std::size_t pixelBytes, std::uint32_t seed) {
        Bytes data = testing_support::patternBytes(((width * pixelBytes + 3) & ~std::size_t{3}) * rows, seed);
        return data;
    };
    Bytes grey;
    // The hidden layout takes pictures of 1472 pixels and more.
    for (const Byte v : padded(80, 64, 1, 3)) grey.insert(grey.end(), {v, v, v});
    bmp("bottom-up.bmp", 24, 80, 64, padded(80, 64, 3, 1), true);
    bmp("top-down.bmp", 24, 79, -64, padded(79, 64, 3, 2), true);  // 79 pixels: 3 padding bytes a row
    bmp("grey.bmp", 24, 80, 64, grey, true);
    bmp("bits32.bmp", 32, 80, 64, padded(80, 64, 4, 4), false);
    bmp("palette8.bmp", 8, 80, 64, padded(80, 64, 1, 5), false);
    struct PngKind {
        std::uint8_t channels;
        bool alpha;
        std::uint8_t bits;
    };
    for (const PngKind kind : {PngKind{3, false, 8}, PngKind{1, false, 8}, PngKind{3, false, 16}, PngKind{3, true, 8}}) {
        glint::Picture picture;
        picture.width = 80;
        picture.height = 64;
        picture.colourChannels = kind.channels;
        picture.alpha = kind.alpha;
        picture.bitsPerSample = kind.bits;
        ASSERT_TRUE(glint::allocateSamples(picture));
        const Bytes samples = testing_support::patternBytes(picture.byteCount(), kind.channels + kind.bits);
        std::copy(samples.begin(), samples.end(), picture.samples.get());
        const glint::EncodedPicture png = glint::encodePng(picture);
        ASSERT_EQ(png.problem, glint::PictureProblem::None);
        covers.push_back({"png-" + std::to_string(kind.channels) + "-" + std::to_string(kind.bits) +
                              (kind.alpha ? "-alpha" : "") + ".png",
                          false, Bytes(png.bytes.get(), png.bytes.get() + png.size)});
    }
    for (const Cover& cover : covers) {
        writeFile(dir / cover.name, cover.file);
        for (const std::string output : {"out.bmp", "out.png"}) {
            SCOPED_TRACE(cover.name + " to " + output);
            fs::remove(dir / output);
            // The room of the output's kind: capacity gives a BMP's, and notes a PNG's for a converted cover.
            const RunResult capacity = glint({"capacity", "-p", cover.name}, dir);
            ASSERT_EQ(capacity.exitStatus, 0) << capacity.err << cover.name;
            const bool pngRoomNoted = capacity.err.find("a PNG output takes ") != std::string::npos;
            const std::string roomText = output == "out.png" && pngRoomNoted
                                             ? capacity.err.substr(capacity.err.find("takes ") + 6)
                                             : capacity.out;
            const std::size_t room = std::stoul(roomText) - 1;  // the stored name "p" takes a byte
            const Bytes payload = testing_support::patternBytes(room + 1, static_cast<std::uint32_t>(room));
            writeFile(dir / "p", Bytes(payload.begin(), payload.end()));
            const RunResult refused = glint({"hide", "--passphrase-file", "pass.txt", cover.name, "p", output}, dir);
            EXPECT_EQ(refused.exitStatus, 1);
            EXPECT_NE(refused.err.find("takes at most " + std::to_string(room) + " bytes"), std::string::npos) << refused.err;
            EXPECT_FALSE(fs::exists(dir / output));

            writeFile(dir / "p", Bytes(payload.begin(), payload.end() - 1));
            const RunResult hidden = glint({"-q", "hide", "--passphrase-file", "pass.txt", cover.name, "p", output}, dir);
            ASSERT_EQ(hidden.exitStatus, 0) << hidden.err;
            fs::remove(dir / "p");
            const RunResult back = glint({"recover", "--passphrase-file", "pass.txt", output}, dir);
            ASSERT_EQ(back.exitStatus, 0) << back.err;
            EXPECT_EQ(readFile(dir / "p"), Bytes(payload.begin(), payload.end() - 1));
            if (!cover.classic || output != "out.bmp") continue;
            const Bytes stego = readFile(dir / output);
            ASSERT_EQ(stego.size(), cover.file.size());
            std::size_t changed = 0;
            for (std::size_t i = 0; i < stego.size(); ++i) {
                if (stego[i] == cover.file[i]) continue;
                ++changed;
                EXPECT_GE(i, 54U);
                EXPECT_EQ(std::abs(int{stego[i]} - int{cover.file[i]}), 1) << i;
                if (cover.name == "top-down.bmp") {
                    EXPECT_LT((i - 54) % 240, 237U) << "padding byte " << i;
                }
            }
            EXPECT_GT(changed, 0U);
        }
    }
}

// A hide whose changes leave lone pixels (one off a flat patch) says about
// how many, after the picture is written, whether its steps are steered (a
// twentieth of the room) or not (half of it); one in a picture without flat
// patches says nothing of them.
TEST(GlintHidden, NotesTheLonePixelsItLeaves) {
    ScratchDir dir;
    writeText(dir / "pass.txt", "hidden\n");
    struct Case {
        const char* name;
        bool flat;
        std::size_t shareOf;  // the payload is the room divided by this
    };
    for (const Case c : {Case{"noise.bmp", false, 20}, Case{"noise.bmp", false, 2}, Case{"flat.bmp", true, 20},
                         Case{"flat.bmp", true, 2}}) {
        SCOPED_TRACE(std::string(c.name) + " / " + std::to_string(c.shareOf));
        testing_support::BmpFields fields;
        fields.bitCount = 24;
        fields.width = 96;
        fields.height = 96;
        fields.data = c.flat ? Bytes(96 * 96 * 3, 0x80) : testing_support::patternBytes(96 * 96 * 3, 7);
        writeFile(dir / c.name, testing_support::makeBmp(fields));
        const RunResult capacity = glint({"capacity", "-p", c.name}, dir);
        ASSERT_EQ(capacity.exitStatus, 0) << capacity.err;
        writeFile(dir / "p", testing_support::patternBytes(std::stoul(capacity.out) / c.shareOf, 8));
        const RunResult hidden = glint({"-q", "hide", "--passphrase-file", "pass.txt", c.name, "p", "out.bmp"}, dir);
        ASSERT_EQ(hidden.exitStatus, 0) << hidden.err;
        const std::string note = "glint: out.bmp: note: about ";
        const std::size_t at = hidden.err.find(note);
        EXPECT_EQ(at != std::string::npos, c.flat) << hidden.err;
        if (at != std::string::npos) {
            EXPECT_GT(std::stoul(hidden.err.substr(at + note.size())), 0U) << hidden.err;
            EXPECT_NE(hidden.err.find(" changes left lone pixels in flat patches"), std::string::npos) << hidden.err;
        }
        const RunResult back = glint({"recover", "--passphrase-file", "pass.txt", "out.bmp", "back"}, dir);
        EXPECT_EQ(back.exitStatus, 0) << back.err;
        EXPECT_EQ(readFile(dir / "back"), readFile(dir / "p"));
    }
}

// An image hidden by glint 1.0 with -p still opens with its passphrase,
// after the hidden layout has found nothing; it keeps no name to write under.
TEST(GlintHidden, ImagesOfVersion1Open) {
    ScratchDir dir;
    fs::copy_file(testPictures() / "glint-1.0-passphrase.bmp", dir / "old.bmp");
    writeText(dir / "pass.txt", "glint one point oh\n");
    const RunResult r = glint({"recover", "--passphrase-file", "pass.txt", "old.bmp", "-"}, dir);
    EXPECT_EQ(r.out, "hidden by glint 1.0 -p\n");
    EXPECT_EQ(r.exitStatus, 0);
    const RunResult unnamed = glint({"recover", "--passphrase-file", "pass.txt", "old.bmp"}, dir);
    EXPECT_EQ(unnamed.err, kLoaded + "glint: .: cannot save: the image keeps no file name: name an OUTPUT file\n");
    EXPECT_EQ(unnamed.exitStatus, 1);
}

// A wrong passphrase, a change of the stego image undone, a truncated image,
// an image with a plain payload, and a stored name that already names a file
// exit 1 and write nothing at all.
TEST(GlintEncryption, RefusesWithoutWritingAnything) {
    ScratchDir dir;
    transcript::writeCoverAndSecret(dir.path());
    transcript::writePhotoCover(dir.path());
    writeText(dir / "pass.txt", kPassphrase + "\n");
    writeText(dir / "wrong.txt", kPassphrase + "!\n");
    ASSERT_EQ(glint({"hide", "--passphrase-file", "pass.txt", "photo.bmp", "secret.bin", "stego.bmp"}, dir).exitStatus, 0);
    ASSERT_EQ(glint({"hide", "--passphrase-file", "pass.txt", "photo.bmp", "secret.bin", "stego.png"}, dir).exitStatus, 0);
    ASSERT_EQ(glint({"hide", "cover.bmp", "secret.bin", "plain.bmp"}, dir).exitStatus, 0);
    const Bytes photo = readFile(dir / "photo.bmp");
    Bytes stego = readFile(dir / "stego.bmp");
    const std::size_t firstChange =
        std::mismatch(photo.begin(), photo.end(), stego.begin(), stego.end()).first - photo.begin();
    stego[firstChange] = photo[firstChange];  // one carried bit flipped back
    writeFile(dir / "flipped.bmp", stego);
    stego = readFile(dir / "stego.bmp");
    writeFile(dir / "truncated.bmp", Bytes(stego.begin(), stego.end() - 100));
    const Bytes png = readFile(dir / "stego.png");
    writeFile(dir / "truncated.png", Bytes(png.begin(), png.end() - 20));
    fs::create_directory(dir / "taken");
    writeText(dir / "taken" / "secret.bin", "already here");

    const std::string noDecrypt = ": cannot decrypt: wrong passphrase, no encrypted payload, or a changed image\n";
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    const Case cases[] = {
        {{"wrong.txt", "stego.bmp", "out.bin"}, kLoaded + "glint: stego.bmp" + noDecrypt},
        {{"wrong.txt", "stego.png", "out.bin"}, kLoaded + "glint: stego.png" + noDecrypt},
        {{"pass.txt", "flipped.bmp", "out.bin"}, kLoaded + "glint: flipped.bmp" + noDecrypt},
        {{"pass.txt", "plain.bmp", "out.bin"}, kLoaded + "glint: plain.bmp" + noDecrypt},
        {{"pass.txt", "truncated.bmp", "out.bin"}, "glint: truncated.bmp: cannot load image: shorter than its header says\n"},
        {{"pass.txt", "truncated.png", "out.bin"}, ""},
        {{"pass.txt", "stego.bmp", "taken"}, kLoaded + "glint: taken/secret.bin: cannot save: " + std::strerror(EEXIST) + "\n"},
        // An empty OUTPUT is no folder, and a missing folder is missing.
        {{"pass.txt", "stego.bmp", ""}, kLoaded + "glint: : cannot save: " + std::strerror(ENOENT) + "\n"},
        {{"pass.txt", "stego.bmp", "nodir/"}, kLoaded + "glint: nodir/: cannot save: " + std::strerror(ENOENT) + "\n"},
    };
    const std::set<std::string> before = namesIn(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1]);
        std::vector<std::string> arguments = {"recover", "--passphrase-file"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const RunResult r = glint(arguments, dir);
        EXPECT_EQ(r.out, "");
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        }
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(namesIn(dir.path()), before);
    }
    EXPECT_EQ(readFile(dir / "taken" / "secret.bin"), Bytes({'a', 'l', 'r', 'e', 'a', 'd', 'y', ' ', 'h', 'e', 'r', 'e'}));
}

// Two different passphrases, or none, are refused before anything is read.
TEST(GlintEncryption, TypedPassphrasesMustMatchAndNotBeEmpty) {
    ScratchDir dir;
    transcript::writeCoverAndSecret(dir.path());
    const std::set<std::string> before = namesIn(dir.path());
    EXPECT_EQ(typedAt({"hide", "-p", "cover.bmp", "secret.bin", "out.bmp"}, {"alpha", "omega"}, dir, "the two passphrases differ"), 1);
    EXPECT_EQ(typedAt({"hide", "-p", "cover.bmp", "secret.bin", "out.bmp"}, {""}, dir, "the passphrase is empty"), 1);
    EXPECT_EQ(typedAt({"recover", "-p", "cover.bmp", "out.bin"}, {""}, dir, "the passphrase is empty"), 1);
    // Any signal that ends glint at the prompt gives the terminal its echo back.
    for (const int signal : {SIGTERM, SIGXCPU, SIGPROF, SIGABRT, SIGRTMIN + 1}) {
        Terminal terminal({GLINT_BINARY, "recover", "-p", "cover.bmp", "out.bin"}, dir.path(), {"LC_ALL=C.UTF-8"});
        ASSERT_TRUE(terminal.waitFor("Passphrase: ")) << signal;
        ::kill(terminal.processId(), signal);
        EXPECT_EQ(terminal.finish(), -1);
        EXPECT_TRUE(terminal.inLineMode()) << signal;
    }
    EXPECT_EQ(namesIn(dir.path()), before);
}

// The first line of a passphrase file, without its line end and a UTF-8
// byte-order mark, is taken when it holds 1 to 1024 bytes. An accepted
// passphrase shows in the refusal of a payload too long for the image.
TEST(GlintEncryption, PassphraseFilesTakeOneLineOfUpTo1024Bytes) {
    ScratchDir dir;
    transcript::writeCoverAndSecret(dir.path());
    transcript::writePhotoCover(dir.path());
    writeFile(dir / "big.bin", Bytes(4000));
    fs::create_directory(dir / "folder");
    const std::string longest(1024, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"\xEF\xBB\xBF" + longest + "\r\nrest", "glint: big.bin: cannot hide: too long for the image, which takes at most 747 bytes\n"},
        {longest + "x\n", "glint: the passphrase is longer than 1024 bytes\n"},
        {"\r\nrest", "glint: the passphrase is empty\n"},
        {"", "glint: the passphrase is empty\n"},
    };
    for (const auto& [contents, refusal] : cases) {
        writeText(dir / "pass.txt", contents);
        const RunResult r = glint({"hide", "--passphrase-file", "pass.txt", "photo.bmp", "big.bin", "out.bmp"}, dir);
        EXPECT_EQ(r.err, kLoaded + refusal) << contents.size();
        EXPECT_EQ(r.exitStatus, 1);
    }
    // A file without a line end is refused once it is too long: /dev/zero would never end.
    fs::create_symlink("/dev/zero", dir / "zero");
    const std::pair<std::string, std::string> unreadable[] = {
        {"missing.txt", std::string("missing.txt: cannot read passphrase: ") + std::strerror(ENOENT)},
        {"folder", std::string("folder: cannot read passphrase: ") + std::strerror(EISDIR)},
        {"-", std::string("-: cannot read passphrase: ") + std::strerror(EBADF)},  // standard input closed
        {"zero", "the passphrase is longer than 1024 bytes"}};
    for (const auto& [file, refusal] : unreadable) {
        const RunResult r = glint({"recover", "--passphrase-file", file, "cover.bmp", "out.bin"}, dir, "", file == "-");
        EXPECT_EQ(r.err, kLoaded + "glint: " + refusal + "\n");
        EXPECT_EQ(r.exitStatus, 1);
    }
    // Standard input by another name is still standard input, as the
    // passphrase file or as the payload.
    fs::create_symlink("/dev/stdin", dir / "stdin");
    for (const auto& [passphraseFile, payload] : {std::pair{"stdin", "-"}, std::pair{"-", "stdin"}}) {
        const RunResult shared =
            glint({"hide", "--passphrase-file", passphraseFile, "cover.bmp", payload, "out.bmp"}, dir, "pw\nrest");
        EXPECT_EQ(shared.err.rfind("glint: the passphrase file and an input file cannot both be standard input\n", 0),
                  0U) << passphraseFile;
        EXPECT_EQ(shared.exitStatus, 2) << passphraseFile;
        EXPECT_FALSE(fs::exists(dir / "out.bmp")) << passphraseFile;
    }
}

}  // namespace
