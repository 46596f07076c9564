// File names as the user gives them, typed, piped or on the command line:
// narrow bytes passed to the file system as they are. On Windows those bytes
// are in the ANSI code page, the encoding of the C runtime's narrow file
// functions and of `argv`.
#pragma once

#include <filesystem>

namespace glint {

// The path of the file that `name` means: the same file that every narrow
// file function reaches with that name.
std::filesystem::path pathOfName(const char* name);

}  // namespace glint
