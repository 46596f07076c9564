// The numbered menu that drives one BmpCarrier.
#pragma once

#include <istream>

#include "console.h"

namespace glint {

using KeyWait = void (*)(const char* command, AfterTheKey after, Console& out);

// Shows the menu and runs the chosen actions until the user quits or input
// ends, then waits for a key. Names and choices are read from `in`; the
// carrier's failures go to `err`. Returns the exit status, always 0.
int runMenu(std::istream& in, Console& out, Console& err, KeyWait waitForKey);

}  // namespace glint
