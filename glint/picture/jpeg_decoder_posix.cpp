// JPEG by libjpeg-turbo. Errors leave by longjmp to the function that called
// setjmp, which holds only plain values; everything with a destructor lives
// in the reader object of its caller.
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "picture/picture_codecs.h"

namespace glint {
namespace {

// A progressive file has about ten scans. Each one more makes the decoder
// pass over the whole picture again, so that a few KiB of tiny scans could
// keep it busy for minutes.
constexpr int kMaxJpegScans = 256;
// Huffman coding spends at least one bit on each 8 x 8 block of a component,
// and a component sampled at a quarter each way has blocks of 32 x 32
// pixels. Arithmetic coding has no such floor.
constexpr std::uint64_t kHuffmanMaxPixelsPerByte = 8 * 32 * 32;

struct JpegReader {
    JpegReader(const unsigned char* file, std::size_t fileSize) : bytes(file), size(fileSize) {}
    // A zeroed or half-made decompressor is destroyed safely.
    ~JpegReader() {
        jpeg_destroy_decompress(&cinfo);
        std::free(icc);
    }
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    const unsigned char* bytes;
    std::size_t size;
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    JOCTET* icc = nullptr;  // allocated by libjpeg with malloc
    unsigned int iccSize = 0;
    char message[JMSG_LENGTH_MAX] = {};
    DecodedPicture result;
};

JpegReader& readerOf(j_common_ptr cinfo) { return *static_cast<JpegReader*>(cinfo->client_data); }

[[noreturn]] void onError(j_common_ptr cinfo) {
    JpegReader& reader = readerOf(cinfo);
    (*cinfo->err->format_message)(cinfo, reader.message);
    std::longjmp(reader.jump, 1);
}

// Warnings that say nothing about the pixels: a newer JFIF version, an
// unknown Adobe transform code (the colour space then comes from the
// component count), a damaged ICC profile (then not kept), bytes between
// markers.
bool harmless(int code) {
    return code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC ||
           code == JWRN_EXTRANEOUS_DATA;
}

// Nothing is printed. Any other warning is damaged data, which libjpeg
// would paper over with grey or repeated blocks; a cover so made up is
// refused as the file it is.
void onMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && !harmless(cinfo->err->msg_code)) onError(cinfo);
}

void onProgress(j_common_ptr cinfo) {
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number > kMaxJpegScans) {
        std::snprintf(readerOf(cinfo).message, JMSG_LENGTH_MAX, "more than %d scans", kMaxJpegScans);
        std::longjmp(readerOf(cinfo).jump, 1);
    }
}

// Grey stays grey; every other three-component space comes out as RGB.
bool chooseOutput(j_decompress_ptr cinfo, Picture& picture) {
    if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) return false;
    if (cinfo->num_components == 1) {
        cinfo->out_color_space = JCS_GRAYSCALE;
    } else if (cinfo->num_components == 3) {
        cinfo->out_color_space = JCS_RGB;
    } else {
        return false;
    }
    picture.colourChannels = static_cast<std::uint8_t>(cinfo->num_components);
    picture.alpha = false;
    picture.bitsPerSample = 8;
    picture.width = cinfo->image_width;
    picture.height = cinfo->image_height;
    return true;
}

// Only plain values live here: libjpeg's errors jump back into this frame.
bool readJpeg(JpegReader& reader) {
    j_decompress_ptr cinfo = &reader.cinfo;
    Picture& picture = reader.result.picture;
    if (setjmp(reader.jump)) return false;
    jpeg_create_decompress(cinfo);
    cinfo->progress = &reader.progress;
    jpeg_mem_src(cinfo, reader.bytes, static_cast<unsigned long>(reader.size));
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);  // the ICC profile's pieces
    jpeg_read_header(cinfo, TRUE);
    if (!chooseOutput(cinfo, picture)) {
        reader.result.problem = PictureProblem::Unsupported;
        return false;
    }
    reader.result.problem = checkPictureSize(picture.width, picture.height, reader.size,
                                             cinfo->arith_code ? 0 : kHuffmanMaxPixelsPerByte);
    if (reader.result.problem != PictureProblem::None) return false;
    if (!jpeg_read_icc_profile(cinfo, &reader.icc, &reader.iccSize)) reader.icc = nullptr;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != picture.colourChannels) ERREXIT(cinfo, JERR_BAD_J_COLORSPACE);
    if (!allocateSamples(picture)) {
        reader.result.problem = PictureProblem::OutOfMemory;
        return false;
    }
    const std::size_t rowBytes = picture.rowBytes();
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = picture.samples.get() + std::size_t{cinfo->output_scanline} * rowBytes;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

}  // namespace

DecodedPicture decodeJpeg(const unsigned char* bytes, std::size_t size) {
    JpegReader reader(bytes, size);
    reader.cinfo.err = jpeg_std_error(&reader.errors);
    reader.errors.error_exit = onError;
    reader.errors.emit_message = onMessage;
    reader.progress.progress_monitor = onProgress;
    reader.cinfo.client_data = &reader;
    if (!readJpeg(reader) && reader.result.problem == PictureProblem::None) {
        reader.result.problem = PictureProblem::Corrupt;
        reader.result.detail = reader.message;
    }
    if (reader.result.problem == PictureProblem::None) {
        // The profile goes out as the PNG's iCCP chunk; one that cannot be
        // compressed is left out.
        if (reader.icc != nullptr) appendIccpChunk(reader.icc, reader.iccSize, reader.result.picture);
    } else {
        reader.result.picture = Picture();
    }
    return std::move(reader.result);
}

}  // namespace glint
