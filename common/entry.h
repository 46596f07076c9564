// The program behind the platform's entry point (posix/entry_posix.cpp,
// windows/entry_windows.cpp), which each program defines: given its
// arguments as main is, on POSIX the user's bytes, on Windows UTF-8 from the
// wide command line.
#pragma once

int programMain(int argc, char** argv);
