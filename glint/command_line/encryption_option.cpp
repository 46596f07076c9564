#include "command_line/encryption_option.h"

namespace glint {

bool EncryptionOption::take(const std::string& argument, bool optionsEnded) {
    if (awaitingFile_) {
        passphraseFile_ = argument;
        awaitingFile_ = false;
        return true;
    }
    if (optionsEnded || (argument != "-p" && argument != "--passphrase-file")) return false;
    requested_ = true;
    awaitingFile_ = argument == "--passphrase-file";
    return true;
}

bool EncryptionOption::sharesStandardInput(const std::vector<std::string>& words) const {
    if (!passphraseFile_ || !namesStandardInput(*passphraseFile_) || words.empty()) return false;
    const std::size_t inputs = words[0] == "hide" ? 2 : words[0] == "recover" ? 1 : 0;
    for (std::size_t i = 1; i <= inputs && i < words.size(); ++i) {
        if (namesStandardInput(words[i])) return true;
    }
    return false;
}

Passphrase EncryptionOption::passphrase(const char* prompt, const char* again) const {
    return passphraseFile_ ? readPassphraseFile(passphraseFile_->c_str(), prompt, again)
                           : readTypedPassphrase(prompt, again);
}

}  // namespace glint
