#include "command_line/commands.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carrier/bmp_carrier.h"
#include "command_line/encryption_option.h"
#include "common/console_input.h"
#include "common/system_error.h"
#include "files/file_output.h"
#include "messages.h"

namespace glint {
namespace {

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

// Standard input as an image or payload, standard output as an output file.
const std::string kStandardStream = "-";

using Names = std::vector<std::string>;
using Problem = BmpCarrier::Problem;

// The text with its "{}" replaced by `number`.
std::string withNumber(const char* text, std::uint64_t number) {
    std::string filled = text;
    const std::size_t at = filled.find("{}");
    if (at != std::string::npos) filled.replace(at, 2, std::to_string(number));
    return filled;
}

// A file name as the user gave it, with each control character shown as
// '?': a name can neither move the terminal's cursor nor break a line in
// two. No byte below 0x20 or 0x7F is ever part of a multibyte character in
// UTF-8, GBK, Big5 or Shift_JIS, so each stands for itself.
void showName(common::Console& console, std::string_view name) {
    std::string shown(name);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    console.userText(shown);
}

// Why something failed: the system's reason, or the program's own text.
struct Reason {
    std::error_code system;
    const msg::Text* own = nullptr;
    std::uint64_t number = 0;  // for a "{}" in the own text
};

Reason reasonOf(const BmpCarrier::Failure& failure) {
    switch (failure.problem) {
        case Problem::System:
            return {failure.system};
        case Problem::OutOfMemory:
            return {std::make_error_code(std::errc::not_enough_memory)};
        case Problem::NotBmp:
            return {{}, &msg::kNotBmp};
        case Problem::ShorterThanHeaders:
            return {{}, &msg::kShorterThanHeaders};
        case Problem::SizeBelowHeaders:
            return {{}, &msg::kSizeBelowHeaders};
        case Problem::ShorterThanSize:
            return {{}, &msg::kShorterThanSize};
        case Problem::NoPayload:
            return {{}, &msg::kNoPayload};
        case Problem::NotOpened:
            return {{}, &msg::kNotDecrypted};
        case Problem::SealFailed:
            return {{}, &msg::kCryptoFailed};
        case Problem::TooLong:  // said with the room, where it is known
        case Problem::NothingLoaded:
        case Problem::None:
            break;
    }
    return {};
}

// Why an image that loaded takes no payload at all.
Reason noRoom(const BmpCarrier& carrier) {
    return {{}, carrier.colorTableOverrunsData() ? &msg::kTableTooLarge : &msg::kTooSmall};
}

// Everything the command line says, in the user's language: data, help and
// capacity lines on standard output, everything else on standard error.
struct Voice {
    common::Console& out;
    common::Console& err;
    Language language;
    bool quiet = false;

    const char* in(const msg::Text& text) const {
        return language == Language::Chinese ? text.chinese : text.english;
    }

    // Dropped by --quiet.
    void success(const msg::Text& text) {
        if (!quiet) err.line(in(text));
    }

    // "glint: NAME: STEP: REASON"
    void failure(const std::string& name, const msg::Text& step, const Reason& reason) {
        startLine(name);
        finishFailure(step, reason);
    }

    // A full disk or a closed pipe on standard output is a failure of its own.
    int outputFailure() {
        const std::error_code reason = common::lastSystemError();
        err.raw("glint: ");
        err.text(in(msg::kStandardOutput));
        err.raw(": ");
        finishFailure(msg::kCannotWrite, {reason});
        return kFailed;
    }

    int usageError(const msg::Text& reason, const std::string& argument = {}) {
        err.raw("glint: ");
        err.text(in(reason));
        showName(err, argument);
        err.endLine();
        err.text(in(msg::kUsage));
        err.text(in(msg::kUsageEncryption));
        err.text(in(msg::kTryHelp));
        err.flush();
        return kUsageError;
    }

    // "glint: TEXT", for a failure that belongs to no file.
    void failure(const msg::Text& text) {
        err.raw("glint: ");
        err.line(in(text));
    }

    // Before an image is changed: what its first carried bytes are, when they
    // are not plain pixels, and how to make a cover that keeps its picture.
    void warnAboutLayout(const std::string& name, const BmpCarrier::LeadingBytes& lead) {
        if (lead.plainPixels()) return;
        std::vector<std::string> parts;
        if (lead.headerBytes != 0) parts.push_back(withNumber(in(msg::kHeaderBytes), lead.headerBytes));
        if (lead.maskBytes != 0) parts.push_back(withNumber(in(msg::kMaskBytes), lead.maskBytes));
        if (lead.tableEntries != 0) parts.push_back(withNumber(in(msg::kColorTable), lead.tableEntries));
        if (lead.compressed) parts.push_back(in(msg::kCompressed));
        startLine(name);
        err.line((in(msg::kWarning) + listed(parts) + in(msg::kChangesVisibly)).c_str());
        startLine(name);
        err.line(in(msg::kCleanCover));
    }

private:
    // "a, b and c", in the user's language.
    std::string listed(const std::vector<std::string>& parts) const {
        std::string list;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (i != 0) list += in(i + 1 == parts.size() ? msg::kListLastSeparator : msg::kListSeparator);
            list += parts[i];
        }
        return list;
    }

