#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/console.h"
#include "common/file_names.h"
#include "common/posix/retrying_io.h"
#include "common/posix/terminal_mode.h"
#include "common/posix/text_conversion.h"
#include "common/system_error.h"
#include "encryption/passphrase.h"

namespace glint {
namespace {

// Echo off, line editing kept; on the terminal of the one prompt at a time.
void withoutEcho(termios& settings) { settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL); }
std::optional<common::TerminalMode> quiet;

// Keys typed before are dropped, as they would have been echoed.
bool takeEcho(int terminal) {
    quiet.emplace(terminal, withoutEcho, true);
    if (quiet->usable()) return true;
    quiet.reset();
    return false;
}

// One line, byte by byte into secure memory; `overflowed` when it did not
// fit. Ctrl+D ends the line as Enter does; a failed read (a terminal hung
// up) gives an empty line, never a part.
void readLine(int terminal, TypedLine& line) {
    for (;;) {
        unsigned char byte = 0;
        const ssize_t got = common::readRetrying(terminal, &byte, 1);
        if (got < 0) line.bytes->resize(0);
        if (got <= 0 || byte == '\n') return;
        if (!line.bytes->append(byte)) line.overflowed = true;
    }
}

// The typed bytes as UTF-8, converted from the terminal's encoding. Bytes
// that are not text in it stay as they are.
std::unique_ptr<SecretBytes> inUtf8(std::unique_ptr<SecretBytes> typed) {
    const std::string codeset = common::terminalCodeset();
    if (common::isUtf8(codeset)) return typed;
    // Four bytes per input byte hold any character in UTF-8.
    auto converted = std::make_unique<SecretBytes>(4 * typed->size());
    if (!converted->allocated()) return typed;
    const std::string_view text(reinterpret_cast<const char*>(typed->data()), typed->size());
    const bool whole = common::convertText("UTF-8", codeset.c_str(), text, [&](const char* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) converted->append(static_cast<unsigned char>(bytes[i]));
    });
    return whole ? std::move(converted) : std::move(typed);
}

}  // namespace

void keepMemoryPrivate() {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    // Also no core through a core_pattern pipe, and no ptrace or /proc/PID/mem
    // by other processes of the same user.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
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
        if (::fcntl(STDIN_FILENO, F_GETFD) < 0) error_ = common::lastSystemError();
        return;
    }
    handle_ = ::open(common::pathOfName(name).c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    owned_ = handle_ >= 0;
    if (!owned_) error_ = common::lastSystemError();
}

PassphraseFile::~PassphraseFile() {
    if (owned_) ::close(static_cast<int>(handle_));
}

bool PassphraseFile::isTerminal() const { return ::isatty(static_cast<int>(handle_)) == 1; }

bool PassphraseFile::next(unsigned char& byte) {
    const ssize_t got = common::readRetrying(static_cast<int>(handle_), &byte, 1);
    if (got < 0) error_ = common::lastSystemError();
    return got == 1;
}

PassphraseTerminal::PassphraseTerminal() : PassphraseTerminal(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC), true) {}

PassphraseTerminal::PassphraseTerminal(std::intptr_t handle) : PassphraseTerminal(handle, false) {}

PassphraseTerminal::PassphraseTerminal(std::intptr_t handle, bool owned)
    : terminal_(handle), owned_(owned && handle >= 0), opened_(handle >= 0 && takeEcho(static_cast<int>(handle))) {}

PassphraseTerminal::~PassphraseTerminal() {
    if (opened_) quiet.reset();
    if (owned_) ::close(static_cast<int>(terminal_));
}

TypedLine PassphraseTerminal::ask(const char* prompt) {
    TypedLine line{std::make_unique<SecretBytes>(kLongestPassphrase)};
    if (!line.bytes->allocated()) return {};
    common::Console shown = common::Console::terminal();
    shown.text(prompt);
    shown.flush();
    readLine(static_cast<int>(terminal_), line);
    shown.text("\n");
    shown.flush();
    line.bytes = inUtf8(std::move(line.bytes));
    return line;
}

}  // namespace glint
