#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>

#include "files/standard_streams.h"

namespace glint {

void useBinaryStandardInput() {}

namespace {

// One write() moves at most this much; Linux caps a call just below 2 GiB.
constexpr std::size_t kLargestPiece = std::size_t{1} << 30;

// A pipe or terminal may take fewer bytes than asked for: the rest follows.
std::error_code writeWhole(const ByteRange& range) {
    for (std::size_t done = 0; done < range.size;) {
        const ssize_t written = ::write(STDOUT_FILENO, range.bytes + done, std::min(range.size - done, kLargestPiece));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return {written < 0 ? errno : EIO, std::generic_category()};
        done += static_cast<std::size_t>(written);
    }
    return {};
}

// Passing the file-size limit (ulimit -f) fails the write like a full disk,
// as it fails a save to a named file, instead of ending the program.
class FileSizeLimitIsAnError {
public:
    FileSizeLimitIsAnError() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &before_);
    }
    ~FileSizeLimitIsAnError() { ::sigaction(SIGXFSZ, &before_, nullptr); }
    FileSizeLimitIsAnError(const FileSizeLimitIsAnError&) = delete;
    FileSizeLimitIsAnError& operator=(const FileSizeLimitIsAnError&) = delete;

private:
    struct sigaction before_ {};
};

}  // namespace

std::error_code writeStandardOutput(std::initializer_list<ByteRange> pieces) {
    const FileSizeLimitIsAnError limit;
    if (!std::cout.flush()) return {EIO, std::generic_category()};
    for (const ByteRange& piece : pieces) {
        if (const std::error_code failed = writeWhole(piece)) return failed;
    }
    return {};
}

}  // namespace glint
