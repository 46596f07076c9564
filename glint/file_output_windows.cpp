#include <fcntl.h>
#include <cerrno>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "file_names.h"
#include "file_output.h"

namespace glint {
namespace fs = std::filesystem;
namespace {

constexpr std::ios::openmode kInPlace = std::ios::out | std::ios::trunc;
constexpr std::ios::openmode kFreshFile = std::ios::in | std::ios::out;

// `mode` truncates for a target written in place; a fresh temporary file is
// opened without truncation.
bool writePieces(const fs::path& path, std::initializer_list<ByteRange> pieces,
                 std::ios::openmode mode) {
    std::ofstream file(path, std::ios::binary | mode);
    for (const ByteRange& piece : pieces) {
        file.write(reinterpret_cast<const char*>(piece.bytes),
                   static_cast<std::streamsize>(piece.size));
    }
    // A full disk accepts the writes and fails only when the buffer is
    // flushed, so the close is checked too.
    file.close();
    return !file.fail();
}

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

}  // namespace

namespace {

bool replaceOrWrite(const char* name, std::initializer_list<ByteRange> pieces) {
    fs::path target = pathOfName(name);
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        fs::path resolved = fs::canonical(target, ec);
        // A dangling link is written through, which creates the file it names.
        if (ec) return writePieces(target, pieces, kInPlace);
        target = resolved;
    }
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && (!fs::is_regular_file(status) || fs::hard_link_count(target, ec) > 1)) {
        return writePieces(target, pieces, kInPlace);
    }

    fs::path temporary;
    if (!createTemporaryBeside(target, temporary)) return writePieces(target, pieces, kInPlace);
    if (writePieces(temporary, pieces, kFreshFile)) {
        fs::rename(temporary, target, ec);
        if (!ec) return true;
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return false;
}

}  // namespace

std::error_code replaceFileContents(const char* name, std::initializer_list<ByteRange> pieces) {
    errno = 0;
    if (replaceOrWrite(name, pieces)) return {};
    return {errno != 0 ? errno : EIO, std::generic_category()};
}

}  // namespace glint
