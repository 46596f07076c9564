#include "encryption_option.h"

#include "messages.h"
#include "passphrase.h"
#include "sealed_payload.h"

namespace glint {
namespace {

void reportRefusal(PassphraseResult result, const std::string& file, Console& err) {
    switch (result) {
        case PassphraseResult::Read:
            return;
        case PassphraseResult::NoTerminal:
            err.line(msg::kNoTerminalForPassphrase);
            return;
        case PassphraseResult::Unreadable:
            err.text(msg::kPassphraseFileUnreadable);
            err.name(file);
            err.endLine();
            return;
        case PassphraseResult::Empty:
            err.line(msg::kPassphraseEmpty);
            return;
        case PassphraseResult::TooLong:
            err.line(msg::kPassphraseTooLong);
            return;
        case PassphraseResult::Differ:
            err.line(msg::kPassphrasesDiffer);
            return;
        case PassphraseResult::NoMemory:
            err.line(msg::kCryptoFailed);
            return;
    }
}

}  // namespace

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
    if (passphraseFile_ != "-" || words.empty()) return false;
    const std::size_t inputs = words[0] == "hide" ? 2 : words[0] == "recover" ? 1 : 0;
    for (std::size_t i = 1; i <= inputs && i < words.size(); ++i) {
        if (words[i] == "-") return true;
    }
    return false;
}

std::size_t EncryptionOption::overhead() const { return requested_ ? kSealOverhead : 0; }

std::unique_ptr<PayloadSeal> EncryptionOption::seal(bool confirm, Console& err) const {
    if (!requested_) return nullptr;
    Passphrase passphrase = passphraseFile_
                                ? readPassphraseFile(passphraseFile_->c_str())
                                : readTypedPassphrase(msg::kAskPassphrase, confirm ? msg::kAskPassphraseAgain : nullptr);
    reportRefusal(passphrase.result, passphraseFile_.value_or(""), err);
    if (passphrase.result != PassphraseResult::Read) return nullptr;
    return std::make_unique<PassphraseSeal>(std::move(passphrase.bytes));
}

}  // namespace glint
