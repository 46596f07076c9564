#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <thread>

#include "file_access.h"

namespace cairn::files {

// The C runtime gives a closed standard stream no descriptor at all.
ClosedAtStart guardStandardDescriptors() { return {}; }

void useBinaryStandardStreams() {
    ::_setmode(kStandardInput, _O_BINARY);
    ::_setmode(kStandardOutput, _O_BINARY);
}

unsigned usableProcessors() {
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? count : 1;
}

Facts factsOf(const char* name) {
    struct _stat64 status {};
    if (::_stat64(name, &status) != 0) return {};
    const bool stream = (status.st_mode & _S_IFREG) == 0 && (status.st_mode & _S_IFDIR) == 0;
    return {stream, static_cast<std::uint64_t>(status.st_size)};
}

int openForReading(const char* name, bool sequential) {
    return ::_open(name, _O_RDONLY | _O_BINARY | _O_NOINHERIT | (sequential ? _O_SEQUENTIAL : 0));
}

std::int64_t readSome(int descriptor, unsigned char* buffer, std::size_t size) {
    return ::_read(descriptor, buffer, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
}

void closeFile(int descriptor) { ::_close(descriptor); }

bool readMightWait(int descriptor) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    return ::GetFileType(handle) != FILE_TYPE_DISK;
}

int writeAll(int descriptor, const char* bytes, std::size_t size) {
    while (size > 0) {
        const unsigned piece = static_cast<unsigned>(size < INT_MAX ? size : INT_MAX);
        const int written = ::_write(descriptor, bytes, piece);
        if (written < 0) return errno;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace cairn::files
