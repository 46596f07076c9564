#include <windows.h>

#include <cerrno>
#include <string>

#include "language.h"

namespace glint {

Language userLanguage() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_CHINESE ? Language::Chinese : Language::English;
}

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

// In the ANSI code page, the narrow encoding of names; the C runtime's errno
// texts, which are English only, where the system gave no code of its own.
std::string systemReason(const std::error_code& reason) {
    if (reason.category() != std::system_category()) return reason.message();
    const std::wstring wide = systemMessage(static_cast<DWORD>(reason.value()));
    if (wide.empty()) return reason.message();
    const int length = static_cast<int>(wide.size());
    const int needed = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

}  // namespace glint
