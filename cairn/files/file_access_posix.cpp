#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "files/file_access.h"

namespace cairn::files {

namespace {

bool isClosed(int descriptor) { return ::fcntl(descriptor, F_GETFD) == -1 && errno == EBADF; }

// The standard descriptors closed at start stay closed, as md5sum keeps
// them: reading or writing them fails with EBADF without touching the
// number, and "/dev/stdin" names nothing.
bool closedAtStart[3] = {false, false, false};
bool anyClosedAtStart = false;
// While a standard descriptor is closed, a file opened takes its number for
// a moment; opens are then made one at a time, so that no other open (of
// "/dev/stdin", say) finds the file there.
std::mutex lowNumberOpens;

// The regular files standard output and standard error write to, when they do.
struct Identity {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
};
Identity ownOutputs[2];

Identity identityOf(int descriptor) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return {};
    return {true, status.st_dev, status.st_ino};
}

bool isOwnOutput(const struct stat& status) {
    for (const Identity& output : ownOutputs) {
        if (output.known && output.device == status.st_dev && output.inode == status.st_ino) return true;
    }
    return false;
}

bool usesClosedStandardDescriptor(int descriptor) {
    return descriptor >= 0 && descriptor <= kStandardError && closedAtStart[descriptor];
}

// `descriptor` moved above the standard ones; -1 with errno set when no
// number is free there, as md5sum then fails.
int movedAboveStandard(int descriptor) {
    const int moved = ::fcntl(descriptor, F_DUPFD_CLOEXEC, kStandardError + 1);
    const int error = errno;
    ::close(descriptor);
    errno = error;
    return moved;
}

}  // namespace

ClosedAtStart guardStandardDescriptors() {
    for (int descriptor = kStandardInput; descriptor <= kStandardError; ++descriptor) {
        closedAtStart[descriptor] = isClosed(descriptor);
        anyClosedAtStart = anyClosedAtStart || closedAtStart[descriptor];
    }
    ownOutputs[0] = identityOf(kStandardOutput);
    ownOutputs[1] = identityOf(kStandardError);
    return {closedAtStart[kStandardInput], closedAtStart[kStandardOutput]};
}

void useBinaryStandardStreams() {}

unsigned usableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    const int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

namespace {

Facts factsFrom(int lookup, const struct stat& status) {
    if (lookup != 0) return {};
    const bool stream = !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
    return {stream, static_cast<std::uint64_t>(status.st_size), isOwnOutput(status)};
}

// Every descriptor opened here: above the standard ones closed at start.
int opened(int folder, const char* name, int flags) {
    std::unique_lock<std::mutex> oneAtATime(lowNumberOpens, std::defer_lock);
    if (anyClosedAtStart) oneAtATime.lock();
    const int descriptor = ::openat(folder, name, flags | O_CLOEXEC);
    return usesClosedStandardDescriptor(descriptor) ? movedAboveStandard(descriptor) : descriptor;
}

int openedForReading(int folder, const char* name, bool sequential) {
    const int descriptor = opened(folder, name, O_RDONLY);
    if (descriptor >= 0 && sequential) ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    return descriptor;
}

}  // namespace

Facts factsOf(const char* name) {
    struct stat status {};
    return factsFrom(::stat(name, &status), status);
}

int openForReading(const char* name, bool sequential) { return openedForReading(AT_FDCWD, name, sequential); }

// Two lookups fail as one does, but for a name that is too long whole and
// not in parts: such names are left whole.
std::optional<FolderSplit> splitFolder(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    if (slash == std::string_view::npos || slash + 1 == name.size() || name.size() >= PATH_MAX) return std::nullopt;
    return FolderSplit{slash == 0 ? 1 : slash, slash + 1};
}

// O_PATH: as a walk along the path, it needs no right to read the folder.
int openFolder(const char* path) { return opened(AT_FDCWD, path, O_PATH | O_DIRECTORY); }

Facts factsAt(int folder, const char* name) {
    struct stat status {};
    return factsFrom(::fstatat(folder, name, &status, 0), status);
}

int openAt(int folder, const char* name, bool sequential) { return openedForReading(folder, name, sequential); }

std::int64_t readSome(int descriptor, unsigned char* buffer, std::size_t size) {
    if (usesClosedStandardDescriptor(descriptor)) {
        errno = EBADF;
        return -1;
    }
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

void closeFile(int descriptor) { ::close(descriptor); }

bool readMightWait(int descriptor) {
    if (usesClosedStandardDescriptor(descriptor)) return false;
    pollfd ready{descriptor, POLLIN, 0};
    return ::poll(&ready, 1, 0) == 0;
}

int writeAll(int descriptor, const char* bytes, std::size_t size) {
    if (usesClosedStandardDescriptor(descriptor)) return EBADF;
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

bool appendLine(int /*descriptor*/, std::string_view line, LineKind /*kind*/, std::string& lines) {
    lines.append(line);
    return true;
}

}  // namespace cairn::files
