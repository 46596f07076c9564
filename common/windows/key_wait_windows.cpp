#include <cstdlib>

#include "common/key_wait.h"

namespace common {

void waitForKey(const char* command, const char* /*prompt*/, AfterTheKey /*after*/, Console& out) {
    out.flush();
    std::system(command);
}

}  // namespace common
