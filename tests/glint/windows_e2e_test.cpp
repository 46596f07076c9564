// The Windows programs, run as a Windows user runs them: console streams in
// text mode (CR LF line ends) and the key waits through the command
// interpreter, whose own press-any-key line varies between versions and is
// allowed for rather than spelled out.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/windows/wide_names.h"
#include "glint_transcript.h"
#include "test_support.h"
#include "test_pictures.h"

namespace {

namespace msg = glint::msg;
using testing_support::BmpFields;
using testing_support::Bytes;
using testing_support::makeBmp;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::runProgram;
using testing_support::namesIn;
using testing_support::ScratchDir;
using testing_support::writeFile;

// Stands for the interpreter's press-any-key line in an expected transcript.
constexpr char kPause = '\x01';

std::string withoutCarriageReturns(std::string text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        lines += text[i];
    }
    return lines;
}

// Every line end written must be CR LF, and apart from the pause lines the
// text must be exactly the expected one. A pause line is any non-empty text
// without a line break, with or without a line end after it (with no key to
// read, the interpreter goes on without ending its line).
::testing::AssertionResult matchesTranscript(const std::string& raw, const std::string& expected) {
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) {
            return ::testing::AssertionFailure() << "bare LF at byte " << i;
        }
    }
    const std::string actual = withoutCarriageReturns(raw);
    std::vector<std::string> parts(1);
    for (char c : expected) {
        if (c == kPause) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            const std::size_t next = parts[i].empty() ? actual.size() : actual.find(parts[i], at);
            const std::string pause = next == std::string::npos ? "" : actual.substr(at, next - at);
            const std::size_t lineEnd = pause.find('\n');
            if (pause.empty() || (lineEnd != std::string::npos && lineEnd + 1 != pause.size())) {
                return ::testing::AssertionFailure() << "no pause line before part " << i << " in\n" << actual;
            }
            at = next;
        }
        if (actual.compare(at, parts[i].size(), parts[i]) != 0) {
            return ::testing::AssertionFailure() << "part " << i << " differs in\n" << actual;
        }
        at += parts[i].size();
    }
    if (at != actual.size()) return ::testing::AssertionFailure() << "trailing output in\n" << actual;
    return ::testing::AssertionSuccess();
}

using transcript::kMenu;
using transcript::kStart;
using transcript::line;

// Every byte value, the line-end and end-of-file bytes of text mode among them.
Bytes everyByteValue(std::size_t repeat) {
    Bytes bytes;
    for (std::size_t r = 0; r < repeat; ++r) {
        for (unsigned v = 0; v < 256; ++v) bytes.push_back(static_cast<unsigned char>(v));
    }
    return bytes;
}

TEST(WindowsGlint, QuitsThroughTheInterpretersPause) {
    ScratchDir dir;
    const RunResult r = runProgram(GLINT_BINARY, "3\r\n", dir.path());
    EXPECT_TRUE(matchesTranscript(r.out, kStart + kPause));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitStatus, 0);
}

// Binary files stay binary: a payload and a data area holding CR, LF and
// Ctrl-Z come back byte for byte, and the saved image is exactly the input
// with the layout's bits set (and biSizeImage filled in), as on Linux.
TEST(WindowsGlint, HidesAndRecoversEveryByteValue) {
    ScratchDir dir;
    BmpFields fields;
    fields.width = 64;
    fields.height = 48;
    fields.data = everyByteValue(36);
    const Bytes input = makeBmp(fields);
    writeFile(dir / "cover.bmp", input);
    const Bytes payload = everyByteValue(4);
    writeFile(dir / "secret.bin", payload);

    const RunResult r = runProgram(
        GLINT_BINARY, "1\r\ncover.bmp\r\nsecret.bin\r\nstego.bmp\r\n2\r\nstego.bmp\r\nback.bin\r\n3\r\n",
        dir.path());
    EXPECT_TRUE(matchesTranscript(
        r.out, kStart + msg::kAskSourceImage + line(msg::kLoadSucceeded) + msg::kAskPayload +
                   line(msg::kHideSucceeded) + msg::kAskOutputImage + line(msg::kSaveSucceeded) +
                   kMenu + msg::kAskStegoImage + line(msg::kLoadSucceeded) +
                   msg::kAskRecoveredFile + line(msg::kDecodeSucceeded) + kMenu + kPause));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir / "back.bin"), payload);

    Bytes expected = input;
    const std::uint32_t sizeImage = 64 * 48;
    for (std::size_t i = 0; i < 4; ++i) expected[34 + i] = static_cast<unsigned char>(sizeImage >> (8 * i));
    for (std::size_t i = 0; i < 32 + 8 * payload.size(); ++i) {
        const unsigned bit = i < 32 ? (payload.size() >> i) & 1 : (payload[(i - 32) / 8] >> ((i - 32) % 8)) & 1;
        expected[54 + i] = static_cast<unsigned char>((expected[54 + i] & 0xFE) | bit);
    }
    EXPECT_EQ(readFile(dir / "stego.bmp"), expected);
}

