#include "files/stored_name.h"

namespace glint {

bool namesFileInFolder(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

}  // namespace glint
