// Where the passphrase of -p comes from: typed at the terminal with echo off,
// or the first line of a file. Never an argument or the environment, which
// other users of the machine can read. It goes straight into secure memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "encryption/passphrase_seal.h"

namespace glint {

enum class PassphraseResult {
    Read,
    NoTerminal,  // nothing to type it at
    Unreadable,  // the file cannot be opened or read
    Empty,
    TooLong,     // more than kLongestPassphrase bytes
    Differ,      // the two typed passphrases are not the same
    NoMemory,    // no secure memory
};

struct Passphrase {
    Passphrase(PassphraseResult outcome, std::unique_ptr<SecretBytes> read, std::error_code why = {})
        : result(outcome), bytes(std::move(read)), error(why) {}

    PassphraseResult result;
    std::unique_ptr<SecretBytes> bytes;  // set when Read
    std::error_code error;               // the system's reason when Unreadable
};

// Shows `prompt` on the terminal itself, even when the standard streams are
// redirected, and reads one line without echo; with `again`, shows that and
// reads a second line, which must match. Typed text is kept as UTF-8
// whatever the terminal's encoding, so that the same passphrase typed on
// Linux in any locale and at a Windows console gives the same key. The
// prompts are texts of messages.h.
Passphrase readTypedPassphrase(const char* prompt, const char* again);

// The first line of the file `name`, without its line end ("\n" or "\r\n")
// and without a UTF-8 byte-order mark; "-" is standard input. The bytes are
// taken as they are: a file meant to match a typed passphrase holds UTF-8.
// A file that is a terminal (standard input at a terminal, /dev/tty, CON)
// is typed at as readTypedPassphrase types, so that nothing typed shows.
Passphrase readPassphraseFile(const char* name, const char* prompt, const char* again);

// Whether the passphrase file `name` is standard input: "-", or another
// name of the same file (/dev/stdin, a file given as standard input too).
bool namesStandardInput(const std::string& name);

// The platform's part. Core files and debuggers of other processes are kept
// away from the process's memory from now on, where the system allows.
void keepMemoryPrivate();

// A passphrase file, or standard input for "-", read byte by byte from its
// descriptor (a HANDLE on Windows): no copy of the passphrase stays in a
// stream buffer.
class PassphraseFile {
public:
    explicit PassphraseFile(const char* name);
    ~PassphraseFile();
    PassphraseFile(const PassphraseFile&) = delete;
    PassphraseFile& operator=(const PassphraseFile&) = delete;

    // Why it could not be opened or read; empty while all is well.
    const std::error_code& error() const { return error_; }
    bool isTerminal() const;
    // The next byte; false at the end of the file or on a read error.
    bool next(unsigned char& byte);
    std::intptr_t handle() const { return handle_; }

private:
    std::intptr_t handle_ = -1;
    bool owned_ = false;  // opened here, so closed here (standard input is not)
    std::error_code error_;
};

// One line as typed, its end taken off and its text in UTF-8: no bytes when
// there was no secure memory for them; `overflowed` when it was longer than
// the room for it.
struct TypedLine {
    std::unique_ptr<SecretBytes> bytes;
    bool overflowed = false;
};

// A terminal (/dev/tty, or the console's input on Windows, or a passphrase
// file that is one) with echo off for as long as this is open, so that
// nothing typed shows, not even between two prompts.
class PassphraseTerminal {
public:
    // The terminal itself, even when the standard streams are redirected.
    PassphraseTerminal();
    // The terminal `handle` leads to; it stays open afterwards.
    explicit PassphraseTerminal(std::intptr_t handle);
    ~PassphraseTerminal();
    PassphraseTerminal(const PassphraseTerminal&) = delete;
    PassphraseTerminal& operator=(const PassphraseTerminal&) = delete;

    // Open, with echo off.
    bool opened() const { return opened_; }
    // Shows `prompt`, reads one line, and ends the line that echo would
    // have ended.
    TypedLine ask(const char* prompt);

private:
    PassphraseTerminal(std::intptr_t handle, bool owned);

    std::intptr_t terminal_ = -1;  // a descriptor, or a Windows HANDLE
    bool owned_ = false;
    bool opened_ = false;
};

}  // namespace glint
