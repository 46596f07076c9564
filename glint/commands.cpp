#include "commands.h"

#include <memory>
#include <optional>
#include <ostream>

#include "bmp_carrier.h"
#include "messages.h"
#include "encryption_option.h"

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

// The carrier wrote "载入失败！" without a line end, as the menu wants it.
bool loaded(BmpCarrier& carrier, Console& err) {
    if (!carrier.isLoaded()) err.endLine();
    return carrier.isLoaded();
}

// The menu's choice 1 with the same carrier calls, stopping at the first failure.
int hide(const Names& names, Console& out, Console& err, const EncryptionOption& encryption) {
    const std::unique_ptr<PayloadSeal> seal = encryption.seal(true, err);
    if (encryption.requested() && !seal) return kFailed;
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
int recover(const Names& names, Console& out, Console& err, const EncryptionOption& encryption) {
    const std::unique_ptr<PayloadSeal> seal = encryption.seal(false, err);
    if (encryption.requested() && !seal) return kFailed;
    BmpCarrier carrier(out, err);
    carrier.loadBmp(names[0].c_str());
    if (!loaded(carrier, err)) return kFailed;
    return carrier.extractText(names[1].c_str(), seal.get()) ? kSucceeded : kFailed;
}

// "N  NAME" for every image that loads, in the order given.
int capacity(const Names& names, Console& out, Console& err, const EncryptionOption& encryption) {
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
        const std::optional<std::uint32_t> room = carrier.capacity(encryption.overhead());
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

int run(const std::string& command, const Names& names, Console& out, Console& err, const EncryptionOption& encryption) {
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
    EncryptionOption encryption;
    for (const std::string& argument : arguments) {
        if (encryption.take(argument, optionsEnded)) continue;
        // "-" is a file of that name; after "--" every word is a name.
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
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
    if (encryption.awaitingFile()) return usageError(err, msg::kMissingOptionValue, "--passphrase-file");
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
