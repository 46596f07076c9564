#include "command_line/options.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "hashing/md5_lanes.h"
#include "messages.h"

namespace cairn {
namespace {

enum class Flag { Binary, Check, IgnoreMissing, Quiet, Status, Strict, Tag, Text, Warn, Zero, Help, Version };

struct LongOption {
    std::string_view name;
    Flag flag;
};

// In md5sum's order, in which an ambiguous abbreviation lists them.
constexpr LongOption kLongOptions[] = {
    {"check", Flag::Check},   {"ignore-missing", Flag::IgnoreMissing},
    {"quiet", Flag::Quiet},   {"status", Flag::Status},
    {"warn", Flag::Warn},     {"strict", Flag::Strict},
    {"tag", Flag::Tag},       {"zero", Flag::Zero},
    {"binary", Flag::Binary}, {"text", Flag::Text},
    {"help", Flag::Help},     {"version", Flag::Version},
};

std::optional<Flag> shortOption(char letter) {
    switch (letter) {
        case 'b': return Flag::Binary;
        case 'c': return Flag::Check;
        case 't': return Flag::Text;
        case 'w': return Flag::Warn;
        case 'z': return Flag::Zero;
        case 'h': return Flag::Help;
        default: return std::nullopt;
    }
}

// A long option, given whole or by an unambiguous abbreviation.
std::optional<Flag> longOption(std::string_view argument, Streams& streams) {
    const std::string_view body = argument.substr(2);
    const std::string_view name = body.substr(0, body.find('='));
    std::vector<const LongOption*> matches;
    for (const LongOption& option : kLongOptions) {
        if (option.name == name) {
            matches.assign(1, &option);
            break;
        }
        if (option.name.substr(0, name.size()) == name) matches.push_back(&option);
    }
    if (matches.empty()) {
        usageError(streams, joined({msg::kUnrecognizedOption, quoted(argument)}));
        return std::nullopt;
    }
    if (matches.size() > 1) {
        std::string possibilities = joined({"option ", quoted(argument), msg::kAmbiguousOption});
        for (const LongOption* option : matches) possibilities += joined({" '--", option->name, "'"});
        usageError(streams, possibilities);
        return std::nullopt;
    }
    if (name.size() != body.size()) {
        usageError(streams, joined({"option '--", matches[0]->name, "'", msg::kNoArgumentAllowed}));
        return std::nullopt;
    }
    return matches[0]->flag;
}

// Sets what `flag` asks for; returns the exit status when the run ends here.
std::optional<int> apply(Flag flag, Options& options, Streams& streams) {
    switch (flag) {
        case Flag::Binary: options.mode = Mode::Binary; break;
        case Flag::Text: options.mode = Mode::Text; break;
        case Flag::Check: options.check = true; break;
        case Flag::IgnoreMissing: options.ignoreMissing = true; break;
        case Flag::Strict: options.strict = true; break;
        case Flag::Zero: options.zero = true; break;
        case Flag::Tag:
            options.tag = true;
            options.mode = Mode::Binary;
            break;
        case Flag::Quiet:
        case Flag::Status:
        case Flag::Warn:
            options.quiet = flag == Flag::Quiet;
            options.status = flag == Flag::Status;
            options.warn = flag == Flag::Warn;
            break;
        case Flag::Help:
            streams.output(msg::kHelp);
            return streams.reportWriteFailure(false) ? kFailed : kSucceeded;
        case Flag::Version: {
            // The first line as it always was, for scripts that read it.
            const Md5Kernel& kernel = fastestMd5Kernel();
            streams.output(joined({"cairn " CAIRN_VERSION "\n", msg::kVersionKernel, kernel.name, " (",
                                   std::to_string(kernel.lanes), msg::kVersionLanes}));
            return streams.reportWriteFailure(false) ? kFailed : kSucceeded;
        }
    }
    return std::nullopt;
}

// Combinations that make no sense, reported in a fixed order.
std::optional<int> refuseConflicts(const Options& options, Streams& streams) {
    if (options.tag && options.mode == Mode::Text) return usageError(streams, msg::kTagWithText);
    if (options.check) {
        if (options.zero) return usageError(streams, msg::kZeroWhenChecking);
        if (options.tag) return usageError(streams, msg::kTagWhenChecking);
        if (options.mode != Mode::Unset) return usageError(streams, msg::kModeWhenChecking);
        return std::nullopt;
    }
    const std::pair<bool, const char*> checkOnly[] = {
        {options.ignoreMissing, "--ignore-missing"}, {options.warn, "--warn"},
        {options.status, "--status"}, {options.quiet, "--quiet"}, {options.strict, "--strict"}};
    for (const auto& [given, name] : checkOnly) {
        if (given) return usageError(streams, joined({"the ", name, msg::kOnlyWhenChecking}));
    }
    return std::nullopt;
}

}  // namespace

std::optional<int> parseArguments(std::span<const char* const> arguments, Options& options, Streams& streams) {
    const bool optionsFirst = std::getenv("POSIXLY_CORRECT") != nullptr;
    bool optionsEnded = false;
    for (const std::string_view argument : arguments) {
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            options.files.push_back(argument);
            optionsEnded = optionsEnded || optionsFirst;
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument[1] == '-') {
            const std::optional<Flag> flag = longOption(argument, streams);
            if (!flag) return kFailed;
            if (const std::optional<int> exit = apply(*flag, options, streams)) return exit;
        } else {
            for (const char letter : argument.substr(1)) {
                const std::optional<Flag> flag = shortOption(letter);
                if (!flag) return usageError(streams, joined({msg::kInvalidOption, quoted(std::string(1, letter))}));
                if (const std::optional<int> exit = apply(*flag, options, streams)) return exit;
            }
        }
    }
    if (options.files.empty()) options.files.push_back("-");
    return refuseConflicts(options, streams);
}

}  // namespace cairn
