// Runs the real cairn binary and compares its output byte for byte: with no
// arguments against the designed line (on a terminal, in its encoding), with
// arguments against GNU coreutils' md5sum run on the same arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "messages.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::runProgram;
using testing_support::ScratchDir;
using testing_support::writeFile;
using testing_support::writeText;

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

// "'abc'的MD5: " and 请按任意键继续. . . in UTF-8, GBK and Big5, which has
// no 请, 键, 继 or 续.
TEST(CairnTerminal, CaptionShowsInTheTerminalsEncoding) {
    const std::string digest = "900150983cd24fb0d6963f7d28e17f72";
    const std::vector<std::string> rows[] = {
        {"C.UTF-8", "'abc'的MD5: ", "请按任意键继续. . ."},
        {"C", "'abc'的MD5: ", "请按任意键继续. . ."},
        {"zh_CN.GBK", "'abc'\xb5\xc4" "MD5: ", cairn::msg::kPressAnyKey},
        {"zh_TW.BIG5", "'abc'\xaa\xba" "MD5: ", "?\xab\xf6\xa5\xf4\xb7\x4e???. . ."},
    };
    for (const std::vector<std::string>& row : rows) {
        SCOPED_TRACE(row[0]);
        const std::vector<std::string> environment = testing_support::localeEnvironment(row[0]);
        if (environment.empty()) GTEST_SKIP() << "localedef cannot build " << row[0] << ": install Debian's locales package";
        ScratchDir dir;
        testing_support::Terminal terminal({CAIRN_BINARY}, dir.path(), environment);
        if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here: needs /dev/ptmx (devpts)";
        ASSERT_TRUE(terminal.waitFor(row[1] + digest)) << terminal.output();
        ASSERT_TRUE(terminal.waitFor(row[2])) << terminal.output();
        terminal.type("x");
        EXPECT_EQ(terminal.finish(), 0);
    }
}

// A digest that never reached its reader is no success.
TEST(CairnProgram, ReportsAStandardOutputThatCannotBeWritten) {
    if (testing_support::underMemoryChecker()) GTEST_SKIP() << "the memory checker would check sh; the plain run covers this test";
    ScratchDir dir;
    fs::create_symlink("/dev/full", dir / "full");
    const std::pair<std::string, std::string> cases[] = {
        {R"("$0" > full)", "cairn: write error\n"},
        {R"("$0" >&-)", "cairn: write error: Bad file descriptor\n"},
    };
    for (const auto& [script, err] : cases) {
        testing_support::RunOptions options;
        options.arguments = {"-c", script, CAIRN_BINARY};
        const RunResult r = testing_support::runProgram("sh", "", dir.path(), options);
        EXPECT_EQ(r.err, err) << script;
        EXPECT_EQ(r.exitStatus, 1) << script;
    }
}

RunResult run(const std::string& program, const std::vector<std::string>& arguments,
              const std::string& input, const ScratchDir& dir,
              const std::vector<std::string>& environment = {"LC_ALL=C.UTF-8"}) {
    RunOptions options;
    options.arguments = arguments;
    options.environment = environment;
    return runProgram(program, input, dir.path(), options);
}

std::string sharedError(std::string err) {
    for (std::size_t at = err.find("md5sum"); at != std::string::npos; at = err.find("md5sum", at)) {
        err.replace(at, 6, "cairn");
    }
    return err;
}

