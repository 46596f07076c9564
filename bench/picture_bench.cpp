// A large RGB PNG decoded and written again by libpng alone, at glint's
// compression level and filters, next to glint's own open, hide and save of
// the same file as a PNG cover written as PNG: the payload is 30/256 of the
// samples, as 30 MiB is of a 256 MiB cover. Sizes are the bytes of the
// samples.
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "carrier/cover.h"
#include "picture/picture.h"
#include "picture/picture_codecs.h"
#include "picture/png_settings.h"
#include "ratio_reporter.h"

namespace {

constexpr std::uint32_t kWidth = 4096;

// A photograph's statistics, roughly: smooth shading with a little noise, so
// that the lowest bits look random and deflate finds what it finds in one.
glint::Picture photograph(std::size_t bytes) {
    glint::Picture picture;
    picture.width = kWidth;
    picture.height = static_cast<std::uint32_t>(bytes / (kWidth * 3));
    picture.colourChannels = 3;
    glint::allocateSamples(picture);
    std::uint32_t noise = 12345;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        unsigned char* row = picture.samples.get() + y * picture.rowBytes();
        for (std::uint32_t x = 0; x < kWidth * 3; ++x) {
            noise = noise * 1664525 + 1013904223;
            row[x] = static_cast<unsigned char>((x / 3 + y / 2 + (x % 3) * 40) / 4 % 200 + (noise >> 28));
        }
    }
    return picture;
}

const std::vector<unsigned char>& pngOfSize(std::size_t bytes) {
    static std::map<std::size_t, std::vector<unsigned char>> made;
    auto& file = made[bytes];
    if (file.empty()) {
        const glint::EncodedPicture png = glint::encodePng(photograph(bytes));
        file.assign(png.bytes.get(), png.bytes.get() + png.size);
    }
    return file;
}

struct Memory {
    const unsigned char* in;
    std::size_t size;
    std::size_t offset = 0;
    std::vector<unsigned char> out;
};

void readMemory(png_structp png, png_bytep to, std::size_t length) {
    auto* memory = static_cast<Memory*>(png_get_io_ptr(png));
    if (length > memory->size - memory->offset) png_error(png, "short");
    std::memcpy(to, memory->in + memory->offset, length);
    memory->offset += length;
}

void writeMemory(png_structp png, png_bytep from, std::size_t length) {
    auto* memory = static_cast<Memory*>(png_get_io_ptr(png));
    memory->out.insert(memory->out.end(), from, from + length);
}

// libpng alone: the rows into one block, then out again.
std::size_t libpngRoundTrip(Memory& memory, unsigned char* rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) return 0;
    png_set_read_fn(png, &memory, readMemory);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, rows + y * rowBytes, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);

    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) return 0;
    png_set_write_fn(png, &memory, writeMemory, nullptr);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_set_compression_level(png, glint::kPngCompressionLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, glint::kPngFilters);
    png_set_compression_buffer_size(png, std::size_t{256} << 10);
    png_write_info(png, info);
    for (png_uint_32 y = 0; y < height; ++y) png_write_row(png, rows + y * rowBytes);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return memory.out.size();
}

void libpngAlone(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<unsigned char>& file = pngOfSize(size);
    const std::unique_ptr<unsigned char[]> rows(new unsigned char[size]);
    std::size_t written = 0;
    for (auto _ : state) {
        Memory memory{file.data(), file.size(), 0, {}};
        memory.out.reserve(file.size());
        written = libpngRoundTrip(memory, rows.get());
        benchmark::DoNotOptimize(written);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
    state.counters["out_MiB"] = static_cast<double>(written) / (1 << 20);
}

// glint's own path, as glint hide stego.png takes it: the cover opened from
// a stream, the payload hidden through the PNG carrier, the result saved.
void glintHide(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<unsigned char>& file = pngOfSize(size);
    const std::string cover(file.begin(), file.end());
    std::string payload(size / 256 * 30 / 8, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
    std::ostringstream sink;
    common::Console console(sink);
    std::size_t written = 0;
    for (auto _ : state) {
        std::istringstream in(cover);
        const glint::OpenedCover opened = glint::openCover(in, glint::CoverUse::Hide, glint::CoverOutput::Png, console, console);
        std::istringstream payloadStream(payload);
        if (!opened.carrier || opened.carrier->hide(payloadStream)) {
            state.SkipWithError("the hide failed");
            break;
        }
        written = 0;
        opened.carrier->save([&](std::initializer_list<glint::ByteRange> pieces) {
            for (const glint::ByteRange& piece : pieces) written += piece.size;
            return std::error_code();
        });
        benchmark::DoNotOptimize(written);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
    state.counters["out_MiB"] = static_cast<double>(written) / (1 << 20);
}

constexpr std::int64_t kSmallest = std::int64_t{4} << 20;
constexpr std::int64_t kLargest = std::int64_t{256} << 20;
BENCHMARK(libpngAlone)->Name("png/libpng")->RangeMultiplier(4)->Range(kSmallest, kLargest)->Unit(benchmark::kMillisecond);
BENCHMARK(glintHide)->Name("png/glint")->RangeMultiplier(4)->Range(kSmallest, kLargest)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return runWithRatios(argc, argv, "libpng"); }
