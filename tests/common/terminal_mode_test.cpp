// The terminal modes of both programs (the key wait's, and the passphrase
// prompt's without echo) under a shell's job control: stopped or in the
// background, a program leaves the shell's terminal as the shell set it,
// and in the foreground it takes its own mode again.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using testing_support::ScratchDir;
using testing_support::Terminal;
using testing_support::shellQuoted;

// A shell whose terminal belongs to the program it starts in the
// foreground, as a person's does.
Terminal interactiveShell(const ScratchDir& dir) { return Terminal({"dash", "-i"}, dir.path(), {"LC_ALL=C.UTF-8", "PS1=$ "}); }

// A cover of 48 x 48 pixels, as the hidden layout of -p needs.
void writeCoverAndSecret(const ScratchDir& dir) {
    testing_support::BmpFields cover;
    cover.width = cover.height = 48;
    cover.data = testing_support::patternBytes(48 * 48 * 3, 7);
    testing_support::writeFile(dir / "cover.bmp", testing_support::makeBmp(cover));
    testing_support::writeFile(dir / "secret.bin", testing_support::patternBytes(200, 8));
}

// Ctrl+Z once the program has its mode: the shell's terminal is in line
// mode while the program is stopped, and stays so after `bg`, when the
// program stops again at its read; after `fg` the program has its mode back.
void stopThenResume(Terminal& shell) {
    ASSERT_TRUE(shell.waitForKeyMode()) << shell.output();
    shell.type("\x1a");
    ASSERT_TRUE(shell.waitFor("Stopped")) << shell.output();
    EXPECT_TRUE(shell.inLineMode());
    shell.type("bg\rsleep 0.5\r");
    ASSERT_TRUE(shell.waitFor("Stopped (tty input)")) << shell.output();
    EXPECT_TRUE(shell.inLineMode());
    shell.type("fg\r");
    ASSERT_TRUE(shell.waitFor("fg") && shell.waitForKeyMode()) << shell.output();
}

// After `fg` the wait takes one key; the shell never runs what was typed
// after that key.
TEST(JobControl, WaitsStopAndResumeUnderAShell) {
    for (const std::string& start : {shellQuoted(GLINT_BINARY) + "\r3\r", shellQuoted(CAIRN_BINARY) + "\r"}) {
        SCOPED_TRACE(start);
        ScratchDir dir;
        Terminal shell = interactiveShell(dir);
        if (!shell.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here: needs /dev/ptmx (devpts)";
        shell.type(start);
        ASSERT_TRUE(shell.waitFor(". . .")) << shell.output();
        stopThenResume(shell);
        if (HasFatalFailure()) return;
        shell.type("aecho LEAK$((6*7))\r");
        ASSERT_TRUE(shell.waitForKeyMode(false)) << shell.output();
        shell.type("echo status $?\rexit\r");
        EXPECT_EQ(shell.finish(), 0);
        EXPECT_NE(shell.output().find("status 0"), std::string::npos) << shell.output();
        EXPECT_EQ(shell.output().find("LEAK42"), std::string::npos) << shell.output();
    }
}

// The passphrase prompt reads on without echo after `fg`, whether it was
// stopped by Ctrl+Z or started in the background, there with SIGTTOU ignored,
// which would let it change the shell's terminal; the save is done.
TEST(JobControl, PassphrasePromptStopsAndResumesUnderAShell) {
    const std::string hide = shellQuoted(GLINT_BINARY) + " -q hide -p cover.bmp secret.bin out.bmp";
    for (const bool inBackground : {false, true}) {
        SCOPED_TRACE(inBackground ? "started in the background" : "stopped by Ctrl+Z");
        ScratchDir dir;
        writeCoverAndSecret(dir);
        Terminal shell = interactiveShell(dir);
        if (!shell.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here: needs /dev/ptmx (devpts)";
        if (inBackground) {
            shell.type("(trap '' TTOU; exec " + hide + ") &\r");
            ASSERT_TRUE(shell.waitFor("Passphrase: ")) << shell.output();
            shell.type("sleep 0.5\r");
            ASSERT_TRUE(shell.waitFor("Stopped (tty input)")) << shell.output();
            EXPECT_TRUE(shell.inLineMode());
            shell.type("fg\r");
            ASSERT_TRUE(shell.waitFor("fg") && shell.waitForKeyMode()) << shell.output();
        } else {
            shell.type(hide + "\r");
            ASSERT_TRUE(shell.waitFor("Passphrase: ")) << shell.output();
            stopThenResume(shell);
            if (HasFatalFailure()) return;
        }
        shell.type("secret words\r");
        ASSERT_TRUE(shell.waitFor("again: ")) << shell.output();
        shell.type("secret words\recho status $?\rexit\r");
        EXPECT_EQ(shell.finish(), 0);
        EXPECT_NE(shell.output().find("status 0"), std::string::npos) << shell.output();
        EXPECT_EQ(shell.output().find("secret words"), std::string::npos) << shell.output();
        EXPECT_TRUE(std::filesystem::exists(dir / "out.bmp"));
    }
}

// A program that leads its own session (under script -c, or as a terminal
// emulator's child) is an orphaned process group, whose Ctrl+Z the kernel
// drops: the program reads on at once, and must not read on with echo. The
// pause lets the stop's handler run before the mode is looked at.
TEST(JobControl, StopDroppedByTheKernelLeavesTheModeTaken) {
    struct Row {
        std::vector<std::string> command;
        std::string first;  // typed before the prompt
        std::string prompt;
    };
    const Row rows[] = {
        {{GLINT_BINARY}, "3\r", ". . ."},
        {{CAIRN_BINARY}, "", ". . ."},
        {{GLINT_BINARY, "hide", "-p", "cover.bmp", "secret.bin", "out.bmp"}, "", "Passphrase: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command.back());
        ScratchDir dir;
        writeCoverAndSecret(dir);
        Terminal program(row.command, dir.path(), {"LC_ALL=C.UTF-8"});
        if (!program.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here: needs /dev/ptmx (devpts)";
        program.type(row.first);
        ASSERT_TRUE(program.waitFor(row.prompt) && program.waitForKeyMode()) << program.output();
        program.type("\x1a");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(program.waitForKeyMode()) << program.output();
        program.type("secret words\rsecret words\r");
        program.finish();
        EXPECT_EQ(program.output().find("secret words"), std::string::npos) << program.output();
    }
}

}  // namespace
