// Arbitrary bytes as the menu's standard input. The dialogue must end through
// its normal path (the final wait, status 0) and make progress: every menu it
// shows consumed input, so it cannot spin. Every '/' is turned into '_' so
// that typed names stay inside the scratch folder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "dialogue/menu.h"
#include "fuzz_support.h"
#include "messages.h"
#include "test_support.h"

using fuzzing::require;

namespace {

// A fresh folder with the names the seeds use: a 24-bit image, an 8-bit image
// with a colour table, and a small payload.
void resetFolder(const testing_support::ScratchDir& scratch) {
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        std::error_code ignored;
        std::filesystem::remove_all(entry.path(), ignored);
    }
    testing_support::BmpFields rgb;
    rgb.data = testing_support::patternBytes(600, 1);
    testing_support::writeFile(scratch.path() / "a.bmp", testing_support::makeBmp(rgb));
    testing_support::BmpFields indexed;
    indexed.bitCount = 8;
    indexed.data = testing_support::patternBytes(1024 + 400, 2);
    testing_support::writeFile(scratch.path() / "b.bmp", testing_support::makeBmp(indexed));
    testing_support::writeFile(scratch.path() / "p", {'s', 'e', 'c', 'r', 'e', 't'});
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testing_support::ScratchDir scratch;
    resetFolder(scratch);

    std::string typed(reinterpret_cast<const char*>(data), size);
    std::replace(typed.begin(), typed.end(), '/', '_');
    std::istringstream in(typed);
    std::ostringstream out, err;
    common::Console outConsole(out), errConsole(err);
    // Names are relative to the scratch folder only while the menu runs: the
    // fuzzer reads its corpus relative to where it was started.
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path());
    require(glint::runMenu(in, outConsole, errConsole, testing_support::recordPause) == 0);
    std::filesystem::current_path(started);

    const std::string shown = out.str();
    require(shown.size() >= 7 && shown.compare(shown.size() - 7, 7, "<PAUSE>") == 0);
    require(occurrences(shown, glint::msg::kMenuQuit) <= size + 1);
    return 0;
}
