// BMPs other than the classic kind, by gdk-pixbuf's BMP loader alone: the
// file is never offered to its other loaders, whatever its bytes look like.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "picture/picture_codecs.h"

namespace glint {
namespace {

// The densest BMP is RLE: a run of 255 pixels in two bytes. Pixels skipped
// by its escape codes have no colour at all, and a file that claims many
// more pixels than it codes (60 bytes for 50000 x 50000) is no cover.
constexpr std::uint64_t kBmpMaxPixelsPerByte = 128;

// What the loader tells while it reads: the size, checked before the
// pixels are allocated, and the rows it has filled. The loader finishes a
// file that runs out of data (a cut RLE picture, say) without an error,
// leaving the rows it never reached blank; it reports each row as updated
// when it decodes it, or when an RLE picture's end-of-picture code or skip
// leaves it blank as coded, so a row never reported is one the data lacks.
struct LoadWatch {
    std::uint64_t fileBytes = 0;
    PictureProblem problem = PictureProblem::None;
    std::vector<bool> rowsDecoded;
    std::uint64_t rowsLeft = 0;
};

struct LoaderRelease {
    void operator()(GdkPixbufLoader* loader) const { g_object_unref(loader); }
};
struct ErrorRelease {
    void operator()(GError* error) const { g_error_free(error); }
};
using Loader = std::unique_ptr<GdkPixbufLoader, LoaderRelease>;
using Error = std::unique_ptr<GError, ErrorRelease>;

// The library reports through GLib's log, which prints by default; glint
// says what went wrong itself.
void silenceLibraryLog() {
    static const bool silenced = [] {
        g_log_set_handler("GdkPixbuf", static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL),
                          [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        return true;
    }();
    (void)silenced;
}

// Called with the size from the header, before the pixels are allocated: a
// size of 0 x 0 makes the loader stop without allocating them.
void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer watched) {
    auto& watch = *static_cast<LoadWatch*>(watched);
    watch.problem = checkPictureSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height),
                                     watch.fileBytes, kBmpMaxPixelsPerByte);
    if (watch.problem == PictureProblem::None) {
        try {
            watch.rowsDecoded.assign(static_cast<std::size_t>(height), false);
            watch.rowsLeft = static_cast<std::uint64_t>(height);
        } catch (const std::bad_alloc&) {
            watch.problem = PictureProblem::OutOfMemory;
        }
    }
    if (watch.problem != PictureProblem::None) gdk_pixbuf_loader_set_size(loader, 0, 0);
}

void onAreaUpdated(GdkPixbufLoader*, int, int y, int, int height, gpointer watched) {
    auto& watch = *static_cast<LoadWatch*>(watched);
    const std::size_t first = static_cast<std::size_t>(std::max(y, 0));
    const std::int64_t after = std::max<std::int64_t>(std::int64_t{y} + height, 0);
    const std::size_t end = std::min(watch.rowsDecoded.size(), static_cast<std::size_t>(after));
    for (std::size_t row = first; row < end; ++row) {
        if (watch.rowsDecoded[row]) continue;
        watch.rowsDecoded[row] = true;
        --watch.rowsLeft;
    }
}

bool opaqueEverywhere(const guchar* pixels, int width, int height, int stride) {
    for (int y = 0; y < height; ++y) {
        const guchar* row = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
        for (int x = 0; x < width; ++x) {
            if (row[4 * x + 3] != 0xFF) return false;
        }
    }
    return true;
}

// The pixbuf's rows, padded to its stride, into the picture's own block.
// Its alpha is dropped where it is opaque everywhere: the loader gives one
// to every 32-bit and RLE picture.
DecodedPicture toPicture(GdkPixbuf* pixbuf) {
    DecodedPicture decoded;
    Picture& picture = decoded.picture;
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    picture.width = static_cast<std::uint32_t>(width);
    picture.height = static_cast<std::uint32_t>(height);
    picture.colourChannels = 3;
    picture.alpha = channels == 4 && !opaqueEverywhere(pixels, width, height, stride);
    if (!allocateSamples(picture)) {
        decoded.problem = PictureProblem::OutOfMemory;
        decoded.picture = Picture();
        return decoded;
    }
    const std::size_t kept = picture.pixelBytes();
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        const guchar* from = pixels + std::size_t{y} * static_cast<std::size_t>(stride);
        unsigned char* to = picture.samples.get() + y * picture.rowBytes();
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            std::memcpy(to + x * kept, from + x * static_cast<std::size_t>(channels), kept);
        }
    }
    return decoded;
}

}  // namespace

DecodedPicture decodeBmp(const unsigned char* bytes, std::size_t size) {
    silenceLibraryLog();
    DecodedPicture failed;
    if (!bmpHeaderInFile(bytes, size)) {
        failed.problem = PictureProblem::Corrupt;
        failed.detail = "the file ends inside its header";
        return failed;
    }
    GError* raw = nullptr;
    const Loader loader(gdk_pixbuf_loader_new_with_type("bmp", &raw));
    Error error(raw);
    if (!loader) {
        failed.problem = PictureProblem::Unsupported;
        failed.detail = error ? error->message : "";
        return failed;
    }
    LoadWatch watch;
    watch.fileBytes = size;
    g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onSizePrepared), &watch);
    g_signal_connect(loader.get(), "area-updated", G_CALLBACK(onAreaUpdated), &watch);
    const bool written = gdk_pixbuf_loader_write(loader.get(), bytes, size, &raw) != FALSE;
    error.reset(raw);
    raw = nullptr;
    // Closing ends the load also after a failed write; its own error then
    // adds nothing.
    const bool closed = gdk_pixbuf_loader_close(loader.get(), written ? &raw : nullptr) != FALSE;
    if (written) error.reset(raw);
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
    if (watch.problem != PictureProblem::None) {
        failed.problem = watch.problem;
    } else if (!written || !closed || pixbuf == nullptr) {
        failed.problem = PictureProblem::Corrupt;
        failed.detail = error ? error->message : "";
    } else if (watch.rowsLeft != 0) {
        failed.problem = PictureProblem::Corrupt;
        failed.detail = "the picture library found pixels for only some of its rows";
    } else if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB) {
        failed.problem = PictureProblem::Unsupported;
    } else {
        return toPicture(pixbuf);
    }
    return failed;
}

}  // namespace glint
