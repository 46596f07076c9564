#include "command_line/covers.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "common/ascii_case.h"
#include "common/console_input.h"

namespace glint {
namespace {

// Standard input as an image.
const std::string kStandardStream = "-";

constexpr std::string_view kLossyExtensions[] = {"jpg", "jpeg", "jpe", "jfif", "webp", "heic",
                                                 "heif", "avif", "jxl", "gif"};

// The extension after a name's last dot, in lower case (ASCII's, whatever the
// locale); empty without one.
std::string extensionOf(const std::string& name) {
    const std::size_t folder = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (folder != std::string::npos && dot < folder)) return {};
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) c = common::asciiLower(c);
    return extension;
}

}  // namespace

Reason reasonOf(PictureProblem problem, const std::string& detail) {
    switch (problem) {
        case PictureProblem::UnknownFormat: return {{}, &msg::kNotAPicture};
        case PictureProblem::Corrupt: return {{}, &msg::kDamaged, 0, detail};
        case PictureProblem::TooManyPixels: return {{}, &msg::kTooManyPixels, kMaxPicturePixels};
        case PictureProblem::TooShortForSize: return {{}, &msg::kTooShortForSize};
        case PictureProblem::Unsupported: return {{}, &msg::kUnsupportedKind, 0, detail};
        case PictureProblem::OutOfMemory: return {std::make_error_code(std::errc::not_enough_memory)};
        case PictureProblem::TooLargeForBmp: return {{}, &msg::kTooLargeForBmp};
        case PictureProblem::Unencodable: return {{}, &msg::kUnencodable, 0, detail};
        case PictureProblem::None: break;
    }
    return {};
}

namespace {

Reason coverReason(CoverProblem problem, const Carrier::Failure& load, PictureProblem picture,
                   const std::string& detail, PictureFormat format) {
    switch (problem) {
        case CoverProblem::Load: return reasonOf(load);
        case CoverProblem::Picture: return reasonOf(picture, detail);
        case CoverProblem::FileTooLarge: return {{}, &msg::kFileTooLarge};
        case CoverProblem::NotStego:
            return {{}, format == PictureFormat::Jpeg ? &msg::kJpegHoldsNoPayload : &msg::kNotBmpOrPng};
        case CoverProblem::None: break;
    }
    return {};
}

// A BMP that the library does not read: how to make one it reads.
void adviseOnBmp(const std::string& name, PictureFormat format, PictureProblem problem, Voice& voice) {
    if (format == PictureFormat::Bmp && (problem == PictureProblem::Corrupt || problem == PictureProblem::Unsupported)) {
        voice.note(name, voice.in(msg::kConvertBmpFirst));
    }
}

const char* formatName(PictureFormat format) {
    switch (format) {
        case PictureFormat::Png: return "PNG";
        case PictureFormat::Jpeg: return "JPEG";
        case PictureFormat::Bmp: return "BMP";
        case PictureFormat::Unknown: break;
    }
    return "";
}

// What a BMP converted to a classic one had, that the layout would have carried.
std::vector<std::string> bmpParts(const CoverConversion& conversion, const Voice& voice) {
    std::vector<std::string> parts;
    const BmpCarrier::LeadingBytes& lead = conversion.bmpLeading;
    if (conversion.bmpBitsPerPixel != 0 && conversion.bmpBitsPerPixel != 24) parts.push_back(withNumber(voice.in(msg::kBitsPerPixel), conversion.bmpBitsPerPixel));
    if (lead.headerBytes != 0) parts.push_back(withNumber(voice.in(msg::kHeaderBytes), lead.headerBytes));
    if (lead.maskBytes != 0) parts.push_back(withNumber(voice.in(msg::kMaskBytes), lead.maskBytes));
    if (lead.tableEntries != 0) parts.push_back(withNumber(voice.in(msg::kColorTable), lead.tableEntries));
    if (lead.compressed) parts.push_back(voice.in(msg::kCompressed));
    return parts;
}

}  // namespace

void noteConversion(const std::string& name, const CoverConversion& conversion, const std::string& output,
                    Voice& voice) {
    const std::string extension = extensionOf(output);
    const bool nameAsks = extension == "png" || extension == "bmp";
    if (!conversion.converted()) return;
    std::string text;
    if (conversion.from == PictureFormat::Bmp && conversion.to == CoverOutput::Bmp) {
        text = voice.in(msg::kConvertedToBmp);
        const std::vector<std::string> parts = bmpParts(conversion, voice);
        if (!parts.empty()) text += voice.in(msg::kCoverHas) + voice.listed(parts);
    } else {
        text = std::string(voice.in(msg::kConvertedFrom)) + formatName(conversion.from) + voice.in(msg::kConvertedTo) +
               (conversion.to == CoverOutput::Png ? "PNG" : voice.in(msg::kClassicBmp)) +
               voice.in(conversion.from == PictureFormat::Jpeg ? msg::kJpegLosesBits
                        : nameAsks                                 ? msg::kAsTheNameAsks
                                                                   : msg::kGlintsChoice);
    }
    voice.note(name, text);
    if (conversion.roundedTo8Bits) voice.note(name, voice.in(msg::kRoundedTo8Bits));
    if (conversion.alphaDropped) voice.note(name, voice.in(msg::kAlphaDropped));
}

std::optional<CoverOutput> outputFormatOf(const std::string& name) {
    const std::string extension = extensionOf(name);
    if (extension == "png") return CoverOutput::Png;
    if (std::find(std::begin(kLossyExtensions), std::end(kLossyExtensions), extension) != std::end(kLossyExtensions)) {
        return std::nullopt;
    }
    return CoverOutput::Bmp;
}

OpenedCover openCoverTold(const std::string& name, CoverUse use, CoverOutput output, Voice& voice) {
    OpenedCover opened = name == kStandardStream
                             ? openCover(common::standardInputBytes(), use, output, voice.out, voice.err)
                             : openCover(name.c_str(), use, output, voice.out, voice.err);
    if (opened.problem != CoverProblem::None) {
        voice.failure(name, msg::kCannotLoadImage,
                      coverReason(opened.problem, opened.load, opened.picture, opened.detail, opened.format));
        adviseOnBmp(name, opened.format, opened.picture, voice);
    }
    return opened;
}

OpenedPicture openPictureTold(const std::string& name, Voice& voice) {
    OpenedPicture opened = name == kStandardStream ? openPicture(common::standardInputBytes()) : openPicture(name.c_str());
    if (opened.problem != CoverProblem::None) {
        voice.failure(name, msg::kCannotLoadImage, coverReason(opened.problem, opened.load, opened.decoded.problem,
                                                               opened.decoded.detail, PictureFormat::Unknown));
    }
    return opened;
}

}  // namespace glint
