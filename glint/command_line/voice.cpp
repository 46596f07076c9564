#include "command_line/voice.h"

#include "common/file_names.h"
#include "common/system_error.h"

namespace glint {

Reason reasonOf(const Carrier::Failure& failure) {
    using Problem = Carrier::Problem;
    switch (failure.problem) {
        case Problem::System:
            return {failure.system};
        case Problem::OutOfMemory:
            return {std::make_error_code(std::errc::not_enough_memory)};
        case Problem::NotBmp:
            return {{}, &msg::kNotAPicture};
        case Problem::ShorterThanHeaders:
            return {{}, &msg::kShorterThanHeaders};
        case Problem::SizeBelowHeaders:
            return {{}, &msg::kSizeBelowHeaders};
        case Problem::ShorterThanSize:
            return {{}, &msg::kShorterThanSize};
        case Problem::NoPayload:
            return {{}, &msg::kNoPayload};
        case Problem::NotOpened:
            return {{}, &msg::kNotDecrypted};
        case Problem::SealFailed:
            return {{}, &msg::kCryptoFailed};
        case Problem::Unencodable:
            return {{}, &msg::kUnencodable};
        case Problem::TooLong:  // said with the room, where it is known
        case Problem::NothingLoaded:
        case Problem::None:
            break;
    }
    return {};
}

std::string withNumber(const char* text, std::uint64_t number) {
    std::string filled = text;
    const std::size_t at = filled.find("{}");
    if (at != std::string::npos) filled.replace(at, 2, std::to_string(number));
    return filled;
}

void showName(common::Console& console, std::string_view name) { console.userText(common::printableName(name)); }

void Voice::success(const msg::Text& text) {
    if (!quiet) err.line(in(text));
}

void Voice::failure(const std::string& name, const msg::Text& step, const Reason& reason) {
    startLine(name);
    finishFailure(step, reason);
}

void Voice::failure(const msg::Text& text) {
    err.raw("glint: ");
    err.line(in(text));
}

void Voice::note(const std::string& name, const std::string& text) {
    startLine(name);
    err.line(text.c_str());
}

int Voice::outputFailure() {
    const std::error_code reason = common::lastSystemError();
    err.raw("glint: ");
    err.text(in(msg::kStandardOutput));
    err.raw(": ");
    finishFailure(msg::kCannotWrite, {reason});
    return kFailed;
}

int Voice::usageError(const msg::Text& reason, const std::string& argument) {
    err.raw("glint: ");
    err.text(in(reason));
    showName(err, argument);
    err.endLine();
    err.text(in(msg::kUsage));
    err.text(in(msg::kUsageEncryption));
    err.text(in(msg::kTryHelp));
    err.flush();
    return kUsageError;
}

std::string Voice::listed(const std::vector<std::string>& parts) const {
    std::string list;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) list += in(i + 1 == parts.size() ? msg::kListLastSeparator : msg::kListSeparator);
        list += parts[i];
    }
    return list;
}

void Voice::startLine(const std::string& name) {
    err.raw("glint: ");
    showName(err, name);
    err.raw(": ");
}

void Voice::finishFailure(const msg::Text& step, const Reason& reason) {
    err.text(in(step));
    if (reason.system) {
        err.raw(": ");
        showName(err, common::systemReason(reason.system));  // narrow text in the names' encoding
    } else if (reason.own != nullptr) {
        err.raw(": ");
        err.text(withNumber(in(*reason.own), reason.number).c_str());
        if (!reason.detail.empty()) {
            err.raw(": ");
            showName(err, reason.detail);
        }
    }
    err.endLine();
}

}  // namespace glint
