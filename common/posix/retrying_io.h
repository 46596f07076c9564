// Reads and writes on a descriptor that a signal's handler may interrupt
// (EINTR): retried, so that callers see only real failures.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace common {

// read(), retried while a signal interrupts it.
ssize_t readRetrying(int descriptor, void* buffer, std::size_t size);

// write(), retried while a signal interrupts it.
ssize_t writeRetrying(int descriptor, const void* bytes, std::size_t size);

// Writes all of `size` bytes with as few calls as the system allows: one for
// a line on a pipe, so that lines of processes sharing it never interleave.
// Returns 0, or the system's error number (EIO for a write that moves nothing).
int writeFully(int descriptor, const void* bytes, std::size_t size);

}  // namespace common
