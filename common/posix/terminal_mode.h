// A terminal in a mode of the program's own for a while (one key without
// echo for the key wait, a line without echo for a passphrase), given back
// as it was whatever ends or stops the program meanwhile.
#pragma once

#include <termios.h>

#include <optional>

#include "common/signals.h"

namespace common {

// While this lives, `terminal` is in the mode that `change` makes of the
// settings it had. A signal that would end the program gives them back
// first; Ctrl+Z gives them back while the program is stopped, and the mode
// is taken again once it goes on. In the background the terminal belongs to
// the shell and is left alone: the mode is taken when the program comes to
// the foreground. One at a time: it holds the one signal takeover.
class TerminalMode {
public:
    // Runs in the signal handlers too, so it must be async-signal-safe.
    using Change = void (*)(termios& settings);

    // With `dropTypeAhead`, keys typed before the mode is first taken are
    // dropped, as they would have been echoed.
    TerminalMode(int terminal, Change change, bool dropTypeAhead);
    ~TerminalMode();
    TerminalMode(const TerminalMode&) = delete;
    TerminalMode& operator=(const TerminalMode&) = delete;

    // Whether the terminal is in the mode, or will be once the program is in
    // the foreground; false for what is no terminal, or one that refused it.
    bool usable() const { return signals_.has_value(); }
    // Whether the terminal is in the mode now.
    bool taken() const;

private:
    std::optional<SignalTakeover> signals_;
};

}  // namespace common
