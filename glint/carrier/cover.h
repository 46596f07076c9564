// A cover, stego picture or picture named on the command line, read whole
// and made into the carrier that takes it. A BMP that the designed layout
// carries byte for byte (a classic 24-bit one written as BMP, and any BMP a
// payload is recovered from) goes to BmpCarrier as it is; every other
// picture is decoded by the picture libraries and converted, so that only
// its pixel samples carry the payload: to a classic 24-bit BMP, or to a PNG
// of its own kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "carrier/bmp_carrier.h"
#include "carrier/carrier.h"
#include "picture/picture.h"
#include "common/console.h"

namespace glint {

// No cover file of more bytes is read: 2^28 pixels take at most 2 GiB as
// 16-bit RGBA samples, and a BMP states its size in 32 bits.
inline constexpr std::uint64_t kMaxCoverFileBytes = std::uint64_t{4} << 30;

enum class CoverOutput { Bmp, Png };

enum class CoverUse {
    Hide,      // written as the output asks
    Recover,   // a BMP as it is, or a PNG
    Capacity,  // a PNG as PNG, a classic BMP as it is, anything else as a classic BMP (and as PNG beside it)
};

enum class CoverProblem {
    None,
    Load,          // reading the file, or BmpCarrier's load: see `load`
    Picture,       // the picture library's reason: see `picture` and `detail`
    FileTooLarge,  // more than kMaxCoverFileBytes
    NotStego,      // recover: neither BMP nor PNG, so no payload can be in it
};

// What a converted cover was: nothing (from Unknown) when it is carried as
// it is, or when a PNG is written as PNG.
struct CoverConversion {
    PictureFormat from = PictureFormat::Unknown;
    CoverOutput to = CoverOutput::Bmp;
    bool roundedTo8Bits = false;  // 16-bit samples into a BMP
    bool alphaDropped = false;    // a BMP holds none
    // A BMP cover's own kind, which the layout would have carried as it is.
    std::uint16_t bmpBitsPerPixel = 0;  // 0 when its header does not say
    BmpCarrier::LeadingBytes bmpLeading;
    bool converted() const { return from != PictureFormat::Unknown; }
};

struct OpenedCover {
    std::unique_ptr<Carrier> carrier;  // null unless opened
    // For capacity of a converted cover: the same picture as a PNG.
    std::unique_ptr<Carrier> asPng;
    PictureFormat format = PictureFormat::Unknown;  // by the file's first bytes
    CoverConversion conversion;
    CoverProblem problem = CoverProblem::None;
    Carrier::Failure load;
    PictureProblem picture = PictureProblem::None;
    std::string detail;
};

// `out` and `err` are the dialogue's consoles of a BmpCarrier, which the
// command line never has it use.
OpenedCover openCover(std::istream& file, CoverUse use, CoverOutput output, common::Console& out,
                      common::Console& err);
OpenedCover openCover(const char* name, CoverUse use, CoverOutput output, common::Console& out,
                      common::Console& err);

// The picture in any format glint reads, decoded, for a look at its samples.
struct OpenedPicture {
    DecodedPicture decoded;
    CoverProblem problem = CoverProblem::None;  // Load, Picture or FileTooLarge
    Carrier::Failure load;
};
OpenedPicture openPicture(std::istream& file);
OpenedPicture openPicture(const char* name);

}  // namespace glint