// Names with a space, a backslash, a newline and a carriage return, a
// missing file, a folder and standard input; every output format; and
// check mode over md5sum's own sums with a mismatch, a missing file, an
// improper line, a comment, upper-case digits, a CR LF line and a tagged
// line, under each reporting option. Rows with a script run it with sh, the
// program as $0: failing reads and writes, closed descriptors, limits,
// streams read twice, lines of parallel processes, a reader that waits for
// each verdict.
TEST(CairnSums, MatchesMd5sumByteForByte) {
    if (std::system("md5sum --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs md5sum to compare with (coreutils)";
    ScratchDir dir;
    const std::vector<std::string> names = {"a b", "back\\slash", "new\nline", "car\rret", "plain"};
    for (const std::string& name : names) writeText(dir / name, "contents of " + name);
    fs::create_directory(dir / "folder");
    fs::create_directory(dir / "many");
    for (int i = 0; i < 400; ++i) writeText(dir / "many" / std::to_string(i), std::to_string(i));
    writeText(dir / "big", std::string(std::size_t{3} << 20, 'x'));
    fs::create_symlink("/dev/full", dir / "full");
    const RunResult sums = run("md5sum", names, "", dir);
    ASSERT_EQ(sums.exitStatus, 0);
    const std::string firstLine = sums.out.substr(0, sums.out.find('\n') + 1);  // "<hex>  a b"
    const std::string hex = firstLine.substr(0, 32);
    writeText(dir / "sums", sums.out);
    writeText(dir / "mixed",
              sums.out + "# comment\nnot a sum line\n0CC175B9C0F1B6A831C399E269772661  missing\n"
                         "MD5 (plain) = 00000000000000000000000000000000\r\n");
    writeText(dir / "plain", "changed");
    writeText(dir / "wrong", "00000000000000000000000000000000  a b\n");
    writeText(dir / "improper", firstLine + "not a sum line\n");
    // md5sum reads a name to its first NUL, except in an escaped line.
    writeText(dir / "nul", hex + "  a b\0junk\nMD5 (a b) = "s + hex + "\0x\n\\"s + hex + "  a b\0x\n"s);
    writeText(dir / "latin", hex + "  caf\xe9 \xa0\n");  // missing
    std::string euc;  // a missing name between files
    for (const char* name : {"big", "big", "big", "\xa4\xa2", "big", "big"}) euc += hex + "  " + name + "\n";
    writeText(dir / "euc", euc);
    writeText(dir / "long", hex + "  " + std::string(std::size_t{16} << 20, 'n') + "\n");

    struct Case {
        std::vector<std::string> arguments;
        std::string input;
        std::string script{};  // run by sh instead, with the program as $0
        bool limits{};         // a sanitizer needs more address space or descriptors than it allows
        std::string locale{};  // other than C.UTF-8
    };
    // LeakSanitizer stops a program that strace follows; the other checks stay.
    const std::string strace = "ASAN_OPTIONS=detect_leaks=0 strace ";
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
        {{"-c", "--ignore-missing", "wrong"}, ""},
        {{"-c", "-w", "nul"}, ""},
        {{"{", "}", "a*'", "a'\xff", "x\x01'y"}, ""},
        // Shell specials as later bytes of a character, and characters cut off by the name's end.
        {{"a\x81\\", "a'\x81|", "\x81\x30\x81", "a'\x81\x37"}, "", "", false, "zh_CN.GB18030"},
        // Regular files that hold other than the size they show (0, or a page).
        {{"/proc/sys/kernel/ostype", "/sys/devices/system/cpu/possible", "a b"}, ""},
        {{"--st=1"}, ""},
        {{"--=x"}, ""},
        {{"-cw"}, "d41d8cd98f00b204e9800998ecf8427e  -\n" + sums.out},
        {{}, "", R"(POSIXLY_CORRECT=1 "$0" "a b" -b --tag)"},
        {{}, "", R"("$0" -c < .)"},
        {{}, "", R"("$0" -c - <&-)"},
        {{}, "", strace + R"(-o /dev/null -P "$PWD/sums" -e inject=read:error=EIO:when=2 "$0" -c --quiet < sums)"},
        {{}, "", R"(cat big | "$0" - /dev/stdin big -)"},
        // Files read only once what comes before them is: a file a pipe's
        // writer finishes before the pipe ends, and the file the output
        // goes to, holding the lines before it.
        {{}, "", R"(cat big | tee copy | "$0" - copy; rm copy)"},
        {{}, "", R"("$0" "a b" o many/1 o > o; cat o; echo x > o; "$0" o many/2 o /dev/stdout >> o; cat o; rm o)"},
        {{}, "", R"("$0" many/* - many/* <&-)"},
        {{}, "", R"("$0" /dev/stdin "a b" /dev/fd/1 >&- <&-; "$0" -c /dev/stdin <&-)"},
        // Writes to standard output that end within a line or hold more
        // than a pipe writes in one piece.
        {{}, "", strace + R"(-f -s 5000 -e trace=write -o trace "$0" many/* > /dev/null
           awk '/write\(1, / && !(/\\n", [0-9]+\) = / && $NF + 0 <= 4096) { bad++ } END { print bad + 0 }' trace)"},
        {{}, "", strace + R"(-f -o /dev/null -e inject=clone3:error=EAGAIN -e inject=clone:error=EAGAIN "$0" many/*)"},
        {{}, "", R"(exec 3<&- 4<&- 5<&-; ulimit -n 4; "$0" many/*)", true},
        {{}, "", R"(ulimit -v 300000; "$0" -c long)", true},
        // Character sets read with no descriptor to spare, or with workers holding them.
        {{}, "", R"(exec 3<&- 4<&- 5<&-; ulimit -n 4; "$0" -c latin)", true, "de_DE.ISO-8859-1"},
        {{}, "", "exec 3<&- 4<&- 5<&-; ulimit -n 5; \"$0\" big '\xa4\xa2' big big big", true, "ja_JP.EUC-JP"},
        {{}, "", R"(exec 3<&- 4<&- 5<&-; ulimit -n 6; "$0" -c --status euc)", true, "ja_JP.EUC-JP"},
        {{}, "", R"("$0" --help > full; "$0" --version >&-; "$0" "a b" >&-; "$0" -c --status sums >&-)"},
        {{}, "", R"("$0" "a b" - > full <&-)"},
        {{}, "", R"("$0" -z "a b" > full; "$0" -z "a b" missing > full; "$0" -c improper 2>&-)"},
        {{}, "",
         R"(timeout 20 sh -c 'mkfifo v; exec 3<>v; rm v
           { head -n 1 sums; read -r verdict <&3; echo "$verdict"; } | "$0" -c >&3' "$0")"},
        {{}, "abc",
         R"(mkfifo p; { echo one > p; until grep -q "  p$" out; do sleep 0.05; done; timeout 20 sh -c "echo two > p"; } &
           "$0" many/* - p p - many/* > out; status=$?; wait; cat out; rm p out; exit $status)"},
    };
    // Without strace, sh would say "not found" alike for both programs.
    const bool haveStrace = std::system("strace -V >/dev/null 2>&1") == 0;
    std::set<std::string> missing;
    for (const Case& c : cases) {
        std::string shown = c.script;
        for (const std::string& argument : c.arguments) shown += " [" + argument + "]";
        SCOPED_TRACE(shown);
        if (!c.script.empty() && testing_support::underMemoryChecker()) continue;  // it would check sh
        if (c.limits && (testing_support::underAddressSanitizer() || testing_support::underThreadSanitizer())) continue;
        if (c.script.rfind(strace, 0) == 0 && !haveStrace) {
            missing.insert("strace (Debian's strace)");
            continue;
        }
        const std::vector<std::string> environment =
            testing_support::localeEnvironment(c.locale.empty() ? "C.UTF-8" : c.locale);
        if (environment.empty()) {
            missing.insert("the " + c.locale + " locale (Debian's locales package)");
            continue;
        }
        const auto runCase = [&](const std::string& program) {
            if (c.script.empty()) return run(program, c.arguments, c.input, dir, environment);
            return run("sh", {"-c", c.script, program}, c.input, dir, environment);
        };
        const RunResult expected = runCase("md5sum");
        const RunResult actual = runCase(CAIRN_BINARY);
        EXPECT_EQ(actual.out, expected.out);
        EXPECT_EQ(actual.exitStatus, expected.exitStatus);
        EXPECT_EQ(actual.err, sharedError(expected.err));
    }
    if (!missing.empty()) {
        std::string needed;
        for (const std::string& what : missing) needed += "\n" + what;
        GTEST_SKIP() << "some rows did not run, for want of:" << needed;
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
