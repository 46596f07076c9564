// The real programs on a pseudo-terminal, as a person runs them: the texts
// in the terminal's own encoding, and whole keys at the waits. The expected
// UTF-8 texts are this file's own literals; the GBK ones are the programs'.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glint_transcript.h"
#include "test_support.h"

namespace {

namespace msg = glint::msg;
using testing_support::Bytes;
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

// An arrow key and a Chinese character are one key each: nothing of them
// reaches the next answer, and type-ahead after a key stays for it. Ctrl+C
// at a wait ends the program with the terminal back in line mode.
TEST(GlintTerminal, KeyWaitsTakeWholeKeys) {
    ScratchDir dir;
    transcript::writeCoverAndSecret(dir.path());
    writeFile(dir / "big.bin", patternBytes(4000, 9));
    Terminal terminal({GLINT_BINARY}, dir.path(), {"LC_ALL=C.UTF-8"});
    if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
    terminal.type("1 cover.bmp big.bin\r");
    ASSERT_TRUE(terminal.waitFor(" >>>文件长度过长<<<"));
    ASSERT_TRUE(terminal.waitFor("请按任意键继续. . ."));
    terminal.type("\x1b[A1 cover.bmp big.bin\r");
    ASSERT_TRUE(terminal.waitFor("请按任意键继续. . .")) << terminal.output();
    terminal.type("中3\r");
    ASSERT_TRUE(terminal.waitFor("请按任意键继续. . .")) << terminal.output();
    terminal.type("\x03");
    EXPECT_EQ(terminal.finish(), -1);
    EXPECT_EQ(terminal.output().find("错误输入"), std::string::npos) << terminal.output();
    EXPECT_TRUE(terminal.inLineMode());
}

TEST(CairnTerminal, CaptionShowsInTheTerminalsEncoding) {
    const std::string digest = "900150983cd24fb0d6963f7d28e17f72";
    for (const char* locale : {"LC_ALL=C.UTF-8", "LC_ALL=C"}) {
        SCOPED_TRACE(locale);
        ScratchDir dir;
        Terminal terminal({CAIRN_BINARY}, dir.path(), {locale});
        if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
        // "'abc'的MD5: " and the press-any-key line
        ASSERT_TRUE(terminal.waitFor("'abc'的MD5: " + digest));
        ASSERT_TRUE(terminal.waitFor("请按任意键继续. . ."));
        terminal.type("x");
        EXPECT_EQ(terminal.finish(), 0);
    }
}

}  // namespace
