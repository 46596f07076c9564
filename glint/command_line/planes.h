// glint planes IMAGE [STEGO] PICTURE: a picture of the lowest bits.
#pragma once

#include <string>
#include <vector>

#include "command_line/encryption_option.h"
#include "command_line/voice.h"

namespace glint {

// `names`: one or two pictures, then the output, written as PNG or BMP by
// its name as hide's output is. -p changes nothing here.
int planes(const std::vector<std::string>& names, Voice& voice, const EncryptionOption& encryption);

}  // namespace glint
