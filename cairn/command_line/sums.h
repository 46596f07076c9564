// cairn's command line: MD5 sums of files, and the check of such sums, with
// the output, diagnostics and exit status of GNU coreutils' md5sum.
#pragma once

#include "files/file_access.h"

namespace cairn {

// Runs the command line of `count` `arguments` (without the program's own
// name) and returns the exit status: 0 when every file was read and, when
// checking, every digest matched; 1 otherwise, and for a usage error.
// `closed` tells which standard descriptors were closed at start.
int runSums(int count, const char* const* arguments, const files::ClosedAtStart& closed);

// Says on standard error that memory ran out, allocating nothing, and
// returns the exit status for it.
int reportMemoryExhausted();

}  // namespace cairn
