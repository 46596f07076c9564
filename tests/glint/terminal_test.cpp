// glint on a pseudo-terminal, as a person runs it: the texts in the
// terminal's own encoding, and whole keys at the waits. The expected
// UTF-8 texts are this file's own literals; the GBK ones are the programs'.
#include <gtest/gtest.h>

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
        if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here: needs /dev/ptmx (devpts)";
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
        if (environment.empty()) GTEST_SKIP() << "localedef cannot build " << row.locale << ": install Debian's locales package";
        ScratchDir dir;
        transcript::writeCoverAndSecret(dir.path());
        writeFile(dir / "big.bin", patternBytes(4000, 9));
        Terminal terminal({GLINT_BINARY}, dir.path(), environment);
        if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here: needs /dev/ptmx (devpts)";
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

}  // namespace
