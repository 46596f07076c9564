// The Linux decoders against pictures written here with libpng and
// libjpeg-turbo themselves, and against hostile files of a few bytes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "carrier/picture.h"
#include "carrier/picture_codecs.h"
#include "png_bytes.h"
#include "test_support.h"

namespace {

using glint::DecodedPicture;
using glint::PictureProblem;
using testing_support::Bytes;
using png_bytes::chunk;
using png_bytes::idat;
using png_bytes::ihdr;
using png_bytes::png;

// --- JPEG files written by libjpeg-turbo -------------------------------------

struct JpegSpec {
    const char* name;
    int components;  // 1 grey, 3 YCbCr, 4 CMYK
    bool progressive;
    bool withIcc;
};

// A smooth picture, so that a good JPEG stays close to it.
Bytes smoothSamples(std::uint32_t width, std::uint32_t height, int components) {
    Bytes out;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            for (unsigned c = 0; c < unsigned(components); ++c) out.push_back(static_cast<unsigned char>((x * 3 + y * (c + 1) * 2) % 256));
        }
    }
    return out;
}

Bytes writeJpeg(const JpegSpec& spec, std::uint32_t width, std::uint32_t height, const Bytes& samples, const Bytes& icc) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = spec.components;
    cinfo.in_color_space = spec.components == 1 ? JCS_GRAYSCALE : spec.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (spec.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (!icc.empty()) jpeg_write_icc_profile(&cinfo, icc.data(), static_cast<unsigned>(icc.size()));
    const std::size_t rowBytes = std::size_t{width} * static_cast<std::size_t>(spec.components);
    while (cinfo.next_scanline < height) {
        JSAMPROW row = const_cast<unsigned char*>(samples.data()) + cinfo.next_scanline * rowBytes;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes file(out, out + size);
    std::free(out);
    return file;
}

double psnr(const Bytes& a, const Bytes& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

Bytes inflated(const Bytes& compressed) {
    Bytes out(1 << 16);
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &size, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK) return {};
    out.resize(size);
    return out;
}

TEST(JpegDecoder, BaselineProgressiveAndGreyComeCloseToWhatWasWritten) {
    const JpegSpec kinds[] = {
        {"baseline colour", 3, false, false}, {"progressive colour", 3, true, false},
        {"baseline grey", 1, false, false},   {"progressive grey", 1, true, false},
        {"colour with an ICC profile", 3, false, true},
    };
    const Bytes profile = testing_support::patternBytes(3000, 9);
    for (const JpegSpec& spec : kinds) {
        SCOPED_TRACE(spec.name);
        const Bytes samples = smoothSamples(37, 21, spec.components);
        const Bytes file = writeJpeg(spec, 37, 21, samples, spec.withIcc ? profile : Bytes());
        const DecodedPicture decoded = glint::decodeJpeg(file.data(), file.size());
        ASSERT_EQ(decoded.problem, PictureProblem::None) << decoded.detail;
        const glint::Picture& picture = decoded.picture;
        EXPECT_EQ(picture.width, 37U);
        EXPECT_EQ(picture.height, 21U);
        EXPECT_EQ(picture.colourChannels, spec.components);
        EXPECT_FALSE(picture.alpha);
        EXPECT_GT(psnr(Bytes(picture.samples.get(), picture.samples.get() + picture.byteCount()), samples), 35.0);
        ASSERT_EQ(picture.colourChunks.size(), spec.withIcc ? 1U : 0U);
        if (!spec.withIcc) continue;
        const Bytes& iccp = picture.colourChunks[0].data;
        const std::size_t nameEnd = std::string(reinterpret_cast<const char*>(iccp.data()), iccp.size()).find('\0');
        ASSERT_LT(nameEnd + 2, iccp.size());
        EXPECT_EQ(iccp[nameEnd + 1], 0);  // deflate
        EXPECT_EQ(inflated(Bytes(iccp.begin() + static_cast<std::ptrdiff_t>(nameEnd) + 2, iccp.end())), profile);
    }
}

TEST(JpegDecoder, RefusesCmyk) {
    const JpegSpec cmyk{"cmyk", 4, false, false};
    const Bytes file = writeJpeg(cmyk, 16, 16, smoothSamples(16, 16, 4), {});
    EXPECT_EQ(glint::decodeJpeg(file.data(), file.size()).problem, PictureProblem::Unsupported);
}

// --- Hostile files ------------------------------------------------------------

// The offset of the first marker `code` in a JPEG, after its FF.
std::size_t markerAt(const Bytes& file, unsigned char code) {
    for (std::size_t i = 2; i + 1 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == code) return i + 1;
    }
    return 0;
}

Bytes withJpegSize(Bytes file, std::uint16_t width, std::uint16_t height) {
    const std::size_t sof = markerAt(file, 0xC0);  // FF C0, length, precision, height, width
    file[sof + 4] = static_cast<unsigned char>(height >> 8);
    file[sof + 5] = static_cast<unsigned char>(height);
    file[sof + 6] = static_cast<unsigned char>(width >> 8);
    file[sof + 7] = static_cast<unsigned char>(width);
    return file;
}

