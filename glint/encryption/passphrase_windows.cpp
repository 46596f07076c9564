#include <windows.h>

#include <cstring>
#include <optional>

#include "common/console.h"
#include "common/file_names.h"
#include "common/signals.h"
#include "common/system_error.h"
#include "common/windows/wide_console.h"
#include "encryption/passphrase.h"

namespace glint {
namespace {

// The console's mode before echo went off, put back by Ctrl+C and Ctrl+Break
// too, which end the program. Their handler runs on a thread of its own: the
// mode only changes hands with it held back.
HANDLE quietConsole = nullptr;
DWORD modeBefore = 0;

void echoOn() { ::SetConsoleMode(quietConsole, modeBefore); }

constexpr common::SignalActions kEchoBack{echoOn, false, nullptr, nullptr};
std::optional<common::SignalTakeover> signals;

bool takeEcho(HANDLE console) {
    const common::SignalsHeld held;
    if (!::GetConsoleMode(console, &modeBefore)) return false;
    quietConsole = console;
    signals.emplace(kEchoBack);
    const DWORD quiet = (modeBefore | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT);
    if (::SetConsoleMode(console, quiet)) return true;
    signals.reset();
    quietConsole = nullptr;
    return false;
}

void giveEchoBack() {
    const common::SignalsHeld held;
    echoOn();
    signals.reset();
    quietConsole = nullptr;
}

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Room for the longest passphrase in UTF-16 and the line's CR LF.
constexpr DWORD kTypedRoom = kLongestPassphrase + 2;

// One typed line as UTF-16, up to its CR LF; false when it did not fit (the
// rest of the line is read and dropped). A read that ends without a line end
// (Ctrl+C, which also ends the program) gives an empty line, never a part.
bool readLine(HANDLE console, wchar_t (&typed)[kTypedRoom], DWORD& length) {
    length = 0;
    bool fits = true;
    for (;;) {
        wchar_t piece[256];
        DWORD count = 0;
        if (!::ReadConsoleW(console, piece, 256, &count, nullptr) || count == 0) {
            length = 0;
            break;
        }
        for (DWORD i = 0; i < count; ++i) {
            if (piece[i] == L'\n') {
                ::SecureZeroMemory(piece, sizeof piece);
                if (length > 0 && typed[length - 1] == L'\r') --length;
                return fits;
            }
            if (length < kTypedRoom) {
                typed[length++] = piece[i];
            } else {
                fits = false;
            }
        }
        ::SecureZeroMemory(piece, sizeof piece);
    }
    return fits;
}

}  // namespace

// Windows writes no core files; its error reports are the user's to send.
void keepMemoryPrivate() {}

// Windows has no other name for standard input.
bool namesStandardInput(const std::string& name) { return name == "-"; }

PassphraseFile::PassphraseFile(const char* name) {
    HANDLE file = nullptr;
    if (std::strcmp(name, "-") == 0) {
        file = ::GetStdHandle(STD_INPUT_HANDLE);
        if (file == nullptr) ::SetLastError(ERROR_INVALID_HANDLE);  // started without one
    } else {
        file = ::CreateFileW(common::pathOfName(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
        owned_ = file != INVALID_HANDLE_VALUE;
    }
    if (file == nullptr || file == INVALID_HANDLE_VALUE) error_ = common::lastSystemError();
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

PassphraseFile::~PassphraseFile() {
    if (owned_) ::CloseHandle(handleOf(handle_));
}

bool PassphraseFile::isTerminal() const { return common::isConsole(handleOf(handle_)); }

// A pipe whose writer has gone ends there, as it does elsewhere.
bool PassphraseFile::next(unsigned char& byte) {
    DWORD got = 0;
    if (::ReadFile(handleOf(handle_), &byte, 1, &got, nullptr)) return got == 1;
    if (::GetLastError() != ERROR_BROKEN_PIPE) error_ = common::lastSystemError();
    return false;
}

PassphraseTerminal::PassphraseTerminal()
    : PassphraseTerminal(reinterpret_cast<std::intptr_t>(::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                                       OPEN_EXISTING, 0, nullptr)),
                         true) {}

// A process has one console, and a console handle opened only for reading
// (CON as a passphrase file) cannot turn its echo off: the console's own
// input is opened instead.
PassphraseTerminal::PassphraseTerminal(std::intptr_t /*console*/) : PassphraseTerminal() {}

PassphraseTerminal::PassphraseTerminal(std::intptr_t handle, bool owned)
    : terminal_(handle),
      owned_(owned && handleOf(handle) != INVALID_HANDLE_VALUE),
      opened_(handleOf(handle) != INVALID_HANDLE_VALUE && takeEcho(handleOf(handle))) {}

PassphraseTerminal::~PassphraseTerminal() {
    if (opened_) giveEchoBack();
    if (owned_) ::CloseHandle(handleOf(terminal_));
}

// Typed as UTF-16 and kept as UTF-8, whatever the console's code page.
TypedLine PassphraseTerminal::ask(const char* prompt) {
    auto line = std::make_unique<SecretBytes>(3 * kTypedRoom);  // UTF-8 takes at most 3 bytes per UTF-16 unit
    if (!line->allocated()) return {};
    common::Console shown = common::Console::terminal();
    wchar_t typed[kTypedRoom];
    DWORD length = 0;
    shown.text(prompt);
    const bool fits = readLine(handleOf(terminal_), typed, length);
    shown.text("\n");
    const int size = length == 0 ? 0
                                 : ::WideCharToMultiByte(CP_UTF8, 0, typed, static_cast<int>(length),
                                                         reinterpret_cast<char*>(line->data()),
                                                         static_cast<int>(line->capacity()), nullptr, nullptr);
    ::SecureZeroMemory(typed, sizeof typed);
    line->resize(static_cast<std::size_t>(size > 0 ? size : 0));
    return {std::move(line), !fits};
}

}  // namespace glint
