// File names as the user gives them, typed, piped or on the command line.
// On POSIX, narrow bytes passed to the file system as they are. On Windows,
// UTF-8 inside the program, which holds every name: the wide command line,
// typed UTF-16 and piped ANSI code page bytes are converted to it as they
// are read (common/windows/wide_names.h), and it becomes UTF-16 again here.
#pragma once

#include <filesystem>
#include <string>

namespace glint {

// The path of the file that `name` means.
std::filesystem::path pathOfName(const char* name);

// Whether `name`, read from a file rather than given by the user, names a
// file inside the folder it is put in and nothing else: not empty, not "."
// or "..", with no separator and no NUL; on Windows also no drive or stream
// colon, no character Windows refuses in names, no dot or space at the end
// (which Windows drops) and no device name (CON, NUL, COM1 ...).
bool namesFileInFolder(const std::string& name);

}  // namespace glint