TEST(WindowsGlint, RefusalPausesAndFailuresGoToStandardError) {
    ScratchDir dir;
    BmpFields fields;
    fields.data = everyByteValue(1);
    writeFile(dir / "small.bmp", makeBmp(fields));
    writeFile(dir / "big.bin", everyByteValue(1));
    const RunResult refused = runProgram(GLINT_BINARY, "1 small.bmp big.bin\r\n3\r\n", dir.path());
    EXPECT_TRUE(matchesTranscript(refused.out, kStart + msg::kAskSourceImage + line(msg::kLoadSucceeded) +
                                                   msg::kAskPayload + line(msg::kPayloadTooLong) +
                                                   kPause + kMenu + kPause));

    const RunResult failed = runProgram(GLINT_BINARY, "2 missing.bmp out.bin 3\r\n", dir.path());
    EXPECT_EQ(withoutCarriageReturns(failed.err), std::string(msg::kLoadFailed) + line(msg::kDecodeFailed));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.bin"));
}

// On the command line "-" is standard input and output as bytes: the stego
// image written to standard output from a cover read from standard input,
// both full of CR, LF and Ctrl-Z, is the one written to a file.
TEST(WindowsGlint, StandardStreamsCarryBytesUnchanged) {
    ScratchDir dir;
    BmpFields fields;
    fields.data = everyByteValue(36);
    const Bytes cover = makeBmp(fields);
    writeFile(dir / "cover.bmp", cover);
    writeFile(dir / "secret.bin", everyByteValue(4));
    testing_support::RunOptions options;
    options.arguments = {"-q", "hide", "cover.bmp", "secret.bin", "stego.bmp"};
    ASSERT_EQ(runProgram(GLINT_BINARY, "", dir.path(), options).exitStatus, 0);
    options.arguments = {"-q", "hide", "-", "secret.bin", "-"};
    const RunResult piped = runProgram(GLINT_BINARY, testing_support::asString(cover), dir.path(), options);
    EXPECT_EQ(piped.out, testing_support::asString(readFile(dir / "stego.bmp")));
    EXPECT_EQ(piped.exitStatus, 0);
}

