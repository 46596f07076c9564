#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "files/file_output.h"
#include "files/file_output_in_place.h"

namespace glint {
namespace {

// One write() moves at most this much; Linux caps a call just below 2 GiB.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

#ifdef O_PATH
constexpr int kFolderOnly = O_PATH;  // no read permission on the folder needed
#else
constexpr int kFolderOnly = O_RDONLY;
#endif

std::error_code lastError() { return {errno, std::generic_category()}; }

// The target's name no longer leads to the file that was opened: it was
// renamed, removed or replaced while the save ran.
std::error_code targetMoved() { return {ESTALE, std::generic_category()}; }

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
    ~Descriptor() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    Descriptor(Descriptor&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            if (descriptor_ >= 0) ::close(descriptor_);
            descriptor_ = std::exchange(other.descriptor_, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;

    int get() const { return descriptor_; }
    bool valid() const { return descriptor_ >= 0; }
    // Some file systems report a failed write only when the file is closed.
    std::error_code close() {
        const int result = ::close(std::exchange(descriptor_, -1));
        return result == 0 ? std::error_code{} : lastError();
    }

private:
    int descriptor_;
};

// Writes the bytes [from, to) of the pieces laid end to end.
std::error_code writeSlice(int descriptor, Pieces pieces, std::uint64_t from, std::uint64_t to) {
    return forEachRun(pieces, from, to, [descriptor](const unsigned char* at, std::size_t left) {
        while (left > 0) {
            const ssize_t written = ::write(descriptor, at, std::min(left, kLargestWrite));
            if (written < 0 && errno == EINTR) continue;
            if (written < 0) return lastError();
            if (written == 0) return std::error_code{EIO, std::generic_category()};
            at += written;
            left -= static_cast<std::size_t>(written);
        }
        return std::error_code{};
    });
}

std::error_code writeAll(int descriptor, Pieces pieces) { return writeSlice(descriptor, pieces, 0, UINT64_MAX); }

// Signals --------------------------------------------------------------------

// Every signal that ends the program by default and can be caught. Faults of
// the program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP,
// SIGSYS) are left alone: nothing it holds can be trusted then.
sigset_t endingSignals() {
    sigset_t ending;
    ::sigemptyset(&ending);
    for (const int number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGPIPE,
                             SIGVTALRM, SIGPROF, SIGXCPU}) {
        ::sigaddset(&ending, number);
    }
    // Not every system has these.
#ifdef SIGPOLL
    ::sigaddset(&ending, SIGPOLL);
#endif
#ifdef SIGPWR
    ::sigaddset(&ending, SIGPWR);
#endif
#ifdef SIGSTKFLT
    ::sigaddset(&ending, SIGSTKFLT);
#endif
#ifdef SIGRTMIN
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) ::sigaddset(&ending, number);
#endif
    return ending;
}

// What a signal that ends the program mid-save removes: the temporary file,
// and a target that this save created (if it is still that file), both in
// the folder `pendingFolder`. The names change only while the ending signals
// are held; the handler reads them once the folder is published.
struct PendingNames {
    char temporary[NAME_MAX + 1];
    char created[NAME_MAX + 1];
    struct stat createdFile;
};
PendingNames pending;
std::atomic<int> pendingFolder{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read by a signal handler");

// Whether `name` in the folder is `file` itself (not a link to it). Both are
// async-signal-safe: the signal handler calls them too.
bool entryIs(int folder, const char* name, const struct stat& file) {
    struct stat entry;
    return ::fstatat(folder, name, &entry, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(entry, file);
}

void removeIfSame(int folder, const char* name, const struct stat& file) {
    if (entryIs(folder, name, file)) ::unlinkat(folder, name, 0);
}

void removePendingThenEnd(int signalNumber) {
    const int folder = pendingFolder.load(std::memory_order_acquire);
    if (folder >= 0) {
        if (pending.temporary[0] != '\0') ::unlinkat(folder, pending.temporary, 0);
        if (pending.created[0] != '\0') removeIfSame(folder, pending.created, pending.createdFile);
    }
    struct sigaction ending {};
    ending.sa_handler = SIG_DFL;
    ::sigaction(signalNumber, &ending, nullptr);
    ::raise(signalNumber);  // delivered as the handler returns
}

// For the length of a save, the ending signals that would end the program
// remove what is pending first, and SIGXFSZ is ignored, so that passing the
// file-size limit is an ordinary write failure. A signal that the program
// ignores or handles itself stays as it was.
class SaveSignals {
public:
    SaveSignals() {
        struct sigaction remove {};
        remove.sa_handler = removePendingThenEnd;
        remove.sa_mask = endingSignals();
        ::sigemptyset(&takenOver_);
        for (int number = 1; number < NSIG; ++number) {
            struct sigaction current {};
            if (::sigismember(&remove.sa_mask, number) == 1 && ::sigaction(number, nullptr, &current) == 0 &&
                current.sa_handler == SIG_DFL && ::sigaction(number, &remove, nullptr) == 0) {
                ::sigaddset(&takenOver_, number);
            }
        }
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &fileSizeBefore_);
    }
    ~SaveSignals() {
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        for (int number = 1; number < NSIG; ++number) {
            if (::sigismember(&takenOver_, number) == 1) ::sigaction(number, &byDefault, nullptr);
        }
        ::sigaction(SIGXFSZ, &fileSizeBefore_, nullptr);
    }
    SaveSignals(const SaveSignals&) = delete;
    SaveSignals& operator=(const SaveSignals&) = delete;

private:
    sigset_t takenOver_;
    struct sigaction fileSizeBefore_ {};
};

// Holds the ending signals back while files and pending names change, and
// for the whole of an in-place write: such a signal ends the program once the
// file is whole again.
class SignalsHeld {
public:
    SignalsHeld() { hold(); }
    ~SignalsHeld() { release(); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

    void hold() {
        if (held_) return;
        const sigset_t ending = endingSignals();
        ::pthread_sigmask(SIG_BLOCK, &ending, &before_);
        held_ = true;
    }
    void release() {
        if (!held_) return;
        ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
        held_ = false;
    }

private:
    sigset_t before_;
    bool held_ = false;
};

// The target ------------------------------------------------------------------

struct Target {
    Descriptor descriptor;
    struct stat file {};
    bool created = false;
};

// Opened as a plain save opens it, so that the kernel's own rules decide
// (permissions, protected_symlinks, protected_regular, a read-only file
// system); never truncated. Called with the ending signals held, except
// while it waits for the reader of a pipe.
std::error_code openTarget(const char* name, Target& target, SignalsHeld& held) {
    struct stat before {};
    // Only tells whether this save creates the file, never where it writes.
    const bool existed = ::stat(name, &before) == 0 || errno != ENOENT;
    constexpr int kPlainSave = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY;
    int descriptor = ::open(name, kPlainSave | O_NONBLOCK, 0666);
    if (descriptor < 0 && errno == ENXIO) {
        held.release();  // a pipe with no reader yet: wait for one, Ctrl+C at hand
        descriptor = ::open(name, kPlainSave, 0666);
        held.hold();
    }
    target.descriptor = Descriptor(descriptor);
    if (descriptor < 0 || ::fstat(descriptor, &target.file) != 0) return lastError();
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) return lastError();
    target.created = !existed && S_ISREG(target.file.st_mode) && target.file.st_size == 0;
    return {};
}

// The folder that holds the opened file, and the file's name in it. The
// descriptor names the file the kernel opened (a link followed); every later
// step works from the folder's descriptor, so that no name is resolved again.
struct Folder {
    Descriptor descriptor;
    std::string name;
};

std::string pathOfDescriptor(int descriptor, const char* fallback) {
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    char path[PATH_MAX];
    const ssize_t length = ::readlink(link.c_str(), path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return fallback;
    return std::string(path, static_cast<std::size_t>(length));
}

std::optional<Folder> folderOf(const Target& target, const char* name) {
    const std::string path = pathOfDescriptor(target.descriptor.get(), name);
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    Folder found{Descriptor(::open(folder.c_str(), kFolderOnly | O_DIRECTORY | O_CLOEXEC)),
                 slash == std::string::npos ? path : path.substr(slash + 1)};
    // The entry must be the opened file itself: not a link, not a file put
    // in its place since it was opened.
    if (!found.descriptor.valid() || found.name.empty() || found.name.size() > NAME_MAX ||
        !entryIs(found.descriptor.get(), found.name.c_str(), target.file)) {
        return std::nullopt;
    }
    return found;
}

// Publishes the folder to the signal handler and withdraws it; the pending
// names change only while the ending signals are held.
class Pending {
public:
    Pending(const std::optional<Folder>& folder, const Target& target) {
        if (!folder) return;
        pending.temporary[0] = '\0';
        pending.created[0] = '\0';
        if (target.created) {
            std::memcpy(pending.created, folder->name.c_str(), folder->name.size() + 1);
            pending.createdFile = target.file;
        }
        pendingFolder.store(folder->descriptor.get(), std::memory_order_release);
    }
    ~Pending() {
        const SignalsHeld held;
        pendingFolder.store(-1, std::memory_order_release);
    }
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;

    static void temporary(const char* name) {
        std::strncpy(pending.temporary, name, NAME_MAX);
        pending.temporary[NAME_MAX] = '\0';
    }
};

// Replacing by rename -----------------------------------------------------------

// A file's extended attributes (an ACL, capabilities, a security label),
// names and values, sorted; nothing when they cannot be read whole.
using Attributes = std::vector<std::pair<std::string, std::string>>;

std::optional<Attributes> extendedAttributes(int descriptor) {
    Attributes attributes;
#ifdef __linux__
    std::string names(static_cast<std::size_t>(std::max<ssize_t>(::flistxattr(descriptor, nullptr, 0), 0)), '\0');
    const ssize_t listed = ::flistxattr(descriptor, names.data(), names.size());
    if (listed < 0) return errno == ENOTSUP ? std::optional<Attributes>(attributes) : std::nullopt;
    names.resize(static_cast<std::size_t>(listed));
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const std::string name = names.c_str() + at;
        std::string value(static_cast<std::size_t>(std::max<ssize_t>(::fgetxattr(descriptor, name.c_str(), nullptr, 0), 0)), '\0');
        const ssize_t read = ::fgetxattr(descriptor, name.c_str(), value.data(), value.size());
        // Changed meanwhile (ERANGE), or gone: not known whole.
        if (read < 0) return std::nullopt;
        value.resize(static_cast<std::size_t>(read));
        attributes.emplace_back(name, std::move(value));
    }
    std::sort(attributes.begin(), attributes.end());
#else
    static_cast<void>(descriptor);
#endif
    return attributes;
}

// A new file made beside the target carries what the target carries, so
// that the rename changes nothing but the contents: the same security label
// (every file has one under SELinux), and no ACL or capability of its own,
// which the new file would lack or a later mode change would rewrite.
bool attributesCarryOver(int target, int temporary) {
    const std::optional<Attributes> wanted = extendedAttributes(target);
    if (!wanted || wanted != extendedAttributes(temporary)) return false;
    return std::none_of(wanted->begin(), wanted->end(), [](const auto& attribute) {
        return attribute.first == "system.posix_acl_access" || attribute.first == "security.capability";
    });
}

// A folder where names may be added but never renamed or removed (chattr
// +a): a temporary could neither take the file's place nor go again.
bool appendOnly(const Folder& folder) {
#ifdef FS_IOC_GETFLAGS
    const Descriptor listing(::openat(folder.descriptor.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int flags = 0;
    return listing.valid() && ::ioctl(listing.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
#else
    return false;
#endif
}

// Only then can the result be the same file in every way a plain write
// keeps it: one name, in a folder that lets the name be replaced. (Its
// extended attributes are compared with the temporary's once that exists.)
bool replaceableByRename(const Target& target, const Folder& folder) {
    return target.file.st_nlink == 1 && !appendOnly(folder);
}

// The mode a plain write leaves: a process without root's rights clears the
// set-user-ID bit, and the set-group-ID bit of a group-executable file.
mode_t modeAfterPlainWrite(mode_t mode) {
    mode &= 07777;
    if (::geteuid() == 0) return mode;
    mode &= ~static_cast<mode_t>(S_ISUID);
    if ((mode & S_IXGRP) != 0) mode &= ~static_cast<mode_t>(S_ISGID);
    return mode;
}

// Six letters no one can guess, so that no one can take the name first.
std::string unguessableLetters() {
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::minstd_rand pick(seed());
    std::string letters;
    for (int i = 0; i < 6; ++i) letters += kLetters[pick() % (sizeof kLetters - 1)];
    return letters;
}

// A file created exclusively beside the target, readable by its creator
// alone until it is complete; removed again unless it is renamed into the
// target's place.
class TemporaryFile {
public:
    explicit TemporaryFile(const Folder& folder) : folder_(folder) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            name_ = folder.name + "." + unguessableLetters();
            const SignalsHeld held;
            descriptor_ = Descriptor(::openat(folder.descriptor.get(), name_.c_str(),
                                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (!descriptor_.valid() && errno == EEXIST) continue;
            if (descriptor_.valid() && ::fstat(descriptor_.get(), &file_) == 0) {
                created_ = true;
                Pending::temporary(name_.c_str());
                return;
            }
            error_ = lastError();
            if (descriptor_.valid()) ::unlinkat(folder.descriptor.get(), name_.c_str(), 0);
            return;
        }
        error_ = {EEXIST, std::generic_category()};
    }
    ~TemporaryFile() {
        if (!created_ || renamed_) return;
        const SignalsHeld held;
        removeIfSame(folder_.descriptor.get(), name_.c_str(), file_);
        Pending::temporary("");
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool created() const { return created_; }
    std::error_code error() const { return error_; }
    const struct stat& file() const { return file_; }
    int descriptor() const { return descriptor_.get(); }
    std::error_code close() { return descriptor_.close(); }

    // Renamed over the target only if its name still leads to the opened
    // file, and its own to this file; called with the ending signals held.
    std::error_code renameOver(const Target& target) {
        const int folder = folder_.descriptor.get();
        if (!entryIs(folder, folder_.name.c_str(), target.file) || !entryIs(folder, name_.c_str(), file_)) {
            return targetMoved();
        }
        if (::renameat(folder, name_.c_str(), folder, folder_.name.c_str()) != 0) return lastError();
        renamed_ = true;
        Pending::temporary("");
        return {};
    }

private:
    const Folder& folder_;
    std::string name_;
    Descriptor descriptor_;
    std::error_code error_;
    struct stat file_ {};
    bool created_ = false;
    bool renamed_ = false;
};

// Where no temporary file can be made because the folder may not be written
// or the name is too long, the target is written in place; a full disk, a
// used-up quota or a failing device fail the save.
bool writeInPlaceInstead(const std::error_code& temporaryFailed) {
    const int number = temporaryFailed.value();
    return number == EACCES || number == EPERM || number == ENAMETOOLONG;
}

// Nothing means: write in place instead. Called with the ending signals held.
std::optional<std::error_code> replaceByRename(const Target& target, const Folder& folder, Pieces pieces,
                                               SignalsHeld& held) {
    TemporaryFile temporary(folder);
    if (!temporary.created()) {
        if (writeInPlaceInstead(temporary.error())) return std::nullopt;
        return temporary.error();
    }
    const struct stat& made = temporary.file();
    // A target that is a mount point of its own cannot be renamed over; a
    // folder's default ACL would give the new file readers the old one lacks.
    if (made.st_dev != target.file.st_dev ||
        !attributesCarryOver(target.descriptor.get(), temporary.descriptor())) {
        return std::nullopt;
    }

    held.release();
    std::error_code failed = writeAll(temporary.descriptor(), pieces);
    // On the disk before it takes the target's place, so that a power cut
    // never leaves an empty file where the old one was.
    if (!failed && ::fsync(temporary.descriptor()) != 0) failed = lastError();
    held.hold();
    if (failed) return failed;

    // The owner and group exactly, or the file is written in place: its
    // group's permission bits never go to another group.
    if ((made.st_uid != target.file.st_uid || made.st_gid != target.file.st_gid) &&
        ::fchown(temporary.descriptor(), target.file.st_uid, target.file.st_gid) != 0) {
        if (errno == EPERM) return std::nullopt;
        return lastError();
    }
    if (::fchmod(temporary.descriptor(), modeAfterPlainWrite(target.file.st_mode)) != 0) return lastError();
    if (std::error_code closed = temporary.close()) return closed;
    const std::error_code renamed = temporary.renameOver(target);
    if (renamed.value() == EBUSY) return std::nullopt;  // a mount point on the same file system
    return renamed;
}

// Writing in place ------------------------------------------------------------

std::error_code seekTo(int descriptor, std::uint64_t offset) {
    return ::lseek(descriptor, static_cast<off_t>(offset), SEEK_SET) < 0 ? lastError() : std::error_code{};
}

std::error_code cutTo(int descriptor, std::uint64_t length) {
    return ::ftruncate(descriptor, static_cast<off_t>(length)) != 0 ? lastError() : std::error_code{};
}

// Every failure that can be foreseen comes before a byte of the old contents
// changes: the size limit (checked before), and the room on the disk. That
// room is reserved where the file system can; in any case the part beyond the
// old end is written first and cut off again if it does not fit, so that a
// full disk or quota fails the save even where nothing can be reserved. Then
// overwritten from the start and cut to the new length, never truncated
// first. Called with the ending signals held.
std::error_code writeInPlace(int descriptor, std::uint64_t length, Pieces pieces) {
#ifdef FALLOC_FL_KEEP_SIZE
    if (length > 0 && ::fallocate(descriptor, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        return lastError();
    }
#endif
    struct stat old {};
    if (::fstat(descriptor, &old) != 0) return lastError();
    const auto oldSize = static_cast<std::uint64_t>(old.st_size);
    const InPlaceFile file{[&](std::uint64_t from, std::uint64_t to) {
                               const std::error_code failed = seekTo(descriptor, from);
                               return failed ? failed : writeSlice(descriptor, pieces, from, to);
                           },
                           [&](std::uint64_t size) { return cutTo(descriptor, size); }};
    if (std::error_code failed = overwriteKeepingOldContents(file, oldSize, length)) return failed;
    return ::fsync(descriptor) != 0 ? lastError() : std::error_code{};
}

std::error_code checkFileSizeLimit(std::uint64_t length) {
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && length > limit.rlim_cur) {
        return {EFBIG, std::generic_category()};
    }
    return {};
}

std::error_code saveRegularFile(Target& target, const std::optional<Folder>& folder, Pieces pieces,
                                SignalsHeld& held) {
    const std::uint64_t length = totalSize(pieces);
    if (std::error_code failed = checkFileSizeLimit(length)) return failed;
    if (folder && replaceableByRename(target, *folder)) {
        if (std::optional<std::error_code> replaced = replaceByRename(target, *folder, pieces, held)) {
            return *replaced;
        }
    }
    if (std::error_code failed = writeInPlace(target.descriptor.get(), length, pieces)) return failed;
    return target.descriptor.close();
}

}  // namespace

std::error_code replaceFileContents(const char* name, Pieces pieces) {
    const SaveSignals signals;
    SignalsHeld held;
    Target target;
    std::error_code failed = openTarget(name, target, held);
    if (failed) return failed;
    // Devices and pipes are written as they are.
    if (!S_ISREG(target.file.st_mode)) {
        held.release();
        failed = writeAll(target.descriptor.get(), pieces);
        const std::error_code closed = target.descriptor.close();
        return failed ? failed : closed;
    }

    const std::optional<Folder> folder = folderOf(target, name);
    const Pending pendingRemoval(folder, target);
    failed = saveRegularFile(target, folder, pieces, held);
    // A file this save created and could not complete is removed again.
    if (failed && target.created && folder) {
        removeIfSame(folder->descriptor.get(), folder->name.c_str(), target.file);
    }
    return failed;
}

}  // namespace glint
