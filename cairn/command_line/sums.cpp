#include "command_line/sums.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <initializer_list>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hashing/digest_pool.h"
#include "messages.h"
#include "sum_lines/sum_lines.h"

namespace cairn {
namespace {

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;

// Lines of a list that wait for an earlier line's verdict, at most: improper
// lines cost no hashing, so without a bound they could pile up without end.
constexpr std::size_t kMaxPendingLines = 4096;

enum class Mode { Unset, Text, Binary };

struct Options {
    bool check = false;
    bool tag = false;
    bool zero = false;
    bool ignoreMissing = false;
    bool strict = false;
    // At most one of these three: the last one given wins.
    bool quiet = false;
    bool status = false;
    bool warn = false;
    Mode mode = Mode::Unset;
    std::vector<std::string> files;
};

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

// One string of exactly the size of its parts: a long name is not copied
// into a block twice its size.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (const std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (const std::string_view part : parts) text += part;
    return text;
}

std::string quoted(std::string_view text) { return joined({"'", text, "'"}); }

// Standard output and standard error, a whole line per write: lines of
// processes that share a pipe never mix, and each appears as it is known.
class Streams {
public:
    explicit Streams(const files::ClosedAtStart& closed) : closed_(closed) {}

    void output(std::string_view bytes, files::LineKind kind = files::LineKind::Text) {
        lastOutputError_ = files::writeLine(files::kStandardOutput, bytes, kind);
        outputFailed_ = outputFailed_ || lastOutputError_ != 0;
    }
    void error(std::string_view bytes) {
        lastOutputError_ = 0;
        if (files::writeLine(files::kStandardError, bytes, files::LineKind::Text) != 0) errorFailed_ = true;
    }
    // A diagnostic that could not be written fails the run, as in md5sum.
    bool errorFailed() const { return errorFailed_; }
    // "cairn: WHAT" on standard error.
    void diagnose(std::string_view what) { error(joined({msg::kProgramPrefix, what, "\n"})); }
    void diagnose(std::string_view what, int errorNumber) {
        diagnose(joined({what, ": ", std::strerror(errorNumber)}));
    }
    // "cairn: NAME: reason", with the name quoted as a shell would need it.
    void diagnoseFile(const std::string& name, int errorNumber) {
        const std::string_view reason = std::strerror(errorNumber);
        std::string text = msg::kProgramPrefix;
        appendQuotedName(text, name, reason.size() + 3);
        text.append(": ").append(reason).append("\n");
        error(text);
    }

