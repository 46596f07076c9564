#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
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

// Names are UTF-8 inside the program; one that is not names no file.
Facts factsOf(const char* name) {
    bool valid = true;
    const std::wstring wide = common::wideFromUtf8(name, &valid);
    const std::wstring system = common::fileSystemName(wide);
    if (!valid) return {};
    // The C runtime's stat refuses the \\?\ of a long name, as it refuses
    // wildcards; pipes and devices, which it tells apart, have short names.
    if (system != wide) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(system.c_str(), GetFileExInfoStandard, &data)) return {};
        return {false, (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
    }
    struct _stat64 status {};
    if (::_wstat64(wide.c_str(), &status) != 0) return {};
    const bool stream = (status.st_mode & _S_IFREG) == 0 && (status.st_mode & _S_IFDIR) == 0;
    return {stream, static_cast<std::uint64_t>(status.st_size)};
}

int openForReading(const char* name, bool sequential) {
    bool valid = true;
    const std::wstring system = common::fileSystemName(common::wideFromUtf8(name, &valid));
    if (!valid) {
        errno = ENOENT;
        return -1;
    }
    ::SetLastError(ERROR_SUCCESS);  // the runtime may fail before the system is asked
    const int descriptor =
        ::_wopen(system.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT | (sequential ? _O_SEQUENTIAL : 0));
    if (descriptor >= 0) return descriptor;
    // The system refuses a folder as access denied, and a name that no file
    // can have (a wildcard that matched nothing) as invalid: md5sum's reasons
    // are the folder's and the missing file's.
    if (::GetLastError() == ERROR_INVALID_NAME) {
        errno = ENOENT;
    } else if (errno == EACCES) {
        const DWORD attributes = ::GetFileAttributesW(system.c_str());
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
// TypedConsole), so that a typed list line names its file and a typed text
// has the digest it has on a POSIX terminal. The console's own bytes would
// be in its OEM code page, which no sums file uses. After Ctrl+Z at the
// start of a line, another read waits for more.
class ConsoleInput {
public:
    std::int64_t read(HANDLE console, unsigned char* buffer, std::size_t size) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!typed_) typed_.emplace(console);
        while (taken_ == text_.size()) {
            taken_ = 0;
            const common::TypedConsole::Typed typed = typed_->next(text_);
            if (typed == common::TypedConsole::Typed::End) return 0;
            if (typed == common::TypedConsole::Typed::Error) {
                errno = EIO;
                return -1;
            }
        }
        const std::size_t piece = std::min(size, text_.size() - taken_);
        std::memcpy(buffer, text_.data() + taken_, piece);
        taken_ += piece;
        return static_cast<std::int64_t>(piece);
    }

private:
    std::mutex mutex_;
    std::optional<common::TypedConsole> typed_;
    std::string text_;
    std::size_t taken_ = 0;
};

}  // namespace

// The runtime knows its character devices without asking the system; of
// those only a console answers GetConsoleMode.
std::int64_t readSome(int descriptor, unsigned char* buffer, std::size_t size) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    DWORD mode = 0;
    if (::_isatty(descriptor) && ::GetConsoleMode(handle, &mode)) {
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

bool isConsole(int descriptor) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

// The bytes of a line for anything but a console.
std::string bytesOf(std::string_view line, LineKind kind) {
    bool lossless = true;
    std::string ansi = common::ansiFromWide(common::wideFromUtf8(line), &lossless);
    if (kind == LineKind::Sum && !lossless) return std::string(line);
    return ansi;
}

}  // namespace

int writeLine(int descriptor, std::string_view line, LineKind kind) {
    if (plainAscii(line)) return writeAll(descriptor, line.data(), line.size());
    if (isConsole(descriptor)) {
        const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
        return common::writeToConsole(handle, common::wideFromUtf8(line)) ? 0 : EIO;
    }
    const std::string bytes = bytesOf(line, kind);
    return writeAll(descriptor, bytes.data(), bytes.size());
}

bool appendLine(int descriptor, std::string_view line, LineKind kind, std::string& lines) {
    if (plainAscii(line)) {
        lines.append(line);
        return true;
    }
    if (isConsole(descriptor)) return false;
    lines.append(bytesOf(line, kind));
    return true;
}

}  // namespace cairn::files
