#include "sums.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <optional>
#include <string_view>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include "digest_pool.h"
#include "messages.h"
#include "sum_lines.h"

namespace cairn {
namespace {

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;

// How far hashing may run ahead of the reports: memory stays bounded
// whatever the number of files or lines.
constexpr std::size_t kLookAhead = 64;

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

// In the order in which an ambiguous abbreviation lists them.
constexpr LongOption kLongOptions[] = {
    {"binary", Flag::Binary}, {"check", Flag::Check},   {"ignore-missing", Flag::IgnoreMissing},
    {"quiet", Flag::Quiet},   {"status", Flag::Status}, {"strict", Flag::Strict},
    {"tag", Flag::Tag},       {"text", Flag::Text},     {"warn", Flag::Warn},
    {"zero", Flag::Zero},     {"help", Flag::Help},     {"version", Flag::Version},
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

// "cairn: WHAT" on standard error. Standard error is tied to standard
// output, so every line written before it appears before it.
void diagnose(Console& err, const std::string& what) {
    err.text(msg::kProgramPrefix);
    err.raw(what);
    err.endLine();
}

int usageError(Console& err, const std::string& what) {
    diagnose(err, what);
    err.text(msg::kTryHelp);
    err.flush();
    return kFailed;
}

std::string quoted(std::string_view text) {
    std::string quotedText(1, '\'');
    quotedText += text;
    quotedText += '\'';
    return quotedText;
}

// A long option, given whole or by an unambiguous abbreviation.
std::optional<Flag> longOption(const std::string& argument, Console& err) {
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
        usageError(err, msg::kUnrecognizedOption + quoted(argument));
        return std::nullopt;
    }
    if (matches.size() > 1) {
        std::string possibilities = "option " + quoted(argument.substr(0, 2 + name.size())) + msg::kAmbiguousOption;
        for (const LongOption* option : matches) {
            possibilities += ' ';
            possibilities += quoted(std::string("--").append(option->name));
        }
        usageError(err, possibilities);
        return std::nullopt;
    }
    if (name.size() != body.size()) {
        usageError(err, "option " + quoted(std::string("--").append(matches[0]->name)) + msg::kNoArgumentAllowed);
        return std::nullopt;
    }
    return matches[0]->flag;
}

// Sets what `flag` asks for; returns the exit status when the run ends here.
std::optional<int> apply(Flag flag, Options& options, Console& out) {
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
            out.text(msg::kHelp);
            out.flush();
            return kSucceeded;
        case Flag::Version:
            out.raw("cairn " CAIRN_VERSION "\n");
            out.flush();
            return kSucceeded;
    }
    return std::nullopt;
}

// Combinations that make no sense, reported in a fixed order.
std::optional<int> refuseConflicts(const Options& options, Console& err) {
    if (options.tag && options.mode == Mode::Text) return usageError(err, msg::kTagWithText);
    if (options.check) {
        if (options.zero) return usageError(err, msg::kZeroWhenChecking);
        if (options.tag) return usageError(err, msg::kTagWhenChecking);
        if (options.mode != Mode::Unset) return usageError(err, msg::kModeWhenChecking);
        return std::nullopt;
    }
    const std::pair<bool, const char*> checkOnly[] = {
        {options.ignoreMissing, "--ignore-missing"}, {options.warn, "--warn"},
        {options.status, "--status"}, {options.quiet, "--quiet"}, {options.strict, "--strict"}};
    for (const auto& [given, name] : checkOnly) {
        if (given) return usageError(err, std::string("the ") + name + msg::kOnlyWhenChecking);
    }
    return std::nullopt;
}

// Reads the arguments as getopt_long does: options anywhere, short ones
// bundled, long ones abbreviated, and "--" ending them. Returns the exit
// status when the run ends here (help, version, a usage error).
std::optional<int> parseArguments(const std::vector<std::string>& arguments, Options& options,
                                  Console& out, Console& err) {
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            options.files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument[1] == '-') {
            const std::optional<Flag> flag = longOption(argument, err);
            if (!flag) return kFailed;
            if (const std::optional<int> exit = apply(*flag, options, out)) return exit;
        } else {
            for (const char letter : argument.substr(1)) {
                const std::optional<Flag> flag = shortOption(letter);
                if (!flag) return usageError(err, msg::kInvalidOption + quoted(std::string(1, letter)));
                if (const std::optional<int> exit = apply(*flag, options, out)) return exit;
            }
        }
    }
    if (options.files.empty()) options.files.push_back("-");
    return refuseConflicts(options, err);
}

// The reason the first write to standard output failed, kept before any
// later call can change errno.
int firstWriteError = 0;

void noteWriteFailure(const Console& out) {
    if (firstWriteError == 0 && out.failed()) firstWriteError = errno != 0 ? errno : EIO;
}

// The next digest in queue order. What is already written is shown before
// waiting for it, so that each line appears as soon as it is known.
FileDigest nextDigest(DigestPool& pool, Console& out) {
    if (!pool.nextReady()) out.flush();
    noteWriteFailure(out);
    return pool.next();
}

unsigned workerCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

void reportUnreadable(Console& err, const FileDigest& digest) {
    diagnose(err, quotedName(digest.name) + ": " + std::strerror(digest.error));
}

