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
#include "files/file_output.h"
#include "encryption/payload_seal.h"

namespace glint {

class BmpCarrier {
public:
    static constexpr std::size_t kFileHeaderSize = 14;
    static constexpr std::size_t kInfoHeaderSize = 40;
    static constexpr std::size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
    // The length word takes bit 0 of the first 32 data-area bytes.
    static constexpr std::uint32_t kLengthBits = 32;

    enum class HideResult { Hidden, TooLong, Unreadable, SealFailed };

    // Why the last load, hide, save or extraction failed, for a caller that
    // names the reason; the console reports stay those of the dialogue.
    enum class Problem {
        None,
        System,              // the system's reason is in `system`
        NotBmp,              // no "BM" at the start
        ShorterThanHeaders,  // the file ends inside the 54 header bytes
        SizeBelowHeaders,    // bfSize is below 54
        ShorterThanSize,     // the file ends before bfSize bytes
        TooLong,             // the payload does not fit
        NoPayload,           // the length bits claim more than the data area holds
        NotSealed,           // the seal refused the payload: another key, changed bytes or none sealed
        SealFailed,          // the seal could not work at all
        OutOfMemory,
    };
    struct Failure {
        Problem problem = Problem::None;
        std::error_code system;
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

    // Reports go to `out`; failures to `err`.
    BmpCarrier(common::Console& out, common::Console& err);
    BmpCarrier(const BmpCarrier&) = delete;
    BmpCarrier& operator=(const BmpCarrier&) = delete;

    // Reads the file `name`, or an open stream; the outcome shows on the
    // console, in isLoaded() and in lastFailure().
    void loadBmp(const char* name);
    void loadBmp(std::istream& bmpfile);
    // Writes the headers and the data area to `name`, or through `write`;
    // true when it was written.
    bool saveBmp(const char* name);
    bool saveBmp(const Writer& write);
    // Hides the whole file `name` in the data area: 1 on success, 0 when refused
    // (the carrier is then unchanged).
    std::int32_t hideText(const char* name);
    // What hideText does, telling a payload that does not fit from one that
    // cannot be opened or read; from a file or an open stream. With a `seal`,
    // the payload is sealed first and hidden with the seal's own bytes
    // around it.
    HideResult hide(const char* name, PayloadSeal* seal = nullptr);
    HideResult hide(std::istream& txtfile, PayloadSeal* seal = nullptr);
    // Recovers the hidden payload into the file `name`, or through `write`;
    // true when it was written. With a `seal`, only a payload that the seal
    // opens is written.
    bool extractText(const char* name, PayloadSeal* seal = nullptr);
    bool extractText(const Writer& write, PayloadSeal* seal = nullptr);
    // The largest payload, in bytes, that hide accepts with a seal that adds
    // `overhead` bytes; nothing when it takes not even an empty one (or
    // nothing has loaded).
    std::optional<std::uint32_t> capacity(std::size_t overhead = 0) const;
    LeadingBytes leadingBytes() const;
    // The colour table the header implies ends beyond the data area (an OS/2
    // header read as a Windows one, say): then not even an empty payload fits.
    bool colorTableOverrunsData() const { return loaded && colorTableBytes() > dataSize; }
    const Failure& lastFailure() const { return failure; }

    std::int32_t colorCount() const;
    std::int32_t imageSize() const;
    std::int32_t width() const;
    std::int32_t height() const;

    bool isLoaded() const { return loaded; }
    const unsigned char* fileHeaderBlock() const { return fileHeader.get(); }
    const unsigned char* infoHeaderBlock() const { return infoHeader.get(); }
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
    void failLoad(const Failure& why);
    HideResult refuseHide(HideResult result, const Failure& why);
    bool failExtraction(const char* report, const Failure& why);
    // The length word, when the payload it claims lies inside the data area.
    std::optional<std::uint32_t> hiddenLength() const;
    // Seals the payload, then hides what the seal made around it too.
    HideResult hideSealed(unsigned char* payload, std::uint32_t size, PayloadSeal& seal);
    // Pieces hidden (or recovered) one after another as one payload.
    struct Piece {
        unsigned char* bytes;
        std::size_t size;
    };
    void embedPieces(std::initializer_list<Piece> pieces);
    void extractPieces(std::initializer_list<Piece> pieces) const;
    bool extractSealed(const Writer& write, PayloadSeal& seal);
    // Reports the decoded payload and writes it through `write`.
    bool writeRecovered(const Writer& write, const unsigned char* payload, std::size_t size);

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
    Failure failure;

    common::Console& out;
    common::Console& err;
};

}  // namespace glint
