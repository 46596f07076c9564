#include "menu.h"

#include <cstdint>
#include <limits>
#include <string>

#include "bmp_carrier.h"
#include "messages.h"

namespace glint {
namespace {

enum class Step { Continue, InputEnded };

struct Dialogue {
    std::istream& in;
    std::ostream& out;
    BmpCarrier& carrier;
    KeyWait waitForKey;
    std::string nameBuf;  // grows to hold any word typed

    // Writes the prompt and reads one whitespace-delimited name. The prompt
    // reaches the console through the tie of the input stream to `out`.
    bool askName(const char* prompt) {
        out << prompt;
        return static_cast<bool>(in >> nameBuf);
    }

    Step hide() {
        if (!askName(msg::kAskSourceImage)) return Step::InputEnded;
        carrier.loadBmp(nameBuf.c_str());
        if (!askName(msg::kAskPayload)) return Step::InputEnded;
        if (carrier.hideText(nameBuf.c_str()) == 0) {
            out << msg::kPayloadTooLong << std::endl;
            waitForKey("pause", out);
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

void showMenu(std::ostream& out) {
    out << msg::kMenuHide << std::endl << msg::kMenuRecover << std::endl
        << msg::kMenuQuit << std::endl;
}

constexpr std::int32_t kHide = 1;
constexpr std::int32_t kRecover = 2;
constexpr std::int32_t kQuit = 3;
// A choice that is not a 32-bit number: shown as wrong input, like 0 or 7.
constexpr std::int32_t kUnreadable = 0;

// Reads the menu choice. A word that is not a number, or a number too large,
// is reported as kUnreadable and the rest of its line is dropped so the next
// read starts afresh. Returns false at end of input.
bool readChoice(std::istream& in, std::int32_t& cmd) {
    if (in >> cmd) return true;
    if (in.eof() || in.bad()) return false;
    in.clear();
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    cmd = kUnreadable;
    return true;
}

}  // namespace

int runMenu(std::istream& in, std::ostream& out, std::ostream& err, KeyWait waitForKey) {
    BmpCarrier carrier(out, err);
    Dialogue dialogue{in, out, carrier, waitForKey, {}};
    out << msg::kTitle << std::endl;

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
            out << msg::kWrongChoice << std::endl;
        }
        if (step == Step::InputEnded) break;
    }
    waitForKey("PAUSE", out);
    return 0;
}

}  // namespace glint
