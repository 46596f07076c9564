// A picture decoded from a cover file by a well-kept library: its size, its
// samples in one owned block, and the PNG colour chunks that say how its
// samples are to be shown. Hidden bits go into the colour samples only,
// through plane().
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "layout/sample_plane.h"

namespace glint {

// No picture of more pixels is decoded: the size is checked against this
// before anything is allocated for the pixels, so that a file of a few bytes
// that claims to be 60000 x 60000 (a decompression bomb) is refused at once.
// 2^28 pixels admit every cover whose samples take 256 MiB, even one of
// 8-bit grey (one byte a pixel), the largest cover glint is built and
// measured for; at 8 bytes a pixel (16-bit RGBA) the samples then take 2 GiB.
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 28;

// A PNG ancillary chunk that changes how the samples look, kept byte for
// byte from the cover and written unchanged: gAMA, cHRM, sRGB or iCCP.
struct ColourChunk {
    std::array<char, 4> name{};
    std::vector<unsigned char> data;  // the chunk's data, without length, name or CRC
};

struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t colourChannels = 0;  // 1 grey, 3 red, green, blue
    bool alpha = false;               // an alpha sample follows the colour ones
    std::uint8_t bitsPerSample = 8;   // 8, or 16 with each sample big-endian
    // Rows top-down, each pixel's samples one after another, no row padding.
    std::unique_ptr<unsigned char[]> samples;
    std::vector<ColourChunk> colourChunks;  // in the order the cover had them

    std::size_t sampleBytes() const { return bitsPerSample / 8U; }
    std::size_t pixelBytes() const { return (colourChannels + (alpha ? 1U : 0U)) * sampleBytes(); }
    std::size_t rowBytes() const { return width * pixelBytes(); }
    std::uint64_t byteCount() const { return std::uint64_t{height} * rowBytes(); }
    // The colour samples of every pixel: never alpha.
    SamplePlane plane() const;
};

enum class PictureProblem {
    None,
    UnknownFormat,    // not PNG, JPEG or BMP by its first bytes
    Corrupt,          // damaged: `detail` says how, mostly in the library's words
    TooManyPixels,    // more than kMaxPicturePixels
    TooShortForSize,  // fewer bytes than the size it claims needs at the least
    Unsupported,      // a kind the library reads but glint does not take (CMYK JPEG)
    OutOfMemory,
    TooLargeForBmp,   // a classic BMP holds at most 4 GiB
    Unencodable,      // the library could not write the picture: `detail` says why
};

struct DecodedPicture {
    Picture picture;  // meaningful only without a problem
    PictureProblem problem = PictureProblem::None;
    std::string detail;  // the library's own reason, when it gave one
};

struct EncodedPicture {
    std::unique_ptr<unsigned char[]> bytes;  // the whole file
    std::size_t size = 0;
    PictureProblem problem = PictureProblem::None;
    std::string detail;
};

enum class PictureFormat { Unknown, Png, Jpeg, Bmp };

// The format by the file's first bytes, never by a name's extension.
PictureFormat pictureFormat(const unsigned char* bytes, std::size_t size);

// A BMP that BmpCarrier carries as designed, byte for byte: the 40-byte info
// header, 24 bits a pixel, no compression, no colour table, pixels at byte
// 54. Every other BMP is decoded by the library and converted.
bool isClassicBmp(const unsigned char* bytes, std::size_t size);

// Whether the BMP's info header, as long as its first field claims, ends
// inside the file. A decoder that sizes a buffer by that claim is never
// shown a file of 30 bytes that claims a 4 GiB header.
bool bmpHeaderInFile(const unsigned char* bytes, std::size_t size);

// Whether the pixel rows of an uncompressed BMP, as many and as long as its
// header says, end inside the file, so that a cut file is never shown with
// rows the library made up; true for a compressed BMP, whose decoder alone
// knows where its data ends.
bool bmpRowsInFile(const unsigned char* bytes, std::size_t size);

// The file's bytes, read whole by the caller, as a picture by its format, or
// the reason it is none.
DecodedPicture decodePicture(const unsigned char* bytes, std::size_t size);

// Whether a decoder may allocate for a picture of the size its header
// claims: at most kMaxPicturePixels, and no more than `fileBytes` could hold
// at the format's densest coding of `pixelsPerByte` (0 when it has no such
// bound), so that a short file never gets a large block.
PictureProblem checkPictureSize(std::uint64_t width, std::uint64_t height, std::uint64_t fileBytes,
                                std::uint64_t pixelsPerByte);

// The iCCP chunk of an ICC profile taken from a JPEG: a name, its end, the
// method (0, deflate) and the profile compressed. False when zlib fails.
bool appendIccpChunk(const unsigned char* profile, std::size_t size, Picture& picture);

// Gives `picture` an uninitialised sample block for its size; false when
// memory runs out.
bool allocateSamples(Picture& picture);

// A classic BMP of the picture: 14-byte file header, 40-byte info header,
// 24 bits a pixel, no palette and no masks, rows bottom-up padded with zeros
// to four bytes, so that the data area from byte 54 is pixels and padding
// only. Grey is written as equal blue, green and red, a 16-bit sample
// rounded to the nearest 8-bit one, and alpha is left out.
EncodedPicture encodeClassicBmp(const Picture& picture);

}  // namespace glint
