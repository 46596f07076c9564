// cairn's options, read as md5sum's getopt_long reads them.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "command_line/output.h"

namespace cairn {

enum class Mode { Unset, Text, Binary };

struct Options {
    bool check = false;
    bool tag = false;
    bool zero = false;
    bool ignoreMissing = false;
    bool strict = false;
    // At most one of these three: the last one given wins.
    bool quiet = false;
    bool status = false;
    bool warn = false;
    Mode mode = Mode::Unset;
    // The arguments themselves, which live as long as the program: a
    // hundred thousand names are not copied.
    std::vector<std::string_view> files;
};

// Reads the arguments as getopt_long does: options anywhere (with
// POSIXLY_CORRECT set, only before the first file), short ones bundled,
// long ones abbreviated, and "--" ending them. Returns the exit status when
// the run ends here (help, version, a usage error).
std::optional<int> parseArguments(std::span<const char* const> arguments, Options& options, Streams& streams);

}  // namespace cairn
