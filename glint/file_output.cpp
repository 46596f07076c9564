#include "file_output.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <sys/stat.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#else
#include <unistd.h>

#include <cstdlib>
#endif

namespace glint {
namespace fs = std::filesystem;
namespace {

constexpr std::ios::openmode kInPlace = std::ios::out | std::ios::trunc;
constexpr std::ios::openmode kFreshFile = std::ios::in | std::ios::out;

// `mode` truncates for a target written in place; a fresh temporary file is
// opened without truncation, since truncating makes some file systems
// (ext4) flush the whole file to disk when it is closed.
bool writePieces(const fs::path& path, std::initializer_list<ByteRange> pieces,
                 std::ios::openmode mode) {
    std::ofstream file(path, std::ios::binary | mode);
    for (const ByteRange& piece : pieces) {
        file.write(reinterpret_cast<const char*>(piece.bytes),
                   static_cast<std::streamsize>(piece.size));
    }
    // A full device accepts the writes and fails only when the buffer is
    // flushed, so the close is checked too.
    file.close();
    return !file.fail();
}

#ifdef _WIN32

// Windows has no mkstemp: the process id and a counter make the name, and
// an exclusive create skips any name already taken.
bool createTemporaryBeside(const fs::path& target, fs::path& temporary) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = target;
        candidate += ".tmp" + std::to_string(_getpid()) + "-" + std::to_string(counter++);
        const int fd = ::_wopen(candidate.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                                _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            ::_close(fd);
            temporary = candidate;
            return true;
        }
    }
    return false;
}

#else

mode_t defaultCreationMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// mkstemp creates the file exclusively with mode 0600; it is widened to what
// the replaced file had, or to what a newly created file would get.
bool createTemporaryBeside(const fs::path& target, fs::path& temporary) {
    std::string name = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    struct stat existing {};
    const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777)
                                                                : defaultCreationMode();
    const bool ok = ::fchmod(fd, mode) == 0;
    ::close(fd);
    temporary = name;
    if (!ok) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
    return ok;
}

#endif

}  // namespace

bool replaceFileContents(const char* name, std::initializer_list<ByteRange> pieces) {
    fs::path target = name;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        fs::path resolved = fs::canonical(target, ec);
        // A dangling link is written through, which creates the file it names.
        if (ec) return writePieces(target, pieces, kInPlace);
        target = resolved;
    }
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return writePieces(target, pieces, kInPlace);
    }

    fs::path temporary;
    if (!createTemporaryBeside(target, temporary)) return false;
    if (writePieces(temporary, pieces, kFreshFile)) {
        fs::rename(temporary, target, ec);
        if (!ec) return true;
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return false;
}

}  // namespace glint
