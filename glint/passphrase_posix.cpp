#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <string>

#include "console.h"
#include "file_names.h"
#include "language.h"
#include "passphrase.h"

namespace glint {
namespace {

// While echo is off, every signal that would end the program gives the
// terminal its echo back first, and the stop signals (Ctrl+Z) give it back
// while the program is stopped, taking it again once the program goes on.
int quietTerminal = -1;
termios withEcho;
termios withoutEcho;
struct sigaction signalsBefore[NSIG];
bool signalTaken[NSIG];

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

// The handler while echo is off for a signal at its default action; none
// for those whose default leaves the program running, or that cannot be
// caught.
void (*echoHandlerFor(int signalNumber))(int) {
    switch (signalNumber) {
        case SIGTSTP: case SIGTTIN: case SIGTTOU:
            return echoWhileStopped;
        case SIGCHLD: case SIGCONT: case SIGURG: case SIGWINCH: case SIGKILL: case SIGSTOP:
            return nullptr;
        default:
            return echoThenEnd;
    }
}

// Only signals left at their default action are taken: one the caller
// ignores stays ignored.
void takeSignals() {
    struct sigaction action {};
    action.sa_flags = SA_RESTART;
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        action.sa_handler = echoHandlerFor(signalNumber);
        signalTaken[signalNumber] = action.sa_handler != nullptr &&
                                    ::sigaction(signalNumber, nullptr, &signalsBefore[signalNumber]) == 0 &&
                                    signalsBefore[signalNumber].sa_handler == SIG_DFL &&
                                    ::sigaction(signalNumber, &action, nullptr) == 0;
    }
}

void giveBackSignals() {
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        if (signalTaken[signalNumber]) ::sigaction(signalNumber, &signalsBefore[signalNumber], nullptr);
    }
}

// Echo off on `terminal`; line editing stays. Keys typed before are dropped,
// as they would have been echoed.
bool takeEcho(int terminal) {
    if (::tcgetattr(terminal, &withEcho) != 0) return false;
    quietTerminal = terminal;
    withoutEcho = withEcho;
    withoutEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    takeSignals();
    if (::tcsetattr(terminal, TCSAFLUSH, &withoutEcho) == 0) return true;
    giveBackSignals();
    quietTerminal = -1;
    return false;
}

void giveEchoBack() {
    ::tcsetattr(quietTerminal, TCSANOW, &withEcho);
    giveBackSignals();
    quietTerminal = -1;
}

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

bool namesStandardInput(const std::string& name) {
    struct stat named {};
    struct stat input {};
    return name == "-" || (::stat(name.c_str(), &named) == 0 && ::fstat(STDIN_FILENO, &input) == 0 &&
                           named.st_dev == input.st_dev && named.st_ino == input.st_ino);
}

PassphraseFile::PassphraseFile(const char* name) {
    if (std::strcmp(name, "-") == 0) {
        handle_ = STDIN_FILENO;
        // A closed standard input fails here, before anything opened later could take its number.
        if (::fcntl(STDIN_FILENO, F_GETFD) < 0) error_ = lastSystemError();
        return;
    }
    handle_ = ::open(pathOfName(name).c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    owned_ = handle_ >= 0;
    if (!owned_) error_ = lastSystemError();
}

PassphraseFile::~PassphraseFile() {
    if (owned_) ::close(static_cast<int>(handle_));
}

bool PassphraseFile::isTerminal() const { return ::isatty(static_cast<int>(handle_)) == 1; }

bool PassphraseFile::next(unsigned char& byte) {
    for (;;) {
        const ssize_t got = ::read(static_cast<int>(handle_), &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error_ = lastSystemError();
        return got == 1;
    }
}

PassphraseTerminal::PassphraseTerminal() : PassphraseTerminal(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC), true) {}

PassphraseTerminal::PassphraseTerminal(std::intptr_t handle) : PassphraseTerminal(handle, false) {}

PassphraseTerminal::PassphraseTerminal(std::intptr_t handle, bool owned)
    : terminal_(handle), owned_(owned && handle >= 0), opened_(handle >= 0 && takeEcho(static_cast<int>(handle))) {}

PassphraseTerminal::~PassphraseTerminal() {
    if (opened_) giveEchoBack();
    if (owned_) ::close(static_cast<int>(terminal_));
}

Passphrase PassphraseTerminal::ask(const char* prompt) {
    auto line = std::make_unique<SecretBytes>(kLongestPassphrase);
    if (!line->allocated()) return {PassphraseResult::NoMemory, nullptr};
    Console shown = Console::terminal();
    shown.text(prompt);
    shown.flush();
    const bool fits = readLine(static_cast<int>(terminal_), *line);
    shown.text("\n");
    shown.flush();
    return checkedPassphrase(inUtf8(std::move(line)), !fits);
}

}  // namespace glint
