// cairn's command line: MD5 sums of files, and the check of such sums, with
// the output, diagnostics and exit status of GNU coreutils' md5sum.
#pragma once

#include <string>
#include <vector>

#include "console.h"

namespace cairn {

// Runs the command line given by `arguments` (without the program's own
// name) and returns the exit status: 0 when every file was read and, when
// checking, every digest matched; 1 otherwise, and for a usage error.
int runSums(const std::vector<std::string>& arguments, Console& out, Console& err);

}  // namespace cairn
