// glint's command line, for scripts: hide, recover and capacity, with an
// exit status that says what happened.
#pragma once

#include <string>
#include <vector>

#include "console.h"

namespace glint {

// Runs the command line given by `arguments` (without the program's own
// name). Returns the exit status: 0 when the action fully succeeded, 1 when
// it was refused or failed, 2 for a usage error.
int runCommand(const std::vector<std::string>& arguments, Console& out, Console& err);

}  // namespace glint
