#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <iterator>

#include "console.h"
#include "messages.h"

namespace glint {

namespace {

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

void waitForKey(const char* /*command*/, Console& out) {
    out.line(msg::kPressAnyKey);
    // Piped or redirected input has nobody to press a key: go on at once.
    if (::isatty(STDIN_FILENO) != 0) readOneKey();
}

}  // namespace glint
