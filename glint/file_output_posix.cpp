#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <string>

#include "file_output.h"

namespace glint {
namespace {

// One write() moves at most this much; Linux caps a call just below 2 GiB.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

bool writeAll(int descriptor, std::initializer_list<ByteRange> pieces) {
    for (const ByteRange& piece : pieces) {
        const unsigned char* at = piece.bytes;
        std::size_t left = piece.size;
        while (left > 0) {
            const ssize_t written = ::write(descriptor, at, std::min(left, kLargestWrite));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return false;
            at += written;
            left -= static_cast<std::size_t>(written);
        }
    }
    return true;
}

// Create or truncate, then write, as a plain save does.
bool writeInPlace(const char* path, std::initializer_list<ByteRange> pieces) {
    const int descriptor = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) return false;
    const bool written = writeAll(descriptor, pieces);
    // Some file systems report a failed write only when the file is closed.
    return ::close(descriptor) == 0 && written;
}

// The signals that end a program from the terminal or the system. While a
// temporary file exists, they remove it before the program ends.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
const char* volatile pendingTemporary = nullptr;
struct sigaction actionsBeforeSave[std::size(kEndingSignals)];

void removeTemporaryThenEnd(int signalNumber) {
    if (pendingTemporary != nullptr) ::unlink(pendingTemporary);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// Holds the ending signals back while the temporary file is created, renamed
// or removed, so that the handler always sees a name that is in step with
// the file system.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t ending;
        ::sigemptyset(&ending);
        for (const int signalNumber : kEndingSignals) ::sigaddset(&ending, signalNumber);
        ::sigprocmask(SIG_BLOCK, &ending, &before_);
    }
    ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t before_;
};

// A file created exclusively beside the target, removed again unless it is
// renamed into the target's place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) : name_(target + ".XXXXXX") {
        const SignalsHeld held;
        descriptor_ = ::mkostemp(name_.data(), O_CLOEXEC);
        if (descriptor_ >= 0) armSignals();
    }
    ~TemporaryFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
        if (!created() || renamed_) return;
        const SignalsHeld held;
        ::unlink(name_.c_str());
        disarmSignals();
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool created() const { return armed_; }

    // The replaced file's owner and group where the process may set them (a
    // refusal is not an error), then its permission bits; a new file gets
    // what a plain create would give it.
    bool takeAttributes(const struct stat* replaced) {
        if (replaced == nullptr) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            return ::fchmod(descriptor_, 0666 & ~mask) == 0;
        }
        [[maybe_unused]] const int owned = ::fchown(descriptor_, replaced->st_uid, replaced->st_gid);
        return ::fchmod(descriptor_, replaced->st_mode & 07777) == 0;
    }

    bool write(std::initializer_list<ByteRange> pieces) {
        const bool written = writeAll(descriptor_, pieces);
        const bool closed = ::close(descriptor_) == 0;
        descriptor_ = -1;
        return written && closed;
    }

    bool renameTo(const std::string& target) {
        const SignalsHeld held;
        renamed_ = ::rename(name_.c_str(), target.c_str()) == 0;
        if (renamed_) disarmSignals();
        return renamed_;
    }

private:
    void armSignals() {
        pendingTemporary = name_.c_str();
        struct sigaction remove {};
        remove.sa_handler = removeTemporaryThenEnd;
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], nullptr, &actionsBeforeSave[i]);
            // A signal the program was told to ignore stays ignored.
            if (actionsBeforeSave[i].sa_handler != SIG_IGN) ::sigaction(kEndingSignals[i], &remove, nullptr);
        }
        armed_ = true;
    }
    void disarmSignals() {
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], &actionsBeforeSave[i], nullptr);
        }
        pendingTemporary = nullptr;
    }

    std::string name_;
    int descriptor_ = -1;
    bool armed_ = false;
    bool renamed_ = false;
};

}  // namespace

namespace {

bool replaceOrWrite(const char* name, std::initializer_list<ByteRange> pieces) {
    std::string target = name;
    struct stat entry {};
    if (::lstat(name, &entry) == 0 && S_ISLNK(entry.st_mode)) {
        char* resolved = ::realpath(name, nullptr);
        // A dangling link is written through, which creates the file it names.
        if (resolved == nullptr) return writeInPlace(name, pieces);
        target = resolved;
        std::free(resolved);
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || existing.st_nlink > 1)) {
        return writeInPlace(target.c_str(), pieces);
    }

    TemporaryFile temporary(target);
    if (!temporary.created()) return writeInPlace(target.c_str(), pieces);
    return temporary.takeAttributes(exists ? &existing : nullptr) && temporary.write(pieces) &&
           temporary.renameTo(target);
}

}  // namespace

std::error_code replaceFileContents(const char* name, std::initializer_list<ByteRange> pieces) {
    errno = 0;
    if (replaceOrWrite(name, pieces)) return {};
    return {errno != 0 ? errno : EIO, std::generic_category()};
}

}  // namespace glint
