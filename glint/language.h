// The user's language, for the command line: which of its texts it speaks,
// and the system's own words for why something failed.
#pragma once

#include <string>
#include <system_error>

namespace glint {

enum class Language { English, Chinese };

// Takes the user's locale for the C library, so that the system's reasons
// come in its language, and says which language the command line speaks:
// Chinese when the user's language is (any form of) Chinese.
Language userLanguage();

// The reason of the system call that has just failed.
std::error_code lastSystemError();

// The system's words for `reason`, in the user's language, as narrow text in
// the encoding file names have.
std::string systemReason(const std::error_code& reason);

}  // namespace glint
