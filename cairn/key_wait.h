// The console's press-any-key wait.
#pragma once

namespace cairn {

// `command` is the interpreter's pause command. On Windows it runs through
// the command interpreter, which prints its own line and waits. Elsewhere
// there is no such command: the line is written to standard output and one
// key is read raw from the terminal, only when standard input is one.
void waitForKey(const char* command);

}  // namespace cairn