Bytes withBmpSize(Bytes file, std::uint16_t side) {
    for (const std::size_t at : {std::size_t{18}, std::size_t{22}}) {  // biWidth, biHeight
        file[at] = static_cast<unsigned char>(side);
        file[at + 1] = static_cast<unsigned char>(side >> 8);
    }
    return file;
}

struct Hostile {
    const char* name;
    Bytes file;
    std::size_t size;  // asserted, so that a change in the helpers shows
    PictureProblem problem;
};

TEST(PictureDecoders, RefuseHostileFilesCleanly) {
    const Bytes tinyRaw = {0, 0, 0, 0};  // one RGB pixel
    const Bytes goodPng = png({ihdr(1, 1, 8, 2), idat(tinyRaw), chunk("IEND", {})});
    Bytes badCrc = goodPng;
    badCrc[8 + 8 + 13] ^= 1;  // the IHDR's CRC
    Bytes badIdatCrc = goodPng;
    badIdatCrc[goodPng.size() - 12 - 1] ^= 1;  // the IDAT's CRC
    const JpegSpec baseline{"baseline", 3, false, false};
    const Bytes jpeg = writeJpeg(baseline, 16, 16, smoothSamples(16, 16, 3), {});
    Bytes badHuffman = jpeg;
    badHuffman[markerAt(jpeg, 0xC4) + 4] = 0xFF;  // the table's first code count: more codes than one bit holds
    const Bytes rleBomb = {'B', 'M', 60, 0, 0, 0, 0, 0, 0, 0, 58, 0, 0, 0,
                           40, 0, 0, 0, 0x50, 0xC3, 0, 0, 0x50, 0xC3, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0,
                           4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,
                           0, 0, 0, 0, 0, 1};  // RLE8 50000 x 50000, one colour, "end of picture"
    const Hostile cases[] = {
        {"PNG cut inside IHDR", Bytes(goodPng.begin(), goodPng.begin() + 20), 20, PictureProblem::Corrupt},
        {"PNG cut inside IDAT", Bytes(goodPng.begin(), goodPng.end() - 16), 53, PictureProblem::Corrupt},
        {"PNG without IEND", Bytes(goodPng.begin(), goodPng.end() - 12), 57, PictureProblem::Corrupt},
        {"PNG with a bad IHDR CRC", badCrc, 69, PictureProblem::Corrupt},
        {"PNG with a bad IDAT CRC", badIdatCrc, 69, PictureProblem::Corrupt},
        {"PNG of width 0", png({ihdr(0, 1, 8, 2), idat(tinyRaw), chunk("IEND", {})}), 69, PictureProblem::Corrupt},
        {"PNG of bit depth 3", png({ihdr(1, 1, 3, 0), idat(tinyRaw), chunk("IEND", {})}), 69, PictureProblem::Corrupt},
        {"PNG with an unknown critical chunk", png({ihdr(1, 1, 8, 2), chunk("QUUX", {}), idat(tinyRaw), chunk("IEND", {})}),
         81, PictureProblem::Corrupt},
        {"PNG of 100000 x 100000", png({ihdr(100000, 100000, 8, 2), idat(tinyRaw), chunk("IEND", {})}), 69,
         PictureProblem::TooManyPixels},
        {"PNG of 16000 x 16000 in 69 bytes", png({ihdr(16000, 16000, 8, 2), idat(tinyRaw), chunk("IEND", {})}), 69,
         PictureProblem::TooShortForSize},
        {"JPEG cut in half", Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)),
         jpeg.size() / 2, PictureProblem::Corrupt},
        {"JPEG with a bad Huffman table", badHuffman, jpeg.size(), PictureProblem::Corrupt},
        {"JPEG of 65000 x 65000", withJpegSize(jpeg, 65000, 65000), jpeg.size(), PictureProblem::TooManyPixels},
        {"JPEG of 12000 x 12000 in a few hundred bytes", withJpegSize(jpeg, 12000, 12000), jpeg.size(),
         PictureProblem::TooShortForSize},
        {"JPEG of its first marker only", {0xFF, 0xD8, 0xFF, 0xD9}, 4, PictureProblem::Corrupt},
        {"RLE8 BMP of 50000 x 50000", rleBomb, 60, PictureProblem::TooManyPixels},
        {"RLE8 BMP of 5000 x 5000 in 60 bytes", withBmpSize(rleBomb, 5000), 60, PictureProblem::TooShortForSize},
        {"BMP of 7 bits a pixel", {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                                   40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 7, 0, 0, 0, 0, 0,
                                   4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         58, PictureProblem::Corrupt},
        {"BMP cut inside its header", {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0}, 16, PictureProblem::Corrupt},
        {"GIF", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, 10, PictureProblem::UnknownFormat},
        {"nothing", {}, 0, PictureProblem::UnknownFormat},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.file.size(), c.size);
        const DecodedPicture decoded = glint::decodePicture(c.file.data(), c.file.size());
        EXPECT_EQ(decoded.problem, c.problem) << decoded.detail;
        EXPECT_EQ(decoded.picture.samples, nullptr);
        if (c.problem == PictureProblem::Corrupt && c.file.size() > 0 && c.file[0] != 'B') {
            EXPECT_FALSE(decoded.detail.empty());
        }
    }
}

}  // namespace
