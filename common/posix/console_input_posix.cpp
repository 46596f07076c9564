#include <iostream>

#include "common/console_input.h"

namespace common {

std::istream& standardInput() { return std::cin; }

void useBinaryStandardInput() {}

}  // namespace common
