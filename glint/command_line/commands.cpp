#include "command_line/commands.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carrier/carrier.h"
#include "carrier/cover.h"
#include "carrier/hidden_carrier.h"
#include "command_line/covers.h"
#include "command_line/encryption_option.h"
#include "command_line/planes.h"
#include "command_line/voice.h"
#include "common/console_input.h"
#include "common/file_names.h"
#include "common/system_error.h"
#include "encryption/passphrase_seal.h"
#include "files/file_output.h"
#include "files/stored_name.h"
#include "hidden/hidden_picture.h"
#include "messages.h"

namespace glint {
namespace {

// Standard output as an output file.
const std::string kStandardStream = "-";

using Names = std::vector<std::string>;
using Problem = Carrier::Problem;

// Runs `step` with the file `name` as its target, or standard output for "-".
template <typename Step>
auto toOutput(const std::string& name, Step step) {
    if (name == kStandardStream) return step(Carrier::Writer(writeStandardOutput));
    return step(name.c_str());
}

// The passphrase of -p (typed twice when `confirm`) or read from its file;
// null, said, when none was had.
std::unique_ptr<SecretBytes> takePassphrase(const EncryptionOption& encryption, bool confirm, Voice& voice) {
    Passphrase taken =
        encryption.passphrase(voice.in(msg::kAskPassphrase), confirm ? voice.in(msg::kAskPassphraseAgain) : nullptr);
    switch (taken.result) {
        case PassphraseResult::Read: return std::move(taken.bytes);
        case PassphraseResult::NoTerminal: voice.failure(msg::kNoTerminalForPassphrase); break;
        case PassphraseResult::Unreadable:
            voice.failure(*encryption.passphraseFile(), msg::kCannotReadPassphrase, {taken.error});
            break;
        case PassphraseResult::Empty: voice.failure(msg::kPassphraseEmpty); break;
        case PassphraseResult::TooLong: voice.failure(msg::kPassphraseTooLong); break;
        case PassphraseResult::Differ: voice.failure(msg::kPassphrasesDiffer); break;
        case PassphraseResult::NoMemory: voice.failure(msg::kCryptoFailed); break;
    }
    return nullptr;
}

// Hides the payload: with -p in the hidden layout over the cover's pixel
// samples, else in the designed layout.
Carrier::Failure hidePayload(Carrier& carrier, const std::string& payload, const SecretBytes* passphrase,
                             std::uint64_t& lonePixels) {
    if (passphrase == nullptr) {
        return payload == kStandardStream ? carrier.hide(common::standardInputBytes()) : carrier.hide(payload.c_str());
    }
    if (payload == kStandardStream) {
        return hideInPixels(carrier, common::standardInputBytes(), "", *passphrase, &lonePixels);
    }
    std::ifstream file(common::pathOfName(payload.c_str()), std::ios::binary);
    if (!file.is_open()) return {Problem::System, common::lastSystemError()};
    return hideInPixels(carrier, file, payload, *passphrase, &lonePixels);
}

// The room a payload too long was refused for.
std::optional<std::uint64_t> roomFor(const Carrier& carrier, const std::string& payload, const SecretBytes* passphrase) {
    if (passphrase == nullptr) return carrier.capacity();
    return hiddenCapacity(carrier, storedNameOf(payload == kStandardStream ? "" : payload).size());
}

// Saving to an input would destroy it before anyone could use it: the
// payload, or the passphrase file.
bool isInputFile(const std::string& input, const std::string& output) {
    return input != kStandardStream && output != kStandardStream && sameFile(input.c_str(), output.c_str());
}

bool isPassphraseFile(const EncryptionOption& encryption, const std::string& output) {
    return encryption.passphraseFile() && isInputFile(*encryption.passphraseFile(), output);
}

// Hides in any cover, written as the output's name asks, stopping at the
// first failure: the menu's choice 1 for a classic BMP written as BMP.
int hide(const Names& names, Voice& voice, const EncryptionOption& encryption) {
    const std::string &image = names[0], &payload = names[1], &output = names[2];
    const std::optional<CoverOutput> format = outputFormatOf(output);
    if (!format) {
        voice.failure(output, msg::kCannotSave, {{}, &msg::kLossyOutput});
        return kUsageError;
    }
    // The cover itself may be replaced by its stego picture, as the menu allows.
    if (isInputFile(payload, output) || isPassphraseFile(encryption, output)) {
        voice.failure(output, msg::kCannotSave, {{}, &msg::kOutputIsInput});
        return kFailed;
    }
    const OpenedCover cover = openCoverTold(image, CoverUse::Hide, *format, voice);
    if (!cover.carrier) return kFailed;
    Carrier& carrier = *cover.carrier;
    voice.success(msg::kImageLoaded);
    noteConversion(image, cover.conversion, output, voice);
    // Asked once the image has loaded, so that a wrong name is told first.
    std::unique_ptr<SecretBytes> passphrase;
    if (encryption.requested() && !(passphrase = takePassphrase(encryption, true, voice))) return kFailed;

    std::uint64_t lonePixels = 0;
    const Carrier::Failure hidden = hidePayload(carrier, payload, passphrase.get(), lonePixels);
    switch (hidden.problem) {
        case Problem::None:
            break;
        case Problem::SealFailed:
            voice.failure(payload, msg::kCannotHide, reasonOf(hidden));
            return kFailed;
        case Problem::TooLong:
            if (const std::optional<std::uint64_t> room = roomFor(carrier, payload, passphrase.get())) {
                voice.failure(payload, msg::kCannotHide, {{}, &msg::kTooLong, *room});
            } else {
                voice.failure(image, msg::kCannotHide, {{}, &msg::kTooSmall});
            }
            return kFailed;
        default:  // the payload could not be read
            voice.failure(payload, msg::kCannotReadPayload, reasonOf(hidden));
            return kFailed;
    }
    voice.success(msg::kPayloadHidden);

    const Carrier::Failure saved = toOutput(output, [&](auto&& target) { return carrier.save(target); });
    if (saved) {
        voice.failure(output, msg::kCannotSave, reasonOf(saved));
        return kFailed;
    }
    voice.success(msg::kFileSaved);
    // Worth knowing before the picture goes anywhere: a reader can see them.
    if (lonePixels > 0) voice.note(output, withNumber(voice.in(msg::kLonePixels), lonePixels));
    return kSucceeded;
}

// Where recover writes: the file or "-" named, or with -p a folder (the
// current one when OUTPUT is left out) to put the payload in under the name
// stored with it.
struct RecoverTarget {
    std::string name;    // the file or "-"; empty for a folder
    std::string folder;  // empty for the current folder
};

RecoverTarget recoverTargetOf(const Names& names) {
    if (names.size() < 2) return {};
    const std::string& output = names[1];
    std::error_code unknown;
    if (output != kStandardStream && std::filesystem::is_directory(common::pathOfName(output.c_str()), unknown)) {
        return {{}, output};
    }
    return {output, {}};
}

int writeRecovered(const unsigned char* bytes, std::size_t size, const std::string& output, Voice& voice) {
    const std::error_code written = output == kStandardStream ? writeStandardOutput({{bytes, size}})
                                                              : replaceFileContents(output.c_str(), {{bytes, size}});
    if (written) {
        voice.failure(output, msg::kCannotSave, {written});
        return kFailed;
    }
    voice.success(msg::kPayloadRecovered);
    return kSucceeded;
}

// A payload put in a folder under the name stored with it: a new file only,
// and only a name that stays in the folder.
int writeUnderStoredName(const HiddenRecovery& payload, const std::string& folder, Voice& voice) {
    if (payload.name.empty()) {
        voice.failure(folder.empty() ? "." : folder, msg::kCannotSave, {{}, &msg::kNoStoredName});
        return kFailed;
    }
    if (!namesFileInFolder(payload.name)) {
        voice.failure(payload.name, msg::kCannotSave, {{}, &msg::kStoredNameOutsideFolder});
        return kFailed;
    }
    const bool separated = folder.empty() || folder.back() == '/' || folder.back() == '\\';
    const std::string path = folder + (separated ? "" : "/") + payload.name;
    if (const std::error_code written = createFileContents(path.c_str(), {{payload.data, payload.size}})) {
        voice.failure(path, msg::kCannotSave, {written});
        return kFailed;
    }
    voice.success(msg::kPayloadRecovered);
    return kSucceeded;
}

// recover -p: the hidden layout first; then, with one more key derivation,
// the version 1.0 layout, which stores no name.
int recoverWithPassphrase(const Carrier& stego, const std::string& image, const RecoverTarget& target,
                          const SecretBytes& passphrase, Voice& voice) {
    const HiddenRecovery hidden = recoverFromPixels(stego, passphrase);
    if (hidden.result == PayloadSeal::Opened::Yes) {
        if (target.name.empty()) return writeUnderStoredName(hidden, target.folder, voice);
        return writeRecovered(hidden.data, hidden.size, target.name, voice);
    }
    if (hidden.result == PayloadSeal::Opened::Failed) {
        voice.failure(image, msg::kCannotDecrypt, {{}, &msg::kCryptoFailed});
        return kFailed;
    }
    std::unique_ptr<SecretBytes> copy = passphrase.copy();
    if (!copy) {
        voice.failure(image, msg::kCannotDecrypt, {std::make_error_code(std::errc::not_enough_memory)});
        return kFailed;
    }
    PassphraseSeal seal(std::move(copy));
    const Carrier::Recovered payload = stego.recover(&seal);
    if (payload.failure) {
        voice.failure(image, msg::kCannotDecrypt, reasonOf(payload.failure));
        return kFailed;
    }
    if (target.name.empty()) {
        voice.failure(target.folder.empty() ? "." : target.folder, msg::kCannotSave, {{}, &msg::kNoStoredName});
        return kFailed;
    }
    return writeRecovered(payload.bytes.get(), payload.size, target.name, voice);
}

// Recovers from a BMP as the menu's choice 2 does, or from a PNG.
int recover(const Names& names, Voice& voice, const EncryptionOption& encryption) {
    if (names.size() < 2 && !encryption.requested()) return voice.usageError(msg::kWrongArgumentCount, "recover");
    const std::string& image = names[0];
    if (names.size() >= 2 && isPassphraseFile(encryption, names[1])) {
        voice.failure(names[1], msg::kCannotSave, {{}, &msg::kOutputIsInput});
        return kFailed;
    }
    const OpenedCover stego = openCoverTold(image, CoverUse::Recover, CoverOutput::Bmp, voice);
    if (!stego.carrier) return kFailed;
    voice.success(msg::kImageLoaded);
    if (encryption.requested()) {
        // An empty OUTPUT names no file, as without -p: never the current
        // folder, which only a left-out OUTPUT means.
        if (names.size() >= 2 && names[1].empty()) {
            voice.failure(names[1], msg::kCannotSave, {std::make_error_code(std::errc::no_such_file_or_directory)});
            return kFailed;
        }
        // Asked once the image has loaded, so that a wrong name is told first.
        const std::unique_ptr<SecretBytes> passphrase = takePassphrase(encryption, false, voice);
        if (!passphrase) return kFailed;
        return recoverWithPassphrase(*stego.carrier, image, recoverTargetOf(names), *passphrase, voice);
    }
    const Carrier::Recovered payload = stego.carrier->recover();
    if (payload.failure) {
        voice.failure(image, msg::kCannotRecover, reasonOf(payload.failure));
        return kFailed;
    }
    const std::string& output = names[1];
    const Carrier::Failure written = toOutput(output, [&](auto&& target) { return Carrier::write(payload, target); });
    if (written) {
        voice.failure(output, msg::kCannotSave, reasonOf(written));
        return kFailed;
    }
    voice.success(msg::kPayloadRecovered);
    return kSucceeded;
}

// The room of a cover: with -p the hidden layout's, for a payload stored
// without a name (a name takes its bytes), else the designed layout's.
std::optional<std::uint64_t> roomOf(const Carrier& carrier, const EncryptionOption& encryption) {
    if (encryption.requested()) return hiddenCapacity(carrier, 0);
    return carrier.capacity();
}

// "N  NAME" for every image that loads, in the order given: a PNG written
// as PNG, any other image as a classic BMP, with a note of what a PNG
// output would take when it is converted.
int capacity(const Names& names, Voice& voice, const EncryptionOption& encryption) {
    int status = kSucceeded;
    for (const std::string& name : names) {
        const OpenedCover cover = openCoverTold(name, CoverUse::Capacity, CoverOutput::Bmp, voice);
        const std::optional<std::uint64_t> room = cover.carrier ? roomOf(*cover.carrier, encryption) : std::nullopt;
        if (cover.carrier && !room) voice.failure(name, msg::kNoRoom, {{}, &msg::kTooSmall});
        if (!room) {
            status = kFailed;
            continue;
        }
        voice.out.raw(std::to_string(*room) + "  ");
        showName(voice.out, name);
        voice.out.endLine();
        if (voice.out.failed()) return voice.outputFailure();
        const std::optional<std::uint64_t> asPng = cover.asPng ? roomOf(*cover.asPng, encryption) : std::nullopt;
        if (asPng) voice.note(name, withNumber(voice.in(msg::kCapacityAsBmp), *asPng));
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
    {"recover", 1, 2, true, recover},
    {"capacity", 1, kAnyNumber, false, capacity},
    {"planes", 2, 3, true, planes},
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
    voice.out.text(voice.in(msg::kHelpPictures));
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
