#include <windows.h>

#include <cerrno>
#include <string>

#include "common/system_error.h"
#include "common/windows/wide_names.h"

namespace common {

// The C runtime maps the system's error to errno, and leaves the system's own
// code, which has the better words, in place.
std::error_code lastSystemError() {
    const DWORD code = ::GetLastError();
    if (code != ERROR_SUCCESS) return {static_cast<int>(code), std::system_category()};
    return {errno != 0 ? errno : EIO, std::generic_category()};
}

namespace {

// The system's message in the user's UI language, without its line end and
// full stop.
std::wstring systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L'.' ||
                                message.back() == L' ' || message.back() == L'\u3002')) {
        message.pop_back();
    }
    return message;
}

}  // namespace

// In UTF-8, the encoding of names inside the program; the C runtime's errno
// texts, which are English only, where the system gave no code of its own.
std::string systemReason(const std::error_code& reason) {
    if (reason.category() != std::system_category()) return reason.message();
    const std::wstring wide = systemMessage(static_cast<DWORD>(reason.value()));
    return wide.empty() ? reason.message() : utf8FromWide(wide);
}

}  // namespace common
