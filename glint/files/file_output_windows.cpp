#include <windows.h>
#include <process.h>
#include <sddl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/file_names.h"
#include "common/windows/wide_names.h"
#include "files/file_output.h"
#include "files/file_output_in_place.h"

namespace glint {
namespace {

// One WriteFile moves at most this much: its count is 32-bit, and more than
// INT_MAX fails on some systems.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

std::error_code windowsError(DWORD code) { return {static_cast<int>(code), std::system_category()}; }
std::error_code lastError() { return windowsError(::GetLastError()); }

// The target's name no longer leads to the file that was opened ("the opened
// file is no longer valid").
std::error_code targetMoved() { return windowsError(ERROR_FILE_INVALID); }

class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() {
        if (valid()) ::CloseHandle(handle_);
    }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&& other) noexcept {
        if (valid()) ::CloseHandle(handle_);
        handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    std::error_code close() {
        return ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) ? std::error_code{} : lastError();
    }

private:
    HANDLE handle_;
};

// Writes the bytes [from, to) of the pieces laid end to end.
std::error_code writeSlice(HANDLE file, Pieces pieces, std::uint64_t from, std::uint64_t to) {
    return forEachRun(pieces, from, to, [file](const unsigned char* at, std::size_t left) {
        while (left > 0) {
            DWORD written = 0;
            const DWORD size = static_cast<DWORD>(left < kLargestWrite ? left : kLargestWrite);
            if (!::WriteFile(file, at, size, &written, nullptr)) return lastError();
            if (written == 0) return windowsError(ERROR_WRITE_FAULT);
            at += written;
            left -= written;
        }
        return std::error_code{};
    });
}

std::error_code writeAll(HANDLE file, Pieces pieces) { return writeSlice(file, pieces, 0, UINT64_MAX); }

// Ctrl+C, Ctrl+Break and closing the console --------------------------------

// The console's events arrive on a thread of their own. A save holds this
// lock while files and pending names change and for the whole of an
// in-place write, so that the handler waits until the file is whole.
SRWLOCK saveLock = SRWLOCK_INIT;
std::wstring pendingTemporary;
std::wstring pendingCreated;

BOOL WINAPI removePendingThenEnd(DWORD) {
    ::AcquireSRWLockExclusive(&saveLock);
    if (!pendingTemporary.empty()) ::DeleteFileW(pendingTemporary.c_str());
    if (!pendingCreated.empty()) ::DeleteFileW(pendingCreated.c_str());
    // The lock stays taken: the program is ending, and the save goes no
    // further. The next handler, the system's, ends the process.
    return FALSE;
}

class ConsoleEventsRemovePending {
public:
    ConsoleEventsRemovePending() { ::SetConsoleCtrlHandler(removePendingThenEnd, TRUE); }
    ~ConsoleEventsRemovePending() { ::SetConsoleCtrlHandler(removePendingThenEnd, FALSE); }
    ConsoleEventsRemovePending(const ConsoleEventsRemovePending&) = delete;
    ConsoleEventsRemovePending& operator=(const ConsoleEventsRemovePending&) = delete;
};

class SaveLocked {
public:
    SaveLocked() { hold(); }
    ~SaveLocked() { release(); }
    SaveLocked(const SaveLocked&) = delete;
    SaveLocked& operator=(const SaveLocked&) = delete;

    void hold() {
        if (!held_) ::AcquireSRWLockExclusive(&saveLock);
        held_ = true;
    }
    void release() {
        if (held_) ::ReleaseSRWLockExclusive(&saveLock);
        held_ = false;
    }

private:
    bool held_ = false;
};

// The target ------------------------------------------------------------------

struct Target {
    Handle handle;
    BY_HANDLE_FILE_INFORMATION file{};
    std::wstring path;  // of the file opened, a link followed; empty if unknown
    bool disk = false;  // not a device or a pipe
    bool created = false;
};

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

std::wstring pathOfHandle(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);  // the size needed, its NUL included
    }
    return {};
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opened as a plain save opens it, so that the system decides: a read-only
// file, or one the user may not write, refuses the save. Never truncated.
// The link count and identity come from a second handle that may read
// attributes; without them the file is written in place.
std::error_code openTarget(const std::filesystem::path& name, Target& target) {
    const HANDLE opened =
        ::CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD openedHow = ::GetLastError();
    if (opened == INVALID_HANDLE_VALUE) return windowsError(openedHow);
    target.handle = Handle(opened);
    target.disk = ::GetFileType(opened) == FILE_TYPE_DISK;
    target.created = target.disk && openedHow != ERROR_ALREADY_EXISTS;
    const Handle attributes(::ReOpenFile(opened, FILE_READ_ATTRIBUTES, kShareAll, 0));
    if (target.disk && attributes.valid() && ::GetFileInformationByHandle(attributes.get(), &target.file)) {
        // The system gives this path in the \\?\ form; where it would not, the
        // form is added, so that names made beside it may pass MAX_PATH.
        target.path = common::fileSystemName(pathOfHandle(opened));
    }
    return {};
}

