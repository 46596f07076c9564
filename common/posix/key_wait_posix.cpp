#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cwchar>

#include "common/key_wait.h"
#include "common/posix/retrying_io.h"
#include "common/posix/terminal_mode.h"
#include "common/posix/text_conversion.h"

namespace common {

namespace {

// The rest of a key arrives together with its first byte; type-ahead after
// it stays for the next read.
constexpr int kRestOfKeyMs = 100;
constexpr std::size_t kLongestSequence = 16;
constexpr unsigned char kEscape = 0x1B;

// No echo and no line editing, so that one key ends the wait.
void oneKeyAtATime(termios& settings) {
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

bool readByte(unsigned char& byte) { return readRetrying(STDIN_FILENO, &byte, 1) == 1; }

bool nextByteOfKey(unsigned char& byte) {
    pollfd ready{STDIN_FILENO, POLLIN, 0};
    int result = 0;
    do {
        result = ::poll(&ready, 1, kRestOfKeyMs);
    } while (result < 0 && errno == EINTR);
    return result == 1 && readByte(byte);
}

std::size_t utf8BytesAfter(unsigned char lead) {
    if (lead >= 0xF0) return 3;
    if (lead >= 0xE0) return 2;
    return lead >= 0xC0 ? 1 : 0;
}

// The rest of the character `lead` begins, by the locale's own multibyte
// rules (GBK, GB18030's four-byte forms, Big5, EUC, UTF-8).
void readRestOfCharacter(unsigned char lead) {
    unsigned char byte = lead;
    // A UTF-8 terminal in a locale of single bytes (the C locale): the lead
    // byte says how many follow.
    if (MB_CUR_MAX == 1 && isUtf8(terminalCodeset())) {
        for (std::size_t left = utf8BytesAfter(lead); left > 0 && nextByteOfKey(byte); --left) {
        }
        return;
    }
    constexpr std::size_t kIncomplete = static_cast<std::size_t>(-2);
    std::mbstate_t state{};
    for (std::size_t length = 1; length < MB_LEN_MAX; ++length) {
        const char piece = static_cast<char>(byte);
        if (std::mbrlen(&piece, 1, &state) != kIncomplete || !nextByteOfKey(byte)) return;
    }
}

// After ESC [ (CSI) or ESC O (SS3): parameter and intermediate bytes up to a
// final byte, as xterm sends; ESC [ [ and one letter is the Linux console's
// F1 to F5.
void readRestOfControlSequence(unsigned char introducer) {
    unsigned char byte = 0;
    for (std::size_t i = 0; i < kLongestSequence && nextByteOfKey(byte); ++i) {
        const bool linuxConsoleKey = i == 0 && introducer == '[' && byte == '[';
        if (byte >= 0x40 && byte <= 0x7E && !linuxConsoleKey) return;
    }
}

// A function key's sequence, Alt with a key (ESC and the key), the Escape
// key by itself, or a character.
void readRestOfKey(unsigned char first) {
    unsigned char byte = first;
    if (first == kEscape && !nextByteOfKey(byte)) return;
    if (first == kEscape && (byte == '[' || byte == 'O')) {
        readRestOfControlSequence(byte);
    } else {
        readRestOfCharacter(byte);
    }
}

void readOneKey(AfterTheKey after) {
    const TerminalMode keyMode(STDIN_FILENO, oneKeyAtATime, false);
    unsigned char first = 0;
    if (!readByte(first)) return;
    readRestOfKey(first);
    // What was typed for a program that has ended must not reach the shell.
    if (after == AfterTheKey::ProgramEnds && keyMode.taken()) ::tcflush(STDIN_FILENO, TCIFLUSH);
}

}  // namespace

void waitForKey(const char* /*command*/, const char* prompt, AfterTheKey after, Console& out) {
    out.line(prompt);
    // Piped or redirected input has nobody to press a key: go on at once.
    if (::isatty(STDIN_FILENO) != 0) readOneKey(after);
}

}  // namespace common
