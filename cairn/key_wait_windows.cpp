#include <cstdlib>

#include "console.h"

namespace cairn {

void waitForKey(const char* command, AfterTheKey /*after*/, Console& out) {
    out.flush();
    std::system(command);
}

}  // namespace cairn
