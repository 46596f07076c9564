#include "common/file_names.h"

namespace common {

std::filesystem::path pathOfName(const char* name) { return std::filesystem::path(name); }

}  // namespace common
