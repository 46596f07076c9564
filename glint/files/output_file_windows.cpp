#include <windows.h>
#include <process.h>
#include <sddl.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "common/file_names.h"
#include "common/system_error.h"
#include "common/windows/wide_names.h"
#include "files/output_file.h"

namespace glint {
namespace {

// One WriteFile moves at most this much: its count is 32-bit, and more than
// INT_MAX fails on some systems.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

std::error_code windowsError(DWORD code) { return {static_cast<int>(code), std::system_category()}; }

// The target's name no longer leads to the file that was opened ("the opened
// file is no longer valid").
std::error_code targetMoved() { return windowsError(ERROR_FILE_INVALID); }

HANDLE handleOf(const OutputFile& file) { return reinterpret_cast<HANDLE>(file.handle()); }
OutputFile fileOf(HANDLE handle) { return OutputFile(reinterpret_cast<std::intptr_t>(handle)); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What the console handler removes (common/signals.h): it runs only while
// the save lets the signals through, so these never change under it.
std::wstring pendingTemporary;
std::wstring pendingCreated;

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

// Whether `name` is `file` itself (not a link to it).
bool nameIs(const std::wstring& name, const BY_HANDLE_FILE_INFORMATION& file) {
    const OutputFile entry = fileOf(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                                  nullptr));
    BY_HANDLE_FILE_INFORMATION now{};
    return entry.valid() && ::GetFileInformationByHandle(handleOf(entry), &now) && sameFile(now, file);
}

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
OutputFile createBeside(const std::wstring& target, const wchar_t* kind, std::wstring& name) {
    static unsigned counter = 0;
    PSECURITY_DESCRIPTOR ownerOnly = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(userOnlyAcl().c_str(), SDDL_REVISION_1,
                                                                &ownerOnly, nullptr)) {
        return OutputFile();
    }
    SECURITY_ATTRIBUTES security{sizeof security, ownerOnly, FALSE};
    OutputFile created;
    for (int attempt = 0; attempt < 100 && !created.valid(); ++attempt) {
        name = target + kind + std::to_wstring(::_getpid()) + L"-" + std::to_wstring(counter++);
        const HANDLE made = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, &security, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (made != INVALID_HANDLE_VALUE) created = fileOf(made);
        if (!created.valid() && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    const DWORD error = ::GetLastError();
    ::LocalFree(ownerOnly);
    ::SetLastError(error);
    return created;
}

// The attributes ReplaceFileW carries over, set on the replacement as well
// for systems whose ReplaceFileW does not (Wine).
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

void removePendingFiles() {
    if (!pendingTemporary.empty()) ::DeleteFileW(pendingTemporary.c_str());
    if (!pendingCreated.empty()) ::DeleteFileW(pendingCreated.c_str());
}

// The open file -------------------------------------------------------------------

OutputFile OutputFile::standardOutput(std::error_code& failed) {
    std::cout.flush();
    std::fflush(stdout);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == INVALID_HANDLE_VALUE || output == nullptr) failed = windowsError(ERROR_INVALID_HANDLE);
    return OutputFile(reinterpret_cast<std::intptr_t>(output), false);
}

std::error_code OutputFile::writeSome(const unsigned char* bytes, std::size_t size, std::size_t& written) {
    DWORD moved = 0;
    const DWORD most = static_cast<DWORD>(size < kLargestWrite ? size : kLargestWrite);
    if (!::WriteFile(handleOf(*this), bytes, most, &moved, nullptr)) return common::lastSystemError();
    if (moved == 0) return windowsError(ERROR_WRITE_FAULT);
    written = moved;
    return {};
}

std::error_code OutputFile::seek(std::uint64_t offset) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(handleOf(*this), at, nullptr, FILE_BEGIN) ? std::error_code{} : common::lastSystemError();
}

std::error_code OutputFile::cut(std::uint64_t length) {
    if (std::error_code failed = seek(length)) return failed;
    return ::SetEndOfFile(handleOf(*this)) ? std::error_code{} : common::lastSystemError();
}

std::error_code OutputFile::size(std::uint64_t& bytes) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handleOf(*this), &size)) return common::lastSystemError();
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return {};
}

std::error_code OutputFile::sync() { return ::FlushFileBuffers(handleOf(*this)) ? std::error_code{} : common::lastSystemError(); }

std::error_code OutputFile::close() {
    const HANDLE handle = reinterpret_cast<HANDLE>(std::exchange(handle_, kNone));
    return ::CloseHandle(handle) ? std::error_code{} : common::lastSystemError();
}

// The target ------------------------------------------------------------------------

struct OutputTarget::Found {
    BY_HANDLE_FILE_INFORMATION file{};
    std::wstring path;  // of the file opened, a link followed; empty if unknown
    bool disk = false;  // not a device or a pipe
    bool created = false;
};

OutputTarget::OutputTarget() : found_(std::make_unique<Found>()) {}

OutputTarget::~OutputTarget() {
    const common::SignalsHeld held;
    pendingCreated.clear();
}

