// The console's press-any-key wait.
#pragma once

#include <ostream>

namespace glint {

// `command` is the interpreter's pause command ("pause" or "PAUSE"). On
// Windows it runs through the command interpreter, which prints its own line
// and waits. Elsewhere there is no such command: the line is written to `out`
// and one key is read raw from the terminal, only when standard input is one.
void waitForKey(const char* command, std::ostream& out);

}  // namespace glint
