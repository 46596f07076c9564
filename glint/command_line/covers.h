// The command line's covers: the output's format by its name, and every
// cover opened through carrier/cover.h with its failures and notes told.
#pragma once

#include <optional>
#include <string>

#include "carrier/cover.h"
#include "command_line/voice.h"

namespace glint {

// What an output named so is written as: PNG for ".png" (in any case), a
// classic BMP for any other name and "-", nothing for a lossy format's
// extension (JPEG, WebP, HEIF, AVIF, JPEG XL, and GIF, which holds 256
// colours), which would destroy the hidden bits.
std::optional<CoverOutput> outputFormatOf(const std::string& name);

// Why a picture could not be read or written, with the library's `detail`.
Reason reasonOf(PictureProblem problem, const std::string& detail);

// Opens the cover `name` ("-" is standard input), and says why when it does
// not open (the carrier is null then).
OpenedCover openCoverTold(const std::string& name, CoverUse use, CoverOutput output, Voice& voice);

// Notes what a converted cover was converted from and to, for the output
// named `output`, and what it lost.
void noteConversion(const std::string& name, const CoverConversion& conversion, const std::string& output,
                    Voice& voice);

// The same for a picture that is only looked at.
OpenedPicture openPictureTold(const std::string& name, Voice& voice);

}  // namespace glint
