// File names as the user gives them, typed, piped or on the command line.
// On POSIX, narrow bytes passed to the file system as they are. On Windows,
// UTF-8 inside the program, which holds every name: the wide command line,
// typed UTF-16 and piped ANSI code page bytes are converted to it as they
// are read (common/windows/wide_names.h), and it becomes UTF-16 again here.
#pragma once

#include <filesystem>

namespace glint {

// The path of the file that `name` means.
std::filesystem::path pathOfName(const char* name);

}  // namespace glint
