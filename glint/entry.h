// The program behind the platform's entry point (entry_posix.cpp,
// entry_windows.cpp), given its arguments as main is: on POSIX the user's
// bytes; on Windows UTF-8, from the wide command line.
#pragma once

namespace glint {

int programMain(int argc, char** argv);

}  // namespace glint
