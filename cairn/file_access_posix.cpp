#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_access.h"

namespace cairn::files {

namespace {

bool isClosed(int descriptor) { return ::fcntl(descriptor, F_GETFD) == -1 && errno == EBADF; }

// /dev/null opened the other way round: reads from a write-only descriptor
// and writes to a read-only one fail with EBADF.
void standIn(int descriptor, int oppositeAccess) {
    const int opened = ::open("/dev/null", oppositeAccess);
    if (opened >= 0 && opened != descriptor) {
        ::dup2(opened, descriptor);
        ::close(opened);
    }
}

}  // namespace

ClosedAtStart guardStandardDescriptors() {
    ClosedAtStart closed;
    // In ascending order, so that each open takes the lowest closed number.
    closed.input = isClosed(kStandardInput);
    if (closed.input) standIn(kStandardInput, O_WRONLY);
    closed.output = isClosed(kStandardOutput);
    if (closed.output) standIn(kStandardOutput, O_RDONLY);
    if (isClosed(kStandardError)) standIn(kStandardError, O_RDONLY);
    return closed;
}

void useBinaryStandardStreams() {}

unsigned usableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    const int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

Facts factsOf(const char* name) {
    struct stat status {};
    if (::stat(name, &status) != 0) return {};
    const bool stream = !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
    return {stream, static_cast<std::uint64_t>(status.st_size)};
}

int openForReading(const char* name, bool sequential) {
    const int descriptor = ::open(name, O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0 && sequential) ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    return descriptor;
}

std::int64_t readSome(int descriptor, unsigned char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

void closeFile(int descriptor) { ::close(descriptor); }

bool readMightWait(int descriptor) {
    pollfd ready{descriptor, POLLIN, 0};
    return ::poll(&ready, 1, 0) == 0;
}

int writeAll(int descriptor, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

int writeLine(int descriptor, std::string_view line, LineKind /*kind*/) {
    return writeAll(descriptor, line.data(), line.size());
}

}  // namespace cairn::files
