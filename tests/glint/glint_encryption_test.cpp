// glint hide -p and recover -p, run as a user runs them. The hidden bytes are
// read back with a plain recover and decrypted here with this test's own
// libgcrypt calls, as the README tells another program to.
#include <gtest/gtest.h>

#include <gcrypt.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "glint_transcript.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
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

// README: salt (16) | nonce (12) | ciphertext | tag (16); the key is Argon2id
// (tag length 32, 3 passes, 64 MiB, 4 lanes) of the UTF-8 passphrase and the
// salt; AES-256-GCM without associated data.
std::optional<Bytes> decryptAsTheReadmeSays(const Bytes& hidden, const std::string& passphrase) {
    if (hidden.size() < 44 || gcry_check_version(GCRYPT_VERSION) == nullptr) return std::nullopt;
    const unsigned long parameters[] = {32, 3, 65536, 4};
    unsigned char key[32];
    gcry_kdf_hd_t kdf = nullptr;
    if (gcry_kdf_open(&kdf, GCRY_KDF_ARGON2, GCRY_KDF_ARGON2ID, parameters, 4, passphrase.data(), passphrase.size(),
                      hidden.data(), 16, nullptr, 0, nullptr, 0) != 0) {
        return std::nullopt;
    }
    const bool derived = gcry_kdf_compute(kdf, nullptr) == 0 && gcry_kdf_final(kdf, 32, key) == 0;
    gcry_kdf_close(kdf);
    gcry_cipher_hd_t cipher = nullptr;
    if (!derived || gcry_cipher_open(&cipher, GCRY_CIPHER_AES256, GCRY_CIPHER_MODE_GCM, 0) != 0) return std::nullopt;
    Bytes text(hidden.begin() + 28, hidden.end() - 16);
    const bool opened = gcry_cipher_setkey(cipher, key, 32) == 0 && gcry_cipher_setiv(cipher, hidden.data() + 16, 12) == 0 &&
                        gcry_cipher_decrypt(cipher, text.data(), text.size(), nullptr, 0) == 0 &&
                        gcry_cipher_checktag(cipher, hidden.data() + hidden.size() - 16, 16) == 0;
    gcry_cipher_close(cipher);
    return opened ? std::optional<Bytes>(text) : std::nullopt;
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
// (typed as at the prompt), written as BMP and as PNG. Every hide holds
// exactly the README's layout, and the hides of one payload look nothing
// alike.
TEST(GlintEncryption, EveryWayOfGivingThePassphraseRoundTrips) {
    ScratchDir dir;
    const Bytes payload = transcript::writeCoverAndSecret(dir.path());
    testing_support::BmpFields picture;  // cover.bmp's data area is mostly bytes after its 4 x 4 pixels
    picture.width = picture.height = 48;
    picture.data = testing_support::patternBytes(48 * 48 * 3, 9);
    testing_support::writeFile(dir / "picture.bmp", testing_support::makeBmp(picture));
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
    std::set<std::string> hiddenBytes;
    for (std::size_t i = 0; i < std::size(ways); ++i) {
        SCOPED_TRACE(i);
        // Every other hide is written as a PNG: the same sealed payload in its layout.
        const bool png = i % 2 == 1;
        const std::string stego = "stego" + std::to_string(i) + (png ? ".png" : ".bmp");
        const std::string back = "back" + std::to_string(i);
        ASSERT_EQ(run(ways[i], {"hide", png ? "picture.bmp" : "cover.bmp", "secret.bin", stego}, true), 0);
        ASSERT_EQ(run(ways[(i + 1) % std::size(ways)], {"recover", stego, back}, false), 0);
        EXPECT_EQ(readFile(dir / back), payload);

        ASSERT_EQ(glint({"recover", stego, "hidden.bin"}, dir).exitStatus, 0);
        const Bytes hidden = readFile(dir / "hidden.bin");
        EXPECT_EQ(hidden.size(), payload.size() + 44);
        EXPECT_EQ(decryptAsTheReadmeSays(hidden, kPassphrase), payload);
        hiddenBytes.insert(std::string(hidden.begin(), hidden.begin() + 16));
        hiddenBytes.insert(std::string(hidden.begin() + 16, hidden.end()));
    }
    EXPECT_EQ(hiddenBytes.size(), 2 * std::size(ways));  // no salt, and no nonce with its ciphertext, came twice
}

// A wrong passphrase, a flipped bit of the stego image, and an image with a
// plain payload give the one text and exit 1, and write nothing at all.
TEST(GlintEncryption, RefusesWithoutWritingAnything) {
    ScratchDir dir;
    transcript::writeCoverAndSecret(dir.path());
    writeText(dir / "pass.txt", kPassphrase + "\n");
    writeText(dir / "wrong.txt", kPassphrase + "!\n");
    ASSERT_EQ(glint({"hide", "--passphrase-file", "pass.txt", "cover.bmp", "secret.bin", "stego.bmp"}, dir).exitStatus, 0);
    ASSERT_EQ(glint({"hide", "cover.bmp", "secret.bin", "plain.bmp"}, dir).exitStatus, 0);
    Bytes flipped = readFile(dir / "stego.bmp");
    flipped[54 + 32 + 8 * 100] ^= 1;  // bit 0 of a ciphertext bit
    writeFile(dir / "flipped.bmp", flipped);

    const std::set<std::string> before = namesIn(dir.path());
    const std::vector<std::string> cases[] = {{"wrong.txt", "stego.bmp"}, {"pass.txt", "flipped.bmp"}, {"pass.txt", "plain.bmp"}};
    for (const std::vector<std::string>& c : cases) {
        SCOPED_TRACE(c[0] + " " + c[1]);
        const RunResult r = glint({"recover", "--passphrase-file", c[0], c[1], "out.bin"}, dir);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, kLoaded + "glint: " + c[1] + ": cannot decrypt: wrong passphrase, no encrypted payload, or a changed image\n");
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(namesIn(dir.path()), before);
    }
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
    writeFile(dir / "big.bin", Bytes(4000));
    fs::create_directory(dir / "folder");
    const std::string longest(1024, 'x');
    // The cover's 4000-byte data area takes (4000 - 32) / 8 - 44 encrypted bytes.
    const std::pair<std::string, std::string> cases[] = {
        {"\xEF\xBB\xBF" + longest + "\r\nrest", "glint: big.bin: cannot hide: too long for the image, which takes at most 452 bytes\n"},
        {longest + "x\n", "glint: the passphrase is longer than 1024 bytes\n"},
        {"\r\nrest", "glint: the passphrase is empty\n"},
        {"", "glint: the passphrase is empty\n"},
    };
    for (const auto& [contents, refusal] : cases) {
        writeText(dir / "pass.txt", contents);
        const RunResult r = glint({"hide", "--passphrase-file", "pass.txt", "cover.bmp", "big.bin", "out.bmp"}, dir);
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
    // Standard input by another name is still standard input.
    fs::create_symlink("/dev/stdin", dir / "stdin");
    const RunResult shared = glint({"hide", "--passphrase-file", "stdin", "cover.bmp", "-", "out.bmp"}, dir, "pw\nrest");
    EXPECT_EQ(shared.err.rfind("glint: the passphrase file and an input file cannot both be standard input\n", 0), 0U);
    EXPECT_EQ(shared.exitStatus, 2);
    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
}

}  // namespace
