#include "common/posix/terminal_mode.h"

#include <unistd.h>

#include <csignal>

namespace common {
namespace {

// The signal handlers change the terminal too, so all of this is only
// touched with every signal held.
int modeTerminal = -1;
TerminalMode::Change modeChange = nullptr;
bool dropBeforeFirstTake = false;
termios settingsBefore;
volatile std::sig_atomic_t modeTaken = 0;

// In the background the terminal belongs to the shell: changing it from
// there stops the program, or, with SIGTTOU held or ignored, changes the
// shell's terminal under it.
bool inBackground() {
    const pid_t foreground = ::tcgetpgrp(modeTerminal);
    return foreground != -1 && foreground != ::getpgrp();
}

// Also on every return to the foreground, from the settings found then;
// async-signal-safe.
void takeMode() {
    if (modeTerminal < 0 || modeTaken != 0 || inBackground()) return;
    if (::tcgetattr(modeTerminal, &settingsBefore) != 0) return;
    termios mode = settingsBefore;
    modeChange(mode);
    if (::tcsetattr(modeTerminal, dropBeforeFirstTake ? TCSAFLUSH : TCSANOW, &mode) != 0) return;
    modeTaken = 1;
    dropBeforeFirstTake = false;
}

void giveModeBack() {
    if (modeTaken == 0 || inBackground()) return;
    ::tcsetattr(modeTerminal, TCSANOW, &settingsBefore);
    modeTaken = 0;
}

constexpr SignalActions kGiveBack{giveModeBack, true, giveModeBack, takeMode};

}  // namespace

TerminalMode::TerminalMode(int terminal, Change change, bool dropTypeAhead) {
    termios settings{};
    if (::tcgetattr(terminal, &settings) != 0) return;
    const SignalsHeld held;
    modeTerminal = terminal;
    modeChange = change;
    dropBeforeFirstTake = dropTypeAhead;
    signals_.emplace(kGiveBack);
    takeMode();
    if (modeTaken != 0 || inBackground()) return;
    signals_.reset();
    modeTerminal = -1;
}

// The takeover ends within the same hold: a stop and continue between the
// two would take the mode again for good.
TerminalMode::~TerminalMode() {
    if (!signals_) return;
    const SignalsHeld held;
    giveModeBack();
    signals_.reset();
    modeTerminal = -1;
    modeTaken = 0;  // left to the shell if it took the terminal meanwhile
}

bool TerminalMode::taken() const { return modeTaken != 0; }

}  // namespace common