    void startLine(const std::string& name) {
        err.raw("glint: ");
        showName(err, name);
        err.raw(": ");
    }

    void finishFailure(const msg::Text& step, const Reason& reason) {
        err.text(in(step));
        if (reason.system) {
            err.raw(": ");
            showName(err, common::systemReason(reason.system));  // narrow text in the names' encoding
        } else if (reason.own != nullptr) {
            err.raw(": ");
            err.text(withNumber(in(*reason.own), reason.number).c_str());
        }
        err.endLine();
    }
};

// Runs `step` on the file `name`, or on standard input for "-".
template <typename Step>
auto fromInput(const std::string& name, Step step) {
    if (name == kStandardStream) return step(common::standardInputBytes());
    return step(name.c_str());
}

// Runs `step` with the file `name` as its target, or standard output for "-".
template <typename Step>
auto toOutput(const std::string& name, Step step) {
    if (name == kStandardStream) return step(BmpCarrier::Writer(writeStandardOutput));
    return step(name.c_str());
}

// The seal of -p (null without it), with the passphrase typed (twice when
// `confirm`) or read from its file; false, said, when none was had.
bool takeSeal(const EncryptionOption& encryption, bool confirm, Voice& voice, std::unique_ptr<PayloadSeal>& seal) {
    EncryptionOption::Seal taken =
        encryption.seal(voice.in(msg::kAskPassphrase), confirm ? voice.in(msg::kAskPassphraseAgain) : nullptr);
    seal = std::move(taken.seal);
    switch (taken.result) {
        case PassphraseResult::Read: return true;
        case PassphraseResult::NoTerminal: voice.failure(msg::kNoTerminalForPassphrase); break;
        case PassphraseResult::Unreadable:
            voice.failure(*encryption.passphraseFile(), msg::kCannotReadPassphrase, {taken.error});
            break;
        case PassphraseResult::Empty: voice.failure(msg::kPassphraseEmpty); break;
        case PassphraseResult::TooLong: voice.failure(msg::kPassphraseTooLong); break;
        case PassphraseResult::Differ: voice.failure(msg::kPassphrasesDiffer); break;
        case PassphraseResult::NoMemory: voice.failure(msg::kCryptoFailed); break;
    }
    return false;
}

bool load(BmpCarrier& carrier, const std::string& name, Voice& voice) {
    const BmpCarrier::Failure failed = fromInput(name, [&](auto&& source) { return carrier.load(source); });
    if (failed) voice.failure(name, msg::kCannotLoadImage, reasonOf(failed));
    return !failed;
}

// The menu's choice 1 with the same carrier calls, stopping at the first failure.
int hide(const Names& names, Voice& voice, const EncryptionOption& encryption) {
    const std::string &image = names[0], &payload = names[1], &output = names[2];
    BmpCarrier carrier(voice.out, voice.err);
    if (!load(carrier, image, voice)) return kFailed;
    voice.success(msg::kImageLoaded);
    // Asked once the image has loaded, so that a wrong name is told first.
    std::unique_ptr<PayloadSeal> seal;
    if (!takeSeal(encryption, true, voice, seal)) return kFailed;

    const BmpCarrier::Failure hidden = fromInput(payload, [&](auto&& source) { return carrier.hide(source, seal.get()); });
    switch (hidden.problem) {
        case Problem::None:
            break;
        case Problem::SealFailed:
            voice.failure(payload, msg::kCannotHide, reasonOf(hidden));
            return kFailed;
        case Problem::TooLong:
            if (const std::optional<std::uint32_t> room = carrier.capacity(encryption.overhead())) {
                voice.failure(payload, msg::kCannotHide, {{}, &msg::kTooLong, *room});
            } else {
                voice.failure(image, msg::kCannotHide, noRoom(carrier));
            }
            return kFailed;
        default:  // the payload could not be read
            voice.failure(payload, msg::kCannotReadPayload, reasonOf(hidden));
            return kFailed;
    }
    voice.warnAboutLayout(image, carrier.leadingBytes());
    voice.success(msg::kPayloadHidden);

    const BmpCarrier::Failure saved = toOutput(output, [&](auto&& target) { return carrier.save(target); });
    if (saved) {
        voice.failure(output, msg::kCannotSave, reasonOf(saved));
        return kFailed;
    }
    voice.success(msg::kFileSaved);
    return kSucceeded;
}

// The menu's choice 2 with the same carrier calls.
int recover(const Names& names, Voice& voice, const EncryptionOption& encryption) {
    const std::string &image = names[0], &output = names[1];
    BmpCarrier carrier(voice.out, voice.err);
    if (!load(carrier, image, voice)) return kFailed;
    voice.success(msg::kImageLoaded);
    // Asked once the image has loaded, so that a wrong name is told first.
    std::unique_ptr<PayloadSeal> seal;
    if (!takeSeal(encryption, false, voice, seal)) return kFailed;

    const BmpCarrier::Recovered payload = carrier.recover(seal.get());
    if (payload.failure) {
        voice.failure(image, seal ? msg::kCannotDecrypt : msg::kCannotRecover, reasonOf(payload.failure));
        return kFailed;
    }
    const BmpCarrier::Failure written =
        toOutput(output, [&](auto&& target) { return BmpCarrier::write(payload, target); });
    if (written) {
        voice.failure(output, msg::kCannotSave, reasonOf(written));
        return kFailed;
    }
    voice.success(msg::kPayloadRecovered);
    return kSucceeded;
}

// "N  NAME" for every image that loads, in the order given.
int capacity(const Names& names, Voice& voice, const EncryptionOption& encryption) {
    BmpCarrier carrier(voice.out, voice.err);
    int status = kSucceeded;
    for (const std::string& name : names) {
        if (!load(carrier, name, voice)) {
            status = kFailed;
            continue;
        }
        const std::optional<std::uint32_t> room = carrier.capacity(encryption.overhead());
        if (!room) {
            voice.failure(name, msg::kCannotHide, noRoom(carrier));
            status = kFailed;
            continue;
        }
        voice.out.raw(std::to_string(*room) + "  ");
        showName(voice.out, name);
        voice.out.endLine();
        if (voice.out.failed()) return voice.outputFailure();
        voice.warnAboutLayout(name, carrier.leadingBytes());
    }
    return status;
}

struct Command {
    const char* name;
    std::size_t fewestNames;
    std::size_t mostNames;
    bool lastNameIsOutput;
    int (*run)(const Names&, Voice&, const EncryptionOption&);
};

constexpr std::size_t kAnyNumber = std::numeric_limits<std::size_t>::max();
const Command kCommands[] = {
    {"hide", 3, 3, true, hide},
    {"recover", 2, 2, true, recover},
    {"capacity", 1, kAnyNumber, false, capacity},
};

int run(const std::string& name, const Names& names, Voice& voice, const EncryptionOption& encryption) {
    const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                      [&](const Command& c) { return name == c.name; });
    if (command == std::end(kCommands)) return voice.usageError(msg::kUnknownCommand, name);
    if (names.size() < command->fewestNames || names.size() > command->mostNames) {
        return voice.usageError(msg::kWrongArgumentCount, name);
    }
    // Standard input can be read for one name only.
    const auto inputsEnd = names.end() - (command->lastNameIsOutput ? 1 : 0);
    if (std::count(names.begin(), inputsEnd, kStandardStream) > 1) {
        return voice.usageError(msg::kStandardInputTwice);
    }
    return command->run(names, voice, encryption);
}

