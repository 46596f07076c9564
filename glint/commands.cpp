#include "commands.h"

#include <memory>
#include <optional>
#include <ostream>

#include "bmp_carrier.h"
#include "messages.h"
#include "passphrase.h"

namespace glint {
namespace {

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

using Names = std::vector<std::string>;

int usageError(Console& err, const char* reason, const std::string& argument = {}) {
    err.text(reason);
    err.raw(argument);
    err.endLine();
    err.text(msg::kUsage);
    err.text(msg::kUsageEncryption);
    err.flush();
    return kUsageError;
}

// -p and --passphrase-file FILE: hide encrypts, recover decrypts, capacity
// leaves room for the encryption's own bytes.
struct Encryption {
    bool requested = false;
    bool awaitingFile = false;  // --passphrase-file was the last word
    std::optional<std::string> passphraseFile;

    // Takes the word if it is one of these options, or the file's name.
    bool take(const std::string& argument, bool optionsEnded) {
        if (awaitingFile) {
            passphraseFile = argument;
            awaitingFile = false;
            return true;
        }
        if (optionsEnded || (argument != "-p" && argument != "--passphrase-file")) return false;
        requested = true;
        awaitingFile = argument == "--passphrase-file";
        return true;
    }

    // Standard input as the passphrase file and as an image or payload of
    // `words` (the subcommand and its names).
    bool sharesStandardInput(const Names& words) const {
        if (passphraseFile != "-") return false;
        const std::size_t inputs = words[0] == "hide" ? 2 : words[0] == "recover" ? 1 : 0;
        for (std::size_t i = 1; i <= inputs && i < words.size(); ++i) {
            if (words[i] == "-") return true;
        }
        return false;
    }
};

void passphraseRefused(PassphraseResult result, const Encryption& encryption, Console& err) {
    switch (result) {
        case PassphraseResult::Read:
            return;
        case PassphraseResult::NoTerminal:
            err.line(msg::kNoTerminalForPassphrase);
            return;
        case PassphraseResult::Unreadable:
            err.text(msg::kPassphraseFileUnreadable);
            err.name(encryption.passphraseFile.value_or(""));
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

// The seal of the passphrase, typed (twice when `confirm`) or read from the
// file; none without -p, or, with the reason on `err`, when none was had.
std::unique_ptr<PayloadSeal> passphraseSeal(const Encryption& encryption, bool confirm, Console& err) {
    if (!encryption.requested) return nullptr;
    Passphrase passphrase =
        encryption.passphraseFile
            ? readPassphraseFile(encryption.passphraseFile->c_str())
            : readTypedPassphrase(msg::kAskPassphrase, confirm ? msg::kAskPassphraseAgain : nullptr);
    passphraseRefused(passphrase.result, encryption, err);
    if (passphrase.result != PassphraseResult::Read) return nullptr;
    return std::make_unique<PassphraseSeal>(std::move(passphrase.bytes));
}

// The carrier wrote "载入失败！" without a line end, as the menu wants it.
bool loaded(BmpCarrier& carrier, Console& err) {
    if (!carrier.isLoaded()) err.endLine();
    return carrier.isLoaded();
}

// The menu's choice 1 with the same carrier calls, stopping at the first failure.
int hide(const Names& names, Console& out, Console& err, const Encryption& encryption) {
    const std::unique_ptr<PayloadSeal> seal = passphraseSeal(encryption, true, err);
    if (encryption.requested && !seal) return kFailed;
    BmpCarrier carrier(out, err);
    carrier.loadBmp(names[0].c_str());
    if (!loaded(carrier, err)) return kFailed;
    switch (carrier.hide(names[1].c_str(), seal.get())) {
        case BmpCarrier::HideResult::Hidden:
            break;
        case BmpCarrier::HideResult::TooLong:
            err.line(msg::kPayloadTooLong);
            return kFailed;
        case BmpCarrier::HideResult::Unreadable:
            err.line(msg::kLoadFailed);
            return kFailed;
        case BmpCarrier::HideResult::SealFailed:
            err.line(msg::kCryptoFailed);
            return kFailed;
    }
    return carrier.saveBmp(names[2].c_str()) ? kSucceeded : kFailed;
}

// The menu's choice 2 with the same carrier calls.
int recover(const Names& names, Console& out, Console& err, const Encryption& encryption) {
    const std::unique_ptr<PayloadSeal> seal = passphraseSeal(encryption, false, err);
    if (encryption.requested && !seal) return kFailed;
    BmpCarrier carrier(out, err);
    carrier.loadBmp(names[0].c_str());
    if (!loaded(carrier, err)) return kFailed;
    return carrier.extractText(names[1].c_str(), seal.get()) ? kSucceeded : kFailed;
}

// "N  NAME" for every image that loads, in the order given.
int capacity(const Names& names, Console& out, Console& err, const Encryption& encryption) {
    std::ostream discarded(nullptr);
    Console silent(discarded);  // the load's success text is not wanted here
    BmpCarrier carrier(silent, err);
    int status = kSucceeded;
    for (const std::string& name : names) {
        carrier.loadBmp(name.c_str());
        if (!loaded(carrier, err)) {
            status = kFailed;
            continue;
        }
        const std::optional<std::uint32_t> room = carrier.capacity(encryption.requested ? kSealOverhead : 0);
        if (!room) {
            err.line(msg::kPayloadTooLong);
            status = kFailed;
            continue;
        }
        out.raw(std::to_string(*room) + "  " + name);
        out.endLine();
    }
    return status;
}

int run(const std::string& command, const Names& names, Console& out, Console& err, const Encryption& encryption) {
    if (command == "hide") {
        return names.size() == 3 ? hide(names, out, err, encryption) : usageError(err, msg::kWrongArgumentCount, command);
    }
    if (command == "recover") {
        return names.size() == 2 ? recover(names, out, err, encryption) : usageError(err, msg::kWrongArgumentCount, command);
    }
    if (command == "capacity") {
        return !names.empty() ? capacity(names, out, err, encryption) : usageError(err, msg::kWrongArgumentCount, command);
    }
    return usageError(err, msg::kUnknownArgument, command);
}

}  // namespace

int runCommand(const std::vector<std::string>& arguments, Console& out, Console& err) {
    Names words;  // the subcommand and its names
    bool optionsEnded = false;
    bool help = false;
    bool version = false;
    Encryption encryption;
    for (const std::string& argument : arguments) {
        // "-" is a file of that name; after "--" every word is a name.
        if (encryption.take(argument, optionsEnded)) {
            continue;
        } else if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            words.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else {
            return usageError(err, msg::kUnknownArgument, argument);
        }
    }
    if (encryption.awaitingFile) return usageError(err, msg::kMissingOptionValue, "--passphrase-file");
    if (help) {
        out.text(msg::kUsage);
        out.text(msg::kUsageEncryption);
        out.text(msg::kHelpDetails);
        out.text(msg::kHelpEncryption);
        out.flush();
        return kSucceeded;
    }
    if (version) {
        out.raw("glint " GLINT_VERSION);
        out.endLine();
        return kSucceeded;
    }
    if (words.empty()) return usageError(err, msg::kMissingCommand);
    if (encryption.sharesStandardInput(words)) return usageError(err, msg::kStandardInputTwice, "-");
    const int status = run(words[0], Names(words.begin() + 1, words.end()), out, err, encryption);
    // A report that could not be written is a failure too.
    return status == kSucceeded && out.failed() ? kFailed : status;
}

}  // namespace glint
