#include <windows.h>

#include "console.h"
#include "passphrase.h"

namespace glint {
namespace {

// The console's mode before echo went off, put back by Ctrl+C and Ctrl+Break
// too, which end the program.
HANDLE quietConsole = nullptr;
DWORD modeBefore = 0;

BOOL WINAPI echoThenEnd(DWORD /*event*/) {
    ::SetConsoleMode(quietConsole, modeBefore);
    return FALSE;  // the default handler ends the program
}

class EchoOff {
public:
    explicit EchoOff(HANDLE console) {
        if (!::GetConsoleMode(console, &modeBefore)) return;
        quietConsole = console;
        ::SetConsoleCtrlHandler(echoThenEnd, TRUE);
        const DWORD quiet = (modeBefore | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT);
        active_ = ::SetConsoleMode(console, quiet) != 0;
    }
    ~EchoOff() {
        if (quietConsole == nullptr) return;
        ::SetConsoleMode(quietConsole, modeBefore);
        ::SetConsoleCtrlHandler(echoThenEnd, FALSE);
        quietConsole = nullptr;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
};

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

PassphraseTerminal::PassphraseTerminal() {
    const HANDLE console = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    opened_ = console != INVALID_HANDLE_VALUE && ::GetConsoleMode(console, &mode);
    if (console != INVALID_HANDLE_VALUE && !opened_) ::CloseHandle(console);
    terminal_ = reinterpret_cast<std::intptr_t>(console);
}

PassphraseTerminal::~PassphraseTerminal() {
    if (opened_) ::CloseHandle(reinterpret_cast<HANDLE>(terminal_));
}

// Typed as UTF-16 and kept as UTF-8, whatever the console's code page.
Passphrase PassphraseTerminal::ask(const char* prompt) {
    const HANDLE console = reinterpret_cast<HANDLE>(terminal_);
    auto line = std::make_unique<SecretBytes>(3 * kTypedRoom);  // UTF-8 takes at most 3 bytes per UTF-16 unit
    if (!line->allocated()) return {PassphraseResult::NoMemory, nullptr};
    Console shown = Console::terminal();
    wchar_t typed[kTypedRoom];
    DWORD length = 0;
    bool fits = false;
    {
        const EchoOff quiet(console);
        if (!quiet.active()) return {PassphraseResult::NoTerminal, nullptr};
        shown.text(prompt);
        fits = readLine(console, typed, length);
    }
    shown.text("\n");
    const int size = length == 0 ? 0
                                 : ::WideCharToMultiByte(CP_UTF8, 0, typed, static_cast<int>(length),
                                                         reinterpret_cast<char*>(line->data()),
                                                         static_cast<int>(line->capacity()), nullptr, nullptr);
    ::SecureZeroMemory(typed, sizeof typed);
    line->resize(static_cast<std::size_t>(size > 0 ? size : 0));
    return checkedPassphrase(std::move(line), !fits);
}

}  // namespace glint