// A save writes only where a plain save may, and keeps what a plain save
// keeps: a file with another hard link is written in place, a hidden file
// stays hidden, devices are written directly, and nothing is left beside
// the target.
TEST(WindowsGlint, OutputFilesAreSavedAsAPlainSaveWould) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    const Bytes payload = transcript::writeCoverAndSecret(dir.path());
    testing_support::RunOptions hide;
    hide.arguments = {"hide", "cover.bmp", "secret.bin", "stego.bmp"};
    ASSERT_EQ(runProgram(GLINT_BINARY, "", dir.path(), hide).exitStatus, 0);
    fs::create_directory(dir / "out");
    const auto oldFile = [](const fs::path& file) { writeFile(file, everyByteValue(3)); };
    struct Row {
        std::string name;
        std::function<void(const fs::path&)> setUp;
        int exitStatus;
        std::function<void(const fs::path&)> check;
    };
    const Row rows[] = {
        {"out\\new.bin", nullptr, 0, nullptr},
        {"out\\old.bin", oldFile, 0, nullptr},
        {"out\\linked.bin", [&](const fs::path& file) { oldFile(file); fs::create_hard_link(file, dir / "out" / "other.bin"); },
         0, [&](const fs::path&) { EXPECT_EQ(readFile(dir / "out" / "other.bin"), payload); }},
        {"out\\hidden.bin", [&](const fs::path& file) { oldFile(file); ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN); },
         0, [](const fs::path& file) { EXPECT_NE(::GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0U); }},
        {"out\\folder", [](const fs::path& file) { fs::create_directory(file); }, 1, nullptr},
        {"NUL", nullptr, 0, nullptr},
        {"\\\\.\\NUL", nullptr, 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path file = dir / row.name;
        if (row.setUp) row.setUp(file);
        std::set<std::string> expected = namesIn(dir / "out");
        testing_support::RunOptions recover;
        recover.arguments = {"recover", "stego.bmp", row.name};
        const RunResult r = runProgram(GLINT_BINARY, "", dir.path(), recover);
        EXPECT_EQ(r.exitStatus, row.exitStatus);
        const bool inFolder = row.name.rfind("out", 0) == 0;
        if (inFolder) expected.insert(file.filename().string());
        EXPECT_EQ(namesIn(dir / "out"), expected);
        if (inFolder && row.exitStatus == 0) {
            EXPECT_EQ(readFile(file), payload);
        }
        if (row.check) row.check(file);
    }
}

// Covers of every format through glint.exe, as on Linux: written as PNG and
// as a classic BMP by the output's name, recovered by the command line from
// either, and by the dialogue from the BMP. (Every fixture goes through the
// same code in-process in cover_test.cpp.)
TEST(WindowsGlint, CoversOfEveryFormatComeBackFromBothOutputs) {
    ScratchDir dir;
    const Bytes payload = everyByteValue(1);
    writeFile(dir / "secret.bin", Bytes(payload.begin(), payload.begin() + 6));  // as much as a 13 x 7 grey PNG takes
    for (const char* cover : {"png-6-16.png", "png-3-4-trns-interlaced.png", "png-0-16.png", "jpeg-progressive.jpg",
                              "imagemagick-rle8.bmp", "suite-rgb32-v4.bmp"}) {
        writeFile(dir / cover, readFile(testPictures() / cover));
        for (const char* output : {"stego.png", "stego.bmp"}) {
            SCOPED_TRACE(std::string(cover) + " to " + output);
            testing_support::RunOptions options;
            options.arguments = {"-q", "hide", cover, "secret.bin", output};
            const RunResult hidden = runProgram(GLINT_BINARY, "", dir.path(), options);
            EXPECT_EQ(hidden.exitStatus, 0) << hidden.err;
            options.arguments = {"-q", "recover", output, "-"};
            EXPECT_EQ(runProgram(GLINT_BINARY, "", dir.path(), options).out, testing_support::asString(readFile(dir / "secret.bin")));
            if (std::string(output) == "stego.bmp") {
                std::filesystem::remove(dir / "back.bin");
                runProgram(GLINT_BINARY, "2\r\nstego.bmp\r\nback.bin\r\n3\r\n", dir.path());
                EXPECT_EQ(readFile(dir / "back.bin"), readFile(dir / "secret.bin"));
            }
        }
    }
    testing_support::RunOptions lossy;
    lossy.arguments = {"hide", "png-6-16.png", "secret.bin", "stego.JPG"};
    EXPECT_EQ(runProgram(GLINT_BINARY, "", dir.path(), lossy).exitStatus, 2);
    testing_support::RunOptions planes;
    planes.arguments = {"-q", "planes", "png-6-16.png", "planes.png"};
    EXPECT_EQ(runProgram(GLINT_BINARY, "", dir.path(), planes).exitStatus, 0);
    EXPECT_EQ(readFile(dir / "planes.png").at(1), 'P');
}

