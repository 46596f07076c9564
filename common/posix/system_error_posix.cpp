#include <cerrno>
#include <cstring>

#include "common/system_error.h"

namespace common {

std::error_code lastSystemError() { return {errno != 0 ? errno : EIO, std::generic_category()}; }

// strerror speaks the language of LC_MESSAGES in the encoding of LC_CTYPE.
std::string systemReason(const std::error_code& reason) { return std::strerror(reason.value()); }

}  // namespace common
