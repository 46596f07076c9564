// The command line's -p and --passphrase-file FILE: hide encrypts, recover
// decrypts, and capacity leaves room for the encryption's own bytes.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encryption/passphrase.h"
#include "encryption/payload_seal.h"

namespace glint {

class EncryptionOption {
public:
    // Takes the word when it is one of the two options, or the name after
    // --passphrase-file; after "--" only that name.
    bool take(const std::string& argument, bool optionsEnded);

    // --passphrase-file was the last word, with no name after it.
    bool awaitingFile() const { return awaitingFile_; }
    // The file named by --passphrase-file; nothing when it is typed.
    const std::optional<std::string>& passphraseFile() const { return passphraseFile_; }
    // Standard input named both as the passphrase file ("-", /dev/stdin) and
    // as an image or payload of `words` (the subcommand and its names).
    bool sharesStandardInput(const std::vector<std::string>& words) const;
    // The bytes that encryption adds to a payload; 0 without -p.
    std::size_t overhead() const;

    struct Seal {
        std::unique_ptr<PayloadSeal> seal;  // null without -p, or when no passphrase was had
        PassphraseResult result = PassphraseResult::Read;
        std::error_code error;  // why the passphrase file could not be read
    };
    // The seal of the passphrase, typed after `prompt` (and again after
    // `again`, when not null) or read from the file; a file that is a
    // terminal is typed at in the same way.
    Seal seal(const char* prompt, const char* again) const;

private:
    bool requested_ = false;
    bool awaitingFile_ = false;
    std::optional<std::string> passphraseFile_;
};

}  // namespace glint
