#include "common/posix/retrying_io.h"

#include <unistd.h>

#include <cerrno>

namespace common {

ssize_t readRetrying(int descriptor, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

ssize_t writeRetrying(int descriptor, const void* bytes, std::size_t size) {
    for (;;) {
        const ssize_t written = ::write(descriptor, bytes, size);
        if (written >= 0 || errno != EINTR) return written;
    }
}

int writeFully(int descriptor, const void* bytes, std::size_t size) {
    const auto* at = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        const ssize_t written = writeRetrying(descriptor, at, size);
        if (written < 0) return errno;
        if (written == 0) return EIO;
        at += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace common