// Replacing ---------------------------------------------------------------------

// An ACL, in the descriptor language, that lets the user running the program
// alone read, write, delete a file and change its ACL; empty if the user's
// SID cannot be had.
std::wstring userOnlyAcl() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    LPWSTR sid = nullptr;
    std::wstring acl;
    if (::GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        acl = L"D:P(A;;FRFWSDWDWO;;;" + std::wstring(sid) + L")";
        ::LocalFree(sid);
    }
    ::CloseHandle(token);
    return acl;
}

// A new file beside the target that only the user may open, until the
// replacement gives it the target's own ACL. Shared for deleting alone, so
// that the console handler can remove it while it is being written.
Handle createBeside(const std::wstring& target, const wchar_t* kind, std::wstring& name) {
    static unsigned counter = 0;
    PSECURITY_DESCRIPTOR ownerOnly = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(userOnlyAcl().c_str(), SDDL_REVISION_1,
                                                                &ownerOnly, nullptr)) {
        return Handle();
    }
    SECURITY_ATTRIBUTES security{sizeof security, ownerOnly, FALSE};
    Handle created;
    for (int attempt = 0; attempt < 100 && !created.valid(); ++attempt) {
        name = target + kind + std::to_wstring(::_getpid()) + L"-" + std::to_wstring(counter++);
        created = Handle(::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, &security, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!created.valid() && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    const DWORD error = ::GetLastError();
    ::LocalFree(ownerOnly);
    ::SetLastError(error);
    return created;
}

// Where no temporary file can be made because the folder may not be written
// or the name is too long, the target is written in place.
bool writeInPlaceInstead(DWORD temporaryFailed) {
    return temporaryFailed == ERROR_ACCESS_DENIED || temporaryFailed == ERROR_FILENAME_EXCED_RANGE ||
           temporaryFailed == ERROR_PATH_NOT_FOUND || temporaryFailed == ERROR_INVALID_NAME;
}

class TemporaryFile {
public:
    explicit TemporaryFile(const std::wstring& target) : handle_(createBeside(target, L".tmp", name_)) {
        error_ = ::GetLastError();
        owned_ = handle_.valid();
        if (owned_) pendingTemporary = name_;
    }
    ~TemporaryFile() {
        if (!owned_) return;
        handle_ = Handle();
        ::DeleteFileW(name_.c_str());
        pendingTemporary.clear();
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool created() const { return handle_.valid(); }
    DWORD error() const { return error_; }
    HANDLE get() const { return handle_.get(); }
    std::error_code close() { return handle_.close(); }
    const std::wstring& name() const { return name_; }
    void replaced() {
        owned_ = false;
        pendingTemporary.clear();
    }

private:
    std::wstring name_;
    Handle handle_;
    DWORD error_ = 0;
    bool owned_ = false;
};

// Whether `name` is `file` itself (not a link to it).
bool nameIs(const std::wstring& name, const BY_HANDLE_FILE_INFORMATION& file) {
    const Handle entry(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION now{};
    return entry.valid() && ::GetFileInformationByHandle(entry.get(), &now) && sameFile(now, file);
}

// ReplaceFileW keeps the target's attributes, ACL and owner. It moves the
// old file to a backup name (held by an empty placeholder until then), so
// that a replacement that fails half way can put it back.
std::error_code replaceWith(const Target& target, TemporaryFile& temporary) {
    std::wstring backup;
    BY_HANDLE_FILE_INFORMATION placeholder{};
    if (const Handle held = createBeside(target.path, L".old", backup);
        !held.valid() || !::GetFileInformationByHandle(held.get(), &placeholder)) {
        return lastError();
    }
    if (::ReplaceFileW(target.path.c_str(), temporary.name().c_str(), backup.c_str(), 0, nullptr, nullptr)) {
        temporary.replaced();
        ::DeleteFileW(backup.c_str());
        return {};
    }
    const DWORD failed = ::GetLastError();
    // Where the old file was left under the backup's name it goes back, but
    // never over a file that has taken its name; the placeholder goes.
    if (nameIs(backup, placeholder)) {
        ::DeleteFileW(backup.c_str());
    } else {
        ::MoveFileExW(backup.c_str(), target.path.c_str(), 0);
    }
    return windowsError(failed);
}

// The attributes ReplaceFileW carries over, set on the replacement as well
// for systems whose ReplaceFileW does not (Wine).
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Nothing means: write in place instead. Called with the save lock held.
std::optional<std::error_code> replaceByRename(Target& target, Pieces pieces, SaveLocked& locked) {
    TemporaryFile temporary(target.path);
    if (!temporary.created()) {
        if (writeInPlaceInstead(temporary.error())) return std::nullopt;
        return windowsError(temporary.error());
    }
    locked.release();
    std::error_code failed = writeAll(temporary.get(), pieces);
    if (!failed && !::FlushFileBuffers(temporary.get())) failed = lastError();
    if (!failed) failed = temporary.close();
    locked.hold();
    if (failed) return failed;

    const DWORD kept = target.file.dwFileAttributes & kKeptAttributes;
    if (!::SetFileAttributesW(temporary.name().c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
        return lastError();
    }
    // The replacement opens the target itself.
    if (std::error_code closed = target.handle.close()) return closed;
    // The target's name must still lead to the file that was opened.
    if (!nameIs(target.path, target.file)) return targetMoved();
    return replaceWith(target, temporary);
}

// Writing in place ------------------------------------------------------------

std::error_code seekTo(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ? std::error_code{} : lastError();
}

std::error_code cutTo(HANDLE file, std::uint64_t length) {
    if (std::error_code failed = seekTo(file, length)) return failed;
    return ::SetEndOfFile(file) ? std::error_code{} : lastError();
}

// Every failure that can be foreseen comes before a byte of the old contents
// changes. The room on the disk is reserved where the file system can; in
// any case the part beyond the old end is written first and cut off again if
// it does not fit, so that a full disk or quota fails the save even where
// nothing can be reserved (Wine). Then overwritten from the start and cut to
// the new length, never truncated first.
std::error_code writeInPlace(HANDLE file, std::uint64_t length, Pieces pieces) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) return lastError();
    const auto oldSize = static_cast<std::uint64_t>(size.QuadPart);
    if (length > oldSize) {
        FILE_ALLOCATION_INFO room{};
        room.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
        if (!::SetFileInformationByHandle(file, FileAllocationInfo, &room, sizeof room)) {
            const DWORD failed = ::GetLastError();
            if (failed != ERROR_CALL_NOT_IMPLEMENTED && failed != ERROR_NOT_SUPPORTED &&
                failed != ERROR_INVALID_PARAMETER) {
                return windowsError(failed);
            }
        }
    }
    const InPlaceFile inPlace{[&](std::uint64_t from, std::uint64_t to) {
                                  const std::error_code failed = seekTo(file, from);
                                  return failed ? failed : writeSlice(file, pieces, from, to);
                              },
                              [&](std::uint64_t newEnd) { return cutTo(file, newEnd); }};
    if (std::error_code failed = overwriteKeepingOldContents(inPlace, oldSize, length)) return failed;
    return ::FlushFileBuffers(file) ? std::error_code{} : lastError();
}

// A file with other hard links is written in place, so that every link sees
// the new contents; so is one whose own path cannot be found.
std::error_code saveDiskFile(Target& target, Pieces pieces, SaveLocked& locked) {
    if (target.file.nNumberOfLinks == 1 && !target.path.empty()) {
        if (std::optional<std::error_code> replaced = replaceByRename(target, pieces, locked)) return *replaced;
    }
    if (std::error_code failed = writeInPlace(target.handle.get(), totalSize(pieces), pieces)) return failed;
    return target.handle.close();
}

}  // namespace

std::error_code replaceFileContents(const char* name, Pieces pieces) {
    const ConsoleEventsRemovePending events;
    SaveLocked locked;
    Target target;
    std::error_code failed = openTarget(pathOfName(name), target);
    if (failed) return failed;
    // Devices (NUL, CON, COM1, \\.\...) and pipes are written as they are.
    if (!target.disk) {
        locked.release();
        failed = writeAll(target.handle.get(), pieces);
        const std::error_code closed = target.handle.close();
        return failed ? failed : closed;
    }

    if (target.created) pendingCreated = target.path;
    failed = saveDiskFile(target, pieces, locked);
    // A file this save created and could not complete is removed again.
    target.handle = Handle();
    if (failed && target.created && !target.path.empty()) ::DeleteFileW(target.path.c_str());
    pendingCreated.clear();
    return failed;
}

}  // namespace glint
