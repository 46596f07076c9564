#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/windows/wide_console.h"
#include "common/windows/wide_names.h"
#include "files/file_access.h"

namespace cairn::files {

// The C runtime gives a closed standard stream no descriptor at all.
ClosedAtStart guardStandardDescriptors() { return {}; }

void useBinaryStandardStreams() {
    ::_setmode(kStandardInput, _O_BINARY);
    ::_setmode(kStandardOutput, _O_BINARY);
    ::_setmode(kStandardError, _O_BINARY);
}

unsigned usableProcessors() {
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? count : 1;
}

// Names are UTF-8 inside the program; one that is not names no file. The
// runtime's stat gives no file identity to compare with standard output's:
// a list naming the file the output goes to reads it as it is found.
Facts factsOf(const char* name) {
    const std::optional<std::wstring> system = common::systemNameOf(name);
    if (!system) return {};
    // The C runtime's stat refuses the \\?\ form, as it refuses wildcards;
    // pipes and devices, which it tells apart, do not take it.
    if (common::isExtendedLengthPath(*system)) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(system->c_str(), GetFileExInfoStandard, &data)) return {};
        return {false, (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
    }
    struct _stat64 status {};
    if (::_wstat64(system->c_str(), &status) != 0) return {};
    const bool stream = (status.st_mode & _S_IFREG) == 0 && (status.st_mode & _S_IFDIR) == 0;
    return {stream, static_cast<std::uint64_t>(status.st_size)};
}

int openForReading(const char* name, bool sequential) {
    const std::optional<std::wstring> system = common::systemNameOf(name);
    if (!system) {
        errno = ENOENT;
        return -1;
    }
    ::SetLastError(ERROR_SUCCESS);  // the runtime may fail before the system is asked
    const int descriptor =
        ::_wopen(system->c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT | (sequential ? _O_SEQUENTIAL : 0));
    if (descriptor >= 0) return descriptor;
    // The system refuses a folder as access denied, and a name that no file
    // can have (a wildcard that matched nothing) as invalid: md5sum's reasons
    // are the folder's and the missing file's.
    if (::GetLastError() == ERROR_INVALID_NAME) {
        errno = ENOENT;
    } else if (errno == EACCES) {
        const DWORD attributes = ::GetFileAttributesW(system->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) errno = EISDIR;
    }
    return -1;
}

// Every name is opened whole: names reach the system as UTF-16 paths.
std::optional<FolderSplit> splitFolder(std::string_view /*name*/) { return std::nullopt; }

int openFolder(const char* /*path*/) {
    errno = ENOSYS;
    return -1;
}

Facts factsAt(int /*folder*/, const char* /*name*/) { return {}; }

int openAt(int /*folder*/, const char* /*name*/, bool /*sequential*/) {
    errno = ENOSYS;
    return -1;
}

namespace {

// What is typed at the console, as UTF-8 with LF line ends (common's
// TypedBytes), so that a typed list line names its file and a typed text has
// the digest it has on a POSIX terminal. The console's own bytes would be in
// its OEM code page, which no sums file uses. After Ctrl+Z at the start of a
// line, another read waits for more.
class ConsoleInput {
public:
    std::int64_t read(HANDLE console, unsigned char* buffer, std::size_t size) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!typed_) typed_.emplace(console);
        const std::int64_t got = typed_->read(reinterpret_cast<char*>(buffer), size);
        if (got < 0) errno = EIO;
        return got;
    }

private:
    std::mutex mutex_;
    std::optional<common::TypedBytes> typed_;
};

}  // namespace

// The runtime knows its character devices without asking the system; of
// those only a console answers GetConsoleMode.
std::int64_t readSome(int descriptor, unsigned char* buffer, std::size_t size) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    if (::_isatty(descriptor) && common::isConsole(handle)) {
        static ConsoleInput typed;
        return typed.read(handle, buffer, size);
    }
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

namespace {

// Plain ASCII, the most of what cairn writes, is the same in every form.
bool plainAscii(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

HANDLE handleOf(int descriptor) { return reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor)); }

}  // namespace

int writeLine(int descriptor, std::string_view line, LineKind kind) {
    if (plainAscii(line)) return writeAll(descriptor, line.data(), line.size());
    const HANDLE handle = handleOf(descriptor);
    if (common::isConsole(handle)) return common::writeToConsole(handle, common::wideFromUtf8(line)) ? 0 : EIO;
    const std::string bytes = common::bytesForReader(line, kind == LineKind::Sum);
    return writeAll(descriptor, bytes.data(), bytes.size());
}

bool appendLine(int descriptor, std::string_view line, LineKind kind, std::string& lines) {
    if (plainAscii(line)) {
        lines.append(line);
        return true;
    }
    if (common::isConsole(handleOf(descriptor))) return false;
    lines.append(common::bytesForReader(line, kind == LineKind::Sum));
    return true;
}

}  // namespace cairn::files
