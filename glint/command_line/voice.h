// Everything the command line says, in the user's language: data, help and
// the lines of capacity on standard output, every other text on standard
// error, a failure as "glint: NAME: STEP: REASON".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "carrier/carrier.h"
#include "command_line/language.h"
#include "common/console.h"
#include "messages.h"

namespace glint {

inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsageError = 2;

// Why something failed: the system's reason, or the program's own text with
// a number for its "{}" and a detail after it (a picture library's words).
struct Reason {
    std::error_code system;
    const msg::Text* own = nullptr;
    std::uint64_t number = 0;
    std::string detail{};
};

Reason reasonOf(const Carrier::Failure& failure);

// The text with its "{}" replaced by `number`.
std::string withNumber(const char* text, std::uint64_t number);

// A file name as the user gave it, with each control character (C1 ones
// too) and each byte that is no character shown as '?': a name can neither
// move the terminal's cursor nor break a line in two.
void showName(common::Console& console, std::string_view name);

struct Voice {
    common::Console& out;
    common::Console& err;
    Language language;
    bool quiet = false;

    const char* in(const msg::Text& text) const {
        return language == Language::Chinese ? text.chinese : text.english;
    }

    // Dropped by --quiet.
    void success(const msg::Text& text);
    // "glint: NAME: STEP: REASON"
    void failure(const std::string& name, const msg::Text& step, const Reason& reason);
    // "glint: TEXT", for a failure that belongs to no file.
    void failure(const msg::Text& text);
    // "glint: NAME: TEXT", a note or advice; shown even with --quiet.
    void note(const std::string& name, const std::string& text);
    // A full disk or a closed pipe on standard output is a failure of its own.
    int outputFailure();
    int usageError(const msg::Text& reason, const std::string& argument = {});
    // "a, b and c", in the user's language.
    std::string listed(const std::vector<std::string>& parts) const;

private:
    void startLine(const std::string& name);
    void finishFailure(const msg::Text& step, const Reason& reason);
};

}  // namespace glint