    // Named as md5sum names it. Its lines that end in a newline leave
    // nothing behind to write at the end, but NUL-ended ones (--zero) do,
    // until a diagnostic goes out first: a reason is given only when that
    // last write fails, or when standard output was closed.
    bool reportWriteFailure(bool zero) {
        if (!outputFailed_) return false;
        const int reason = closed_.output ? EBADF : zero ? lastOutputError_ : 0;
        if (reason != 0) {
            diagnose(msg::kWriteError, reason);
        } else {
            diagnose(msg::kWriteError);
        }
        return true;
    }
    const files::ClosedAtStart& closedAtStart() const { return closed_; }

private:
    files::ClosedAtStart closed_;
    bool outputFailed_ = false;
    int lastOutputError_ = 0;  // of the last line written since the last diagnostic
    bool errorFailed_ = false;
};

int usageError(Streams& streams, std::string_view what) {
    streams.diagnose(what);
    streams.error(msg::kTryHelp);
    return kFailed;
}

// A long option, given whole or by an unambiguous abbreviation.
std::optional<Flag> longOption(const std::string& argument, Streams& streams) {
    const std::string_view body = std::string_view(argument).substr(2);
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
        case Flag::Version:
            streams.output("cairn " CAIRN_VERSION "\n");
            return streams.reportWriteFailure(false) ? kFailed : kSucceeded;
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

// Reads the arguments as getopt_long does: options anywhere (with
// POSIXLY_CORRECT set, only before the first file), short ones bundled,
// long ones abbreviated, and "--" ending them. Returns the exit status when
// the run ends here (help, version, a usage error).
std::optional<int> parseArguments(const std::vector<std::string>& arguments, Options& options, Streams& streams) {
    const bool optionsFirst = std::getenv("POSIXLY_CORRECT") != nullptr;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
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

// Hashes every file and writes its line, in argument order.
bool hashFiles(const Options& options, DigestPool& pool, Streams& streams) {
    bool allRead = true;
    const auto reportNext = [&] {
        const FileDigest digest = pool.next();
        if (digest.error != 0) {
            streams.diagnoseFile(digest.name, digest.error);
            allRead = false;
            return;
        }
        const std::string line = sumLine(digest.hex, digest.name, options.mode == Mode::Binary, options.tag, options.zero);
        streams.output(joined({line, options.zero ? std::string_view("\0", 1) : std::string_view("\n")}),
                       files::LineKind::Sum);
    };
    for (const std::string& name : options.files) {
        while (pool.full()) reportNext();
        pool.queue(name);
        while (pool.nextReady()) reportNext();
    }
    while (!pool.empty()) reportNext();
    return allRead;
}

// Loads what the locale needs to quote a name and to say why a file failed:
// its character converter and the system's translated error texts. The C
// library loads each when first used, for good or ill, and loading takes a
// descriptor. md5sum hashes one file at a time and closes it before it
// reports on it, so it loads them with none of its files open; so does
// cairn, before its workers open any.
void loadLocaleData() {
    std::mbstate_t state{};
    wchar_t wide = 0;
    std::mbrtowc(&wide, "\x80", 1, &state);
    static_cast<void>(std::strerror(ENOENT));
}

struct Tally {
    bool anySumLine = false;
    std::size_t improper = 0;
    std::size_t unread = 0;
    std::size_t mismatched = 0;
    std::size_t matched = 0;
};

// A line of a sums list whose report is due in turn: a sum line waits for
// its file's digest; an improper line (reported with --warn) only for the
// lines before it.
struct PendingLine {
    std::size_t lineNumber;
    std::optional<std::string> expectedHex;
};

class ListCheck {
public:
    ListCheck(const Options& options, Streams& streams, DigestPool& pool)
        : options_(options), streams_(streams), pool_(pool) {}

    // Checks every sum line of the list `listName` ("-": standard input).
    bool check(const std::string& listName) {
        const bool fromStandardInput = listName == "-";
        int descriptor = files::kStandardInput;
        if (fromStandardInput) {
            readStandardInput_ = true;
        } else {
            descriptor = files::openForReading(listName.c_str(), true);
            if (descriptor < 0) {
                streams_.diagnoseFile(listName, errno);
                return false;
            }
            loadLocaleDataBesideList(listName);
        }
        shownList_ = quotedName(fromStandardInput ? msg::kStandardInput : listName);
        tally_ = Tally{};
        ListReader reader(descriptor);
        readLines(reader, fromStandardInput);
        settle(true);
        if (!fromStandardInput) files::closeFile(descriptor);
        if (reader.error() != 0) {
            streams_.diagnose(joined({shownList_, ": ", msg::kReadError}));
            return false;
        }
        return summarise();
    }

    bool readStandardInput() const { return readStandardInput_; }

private:
    // md5sum reports on a list's lines with only the list open; with a
    // descriptor to spare beside it, the locale's data loads then, and so it
    // does here before the workers hold any. Without one it cannot load in
    // either program. Only a regular file is opened twice.
    static void loadLocaleDataBesideList(const std::string& listName) {
        if (files::factsOf(listName.c_str()).stream) return;
        const int spare = files::openForReading(listName.c_str(), false);
        if (spare < 0) return;
        files::closeFile(spare);
        loadLocaleData();
    }

    void readLines(ListReader& reader, bool fromStandardInput) {
        std::size_t lineNumber = 0;
        for (;;) {
            std::string_view line;
            if (!reader.nextLine(line)) {
                if (reader.finished()) return;
                // Every verdict due is shown before waiting for more of the list.
                if (!pending_.empty() && files::readMightWait(reader.descriptor())) settle(true);
                reader.fill();
                continue;
            }
            ++lineNumber;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.empty() || line[0] == '#') continue;  // blank lines and comments
            std::optional<SumLine> sum = reader_.read(line);
            // A list read from standard input cannot name it again.
            if (sum && fromStandardInput && sum->name == "-") sum.reset();
            if (sum) {
                tally_.anySumLine = true;
                pool_.queue(std::move(sum->name));
                pending_.push_back({lineNumber, std::move(sum->hex)});
            } else {
                ++tally_.improper;
                if (options_.warn) pending_.push_back({lineNumber, std::nullopt});
            }
            settle(false);
        }
    }

    // Reports the lines that are due: every one when `all`, otherwise those
    // already known, and more while too many are waiting.
    void settle(bool all) {
        while (!pending_.empty()) {
            const PendingLine& line = pending_.front();
            if (line.expectedHex) {
                const bool mustWait = all || pool_.full() || pending_.size() >= kMaxPendingLines;
                if (!mustWait && !pool_.nextReady()) return;
                report(*line.expectedHex, pool_.next());
            } else {
                streams_.diagnose(joined({shownList_, ": ", std::to_string(line.lineNumber), ": ", msg::kImproperLine}));
            }
            pending_.pop_front();
        }
    }

    void report(const std::string& expectedHex, const FileDigest& digest) {
        if (digest.error != 0) {
            if (options_.ignoreMissing && digest.error == ENOENT) return;
            streams_.diagnoseFile(digest.name, digest.error);
            ++tally_.unread;
            if (!options_.status) verdict(digest.name, msg::kFailedToRead);
            return;
        }
        if (digest.hex != expectedHex) {
            ++tally_.mismatched;
            if (!options_.status) verdict(digest.name, msg::kFailed);
            return;
        }
        ++tally_.matched;
        if (!options_.status && !options_.quiet) verdict(digest.name, msg::kOk);
    }

    void verdict(const std::string& name, const char* outcome) {
        // A long name is copied once, into the line.
        if (name.find('\n') == std::string::npos) {
            streams_.output(joined({name, outcome, "\n"}));
        } else {
            streams_.output(joined({checkedName(name), outcome, "\n"}));
        }
    }

    void warnCount(std::size_t count, const char* one, const char* many) {
        if (count == 0) return;
        streams_.diagnose(joined({msg::kWarning, std::to_string(count), count == 1 ? one : many}));
    }

    bool summarise() {
        if (!tally_.anySumLine) {
            streams_.diagnose(joined({shownList_, ": ", msg::kNoSumLines}));
            return false;
        }
        const bool noneVerified = options_.ignoreMissing && tally_.matched == 0;
        if (!options_.status) {
            warnCount(tally_.improper, msg::kImproperLinesOne, msg::kImproperLinesMany);
            warnCount(tally_.unread, msg::kUnreadFilesOne, msg::kUnreadFilesMany);
            warnCount(tally_.mismatched, msg::kMismatchesOne, msg::kMismatchesMany);
            if (noneVerified) streams_.diagnose(joined({shownList_, ": ", msg::kNoFileVerified}));
        }
        return tally_.mismatched == 0 && tally_.unread == 0 && !noneVerified &&
               !(options_.strict && tally_.improper > 0);
    }

    const Options& options_;
    Streams& streams_;
    DigestPool& pool_;
    // The reversed form, once recognised or ruled out, holds for every list.
    SumLineReader reader_;
    std::string shownList_;
    Tally tally_;
    std::deque<PendingLine> pending_;
    bool readStandardInput_ = false;
};

// Runs the parsed command line; true when everything succeeded.
bool runParsed(const Options& options, Streams& streams) {
    if (!options.check) loadLocaleData();
    DigestPool pool(files::usableProcessors());
    bool succeeded = true;
    bool readStandardInput = false;
    if (options.check) {
        ListCheck check(options, streams, pool);
        for (const std::string& list : options.files) succeeded = check.check(list) && succeeded;
        readStandardInput = check.readStandardInput();
    } else {
        succeeded = hashFiles(options, pool, streams);
    }
    // As md5sum, which closes standard input at the end and reports why it could not.
    if (streams.closedAtStart().input && (readStandardInput || pool.readStandardInput())) {
        streams.diagnose(msg::kStandardInput, EBADF);
        succeeded = false;
    }
    return succeeded;
}

}  // namespace

int runSums(int count, const char* const* arguments, const files::ClosedAtStart& closed) {
    Streams streams(closed);
    try {
        const std::vector<std::string> words(arguments, arguments + count);
        std::setlocale(LC_ALL, "");  // the system's own texts for its errors, in the user's language
        files::useBinaryStandardStreams();
        Options options;
        if (const std::optional<int> exit = parseArguments(words, options, streams)) return *exit;
        const bool succeeded = runParsed(options, streams);
        if (streams.reportWriteFailure(options.zero)) return kFailed;
        return succeeded && !streams.errorFailed() ? kSucceeded : kFailed;
    } catch (const std::bad_alloc&) {
        return reportMemoryExhausted();
    }
}

int reportMemoryExhausted() {
    for (const std::string_view text : {std::string_view(msg::kProgramPrefix), std::string_view(msg::kMemoryExhausted),
                                        std::string_view("\n")}) {
        files::writeAll(files::kStandardError, text.data(), text.size());
    }
    return kFailed;
}

}  // namespace cairn
