// The real programs on a pseudo-terminal, as a person runs them: the texts
// in the terminal's own encoding, and whole keys at the waits. The expected
// UTF-8 texts are this file's own literals; the GBK ones are the programs'.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "glint_transcript.h"
#include "test_support.h"

namespace {

namespace msg = glint::msg;
using testing_support::Bytes;
using testing_support::localeEnvironment;
using testing_support::patternBytes;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::Terminal;
using testing_support::writeFile;
using transcript::kHideAndRecover;
using transcript::Step;

// The C locale (LANG unset) is taken as UTF-8 on a terminal, as most are.
TEST(GlintTerminal, DialogueShowsTextsInTheTerminalsEncoding) {
    for (const char* locale : {"LC_ALL=C.UTF-8", "LC_ALL=C"}) {
        SCOPED_TRACE(locale);
        ScratchDir dir;
        const Bytes payload = transcript::writeCoverAndSecret(dir.path());
        Terminal terminal({GLINT_BINARY}, dir.path(), {locale});
        if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
        for (const Step& step : kHideAndRecover) {
            ASSERT_TRUE(terminal.waitFor(step.utf8)) << step.utf8 << " in\n" << terminal.output();
            if (step.typed) terminal.type(step.typed);
        }
        EXPECT_EQ(terminal.finish(), 0);
        EXPECT_EQ(readFile(dir / "back.bin"), payload);
    }
}

// Keys as each locale's terminal sends them, each typed together with the
// answers that follow it: the wait takes the whole key and leaves the rest
// to the menu. 好 is BA C3 in GBK and A6 6E in Big5; a lead byte of E0 would
// start three bytes in UTF-8; 81 30 81 30 is one of GB18030's four-byte
// characters; ESC [ [ A is the Linux console's F1, ESC O P xterm's, and
// ESC with a key is Alt and that key. Ctrl+C or Ctrl+\ at the last wait
// ends glint with the terminal back in line mode.
TEST(GlintTerminal, KeyWaitsTakeWholeKeys) {
    struct Row {
        const char* locale;
        std::vector<std::string> keys;
        const char* ending;
    };
    const Row rows[] = {
        {"C.UTF-8", {"\x1b[A", "中", "\x1b[1;5P", "\x1b中"}, "\x03"},
        {"C", {"中", "\x1bOP"}, "\x1c"},
        {"zh_CN.GBK", {"\xba\xc3", "\xe0\x40", "\x1b[[A"}, "\x1c"},
        {"zh_CN.GB18030", {"\x81\x30\x81\x30", "\xba\xc3"}, "\x03"},
        {"zh_TW.BIG5", {"\xa6\x6e", "\xe0\x40"}, "\x1c"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.locale);
        const std::vector<std::string> environment = localeEnvironment(row.locale);
        if (environment.empty()) GTEST_SKIP() << "localedef cannot build " << row.locale;
        ScratchDir dir;
        transcript::writeCoverAndSecret(dir.path());
        writeFile(dir / "big.bin", patternBytes(4000, 9));
        Terminal terminal({GLINT_BINARY}, dir.path(), environment);
        if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
        terminal.type("1 cover.bmp big.bin\r");
        for (const std::string& key : row.keys) {
            // the wait after " >>>文件长度过长<<<", then the final one
            ASSERT_TRUE(terminal.waitFor(". . .")) << terminal.output();
            terminal.type(key + (&key == &row.keys.back() ? "3\r" : "1 cover.bmp big.bin\r"));
        }
        ASSERT_TRUE(terminal.waitFor(". . .")) << terminal.output();
        terminal.type(row.ending);
        EXPECT_EQ(terminal.finish(), -1);
        EXPECT_TRUE(terminal.inLineMode());
    }
}

// Ctrl+Z at a wait gives the shell its terminal in line mode; `bg` leaves
// it so while the program stops again at its read, and after `fg` the wait
// takes one key. The shell never runs what was typed after that key.
TEST(JobControl, WaitsStopAndResumeUnderAShell) {
    for (const std::string& start : {std::string(GLINT_BINARY) + "\r3\r", std::string(CAIRN_BINARY) + "\r"}) {
        SCOPED_TRACE(start);
        ScratchDir dir;
        Terminal shell({"dash", "-i"}, dir.path(), {"LC_ALL=C.UTF-8", "PS1=$ "});
        if (!shell.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
        shell.type(start);
        ASSERT_TRUE(shell.waitFor(". . .")) << shell.output();
        ASSERT_TRUE(shell.waitForKeyMode());
        shell.type("\x1a");
        ASSERT_TRUE(shell.waitFor("Stopped")) << shell.output();
        EXPECT_TRUE(shell.inLineMode());
        shell.type("bg\rsleep 0.5\r");
        ASSERT_TRUE(shell.waitFor("Stopped (tty input)")) << shell.output();
        EXPECT_TRUE(shell.inLineMode());
        shell.type("fg\r");
        ASSERT_TRUE(shell.waitFor("fg") && shell.waitForKeyMode()) << shell.output();
        shell.type("aecho LEAK$((6*7))\r");
        ASSERT_TRUE(shell.waitForKeyMode(false)) << shell.output();
        shell.type("echo status $?\rexit\r");
        EXPECT_EQ(shell.finish(), 0);
        EXPECT_NE(shell.output().find("status 0"), std::string::npos) << shell.output();
        EXPECT_EQ(shell.output().find("LEAK42"), std::string::npos) << shell.output();
    }
}

// The passphrase prompt, whose echo is off, under the same shell: stopped,
// it gives the shell its echo back; in the background it leaves the shell's
// terminal alone; after `fg` it reads on without echo, and the save is done.
TEST(JobControl, PassphrasePromptStopsAndResumesUnderAShell) {
    ScratchDir dir;
    transcript::writeCoverAndSecret(dir.path());
    Terminal shell({"dash", "-i"}, dir.path(), {"LC_ALL=C.UTF-8", "PS1=$ "});
    if (!shell.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
    shell.type(std::string(GLINT_BINARY) + " -q hide -p cover.bmp secret.bin out.bmp\r");
    ASSERT_TRUE(shell.waitFor("Passphrase: ")) << shell.output();
    ASSERT_TRUE(shell.waitForKeyMode()) << shell.output();
    shell.type("\x1a");
    ASSERT_TRUE(shell.waitFor("Stopped")) << shell.output();
    EXPECT_TRUE(shell.inLineMode());
    shell.type("bg\rsleep 0.5\r");
    ASSERT_TRUE(shell.waitFor("Stopped")) << shell.output();
    EXPECT_TRUE(shell.inLineMode());
    shell.type("fg\r");
    ASSERT_TRUE(shell.waitFor("fg") && shell.waitForKeyMode()) << shell.output();
    shell.type("secret words\r");
    ASSERT_TRUE(shell.waitFor("again: ")) << shell.output();
    shell.type("secret words\recho status $?\rexit\r");
    EXPECT_EQ(shell.finish(), 0);
    EXPECT_NE(shell.output().find("status 0"), std::string::npos) << shell.output();
    EXPECT_EQ(shell.output().find("secret words"), std::string::npos) << shell.output();
    EXPECT_TRUE(std::filesystem::exists(dir / "out.bmp"));
}

// "'abc'的MD5: " and 请按任意键继续. . . in UTF-8, GBK and Big5, which has
// no 请, 键, 继 or 续.
TEST(CairnTerminal, CaptionShowsInTheTerminalsEncoding) {
    const std::string digest = "900150983cd24fb0d6963f7d28e17f72";
    const std::vector<std::string> rows[] = {
        {"C.UTF-8", "'abc'的MD5: ", "请按任意键继续. . ."},
        {"C", "'abc'的MD5: ", "请按任意键继续. . ."},
        {"zh_CN.GBK", "'abc'\xb5\xc4" "MD5: ", msg::kPressAnyKey},
        {"zh_TW.BIG5", "'abc'\xaa\xba" "MD5: ", "?\xab\xf6\xa5\xf4\xb7\x4e???. . ."},
    };
    for (const std::vector<std::string>& row : rows) {
        SCOPED_TRACE(row[0]);
        const std::vector<std::string> environment = localeEnvironment(row[0]);
        if (environment.empty()) GTEST_SKIP() << "localedef cannot build " << row[0];
        ScratchDir dir;
        Terminal terminal({CAIRN_BINARY}, dir.path(), environment);
        if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
        ASSERT_TRUE(terminal.waitFor(row[1] + digest)) << terminal.output();
        ASSERT_TRUE(terminal.waitFor(row[2])) << terminal.output();
        terminal.type("x");
        EXPECT_EQ(terminal.finish(), 0);
    }
}

}  // namespace
