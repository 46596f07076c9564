// File names as the programs hold them, typed, piped, listed or on the
// command line. On POSIX, narrow bytes passed to the file system as they
// are. On Windows, UTF-8, which holds every name: the wide command line,
// typed UTF-16 and piped ANSI code page bytes are converted to it as they
// are read (windows/wide_names.h), and it becomes UTF-16 again here.
#pragma once

#include <filesystem>

namespace common {

// The path of the file that `name` means; on Windows, bytes that are not
// UTF-8 come from no user and give "?", which opens no file.
std::filesystem::path pathOfName(const char* name);

}  // namespace common
