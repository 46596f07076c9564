#include "files/file_names.h"

namespace glint {

std::filesystem::path pathOfName(const char* name) { return std::filesystem::path(name); }

bool namesFileInFolder(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

}  // namespace glint
