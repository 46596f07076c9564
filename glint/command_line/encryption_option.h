// The command line's -p and --passphrase-file FILE: the passphrase that
// hide, recover and capacity use the hidden layout with.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "encryption/passphrase.h"

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
    // -p or --passphrase-file was given.
    bool requested() const { return requested_; }
    // The passphrase, typed after `prompt` (and again after `again`, when
    // not null) or read from the file; a file that is a terminal is typed at
    // in the same way.
    Passphrase passphrase(const char* prompt, const char* again) const;


private:
    bool requested_ = false;
    bool awaitingFile_ = false;
    std::optional<std::string> passphraseFile_;
};

}  // namespace glint