// With a passphrase: BMP covers of both orientations and a PNG written to
// both outputs come back byte for byte, under the name stored with them when
// no OUTPUT is named; an image of glint 1.0's layout opens; a wrong
// passphrase writes nothing.
TEST(WindowsGlint, PassphraseHidesRoundTripAndRefuse) {
    ScratchDir dir;
    const Bytes payload = everyByteValue(2);
    writeFile(dir / "secret.bin", payload);
    testing_support::writeText(dir / "pass.txt", "口令 passphrase\r\n");
    testing_support::writeText(dir / "wrong.txt", "口令\r\n");
    for (const std::int32_t height : {64, -64}) {
        BmpFields fields;
        fields.width = 79;
        fields.height = height;
        fields.data = testing_support::patternBytes(240 * 64, 3);
        writeFile(dir / (height > 0 ? "bottom-up.bmp" : "top-down.bmp"), makeBmp(fields));
    }
    const auto run = [&](std::vector<std::string> arguments) {
        testing_support::RunOptions options;
        options.arguments = std::move(arguments);
        return runProgram(GLINT_BINARY, "", dir.path(), options);
    };
    ASSERT_EQ(run({"-q", "hide", "bottom-up.bmp", "secret.bin", "plain.png"}).exitStatus, 0);  // a PNG cover
    for (const char* cover : {"bottom-up.bmp", "top-down.bmp", "plain.png"}) {
        for (const char* output : {"stego.bmp", "stego.png"}) {
            SCOPED_TRACE(std::string(cover) + " to " + output);
            const RunResult hidden = run({"-q", "hide", "--passphrase-file", "pass.txt", cover, "secret.bin", output});
            ASSERT_EQ(hidden.exitStatus, 0) << hidden.err;
            EXPECT_EQ(run({"-q", "recover", "--passphrase-file", "pass.txt", output, "back.bin"}).exitStatus, 0);
            EXPECT_EQ(readFile(dir / "back.bin"), payload);
            std::filesystem::remove_all(dir / "out");
            std::filesystem::create_directory(dir / "out");
            EXPECT_EQ(run({"-q", "recover", "--passphrase-file", "pass.txt", output, "out"}).exitStatus, 0);
            EXPECT_EQ(readFile(dir / "out" / "secret.bin"), payload);
        }
    }
    writeFile(dir / "old.bmp", readFile(testPictures() / "glint-1.0-passphrase.bmp"));
    testing_support::writeText(dir / "old.txt", "glint one point oh\n");
    EXPECT_EQ(run({"-q", "recover", "--passphrase-file", "old.txt", "old.bmp", "-"}).out, "hidden by glint 1.0 -p\n");
    const std::set<std::string> before = namesIn(dir.path());
    const RunResult wrong = run({"recover", "--passphrase-file", "wrong.txt", "stego.png", "refused.bin"});
    EXPECT_EQ(wrong.exitStatus, 1);
    EXPECT_EQ(namesIn(dir.path()), before);
}

// A data area over 2 GiB (a sparse file) loads: a single read of more than
// INT_MAX bytes fails on Windows, so it is read in pieces.
TEST(WindowsLargeImage, DataAreaOver2GiBLoads) {
    ScratchDir dir;
    const std::uint64_t dataSize = (std::uint64_t{1} << 31) + 64;
    BmpFields fields;
    fields.bfSize = static_cast<std::int64_t>(54 + dataSize);
    writeFile(dir / "big.bmp", makeBmp(fields));
    std::filesystem::resize_file(dir / "big.bmp", 54 + dataSize);
    testing_support::RunOptions capacity;
    capacity.arguments = {"capacity", "big.bmp"};
    const RunResult r = runProgram(GLINT_BINARY, "", dir.path(), capacity);
    EXPECT_EQ(r.exitStatus, 0);
    // 32 + 8 x N bytes of the data area carry N bytes.
    EXPECT_EQ(withoutCarriageReturns(r.out), std::to_string((dataSize - 32) / 8) + "  big.bmp\n");
}

