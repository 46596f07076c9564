#include "command_line/list_check.h"

#include <cerrno>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "files/file_access.h"
#include "files/file_names.h"
#include "messages.h"
#include "sum_lines/list_reader.h"
#include "sum_lines/quoting.h"
#include "sum_lines/sum_line_format.h"

namespace cairn {
namespace {

// Lines of a list that wait for an earlier line's verdict, at most: improper
// lines cost no hashing, so without a bound they could pile up without end.
constexpr std::size_t kMaxPendingLines = 4096;

// Where a listed name reads two ways, the other reading is taken only when
// it leads to a file and the likelier does not.
void chooseName(SumLine& sum) {
    if (sum.otherName && !names::exists(sum.name) && names::exists(*sum.otherName)) sum.name = std::move(*sum.otherName);
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
                if ((!pending_.empty() || streams_.holdsLines()) && files::readMightWait(reader.descriptor())) {
                    settle(true);
                    streams_.flush();
                }
                reader.fill();
                continue;
            }
            ++lineNumber;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.empty() || line[0] == '#') continue;  // blank lines and comments
            std::optional<SumLine> sum = reader_.read(line);
            if (sum) chooseName(*sum);
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
                report(*line.expectedHex, nextInTurn(pool_, streams_));
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

}  // namespace

FileDigest nextInTurn(DigestPool& pool, Streams& streams) {
    if (!pool.nextReady()) streams.flush();
    return pool.next();
}

bool checkLists(const Options& options, Streams& streams, DigestPool& pool, bool& readStandardInput) {
    ListCheck check(options, streams, pool);
    bool succeeded = true;
    for (const std::string_view list : options.files) succeeded = check.check(std::string(list)) && succeeded;
    readStandardInput = check.readStandardInput();
    return succeeded;
}

}  // namespace cairn
