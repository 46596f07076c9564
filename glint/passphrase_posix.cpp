#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <clocale>
#include <csignal>
#include <iterator>
#include <string>

#include "console.h"
#include "passphrase.h"

namespace glint {
namespace {

// Signals that end the program while echo is off: the terminal gets its echo
// back first. The stop signals (Ctrl+Z) give it back while the program is
// stopped, and take it again once the program goes on.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2};
constexpr int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

int quietTerminal = -1;
termios withEcho;
termios withoutEcho;
struct sigaction endingBefore[std::size(kEndingSignals)];
struct sigaction stopBefore[std::size(kStopSignals)];

void echoThenEnd(int signalNumber) {
    ::tcsetattr(quietTerminal, TCSANOW, &withEcho);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void echoWhileStopped(int signalNumber) {
    const int savedErrno = errno;
    ::tcsetattr(quietTerminal, TCSANOW, &withEcho);
    struct sigaction stop {};
    struct sigaction ours {};
    stop.sa_handler = SIG_DFL;
    ::sigaction(signalNumber, &stop, &ours);
    sigset_t just;
    ::sigemptyset(&just);
    ::sigaddset(&just, signalNumber);
    ::sigprocmask(SIG_UNBLOCK, &just, nullptr);
    ::raise(signalNumber);  // the program stops here until it is continued
    ::sigprocmask(SIG_BLOCK, &just, nullptr);
    ::sigaction(signalNumber, &ours, nullptr);
    ::tcsetattr(quietTerminal, TCSANOW, &withoutEcho);
    errno = savedErrno;
}

template <std::size_t N>
void takeSignals(const int (&signals)[N], struct sigaction (&before)[N], void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < N; ++i) {
        ::sigaction(signals[i], nullptr, &before[i]);
        // A signal the caller chose to ignore stays ignored.
        if (before[i].sa_handler != SIG_IGN) ::sigaction(signals[i], &action, nullptr);
    }
}

template <std::size_t N>
void giveBackSignals(const int (&signals)[N], const struct sigaction (&before)[N]) {
    for (std::size_t i = 0; i < N; ++i) ::sigaction(signals[i], &before[i], nullptr);
}

// Echo off for the length of one line; line editing stays.
class EchoOff {
public:
    explicit EchoOff(int terminal) {
        if (::tcgetattr(terminal, &withEcho) != 0) return;
        quietTerminal = terminal;
        withoutEcho = withEcho;
        withoutEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
        takeSignals(kEndingSignals, endingBefore, echoThenEnd);
        takeSignals(kStopSignals, stopBefore, echoWhileStopped);
        // Keys typed before the prompt are dropped, as they would be echoed.
        active_ = ::tcsetattr(terminal, TCSAFLUSH, &withoutEcho) == 0;
    }
    ~EchoOff() {
        if (quietTerminal < 0) return;
        ::tcsetattr(quietTerminal, TCSANOW, &withEcho);
        giveBackSignals(kEndingSignals, endingBefore);
        giveBackSignals(kStopSignals, stopBefore);
        quietTerminal = -1;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
};

// One line, byte by byte into secure memory; false when it did not fit.
// Ctrl+D ends the line as Enter does; a failed read (a terminal hung up)
// gives an empty line, never a part.
bool readLine(int terminal, SecretBytes& line) {
    bool fits = true;
    for (;;) {
        unsigned char byte = 0;
        const ssize_t got = ::read(terminal, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) line.resize(0);
        if (got <= 0 || byte == '\n') return fits;
        if (!line.append(byte)) fits = false;
    }
}

// The typed bytes as UTF-8, converted from the locale's encoding. Bytes that
// are not text in it stay as they are: in the C locale (ASCII) a terminal
// that sends more than ASCII almost always sends UTF-8.
std::unique_ptr<SecretBytes> inUtf8(std::unique_ptr<SecretBytes> typed) {
    std::setlocale(LC_CTYPE, "");
    const std::string codeset = ::nl_langinfo(CODESET);
    if (codeset == "UTF-8") return typed;
    const iconv_t conversion = ::iconv_open("UTF-8", codeset.c_str());
    if (conversion == reinterpret_cast<iconv_t>(-1)) return typed;
    // Four bytes per input byte hold any character in UTF-8.
    auto converted = std::make_unique<SecretBytes>(4 * typed->size());
    char* in = reinterpret_cast<char*>(typed->data());
    std::size_t inLeft = typed->size();
    char* out = reinterpret_cast<char*>(converted->data());
    std::size_t outLeft = converted->capacity();
    const bool whole = converted->allocated() && ::iconv(conversion, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(conversion);
    if (!whole) return typed;
    converted->resize(converted->capacity() - outLeft);
    return converted;
}

}  // namespace

void keepMemoryPrivate() {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
#ifdef __linux__
    // Also no core through a core_pattern pipe, and no ptrace or /proc/PID/mem
    // by other processes of the same user.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

PassphraseTerminal::PassphraseTerminal() {
    terminal_ = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    opened_ = terminal_ >= 0;
}

PassphraseTerminal::~PassphraseTerminal() {
    if (opened_) ::close(static_cast<int>(terminal_));
}

Passphrase PassphraseTerminal::ask(const char* prompt) {
    auto line = std::make_unique<SecretBytes>(kLongestPassphrase);
    if (!line->allocated()) return {PassphraseResult::NoMemory, nullptr};
    Console shown = Console::terminal();
    bool fits = false;
    {
        const EchoOff quiet(static_cast<int>(terminal_));
        if (!quiet.active()) return {PassphraseResult::NoTerminal, nullptr};
        shown.text(prompt);
        shown.flush();
        fits = readLine(static_cast<int>(terminal_), *line);
    }
    shown.text("\n");
    shown.flush();
    return checkedPassphrase(inUtf8(std::move(line)), !fits);
}

}  // namespace glint
