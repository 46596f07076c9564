// The system's reason for a failure, and its own words for it.
#pragma once

#include <string>
#include <system_error>

namespace common {

// The reason of the system call that has just failed.
std::error_code lastSystemError();

// The system's words for `reason`, in the user's language, as narrow text in
// the encoding file names have inside the program.
std::string systemReason(const std::error_code& reason);

}  // namespace common
