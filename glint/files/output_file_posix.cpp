#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/posix/retrying_io.h"
#include "common/system_error.h"
#include "files/output_file.h"

namespace glint {
namespace {

// One write() moves at most this much; Linux caps a call just below 2 GiB.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

// The target's name no longer leads to the file that was opened: it was
// renamed, removed or replaced while the save ran.
std::error_code targetMoved() { return {ESTALE, std::generic_category()}; }

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int descriptorOf(const OutputFile& file) { return static_cast<int>(file.handle()); }

// What a signal that ends the program mid-save removes: the temporary file,
// and a target that this save created (if it is still that file), both in
// the folder `pendingFolder`. The names change only while the signals are
// held; the handler reads them once the folder is published.
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

void pendingTemporary(const char* name) {
    std::strncpy(pending.temporary, name, NAME_MAX);
    pending.temporary[NAME_MAX] = '\0';
}

std::string pathOfDescriptor(int descriptor, const char* fallback) {
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    char path[PATH_MAX];
    const ssize_t length = ::readlink(link.c_str(), path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return fallback;
    return std::string(path, static_cast<std::size_t>(length));
}

// A file's extended attributes (an ACL, capabilities, a security label),
// names and values, sorted; nothing when they cannot be read whole.
using Attributes = std::vector<std::pair<std::string, std::string>>;

std::optional<Attributes> extendedAttributes(int descriptor) {
    Attributes attributes;
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
    return attributes;
}

// A folder where names may be added but never renamed or removed (chattr
// +a): a temporary could neither take the file's place nor go again.
bool appendOnly(int folder) {
    const OutputFile listing(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int flags = 0;
    return listing.valid() && ::ioctl(descriptorOf(listing), FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & FS_APPEND_FL) != 0;
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

}  // namespace

void removePendingFiles() {
    const int folder = pendingFolder.load(std::memory_order_acquire);
    if (folder < 0) return;
    if (pending.temporary[0] != '\0') ::unlinkat(folder, pending.temporary, 0);
    if (pending.created[0] != '\0') removeIfSame(folder, pending.created, pending.createdFile);
}

// The open file -------------------------------------------------------------------

OutputFile OutputFile::standardOutput(std::error_code& failed) {
    if (!std::cout.flush()) failed = {EIO, std::generic_category()};
    return OutputFile(STDOUT_FILENO, false);
}

std::error_code OutputFile::writeSome(const unsigned char* bytes, std::size_t size, std::size_t& written) {
    const ssize_t moved = common::writeRetrying(descriptorOf(*this), bytes, std::min(size, kLargestWrite));
    if (moved < 0) return common::lastSystemError();
    if (moved == 0) return {EIO, std::generic_category()};
    written = static_cast<std::size_t>(moved);
    return {};
}

std::error_code OutputFile::seek(std::uint64_t offset) {
    return ::lseek(descriptorOf(*this), static_cast<off_t>(offset), SEEK_SET) < 0 ? common::lastSystemError() : std::error_code{};
}

std::error_code OutputFile::cut(std::uint64_t length) {
    return ::ftruncate(descriptorOf(*this), static_cast<off_t>(length)) != 0 ? common::lastSystemError() : std::error_code{};
}

std::error_code OutputFile::size(std::uint64_t& bytes) {
    struct stat status {};
    if (::fstat(descriptorOf(*this), &status) != 0) return common::lastSystemError();
    bytes = static_cast<std::uint64_t>(status.st_size);
    return {};
}

std::error_code OutputFile::sync() { return ::fsync(descriptorOf(*this)) != 0 ? common::lastSystemError() : std::error_code{}; }

std::error_code OutputFile::close() {
    const int result = ::close(static_cast<int>(std::exchange(handle_, kNone)));
    return result == 0 ? std::error_code{} : common::lastSystemError();
}

// The target ------------------------------------------------------------------------

// The folder that holds the opened file, and the file's name in it. The
// descriptor names the file the kernel opened (a link followed); every later
// step works from the folder's descriptor, so that no name is resolved again.
struct OutputTarget::Found {
    struct stat file {};
    bool created = false;
    OutputFile folder;
    std::string name;

    // The entry must be the opened file itself: not a link, not a file put
    // in its place since it was opened.
    bool findFolder(int descriptor, const char* given) {
        const std::string path = pathOfDescriptor(descriptor, given);
        const std::size_t slash = path.find_last_of('/');
        const std::string folderPath = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        folder = OutputFile(::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));  // no read right needed
        name = slash == std::string::npos ? path : path.substr(slash + 1);
        return folder.valid() && !name.empty() && name.size() <= NAME_MAX &&
               entryIs(descriptorOf(folder), name.c_str(), file);
    }
    bool folderKnown() const { return folder.valid(); }
};

OutputTarget::OutputTarget() : found_(std::make_unique<Found>()) {}

// The handler no longer reads the names once the folder is withdrawn.
OutputTarget::~OutputTarget() {
    const common::SignalsHeld held;
    pendingFolder.store(-1, std::memory_order_release);
}

// Opened as a plain save opens it, so that the kernel's own rules decide
// (permissions, protected_symlinks, protected_regular, a read-only file
// system). A regular file's folder is published to the signal handler, with
// the file's name when this save created it.
std::error_code OutputTarget::open(const char* name, common::SignalsHeld& held, bool createNew) {
    struct stat before {};
    // A name that ends in a slash names a folder. Asked to create it, the
    // kernel says "Is a directory" even where there is none; the true reason
    // is what the folder itself is (missing, or a file).
    const std::size_t length = std::strlen(name);
    if (length > 0 && name[length - 1] == '/') {
        return ::stat(name, &before) != 0 ? common::lastSystemError() : std::error_code{EISDIR, std::generic_category()};
    }
    // Only tells whether this save creates the file, never where it writes.
    const bool existed = !createNew && (::stat(name, &before) == 0 || errno != ENOENT);
    const int plainSave = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | (createNew ? O_EXCL : 0);
    int descriptor = ::open(name, plainSave | O_NONBLOCK, 0666);
    if (descriptor < 0 && errno == ENXIO) {
        held.release();  // a pipe with no reader yet: wait for one, Ctrl+C at hand
        descriptor = ::open(name, plainSave, 0666);
        held.hold();
    }
    file_ = OutputFile(descriptor);
    if (descriptor < 0 || ::fstat(descriptor, &found_->file) != 0) return common::lastSystemError();
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) return common::lastSystemError();
    found_->created = !existed && S_ISREG(found_->file.st_mode) && found_->file.st_size == 0;
    if (!S_ISREG(found_->file.st_mode)) return {};
    if (!found_->findFolder(descriptor, name)) {
        found_->folder = OutputFile();
        return {};
    }
    pending.temporary[0] = '\0';
    pending.created[0] = '\0';
    if (found_->created) {
        std::memcpy(pending.created, found_->name.c_str(), found_->name.size() + 1);
        pending.createdFile = found_->file;
    }
    pendingFolder.store(descriptorOf(found_->folder), std::memory_order_release);
    return {};
}

bool OutputTarget::isRegularFile() const { return S_ISREG(found_->file.st_mode); }

bool OutputTarget::created() const { return found_->created && found_->folderKnown(); }

void OutputTarget::removeCreated() {
    removeIfSame(descriptorOf(found_->folder), found_->name.c_str(), found_->file);
}

// Its extended attributes are compared with the temporary's once that exists.
bool OutputTarget::replaceable() const {
    return found_->folderKnown() && found_->file.st_nlink == 1 && !appendOnly(descriptorOf(found_->folder));
}

std::optional<std::uint64_t> OutputTarget::sizeLimit() {
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    return limit.rlim_cur;
}

std::error_code OutputTarget::reserve(std::uint64_t length, std::uint64_t /*oldSize*/) {
    if (length > 0 && ::fallocate(descriptorOf(file_), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        return common::lastSystemError();
    }
    return {};
}

// The temporary -----------------------------------------------------------------------

struct TemporaryFile::Made {
    std::string name;
    struct stat file {};
    bool renamed = false;
};

TemporaryFile::TemporaryFile(OutputTarget& target) : target_(target), made_(std::make_unique<Made>()) {
    const OutputTarget::Found& found = *target.found_;
    const int folder = descriptorOf(found.folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        made_->name = found.name + "." + unguessableLetters();
        const common::SignalsHeld held;
        file_ = OutputFile(::openat(folder, made_->name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!file_.valid() && errno == EEXIST) continue;
        if (file_.valid() && ::fstat(descriptorOf(file_), &made_->file) == 0) {
            pendingTemporary(made_->name.c_str());
            return;
        }
        error_ = common::lastSystemError();
        if (file_.valid()) ::unlinkat(folder, made_->name.c_str(), 0);
        file_ = OutputFile();
        return;
    }
    error_ = {EEXIST, std::generic_category()};
}

TemporaryFile::~TemporaryFile() {
    if (error_ || made_->renamed) return;
    const common::SignalsHeld held;
    removeIfSame(descriptorOf(target_.found_->folder), made_->name.c_str(), made_->file);
    pendingTemporary("");
}

bool TemporaryFile::refusedBeside() const {
    const int number = error_.value();
    return number == EACCES || number == EPERM || number == ENAMETOOLONG;
}

// A target that is a mount point of its own cannot be renamed over; a
// folder's default ACL would give the new file readers the old one lacks;
// every file has a security label under SELinux.
bool TemporaryFile::carriesOverTarget() const {
    if (made_->file.st_dev != target_.found_->file.st_dev) return false;
    const std::optional<Attributes> wanted = extendedAttributes(descriptorOf(target_.file_));
    if (!wanted || wanted != extendedAttributes(descriptorOf(file_))) return false;
    return std::none_of(wanted->begin(), wanted->end(), [](const auto& attribute) {
        return attribute.first == "system.posix_acl_access" || attribute.first == "security.capability";
    });
}

std::optional<std::error_code> TemporaryFile::replaceTarget() {
    const struct stat& old = target_.found_->file;
    // The owner and group exactly, or the file is written in place: its
    // group's permission bits never go to another group.
    if ((made_->file.st_uid != old.st_uid || made_->file.st_gid != old.st_gid) &&
        ::fchown(descriptorOf(file_), old.st_uid, old.st_gid) != 0) {
        if (errno == EPERM) return std::nullopt;
        return common::lastSystemError();
    }
    if (::fchmod(descriptorOf(file_), modeAfterPlainWrite(old.st_mode)) != 0) return common::lastSystemError();
    if (std::error_code closed = file_.close()) return closed;
    const int folder = descriptorOf(target_.found_->folder);
    const char* targetName = target_.found_->name.c_str();
    if (!entryIs(folder, targetName, old) || !entryIs(folder, made_->name.c_str(), made_->file)) return targetMoved();
    if (::renameat(folder, made_->name.c_str(), folder, targetName) != 0) {
        if (errno == EBUSY) return std::nullopt;  // a mount point on the same file system
        return common::lastSystemError();
    }
    made_->renamed = true;
    pendingTemporary("");
    return std::error_code{};
}

}  // namespace glint
