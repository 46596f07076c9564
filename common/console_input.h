// Standard input as the user types it or pipes it in.
#pragma once

#include <istream>

namespace common {

// Standard input. On Windows it is handed on in UTF-8, the encoding of names
// inside the program: a console's typed lines from UTF-16, piped lines from
// the ANSI code page.
std::istream& standardInput();

}  // namespace common
