#include <cstdlib>

#include "console.h"

namespace glint {

void waitForKey(const char* command, Console& out) {
    out.flush();
    std::system(command);
}

}  // namespace glint
