// glint's command line, for scripts and people: hide, recover and capacity,
// with an exit status that says what happened.
#pragma once

#include <string>
#include <vector>

#include "command_line/language.h"
#include "common/console.h"

namespace glint {

// Runs the command line given by `arguments` (without the program's own
// name), speaking `language`. Data goes to standard output, and so do the
// help, the version and the lines of capacity; every other text goes to
// `err`. Returns the exit status: 0 when the action fully succeeded, 1 when
// it was refused or failed, 2 for a usage error.
int runCommand(const std::vector<std::string>& arguments, common::Console& out, common::Console& err, Language language);

}  // namespace glint
