#include "dialogue/menu.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "carrier/bmp_carrier.h"
#include "messages.h"

namespace glint {
namespace {

enum class Step { Continue, InputEnded };

struct Dialogue {
    std::istream& in;
    common::Console& out;
    BmpCarrier& carrier;
    KeyWait waitForKey;
    std::string nameBuf;  // grows to hold any word typed

    // Writes the prompt and reads one whitespace-delimited name. The prompt
    // reaches the console through the tie of the input stream to `out`.
    bool askName(const char* prompt) {
        out.text(prompt);
        return static_cast<bool>(in >> nameBuf);
    }

    Step hide() {
        if (!askName(msg::kAskSourceImage)) return Step::InputEnded;
        carrier.loadBmp(nameBuf.c_str());
        if (!askName(msg::kAskPayload)) return Step::InputEnded;
        if (carrier.hideText(nameBuf.c_str()) == 0) {
            out.line(msg::kPayloadTooLong);
            waitForKey("pause", common::AfterTheKey::ProgramReadsOn, out);
            return Step::Continue;
        }
        if (!askName(msg::kAskOutputImage)) return Step::InputEnded;
        carrier.saveBmp(nameBuf.c_str());
        return Step::Continue;
    }

    Step recover() {
        if (!askName(msg::kAskStegoImage)) return Step::InputEnded;
        carrier.loadBmp(nameBuf.c_str());
        if (!askName(msg::kAskRecoveredFile)) return Step::InputEnded;
        carrier.extractText(nameBuf.c_str());
        return Step::Continue;
    }
};

void showMenu(common::Console& out) {
    out.line(msg::kMenuHide);
    out.line(msg::kMenuRecover);
    out.line(msg::kMenuQuit);
}

constexpr std::int32_t kHide = 1;
constexpr std::int32_t kRecover = 2;
constexpr std::int32_t kQuit = 3;
// A choice that is not a 32-bit number: shown as wrong input, like 0 or 7.
constexpr std::int32_t kUnreadable = 0;

// A whole word that is an optional sign and decimal digits, within 32 bits.
std::optional<std::int32_t> wholeNumber(const std::string& word) {
    std::size_t at = word.empty() || (word[0] != '+' && word[0] != '-') ? 0 : 1;
    if (at == word.size()) return std::nullopt;
    std::int64_t magnitude = 0;
    for (; at < word.size(); ++at) {
        if (word[at] < '0' || word[at] > '9') return std::nullopt;
        magnitude = 10 * magnitude + (word[at] - '0');
        if (magnitude > std::int64_t{1} << 31) return std::nullopt;
    }
    const std::int64_t value = word[0] == '-' ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// Reads the menu choice, one whole word. A word that is not a number is
// reported as kUnreadable and the rest of its line is dropped, so that the
// next read starts afresh. Returns false at end of input.
bool readChoice(std::istream& in, std::int32_t& cmd) {
    std::string word;
    if (!(in >> word)) return false;
    const std::optional<std::int32_t> number = wholeNumber(word);
    if (number) {
        cmd = *number;
        return true;
    }
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    cmd = kUnreadable;
    return true;
}

}  // namespace

void waitForAnyKey(const char* command, common::AfterTheKey after, common::Console& out) {
    common::waitForKey(command, msg::kPressAnyKey, after, out);
}

int runMenu(std::istream& in, common::Console& out, common::Console& err, KeyWait waitForKey) {
    BmpCarrier carrier(out, err);
    Dialogue dialogue{in, out, carrier, waitForKey, {}};
    out.line(msg::kTitle);

    std::int32_t cmd = 0;
    for (;;) {
        showMenu(out);
        if (!readChoice(in, cmd) || cmd == kQuit) break;
        Step step = Step::Continue;
        if (cmd == kHide) {
            step = dialogue.hide();
        } else if (cmd == kRecover) {
            step = dialogue.recover();
        } else {
            out.line(msg::kWrongChoice);
        }
        if (step == Step::InputEnded) break;
    }
    waitForKey("PAUSE", common::AfterTheKey::ProgramEnds, out);
    return 0;
}

}  // namespace glint
