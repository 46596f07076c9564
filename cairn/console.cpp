#include "console.h"

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <clocale>

#include <iconv.h>
#include <langinfo.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "messages.h"

namespace cairn {

#ifdef _WIN32

namespace {

constexpr UINT kGbkCodePage = 936;

std::wstring wideFromGbk(std::string_view gbk) {
    const int length = static_cast<int>(gbk.size());
    const int needed = ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, wide.data(), needed);
    return wide;
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode);
}

}  // namespace

Console::Console(std::ostream& stream, int descriptor) : stream_(stream) {
    HANDLE handle = ::GetStdHandle(descriptor == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (isConsole(handle)) consoleHandle_ = handle;
}

// A console shows UTF-16 whatever its code page.
bool Console::writeConverted(std::string_view gbk) {
    if (consoleHandle_ == nullptr) return false;
    const std::wstring wide = wideFromGbk(gbk);
    if (wide.empty()) return gbk.empty();
    // Whatever is buffered for either stream goes out first, in order.
    if (std::ostream* tied = stream_.tie()) tied->flush();
    stream_.flush();
    DWORD written = 0;
    return ::WriteConsoleW(consoleHandle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
}

void waitForKey(const char* command, Console& out) {
    out.flush();
    std::system(command);
}

#else

namespace {

// GBK itself, its extension GB18030 and its subset GB2312 (EUC-CN) show the
// designed bytes as they are.
bool showsGbkAsIs(const std::string& codeset) {
    std::string name;
    for (const char c : codeset) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return name == "GBK" || name == "GB18030" || name == "GB2312" || name == "EUCCN" || name == "CP936";
}

// The character set of the user's locale when `descriptor` is a terminal
// that needs the texts converted; empty otherwise.
std::string terminalCodeset(int descriptor) {
    if (::isatty(descriptor) == 0 || std::setlocale(LC_CTYPE, "") == nullptr) return {};
    const std::string codeset = ::nl_langinfo(CODESET);
    return showsGbkAsIs(codeset) ? std::string() : codeset;
}

// False when some character has no form in `codeset` (in the C locale's
// ASCII, every Chinese one).
bool convertFromGbk(std::string_view gbk, const std::string& codeset, std::string& converted) {
    const iconv_t conversion = ::iconv_open(codeset.c_str(), "GBK");
    if (conversion == reinterpret_cast<iconv_t>(-1)) return false;
    // Four bytes per input byte and a few for a byte-order mark hold any target.
    converted.assign(4 * gbk.size() + 16, '\0');
    char* in = const_cast<char*>(gbk.data());
    std::size_t inLeft = gbk.size();
    char* out = converted.data();
    std::size_t outLeft = converted.size();
    const bool whole = ::iconv(conversion, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
                       ::iconv(conversion, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(conversion);
    converted.resize(converted.size() - outLeft);
    return whole;
}

// The rest of a key arrives together with its first byte; type-ahead after
// it stays for the next read.
constexpr int kRestOfKeyMs = 100;
constexpr std::size_t kLongestSequence = 16;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

termios terminalBeforeWait;
struct sigaction actionsBeforeWait[std::size(kEndingSignals)];

// A signal that ends the program during the wait leaves the terminal as it
// found it: echo and line editing back.
void restoreTerminalThenEnd(int signalNumber) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &terminalBeforeWait);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// No echo and no line editing for the length of one key.
class RawTerminal {
public:
    RawTerminal() {
        if (::tcgetattr(STDIN_FILENO, &terminalBeforeWait) != 0) return;
        struct sigaction restore {};
        restore.sa_handler = restoreTerminalThenEnd;
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], nullptr, &actionsBeforeWait[i]);
            if (actionsBeforeWait[i].sa_handler != SIG_IGN) ::sigaction(kEndingSignals[i], &restore, nullptr);
        }
        termios raw = terminalBeforeWait;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~RawTerminal() {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &terminalBeforeWait);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], &actionsBeforeWait[i], nullptr);
        }
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
};

bool readByte(unsigned char& byte) { return ::read(STDIN_FILENO, &byte, 1) == 1; }

bool nextByteOfKey(unsigned char& byte) {
    pollfd ready{STDIN_FILENO, POLLIN, 0};
    return ::poll(&ready, 1, kRestOfKeyMs) == 1 && readByte(byte);
}

// An escape sequence (ESC [ parameters and a final byte, ESC O and one byte,
// or ESC and one byte), or the rest of a multi-byte UTF-8 character.
void readRestOfKey(unsigned char first) {
    unsigned char byte = 0;
    if (first == 0x1B) {
        if (!nextByteOfKey(byte)) return;
        if (byte == '[') {
            for (std::size_t i = 0; i < kLongestSequence && nextByteOfKey(byte); ++i) {
                if (byte >= 0x40 && byte <= 0x7E) break;
            }
        } else if (byte == 'O') {
            nextByteOfKey(byte);
        }
        return;
    }
    int following = 0;
    if (first >= 0xC0 && first < 0xE0) following = 1;
    if (first >= 0xE0 && first < 0xF0) following = 2;
    if (first >= 0xF0 && first < 0xF8) following = 3;
    for (; following > 0 && nextByteOfKey(byte); --following) {
    }
}

void readOneKey() {
    const RawTerminal raw;
    unsigned char first = 0;
    if (raw.active() && readByte(first)) readRestOfKey(first);
}

}  // namespace

Console::Console(std::ostream& stream, int descriptor)
    : stream_(stream), codeset_(terminalCodeset(descriptor)) {}

bool Console::writeConverted(std::string_view gbk) {
    std::string shown;
    if (codeset_.empty() || !convertFromGbk(gbk, codeset_, shown)) return false;
    stream_ << shown;
    return true;
}

void waitForKey(const char* /*command*/, Console& out) {
    out.line(msg::kPressAnyKey);
    // Piped or redirected input has nobody to press a key: go on at once.
    if (::isatty(STDIN_FILENO) != 0) readOneKey();
}

#endif

Console Console::standardOutput() { return Console(std::cout, 1); }
Console Console::standardError() { return Console(std::cerr, 2); }

void Console::text(const char* gbk) {
    const std::string_view bytes(gbk);
    if (!writeConverted(bytes)) stream_ << bytes;
}

}  // namespace cairn
