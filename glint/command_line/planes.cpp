#include "command_line/planes.h"

#include <optional>

#include "carrier/cover.h"
#include "picture/picture_codecs.h"
#include "picture/plane_picture.h"
#include "command_line/covers.h"
#include "files/file_output.h"

namespace glint {
namespace {

const std::string kStandardStream = "-";

std::error_code writeOutput(const std::string& name, const EncodedPicture& file) {
    const ByteRange whole{file.bytes.get(), file.size};
    return name == kStandardStream ? writeStandardOutput({whole}) : replaceFileContents(name.c_str(), {whole});
}

bool sameSize(const Picture& a, const Picture& b) { return a.width == b.width && a.height == b.height; }

// Why the picture must not be written to `output`, if it must not: a
// drawing never replaces a file, so that a stego picture named last by
// mistake (its PICTURE forgotten) is kept.
const msg::Text* refusedOutput(const std::vector<std::string>& names) {
    const std::string& output = names.back();
    if (output == kStandardStream) return nullptr;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        if (names[i] != kStandardStream && sameFile(names[i].c_str(), output.c_str())) return &msg::kOutputIsInput;
    }
    return existingRegularFile(output.c_str()) ? &msg::kOutputExists : nullptr;
}

}  // namespace

int planes(const std::vector<std::string>& names, Voice& voice, const EncryptionOption&) {
    const std::string& output = names.back();
    const std::optional<CoverOutput> format = outputFormatOf(output);
    if (!format) {
        voice.failure(output, msg::kCannotSave, {{}, &msg::kLossyOutput});
        return kUsageError;
    }
    if (const msg::Text* refused = refusedOutput(names)) {
        voice.failure(output, msg::kCannotSave, {{}, refused});
        return kFailed;
    }
    std::vector<OpenedPicture> pictures;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        pictures.push_back(openPictureTold(names[i], voice));
        if (pictures.back().problem != CoverProblem::None) return kFailed;
    }
    const Picture& first = pictures.front().decoded.picture;
    if (pictures.size() == 2 && !sameSize(first, pictures[1].decoded.picture)) {
        voice.failure(names[1], msg::kCannotCompare, {{}, &msg::kSizesDiffer});
        return kFailed;
    }
    const DrawnPlanes drawn =
        pictures.size() == 1 ? drawPlanes(first) : drawComparison(first, pictures[1].decoded.picture);
    if (drawn.problem == PictureProblem::TooManyPixels) {
        voice.failure(names[0], msg::kCannotDraw, {{}, &msg::kTooLargeToDraw, kMaxPicturePixels});
        return kFailed;
    }
    if (drawn.problem != PictureProblem::None) {
        voice.failure(names[0], msg::kCannotDraw, reasonOf(drawn.problem, {}));
        return kFailed;
    }
    pictures.clear();
    const EncodedPicture file = *format == CoverOutput::Png ? encodePng(drawn.picture) : encodeClassicBmp(drawn.picture);
    if (file.problem != PictureProblem::None) {
        voice.failure(output, msg::kCannotSave, reasonOf(file.problem, file.detail));
        return kFailed;
    }
    if (const std::error_code written = writeOutput(output, file)) {
        voice.failure(output, msg::kCannotSave, {written});
        return kFailed;
    }
    voice.success(msg::kFileSaved);
    return kSucceeded;
}

}  // namespace glint
