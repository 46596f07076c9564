// Runs the real cairn binary and compares its output byte for byte: with no
// arguments against the designed line, with arguments against GNU
// coreutils' md5sum run on the same arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::runProgram;
using testing_support::ScratchDir;
using testing_support::writeFile;

TEST(CairnProgram, PrintsTheCaptionedDigestOfAbcThenWaits) {
    ScratchDir dir;
    testing_support::RunOptions utf8Locale;
    utf8Locale.environment = {"LC_ALL=C.UTF-8"};  // a pipe gets GBK whatever the locale
    const auto r = testing_support::runProgram(CAIRN_BINARY, "", dir.path(), utf8Locale);
    // "'abc'的MD5: " in GBK, the RFC 1321 digest of abc, then the
    // press-any-key line 请按任意键继续. . .
    EXPECT_EQ(r.out,
              "'abc'\xB5\xC4MD5: 900150983cd24fb0d6963f7d28e17f72\n"
              "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitStatus, 0);
}

void writeText(const fs::path& path, const std::string& text) {
    writeFile(path, testing_support::Bytes(text.begin(), text.end()));
}

RunResult run(const std::string& program, const std::vector<std::string>& arguments,
              const std::string& input, const ScratchDir& dir) {
    RunOptions options;
    options.arguments = arguments;
    options.environment = {"LC_ALL=C.UTF-8"};
    return runProgram(program, input, dir.path(), options);
}

// Names with a space, a backslash, a newline and a carriage return, a
// missing file, a folder and standard input; every output format; and
// check mode over md5sum's own sums with a mismatch, a missing file, an
// improper line, a comment, upper-case digits, a CR LF line and a tagged
// line, under each reporting option.
TEST(CairnSums, MatchesMd5sumByteForByte) {
    if (std::system("md5sum --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "md5sum is not installed";
    ScratchDir dir;
    const std::vector<std::string> names = {"a b", "back\\slash", "new\nline", "car\rret", "plain"};
    for (const std::string& name : names) writeText(dir / name, "contents of " + name);
    fs::create_directory(dir / "folder");
    const RunResult sums = run("md5sum", names, "", dir);
    ASSERT_EQ(sums.exitStatus, 0);
    writeText(dir / "sums", sums.out);
    writeText(dir / "mixed",
              sums.out + "# comment\nnot a sum line\n0CC175B9C0F1B6A831C399E269772661  missing\n"
                         "MD5 (plain) = 00000000000000000000000000000000\r\n");
    writeText(dir / "plain", "changed");

    struct Case {
        std::vector<std::string> arguments;
        std::string input;
    };
    const Case cases[] = {
        {{"a b", "back\\slash", "new\nline", "car\rret", "missing", "folder", "-", "-"}, "abc"},
        {{"--tag", "a b", "back\\slash", "car\rret"}, ""},
        {{"-bz", "a b", "new\nline", "--", "-b"}, ""},
        {{"--check", "sums"}, ""},
        {{"-c", "-w", "mixed", "missing"}, ""},
        {{"-c", "--quiet", "mixed"}, ""},
        {{"-c", "--status", "mixed"}, ""},
        {{"-c", "--ignore-missing", "--strict", "mixed"}, ""},
        {{"-c"}, sums.out},
        {{"-x"}, ""},
        {{"--s"}, ""},
        {{"--tag", "-c", "sums"}, ""},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& argument : c.arguments) shown += " [" + argument + "]";
        SCOPED_TRACE(shown);
        const RunResult expected = run("md5sum", c.arguments, c.input, dir);
        const RunResult actual = run(CAIRN_BINARY, c.arguments, c.input, dir);
        EXPECT_EQ(actual.out, expected.out);
        EXPECT_EQ(actual.exitStatus, expected.exitStatus);
        std::string err = expected.err;
        for (std::size_t at = err.find("md5sum"); at != std::string::npos; at = err.find("md5sum", at)) {
            err.replace(at, 6, "cairn");
        }
        EXPECT_EQ(actual.err, err);
    }
}

// Sizes are 64-bit all the way through. The time goes into hashing 4 GiB
// of zeros (a sparse file, so the disk is not touched).
TEST(CairnLargeFile, HashesAFileBeyondFourGibibytes) {
    ScratchDir dir;
    { std::ofstream(dir / "large"); }
    fs::resize_file(dir / "large", (std::uintmax_t{1} << 32) + 1);
    const RunResult r = run(CAIRN_BINARY, {"large"}, "", dir);
    // 2^32 + 1 zero bytes, digest from coreutils md5sum
    EXPECT_EQ(r.out, "f18c798ff5d450dfe4d3acdc12b621ff  large\n");
    EXPECT_EQ(r.exitStatus, 0);
}

}  // namespace
