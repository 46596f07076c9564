// Standard input as the user types it or pipes it in.
#pragma once

#include <istream>

namespace common {

// Standard input. On Windows it is handed on in UTF-8, the encoding of names
// inside the program: a console's typed lines from UTF-16, piped lines from
// the ANSI code page.
std::istream& standardInput();

// Standard input, read as bytes (never as text, whose line ends Windows
// would translate), for a file named "-". A read error sets badbit.
std::istream& standardInputBytes();

// The platform's part of that: binary mode where there is a text mode.
void useBinaryStandardInput();

}  // namespace common