// Hashes every file and writes its line, in argument order.
bool hashFiles(const Options& options, Console& out, Console& err) {
    DigestPool pool(workerCount());
    bool allRead = true;
    std::size_t waiting = 0;
    const auto reportNext = [&] {
        const FileDigest digest = nextDigest(pool, out);
        --waiting;
        if (digest.error != 0) {
            reportUnreadable(err, digest);
            allRead = false;
            return;
        }
        out.raw(sumLine(digest.hex, digest.name, options.mode == Mode::Binary, options.tag, options.zero));
        out.raw(options.zero ? std::string_view("\0", 1) : std::string_view("\n"));
        noteWriteFailure(out);
    };
    for (const std::string& name : options.files) {
        pool.queue(name);
        ++waiting;
        while (waiting > 0 && (waiting >= kLookAhead || pool.nextReady())) reportNext();
    }
    while (waiting > 0) reportNext();
    return allRead;
}

struct Tally {
    bool anySumLine = false;
    std::size_t improper = 0;
    std::size_t unread = 0;
    std::size_t mismatched = 0;
    std::size_t verified = 0;
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
    ListCheck(const Options& options, Console& out, Console& err, DigestPool& pool, SumLineReader& reader)
        : options_(options), out_(out), err_(err), pool_(pool), reader_(reader) {}

    // Checks every sum line of the list `listName` ("-": standard input).
    bool check(const std::string& listName) {
        std::ifstream file;
        std::istream* list = &std::cin;
        if (listName != "-") {
            file.open(listName, std::ios::binary);
            if (!file.is_open()) {
                diagnose(err_, quotedName(listName) + ": " + std::strerror(errno));
                return false;
            }
            list = &file;
        }
        shownList_ = quotedName(listName == "-" ? "standard input" : listName);
        tally_ = Tally{};
        readLines(*list);
        const bool readFailed = list->bad();
        settle(true);
        if (readFailed) {
            diagnose(err_, shownList_ + ": " + msg::kReadError);
            return false;
        }
        return summarise();
    }

private:
    void readLines(std::istream& list) {
        std::string line;
        for (std::size_t lineNumber = 1; std::getline(list, line); ++lineNumber) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line[0] == '#') continue;  // blank lines and comments
            std::optional<SumLine> sum = reader_.read(line);
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
                if (!all && pending_.size() < kLookAhead && !pool_.nextReady()) return;
                report(*line.expectedHex, nextDigest(pool_, out_));
            } else {
                diagnose(err_, shownList_ + ": " + std::to_string(line.lineNumber) + ": " + msg::kImproperLine);
            }
            pending_.pop_front();
        }
    }

    void report(const std::string& expectedHex, const FileDigest& digest) {
        if (digest.error != 0) {
            if (options_.ignoreMissing && digest.error == ENOENT) return;
            reportUnreadable(err_, digest);
            ++tally_.unread;
            if (!options_.status) result(digest.name, msg::kFailedToRead);
            return;
        }
        ++tally_.verified;
        if (digest.hex != expectedHex) {
            ++tally_.mismatched;
            if (!options_.status) result(digest.name, msg::kFailed);
        } else if (!options_.status && !options_.quiet) {
            result(digest.name, msg::kOk);
        }
    }

    void result(const std::string& name, const char* outcome) {
        out_.raw(checkedName(name));
        out_.text(outcome);
        out_.raw("\n");
        noteWriteFailure(out_);
    }

    void warnCount(std::size_t count, const char* one, const char* many) {
        if (count == 0) return;
        err_.text(msg::kProgramPrefix);
        err_.text(msg::kWarning);
        err_.raw(std::to_string(count));
        err_.text(count == 1 ? one : many);
        err_.endLine();
    }

    bool summarise() {
        if (!tally_.anySumLine) {
            diagnose(err_, shownList_ + ": " + msg::kNoSumLines);
            return false;
        }
        const bool noneVerified = options_.ignoreMissing && tally_.verified == 0;
        if (!options_.status) {
            warnCount(tally_.improper, msg::kImproperLinesOne, msg::kImproperLinesMany);
            warnCount(tally_.unread, msg::kUnreadFilesOne, msg::kUnreadFilesMany);
            warnCount(tally_.mismatched, msg::kMismatchesOne, msg::kMismatchesMany);
            if (noneVerified) diagnose(err_, shownList_ + ": " + msg::kNoFileVerified);
        }
        return tally_.mismatched == 0 && tally_.unread == 0 && !noneVerified &&
               !(options_.strict && tally_.improper > 0);
    }

    const Options& options_;
    Console& out_;
    Console& err_;
    DigestPool& pool_;
    SumLineReader& reader_;
    std::string shownList_;
    Tally tally_;
    std::deque<PendingLine> pending_;
};

bool checkLists(const Options& options, Console& out, Console& err) {
    DigestPool pool(workerCount());
    // The reversed form, once recognised or ruled out, holds for every list.
    SumLineReader reader;
    ListCheck check(options, out, err, pool, reader);
    bool allMatched = true;
    for (const std::string& list : options.files) allMatched = check.check(list) && allMatched;
    return allMatched;
}

// Sums files are the same on every system: binary standard streams, LF
// line ends.
void useBinaryStandardStreams() {
#ifdef _WIN32
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
#endif
}

}  // namespace

int runSums(const std::vector<std::string>& arguments, Console& out, Console& err) {
    std::setlocale(LC_ALL, "");  // the system's own texts for its errors, in the user's language
    useBinaryStandardStreams();
    Options options;
    if (const std::optional<int> exit = parseArguments(arguments, options, out, err)) return *exit;

    const bool succeeded = options.check ? checkLists(options, out, err) : hashFiles(options, out, err);
    out.flush();
    noteWriteFailure(out);
    if (firstWriteError != 0) {
        diagnose(err, std::string(msg::kWriteError) + ": " + std::strerror(firstWriteError));
        return kFailed;
    }
    return succeeded ? kSucceeded : kFailed;
}

}  // namespace cairn