int showHelp(Voice& voice) {
    voice.out.text(voice.in(msg::kUsage));
    voice.out.text(voice.in(msg::kUsageEncryption));
    voice.out.text(voice.in(msg::kHelpCommands));
    voice.out.text(voice.in(msg::kHelpEncryption));
    voice.out.text(voice.in(msg::kHelpStreams));
    voice.out.flush();
    return voice.out.failed() ? voice.outputFailure() : kSucceeded;
}

int showVersion(Voice& voice) {
    voice.out.raw("glint " GLINT_VERSION);
    voice.out.endLine();
    return voice.out.failed() ? voice.outputFailure() : kSucceeded;
}

}  // namespace

int runCommand(const std::vector<std::string>& arguments, common::Console& out, common::Console& err, Language language) {
    Voice voice{out, err, language};
    EncryptionOption encryption;
    Names words;  // the subcommand and its names
    bool optionsEnded = false;
    bool help = false;
    bool version = false;
    for (const std::string& argument : arguments) {
        if (encryption.take(argument, optionsEnded)) continue;
        // "-" is a name; after "--" every word is a name.
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            words.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else if (argument == "--quiet" || argument == "-q") {
            voice.quiet = true;
        } else {
            return voice.usageError(msg::kUnknownArgument, argument);
        }
    }
    if (encryption.awaitingFile()) return voice.usageError(msg::kMissingOptionValue, "--passphrase-file");
    if (help) return showHelp(voice);
    if (version) return words.empty() ? showVersion(voice) : voice.usageError(msg::kUnexpectedArgument, words[0]);
    if (words.empty()) return voice.usageError(msg::kMissingCommand);
    if (encryption.sharesStandardInput(words)) return voice.usageError(msg::kPassphraseAndInputBothStandard);
    return run(words[0], Names(words.begin() + 1, words.end()), voice, encryption);
}

}  // namespace glint
