#include "key_wait.h"

#include <cstdlib>
#include <iostream>

#ifndef _WIN32
#include <termios.h>
#include <unistd.h>

#include "messages.h"
#endif

namespace cairn {

#ifdef _WIN32

void waitForKey(const char* command) {
    std::cout.flush();
    std::system(command);
}

#else

namespace {

// One key, without waiting for a line end or echoing it; the terminal is
// put back as it was.
void readOneKey() {
    termios saved{};
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
        char key = 0;
        [[maybe_unused]] const ssize_t got = ::read(STDIN_FILENO, &key, 1);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
}

}  // namespace

void waitForKey(const char* /*command*/) {
    std::cout << msg::kPressAnyKey << std::endl;
    // Piped or redirected input has nobody to press a key: go on at once.
    if (::isatty(STDIN_FILENO)) readOneKey();
}

#endif

}  // namespace cairn
