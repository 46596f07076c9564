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

#include "picture/picture.h"
#include "picture/picture_codecs.h"
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

struct JpegKind {
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

// `scans`, when given, replaces the scans that its kind would have.
Bytes writeJpeg(const JpegKind& kind, std::uint32_t width, std::uint32_t height, const Bytes& samples, const Bytes& icc,
                const std::vector<jpeg_scan_info>& scans = {}) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = kind.components;
    cinfo.in_color_space = kind.components == 1 ? JCS_GRAYSCALE : kind.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (kind.progressive) jpeg_simple_progression(&cinfo);
    if (!scans.empty()) {
        cinfo.scan_info = scans.data();
        cinfo.num_scans = static_cast<int>(scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    if (!icc.empty()) jpeg_write_icc_profile(&cinfo, icc.data(), static_cast<unsigned>(icc.size()));
    const std::size_t rowBytes = std::size_t{width} * static_cast<std::size_t>(kind.components);
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
    const JpegKind kinds[] = {
        {"baseline colour", 3, false, false}, {"progressive colour", 3, true, false},
        {"baseline grey", 1, false, false},   {"progressive grey", 1, true, false},
        {"colour with an ICC profile", 3, false, true},
    };
    const Bytes profile = testing_support::patternBytes(3000, 9);
    for (const JpegKind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const Bytes samples = smoothSamples(37, 21, kind.components);
        const Bytes file = writeJpeg(kind, 37, 21, samples, kind.withIcc ? profile : Bytes());
        const DecodedPicture decoded = glint::decodeJpeg(file.data(), file.size());
        ASSERT_EQ(decoded.problem, PictureProblem::None) << decoded.detail;
        const glint::Picture& picture = decoded.picture;
        EXPECT_EQ(picture.width, 37U);
        EXPECT_EQ(picture.height, 21U);
        EXPECT_EQ(picture.colourChannels, kind.components);
        EXPECT_FALSE(picture.alpha);
        EXPECT_GT(psnr(Bytes(picture.samples.get(), picture.samples.get() + picture.byteCount()), samples), 35.0);
        ASSERT_EQ(picture.colourChunks.size(), kind.withIcc ? 1U : 0U);
        if (!kind.withIcc) continue;
        const Bytes& iccp = picture.colourChunks[0].data;
        const std::size_t nameEnd = std::string(reinterpret_cast<const char*>(iccp.data()), iccp.size()).find('\0');
        ASSERT_LT(nameEnd + 2, iccp.size());
        EXPECT_EQ(iccp[nameEnd + 1], 0);  // deflate
        EXPECT_EQ(inflated(Bytes(iccp.begin() + static_cast<std::ptrdiff_t>(nameEnd) + 2, iccp.end())), profile);
    }
}

// A grey progressive JPEG whose every coefficient is sent in its own scans,
// its bits from `firstBit` down one scan at a time: 64 x (firstBit + 1) scans.
Bytes manyScanJpeg(int firstBit) {
    std::vector<jpeg_scan_info> scans;
    for (int k = 0; k < 64; ++k) {
        for (int bit = firstBit; bit >= 0; --bit) {
            jpeg_scan_info scan{};
            scan.comps_in_scan = 1;
            scan.Ss = scan.Se = k;
            scan.Ah = bit == firstBit ? 0 : bit + 1;
            scan.Al = bit;
            scans.push_back(scan);
        }
    }
    const JpegKind grey{"grey, a scan for each bit of each coefficient", 1, false, false};
    return writeJpeg(grey, 32, 32, smoothSamples(32, 32, 1), {}, scans);
}

TEST(JpegDecoder, RefusesMoreScansThanAnyPhotographHas) {
    const struct {
        int firstBit;
        PictureProblem problem;
    } cases[] = {{2, PictureProblem::None}, {3, PictureProblem::None}, {4, PictureProblem::Corrupt}};  // 192, 256, 320 scans
    for (const auto& c : cases) {
        const Bytes file = manyScanJpeg(c.firstBit);
        const DecodedPicture decoded = glint::decodeJpeg(file.data(), file.size());
        EXPECT_EQ(decoded.problem, c.problem) << c.firstBit << ": " << decoded.detail;
    }
}

}  // namespace
