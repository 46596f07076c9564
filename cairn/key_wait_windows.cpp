#include <cstdlib>

#include "console.h"

namespace cairn {

void waitForKey(const char* command, Console& out) {
    out.flush();
    std::system(command);
}

}  // namespace cairn
