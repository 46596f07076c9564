// The decoders and the PNG encoder of each platform, behind one header: on
// Linux Debian's libpng, libjpeg-turbo and gdk-pixbuf, linked dynamically so
// that security updates reach glint; on Windows the system's own Windows
// Imaging Component, which Windows Update keeps. Each takes a whole file's
// bytes and never prints.
#pragma once

#include <cstddef>

#include "picture/picture.h"

namespace glint {

// Grey, grey and alpha, RGB and RGBA at 1 to 16 bits, palette (as RGB, its
// transparency as alpha), interlaced or not. Samples below 8 bits are
// widened to 8, 16-bit ones kept; a colour key (tRNS) becomes alpha.
DecodedPicture decodePng(const unsigned char* bytes, std::size_t size);

// Baseline and progressive, grey and colour. CMYK and YCCK are refused.
DecodedPicture decodeJpeg(const unsigned char* bytes, std::size_t size);

// Any BMP: palettes of 1 to 8 bits, RLE, bit fields, 16 and 32 bits, every
// header version, top-down. An alpha that is opaque everywhere is dropped.
DecodedPicture decodeBmp(const unsigned char* bytes, std::size_t size);

// Makes the picture one that encodePng writes as it is, before anything is
// hidden in it, so that the samples carried are the samples written. The
// Windows codecs write no grey-and-alpha PNG: there such a picture becomes
// RGBA with equal red, green and blue. False when memory runs out.
bool preparePngKind(Picture& picture);

// A PNG of the picture's own kind (grey or colour, alpha, 8 or 16 bits),
// with its colour chunks and no text or time chunks.
EncodedPicture encodePng(const Picture& picture);

}  // namespace glint
