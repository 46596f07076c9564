// A BMP file held in memory as three raw blocks: the 14-byte file header, the
// 40-byte info header, and the data area (the file's bytes from offset 54 up
// to bfSize). Only a handful of header fields are read; pixels, rows and
// header versions are never interpreted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>

#include "carrier/carrier.h"
#include "common/console.h"

namespace glint {

// Used by the dialogue (loadBmp, hideText, saveBmp, extractText, which show
// the designed texts) and by the command line (the operations that return
// what happened), one carrier per run. The designed layout runs over the
// data area, byte after byte (carrier/carrier.h).
class BmpCarrier : public Carrier {
public:
    static constexpr std::size_t kFileHeaderSize = 14;  // BITMAPFILEHEADER
    static constexpr std::size_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
    static constexpr std::size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;

    // What the first data-area bytes are when they are not plain pixels:
    // hiding changes such a picture visibly.
    struct LeadingBytes {
        std::uint32_t headerBytes = 0;   // info header beyond its first 40 bytes
        std::uint32_t maskBytes = 0;     // colour masks after a 40-byte info header
        std::uint32_t tableEntries = 0;  // the colour table
        bool compressed = false;         // pixels stored other than as plain samples
        bool plainPixels() const { return headerBytes == 0 && maskBytes == 0 && tableEntries == 0 && !compressed; }
    };

    // The dialogue's reports go to `out`, its failures to `err`.
    BmpCarrier(common::Console& out, common::Console& err);
    BmpCarrier(const BmpCarrier&) = delete;
    BmpCarrier& operator=(const BmpCarrier&) = delete;

    // The dialogue's four operations: each runs the operation below and
    // reports its outcome on the console in the designed words.
    void loadBmp(const char* name);
    // 1 when hidden, 0 when refused (the carrier is then unchanged).
    std::int32_t hideText(const char* name);
    // True when the file was written.
    bool saveBmp(const char* name);
    bool extractText(const char* name);

    // The operations themselves, which report nothing: each returns why it
    // failed, and the caller says so in its own words. Hiding, recovering
    // and the capacity are the Carrier's.
    // Reads the file `name`, or an open stream.
    Failure load(const char* name);
    Failure load(std::istream& bmpfile);
    // Takes over a whole file already read into `file` (its first `size`
    // bytes), without a copy; it loads as the same bytes from a stream would.
    Failure load(std::unique_ptr<unsigned char[]> file, std::size_t size);
    // Writes the headers and the data area to `name`, or through `write`.
    using Carrier::save;
    Failure save(const Writer& write) override;

    // The pixels of a classic 24-bit BMP, rows as they lie in the file, and
    // its 54 header bytes; no rows for any other kind.
    PixelSamples pixelSamples() const override;

    LeadingBytes leadingBytes() const;
    // The same for the 40-byte info header `info` of a data area of `areaSize` bytes.
    static LeadingBytes leadingBytesOf(const unsigned char* info, std::uint32_t areaSize);
    // The colour table the header implies ends beyond the data area (an OS/2
    // header read as a Windows one, say): then not even an empty payload fits.
    bool colorTableOverrunsData() const { return loaded && colorTableBytes() > dataSize; }

    std::int32_t colorCount() const;
    static std::int32_t colorCountOf(const unsigned char* info);
    std::int32_t imageSize() const;
    std::int32_t width() const;
    std::int32_t height() const;

    bool isLoaded() const { return loaded; }
    const unsigned char* dataArea() const { return data; }
    std::uint32_t dataAreaSize() const { return dataSize; }
    const unsigned char* paletteStart() const { return palette; }
    const unsigned char* pixelStart() const { return pixels; }
    std::int32_t colorEntries() const { return numColors; }

protected:
    SamplePlane layoutPlane() const override;
    std::optional<std::uint64_t> ownRoom() const override;

private:
    // Bytes of the data area taken by the colour table, clamped to the data
    // area so that `pixels` never points outside it.
    std::uint64_t colorTableBytes() const;
    Failure readHeaders(std::istream& bmpfile);
    // What the header bytes, `read` of them from the file, say about it.
    Failure headersProblem(std::size_t read) const;
    Failure readDataArea(std::istream& bmpfile);
    // The derived fields of a data area that has just been read.
    void finishLoad();

    std::unique_ptr<unsigned char[]> fileHeader;
    std::unique_ptr<unsigned char[]> infoHeader;
    unsigned char* palette = nullptr;  // start of the colour table, or null
    unsigned char* pixels = nullptr;   // first byte after the colour table
    std::int32_t numColors = 0;
    // True only while the blocks all describe the last file named to loadBmp;
    // nothing is hidden, recovered or saved otherwise.
    bool loaded = false;
    // Owns the data area: the data area alone, read from a stream, or a
    // whole file taken over, whose data area starts at its byte 54.
    std::unique_ptr<unsigned char[]> dataBlock;
    unsigned char* data = nullptr;
    std::uint32_t dataSize = 0;
    // The name of the last load, of any length the system takes.
    std::string fileName;

    common::Console& out;
    common::Console& err;
};

}  // namespace glint
