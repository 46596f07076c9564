// PNG by libpng. Errors jump back by longjmp to the function that called
// setjmp, so that function and every callback libpng calls hold only plain
// values: anything with a destructor lives in the reader or writer object
// of the caller, which outlives the jump.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "picture/picture_codecs.h"
#include "picture/png_settings.h"
#include "files/large_block.h"

namespace glint {
namespace {

// The colour chunks kept from the cover and written unchanged: they change
// how the samples are shown. libpng treats them as unknown chunks so that
// they come through byte for byte, with nothing made up from one another.
constexpr png_byte kColourChunkNames[] = "gAMA\0cHRM\0sRGB\0iCCP";
constexpr int kColourChunkCount = 4;

// At most this many ancillary chunks are held; a real picture has a handful,
// and the count bounds the time and memory a file of tiny chunks costs.
constexpr png_uint_32 kMaxAncillaryChunks = 64;
// No ancillary chunk is held beyond this size: the largest ICC profiles in
// use (printer profiles with big lookup tables) take a few MiB.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{16} << 20;
// Deflate turns one byte into at most 1032 (a 258-byte match coded in two
// bits): a file cannot hold more pixels than its bytes expand to.
constexpr std::uint64_t kDeflateMaxExpansionBits = 1032 * 8;

// libpng's output to memory grows in blocks of at least this much.
constexpr std::size_t kFirstOutputBlock = std::size_t{1} << 20;
// Deflate's output goes out in IDAT chunks of this size.
constexpr std::size_t kIdatBytes = std::size_t{256} << 10;

constexpr std::size_t kMessageBytes = 160;

// Where libpng's error text is kept until the jump has landed.
void keepMessage(png_structp png, png_const_charp message) {
    auto* kept = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(kept, kMessageBytes, "%s", message);
}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    keepMessage(png, message);
    png_longjmp(png, 1);
}

// Warnings are about chunks glint drops anyway: never printed.
void onWarning(png_structp, png_const_charp) {}

struct PngReader {
    PngReader(const unsigned char* file, std::size_t fileSize) : bytes(file), size(fileSize) {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, message, onError, onWarning);
        if (png != nullptr) info = png_create_info_struct(png);
    }
    ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    png_structp png = nullptr;
    png_infop info = nullptr;
    const unsigned char* bytes;
    std::size_t size;
    std::size_t offset = 0;
    char message[kMessageBytes] = {};
    DecodedPicture result;
};

void readFromMemory(png_structp png, png_bytep out, std::size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->offset) png_error(png, "the file ends early");
    std::memcpy(out, reader->bytes + reader->offset, length);
    reader->offset += length;
}

// libpng's own limit of a million rows or columns holds for reading and
// writing alike: glint's pixel ceiling takes its place, so that any picture
// the decoder takes is also written.
void liftRowAndColumnLimits(png_structp png) {
    png_set_user_limits(png, static_cast<png_uint_32>(kMaxPicturePixels), static_cast<png_uint_32>(kMaxPicturePixels));
}

void setReadLimits(png_structp png) {
    liftRowAndColumnLimits(png);
    png_set_chunk_cache_max(png, kMaxAncillaryChunks);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    // Every ancillary chunk libpng knows is skipped unread (text, time, ...)
    // but transparency, and the colour chunks are kept as they are.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kColourChunkNames, kColourChunkCount);
}

// Palette to RGB, transparency to alpha, grey below 8 bits to 8 bits; the
// picture's kind as libpng will then deliver it.
void setReadTransforms(png_structp png, png_infop info, Picture& picture) {
    const png_byte colourType = png_get_color_type(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) png_set_tRNS_to_alpha(png);
    png_read_update_info(png, info);
    const png_byte delivered = png_get_color_type(png, info);
    picture.width = png_get_image_width(png, info);
    picture.height = png_get_image_height(png, info);
    picture.colourChannels = (delivered & PNG_COLOR_MASK_COLOR) != 0 ? 3 : 1;
    picture.alpha = (delivered & PNG_COLOR_MASK_ALPHA) != 0;
    picture.bitsPerSample = png_get_bit_depth(png, info);
}

void keepColourChunks(png_structp png, png_infop info, Picture& picture) {
    png_unknown_chunkp chunks = nullptr;
    const int count = png_get_unknown_chunks(png, info, &chunks);
    for (int i = 0; i < count; ++i) {
        ColourChunk kept;
        std::copy_n(reinterpret_cast<const char*>(chunks[i].name), 4, kept.name.begin());
        kept.data.assign(chunks[i].data, chunks[i].data + chunks[i].size);
        picture.colourChunks.push_back(std::move(kept));
    }
}

