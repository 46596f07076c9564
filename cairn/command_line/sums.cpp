#include "command_line/sums.h"

#include <cerrno>
#include <clocale>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "command_line/list_check.h"
#include "command_line/options.h"
#include "command_line/output.h"
#include "hashing/digest_pool.h"
#include "messages.h"
#include "sum_lines/sum_line_format.h"

namespace cairn {
namespace {

// Hashes every file and writes its line, in argument order.
bool hashFiles(const Options& options, DigestPool& pool, Streams& streams) {
    bool allRead = true;
    const auto reportNext = [&] {
        const FileDigest digest = nextInTurn(pool, streams);
        if (digest.error != 0) {
            streams.diagnoseFile(digest.name, digest.error);
            allRead = false;
            return;
        }
        const std::string line = sumLine(digest.hex, digest.name, options.mode == Mode::Binary, options.tag, options.zero);
        streams.output(joined({line, options.zero ? std::string_view("\0", 1) : std::string_view("\n")}),
                       files::LineKind::Sum);
    };
    for (const std::string_view name : options.files) {
        while (pool.full()) reportNext();
        pool.queue(std::string(name));
        while (pool.nextReady()) reportNext();
    }
    while (!pool.empty()) reportNext();
    return allRead;
}

// Runs the parsed command line; true when everything succeeded.
bool runParsed(const Options& options, Streams& streams) {
    if (!options.check) loadLocaleData();
    DigestPool pool(files::usableProcessors());
    bool succeeded = true;
    bool readStandardInput = false;
    if (options.check) {
        succeeded = checkLists(options, streams, pool, readStandardInput);
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
        std::setlocale(LC_ALL, "");  // the system's own texts for its errors, in the user's language
        files::useBinaryStandardStreams();
        Options options;
        if (const std::optional<int> exit = parseArguments({arguments, static_cast<std::size_t>(count)}, options, streams)) return *exit;
        const bool succeeded = runParsed(options, streams);
        if (streams.reportWriteFailure(options.zero)) return kFailed;
        return succeeded && !streams.errorFailed() ? kSucceeded : kFailed;
    } catch (const std::bad_alloc&) {
        streams.flush();
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
