// The numbered menu that drives one BmpCarrier.
#pragma once

#include <istream>

#include "common/console.h"
#include "common/key_wait.h"

namespace glint {

using KeyWait = void (*)(const char* command, common::AfterTheKey after, common::Console& out);

// The console's wait, with the designed press-any-key line where the system
// has no pause command of its own.
void waitForAnyKey(const char* command, common::AfterTheKey after, common::Console& out);

// Shows the menu and runs the chosen actions until the user quits or input
// ends, then waits for a key. Names and choices are read from `in`; the
// carrier's failures go to `err`. Returns the exit status, always 0.
int runMenu(std::istream& in, common::Console& out, common::Console& err, KeyWait waitForKey);

}  // namespace glint