TEST(WindowsCairn, PrintsTheCaptionedDigestThenPauses) {
    ScratchDir dir;
    const RunResult r = runProgram(CAIRN_BINARY, "", dir.path());
    // "'abc'的MD5: " in GBK, then the RFC 1321 digest of abc
    EXPECT_TRUE(matchesTranscript(r.out, "'abc'\xB5\xC4MD5: 900150983cd24fb0d6963f7d28e17f72\n" + std::string(1, kPause)));
    EXPECT_EQ(r.exitStatus, 0);
}

// A sums file is the same on both systems: standard input is hashed as
// binary (CR LF and Ctrl-Z included), lines end with LF alone, also on
// standard error, a name with a backslash, as Windows paths have, is
// escaped, and a folder is md5sum's "Is a directory".
TEST(WindowsCairn, SumsAreTheSameAsOnLinux) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "sub");
    writeFile(dir / "sub" / "x.bin", {'x'});
    testing_support::RunOptions options;
    options.arguments = {"-", "sub\\x.bin", "sub"};
    const RunResult r = runProgram(CAIRN_BINARY, "a\r\n\x1a b\n", dir.path(), options);
    // digests from coreutils md5sum
    EXPECT_EQ(r.out, "49958ec00302300bfa9f08e6260d1eb4  -\n"
                     "\\9dd4e461268c8034f5c8564e155c67a6  sub\\\\x.bin\n");
    EXPECT_EQ(r.err, "cairn: sub: Is a directory\n");
    EXPECT_EQ(r.exitStatus, 1);
}

// Both programs carry their manifest: long paths, Windows 10 and 11 among
// the systems they know, and no elevation.
TEST(WindowsPrograms, CarryTheirManifests) {
    for (const char* program : {GLINT_BINARY, CAIRN_BINARY}) {
        SCOPED_TRACE(program);
        const HMODULE module = ::LoadLibraryExW(common::wideFromUtf8(program).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        const HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST);
        ASSERT_NE(found, nullptr);
        const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(module, found))),
                                   ::SizeofResource(module, found));
        for (const char* part : {">true</longPathAware>", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "\"asInvoker\""}) {
            EXPECT_NE(manifest.find(part), std::string::npos) << part;
        }
        ::FreeLibrary(module);
    }
}

// Every character goes from UTF-16 to UTF-8 and back unchanged; what cannot
// (a lone surrogate, bytes that are not UTF-8) is marked, never another name.
TEST(WindowsNames, ConversionsKeepEveryCharacterAndMarkTheRest) {
    struct Row {
        std::wstring wide;
        std::string utf8;
        bool lossless;
    };
    const Row rows[] = {{L"Gr\u00f6\u00dfe", "Gr\xc3\xb6\xc3\x9f" "e", true}, {L"\u8868", "\xe8\xa1\xa8", true},
                        {L"\U0001F600", "\xf0\x9f\x98\x80", true},               {L"a\xd800z", "a?z", false},
                        {L"\xdc00\xd800", "??", false}};
    for (const Row& row : rows) {
        bool lossless = true;
        bool valid = true;
        EXPECT_EQ(common::utf8FromWide(row.wide, &lossless), row.utf8);
        EXPECT_EQ(lossless, row.lossless);
        if (row.lossless) {
            EXPECT_EQ(common::wideFromUtf8(row.utf8, &valid), row.wide);
            EXPECT_TRUE(valid);
        }
    }
    // overlong, a surrogate, beyond U+10FFFF, cut short, a lone trail byte
    for (const char* bytes : {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe8\xa1", "\x80"}) {
        bool valid = true;
        EXPECT_EQ(common::wideFromUtf8(bytes, &valid).find(L'\xfffd'), 0U);
        EXPECT_FALSE(valid);
    }
    // A long name gets \\?\ on its full path, made by the system's rules first.
    const std::wstring system = common::fileSystemName(L"x/../" + std::wstring(300, L'a'));
    EXPECT_EQ(system.rfind(L"\\\\?\\", 0), 0U);
    EXPECT_EQ(system.find(L'/'), std::wstring::npos);
    EXPECT_EQ(system.find(L"\\..\\"), std::wstring::npos);
    EXPECT_EQ(common::fileSystemName(L"x/../short.bmp"), L"x/../short.bmp");
}

}  // namespace