// Opened as a plain save opens it, so that the system decides: a read-only
// file, or one the user may not write, refuses the save. The link count and
// identity come from a second handle that may read attributes; without them
// the file is written in place.
std::error_code OutputTarget::open(const char* name, common::SignalsHeld& /*held*/) {
    const HANDLE opened = ::CreateFileW(common::pathOfName(name).c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD openedHow = ::GetLastError();
    if (opened == INVALID_HANDLE_VALUE) return windowsError(openedHow);
    file_ = fileOf(opened);
    found_->disk = ::GetFileType(opened) == FILE_TYPE_DISK;
    found_->created = found_->disk && openedHow != ERROR_ALREADY_EXISTS;
    const OutputFile attributes = fileOf(::ReOpenFile(opened, FILE_READ_ATTRIBUTES, kShareAll, 0));
    if (found_->disk && attributes.valid() && ::GetFileInformationByHandle(handleOf(attributes), &found_->file)) {
        // The system gives this path in the \\?\ form; where it would not, the
        // form is added, so that names made beside it may pass MAX_PATH.
        found_->path = common::fileSystemName(pathOfHandle(opened));
    }
    if (found_->created) pendingCreated = found_->path;
    return {};
}

bool OutputTarget::isRegularFile() const { return found_->disk; }

bool OutputTarget::created() const { return found_->created && !found_->path.empty(); }

void OutputTarget::removeCreated() {
    file_ = OutputFile();
    ::DeleteFileW(found_->path.c_str());
}

// A file with other hard links is written in place, so that every link sees
// the new contents; so is one whose own path cannot be found.
bool OutputTarget::replaceable() const { return found_->file.nNumberOfLinks == 1 && !found_->path.empty(); }

// Windows sets no limit of its own on a file's size.
std::optional<std::uint64_t> OutputTarget::sizeLimit() { return std::nullopt; }

std::error_code OutputTarget::reserve(std::uint64_t length, std::uint64_t oldSize) {
    if (length <= oldSize) return {};
    FILE_ALLOCATION_INFO room{};
    room.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
    if (::SetFileInformationByHandle(handleOf(file_), FileAllocationInfo, &room, sizeof room)) return {};
    const DWORD failed = ::GetLastError();
    // Wine reserves nothing.
    if (failed == ERROR_CALL_NOT_IMPLEMENTED || failed == ERROR_NOT_SUPPORTED || failed == ERROR_INVALID_PARAMETER) {
        return {};
    }
    return windowsError(failed);
}

// The temporary -----------------------------------------------------------------------

struct TemporaryFile::Made {
    std::wstring name;
    bool owned = false;  // removed again unless it replaced the target
};

TemporaryFile::TemporaryFile(OutputTarget& target) : target_(target), made_(std::make_unique<Made>()) {
    file_ = createBeside(target.found_->path, L".tmp", made_->name);
    if (!file_.valid()) {
        error_ = common::lastSystemError();
        return;
    }
    made_->owned = true;
    pendingTemporary = made_->name;
}

TemporaryFile::~TemporaryFile() {
    if (!made_->owned) return;
    file_ = OutputFile();
    ::DeleteFileW(made_->name.c_str());
    pendingTemporary.clear();
}

bool TemporaryFile::refusedBeside() const {
    const auto number = static_cast<DWORD>(error_.value());
    return number == ERROR_ACCESS_DENIED || number == ERROR_FILENAME_EXCED_RANGE || number == ERROR_PATH_NOT_FOUND ||
           number == ERROR_INVALID_NAME;
}

// ReplaceFileW gives the new file the old one's ACL and owner.
bool TemporaryFile::carriesOverTarget() const { return true; }

// ReplaceFileW keeps the target's attributes, ACL and owner. It moves the
// old file to a backup name (held by an empty placeholder until then), so
// that a replacement that fails half way can put it back.
std::optional<std::error_code> TemporaryFile::replaceTarget() {
    if (std::error_code closed = file_.close()) return closed;
    OutputTarget::Found& found = *target_.found_;
    const DWORD kept = found.file.dwFileAttributes & kKeptAttributes;
    if (!::SetFileAttributesW(made_->name.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) return common::lastSystemError();
    // The replacement opens the target itself.
    if (std::error_code closed = target_.file_.close()) return closed;
    // The target's name must still lead to the file that was opened.
    if (!nameIs(found.path, found.file)) return targetMoved();

    std::wstring backup;
    BY_HANDLE_FILE_INFORMATION placeholder{};
    if (const OutputFile held = createBeside(found.path, L".old", backup);
        !held.valid() || !::GetFileInformationByHandle(handleOf(held), &placeholder)) {
        return common::lastSystemError();
    }
    if (::ReplaceFileW(found.path.c_str(), made_->name.c_str(), backup.c_str(), 0, nullptr, nullptr)) {
        made_->owned = false;
        pendingTemporary.clear();
        ::DeleteFileW(backup.c_str());
        return std::error_code{};
    }
    const DWORD failed = ::GetLastError();
    // Where the old file was left under the backup's name it goes back, but
    // never over a file that has taken its name; the placeholder goes.
    if (nameIs(backup, placeholder)) {
        ::DeleteFileW(backup.c_str());
    } else {
        ::MoveFileExW(backup.c_str(), found.path.c_str(), 0);
    }
    return windowsError(failed);
}

}  // namespace glint
