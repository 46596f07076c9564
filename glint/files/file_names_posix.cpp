#include "files/file_names.h"

namespace glint {

std::filesystem::path pathOfName(const char* name) { return std::filesystem::path(name); }

}  // namespace glint