// Only plain values live here: libpng's errors jump back into this frame.
bool readPng(PngReader& reader) {
    png_structp png = reader.png;
    png_infop info = reader.info;
    Picture& picture = reader.result.picture;
    if (setjmp(png_jmpbuf(png))) return false;
    setReadLimits(png);
    png_set_read_fn(png, &reader, readFromMemory);
    png_read_info(png, info);
    const std::uint64_t filePixelBits = std::uint64_t{png_get_channels(png, info)} * png_get_bit_depth(png, info);
    reader.result.problem = checkPictureSize(png_get_image_width(png, info), png_get_image_height(png, info),
                                             reader.size, kDeflateMaxExpansionBits / filePixelBits);
    if (reader.result.problem != PictureProblem::None) return false;
    const int passes = png_set_interlace_handling(png);
    setReadTransforms(png, info, picture);
    if (png_get_rowbytes(png, info) != picture.rowBytes()) png_error(png, "unexpected row size");
    if (!allocateSamples(picture)) {
        reader.result.problem = PictureProblem::OutOfMemory;
        return false;
    }
    const std::size_t rowBytes = picture.rowBytes();
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < picture.height; ++y) png_read_row(png, picture.samples.get() + y * rowBytes, nullptr);
    }
    png_read_end(png, nullptr);
    return true;
}

// libpng's output, in one block that doubles as it fills.
struct PngWriter {
    PngWriter() {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, onError, onWarning);
        if (png != nullptr) info = png_create_info_struct(png);
    }
    ~PngWriter() { png_destroy_write_struct(&png, &info); }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    png_structp png = nullptr;
    png_infop info = nullptr;
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
    std::size_t capacity = 0;
    char message[kMessageBytes] = {};
    std::vector<png_unknown_chunk> chunks;
};

void writeToMemory(png_structp png, png_bytep data, std::size_t length) {
    auto* writer = static_cast<PngWriter*>(png_get_io_ptr(png));
    if (length > writer->capacity - writer->size) {
        const std::size_t wanted = std::max({writer->capacity * 2, writer->size + length, kFirstOutputBlock});
        std::unique_ptr<unsigned char[]> grown = allocateBlock(wanted);
        if (!grown) png_error(png, "out of memory");
        if (writer->size != 0) std::memcpy(grown.get(), writer->bytes.get(), writer->size);
        writer->bytes = std::move(grown);
        writer->capacity = wanted;
    }
    std::memcpy(writer->bytes.get() + writer->size, data, length);
    writer->size += length;
}

void flushNothing(png_structp) {}

int pngColourType(const Picture& picture) {
    const int colour = picture.colourChannels == 3 ? PNG_COLOR_MASK_COLOR : 0;
    return colour | (picture.alpha ? PNG_COLOR_MASK_ALPHA : 0);
}

// Only plain values live here: libpng's errors jump back into this frame.
bool writePng(PngWriter& writer, const Picture& picture) {
    png_structp png = writer.png;
    png_infop info = writer.info;
    if (setjmp(png_jmpbuf(png))) return false;
    liftRowAndColumnLimits(png);
    png_set_write_fn(png, &writer, writeToMemory, flushNothing);
    png_set_IHDR(png, info, picture.width, picture.height, picture.bitsPerSample, pngColourType(picture),
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_compression_level(png, kPngCompressionLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, kPngFilters);
    png_set_compression_buffer_size(png, kIdatBytes);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kColourChunkNames, kColourChunkCount);
    if (!writer.chunks.empty()) {
        png_set_unknown_chunks(png, info, writer.chunks.data(), static_cast<int>(writer.chunks.size()));
    }
    png_write_info(png, info);
    const std::size_t rowBytes = picture.rowBytes();
    for (std::uint32_t y = 0; y < picture.height; ++y) png_write_row(png, picture.samples.get() + y * rowBytes);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

DecodedPicture decodePng(const unsigned char* bytes, std::size_t size) {
    PngReader reader(bytes, size);
    if (reader.info == nullptr) {
        reader.result.problem = PictureProblem::OutOfMemory;
    } else if (!readPng(reader) && reader.result.problem == PictureProblem::None) {
        reader.result.problem = PictureProblem::Corrupt;
        reader.result.detail = reader.message;
    } else if (reader.result.problem == PictureProblem::None) {
        keepColourChunks(reader.png, reader.info, reader.result.picture);
    }
    if (reader.result.problem != PictureProblem::None) reader.result.picture = Picture();
    return std::move(reader.result);
}

// libpng writes every kind a picture can be.
bool preparePngKind(Picture&) { return true; }

EncodedPicture encodePng(const Picture& picture) {
    EncodedPicture encoded;
    PngWriter writer;
    for (const ColourChunk& kept : picture.colourChunks) {
        png_unknown_chunk chunk{};
        std::copy_n(kept.name.begin(), 4, chunk.name);
        // libpng copies the data and never writes through the pointer.
        chunk.data = const_cast<png_byte*>(kept.data.data());
        chunk.size = kept.data.size();
        chunk.location = PNG_HAVE_IHDR;  // before the image data
        writer.chunks.push_back(chunk);
    }
    if (writer.info == nullptr) {
        encoded.problem = PictureProblem::OutOfMemory;
    } else if (!writePng(writer, picture)) {
        encoded.problem = PictureProblem::Unencodable;
        encoded.detail = writer.message;
    } else {
        encoded.bytes = std::move(writer.bytes);
        encoded.size = writer.size;
    }
    return encoded;
}

}  // namespace glint
