// Standard input and output as byte streams: what "-" names on the command
// line.
#pragma once

#include <initializer_list>
#include <istream>
#include <system_error>

#include "files/file_output.h"

namespace glint {

// Standard input, read as bytes (never as text, whose line ends Windows
// would translate). A read error sets badbit.
std::istream& standardInputBytes();

// The platform's part of that: binary mode where there is a text mode.
void useBinaryStandardInput();

// Writes the pieces to standard output as they are, after anything already
// buffered for it. Returns the reason of a failure; an empty code when every
// byte was written.
std::error_code writeStandardOutput(std::initializer_list<ByteRange> pieces);

}  // namespace glint
