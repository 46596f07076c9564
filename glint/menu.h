// The numbered menu that drives one BmpCarrier.
#pragma once

#include <istream>
#include <ostream>

namespace glint {

using KeyWait = void (*)(const char* command, std::ostream& out);

// Shows the menu and runs the chosen actions until the user quits or input
// ends, then waits for a key. Names and choices are read from `in`; the
// carrier's failures go to `err`. Returns the exit status, always 0.
int runMenu(std::istream& in, std::ostream& out, std::ostream& err, KeyWait waitForKey);

}  // namespace glint
