#include <iostream>

#include "console.h"

namespace glint {

std::istream& standardInput() { return std::cin; }

}  // namespace glint
