// The press-any-key wait.
#pragma once

#include "common/console.h"

namespace common {

// Whether the program reads on after a wait: keys typed after the one the
// wait takes are then left for its next read, and otherwise dropped, so that
// the shell never runs them.
enum class AfterTheKey { ProgramReadsOn, ProgramEnds };

// `command` is the interpreter's pause command ("pause" or "PAUSE"); on
// Windows it runs through the interpreter, which prints its own line.
// Elsewhere `prompt` (a GBK text) is written to `out` as a line, and one
// whole key is read from the terminal, only when standard input is one.
void waitForKey(const char* command, const char* prompt, AfterTheKey after, Console& out);

}  // namespace common
