// A BMP file held in memory as three raw blocks: the 14-byte file header, the
// 40-byte info header, and the data area (the file's bytes from offset 54 up
// to bfSize). Only a handful of header fields are read; pixels, rows and
// header versions are never interpreted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "common/console.h"
#include "encryption/payload_seal.h"
#include "files/file_output.h"

namespace glint {

// Used by the dialogue (loadBmp, hideText, saveBmp, extractText, which show
// the designed texts) and by the command line (the operations that return
// what happened), one carrier per run.
class BmpCarrier {
public:
    static constexpr std::size_t kFileHeaderSize = 14;  // BITMAPFILEHEADER
    static constexpr std::size_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
    static constexpr std::size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
    // The length word takes bit 0 of the first 32 data-area bytes.
    static constexpr std::uint32_t kLengthBits = 32;

    // Why a load, hide, save or recovery failed.
    enum class Problem {
        None,
        System,              // the system's reason is in `system`
        NotBmp,              // no "BM" at the start
        ShorterThanHeaders,  // the file ends inside the 54 header bytes
        SizeBelowHeaders,    // bfSize is below 54
        ShorterThanSize,     // the file ends before bfSize bytes
        NothingLoaded,       // no file has loaded, or the last load failed
        TooLong,             // the payload does not fit
        NoPayload,           // the length bits claim more than the data area holds
        NotOpened,           // the seal refused the payload: another key, changed bytes or none sealed
        SealFailed,          // the seal could not work at all
        OutOfMemory,
    };
    struct Failure {
        Problem problem = Problem::None;
        std::error_code system;
        explicit operator bool() const { return problem != Problem::None; }
    };
    // A payload recovered from the data area, or why none was.
    struct Recovered {
        std::unique_ptr<unsigned char[]> bytes;
        std::size_t size = 0;
        Failure failure;
    };

    // What the first data-area bytes are when they are not plain pixels:
    // hiding changes such a picture visibly.
    struct LeadingBytes {
        std::uint32_t headerBytes = 0;   // info header beyond its first 40 bytes
        std::uint32_t maskBytes = 0;     // colour masks after a 40-byte info header
        std::uint32_t tableEntries = 0;  // the colour table
        bool compressed = false;         // pixels stored other than as plain samples
        bool plainPixels() const { return headerBytes == 0 && maskBytes == 0 && tableEntries == 0 && !compressed; }
    };

    // Writes the pieces of an output file; returns the reason of a failure.
    using Writer = std::function<std::error_code(std::initializer_list<ByteRange>)>;

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
    // failed, and the caller says so in its own words.
    // Reads the file `name`, or an open stream.
    Failure load(const char* name);
    Failure load(std::istream& bmpfile);
    // Hides the whole file `name`, or the rest of an open stream, in the data
    // area. With a `seal`, the payload is sealed first and hidden with the
    // seal's own bytes around it.
    Failure hide(const char* name, PayloadSeal* seal = nullptr);
    Failure hide(std::istream& txtfile, PayloadSeal* seal = nullptr);
    // Writes the headers and the data area to `name`, or through `write`.
    Failure save(const char* name);
    Failure save(const Writer& write);
    // Recovers the hidden payload. With a `seal`, only a payload that the
    // seal opens is recovered.
    Recovered recover(PayloadSeal* seal = nullptr) const;
    // Writes a recovered payload to `name`, or through `write`.
    static Failure write(const Recovered& payload, const char* name);
    static Failure write(const Recovered& payload, const Writer& write);

    // The largest payload, in bytes, that hide accepts with a seal that adds
    // `overhead` bytes; nothing when it takes not even an empty one (or
    // nothing has loaded).
    std::optional<std::uint32_t> capacity(std::size_t overhead = 0) const;
    LeadingBytes leadingBytes() const;
    // The colour table the header implies ends beyond the data area (an OS/2
    // header read as a Windows one, say): then not even an empty payload fits.
    bool colorTableOverrunsData() const { return loaded && colorTableBytes() > dataSize; }

    std::int32_t colorCount() const;
    std::int32_t imageSize() const;
    std::int32_t width() const;
    std::int32_t height() const;

    bool isLoaded() const { return loaded; }
    const unsigned char* dataArea() const { return data.get(); }
    std::uint32_t dataAreaSize() const { return dataSize; }
    const unsigned char* paletteStart() const { return palette; }
    const unsigned char* pixelStart() const { return pixels; }
    std::int32_t colorEntries() const { return numColors; }

private:
    // Bytes of the data area taken by the colour table, clamped to the data
    // area so that `pixels` never points outside it.
    std::uint64_t colorTableBytes() const;
    Failure readHeaders(std::istream& bmpfile);
    Failure readDataArea(std::istream& bmpfile);
    // The length word, when the payload it claims lies inside the data area.
    std::optional<std::uint32_t> hiddenLength() const;
    // Seals the payload, then hides what the seal made around it too.
    Failure hideSealed(unsigned char* payload, std::uint32_t size, PayloadSeal& seal);
    // Pieces hidden (or recovered) one after another as one payload.
    struct Piece {
        unsigned char* bytes;
        std::size_t size;
    };
    void embedPieces(std::initializer_list<Piece> pieces);
    void extractPieces(std::initializer_list<Piece> pieces) const;
    Recovered recoverSealed(PayloadSeal& seal) const;

    std::unique_ptr<unsigned char[]> fileHeader;
    std::unique_ptr<unsigned char[]> infoHeader;
    unsigned char* palette = nullptr;  // start of the colour table, or null
    unsigned char* pixels = nullptr;   // first byte after the colour table
    std::int32_t numColors = 0;
    // True only while the blocks all describe the last file named to loadBmp;
    // nothing is hidden, recovered or saved otherwise.
    bool loaded = false;
    std::unique_ptr<unsigned char[]> data;
    std::uint32_t dataSize = 0;
    // The name of the last load, of any length the system takes.
    std::string fileName;

    common::Console& out;
    common::Console& err;
};

}  // namespace glint
