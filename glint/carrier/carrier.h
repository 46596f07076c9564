// A cover held in memory with the designed layout over the samples that
// carry it: bit 0 of the first 32 carries the payload's length, least
// significant bit first, and bit 0 of the next 8 each payload byte in turn.
// BmpCarrier carries a BMP file's data area byte by byte, as designed;
// PngCarrier a decoded picture's colour samples. The command line reaches
// every cover through this class, the dialogue only BMPs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <istream>
#include <limits>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "encryption/payload_seal.h"
#include "files/file_output.h"
#include "layout/sample_plane.h"

namespace glint {

// A cover's pixel samples, for a layout that walks pixels rather than the
// designed layout's bytes, with the bytes a hide leaves as they are and that
// tell the picture apart: a BMP's 54 header bytes, a PNG's IHDR fields. The
// plane has no rows when the cover holds no plain pixel samples (a BMP with
// a colour table, masks or compression, carried as it is).
struct PixelSamples {
    SamplePlane plane;
    std::vector<unsigned char> unchanged;
};

class Carrier {
public:
    // The length word takes bit 0 of the first 32 samples.
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
        NoPayload,           // the length bits claim more than the samples hold
        NotOpened,           // the seal refused the payload: another key, changed bytes or none sealed
        SealFailed,          // the seal could not work at all
        OutOfMemory,
        Unencodable,         // the picture library could not write the picture
    };
    struct Failure {
        Problem problem = Problem::None;
        std::error_code system;
        explicit operator bool() const { return problem != Problem::None; }
    };
    // A payload recovered from the samples, or why none was.
    struct Recovered {
        std::unique_ptr<unsigned char[]> bytes;
        std::size_t size = 0;
        Failure failure;
    };

    // Writes the pieces of an output file; returns the reason of a failure.
    using Writer = std::function<std::error_code(std::initializer_list<ByteRange>)>;

    virtual ~Carrier() = default;
    Carrier(const Carrier&) = delete;
    Carrier& operator=(const Carrier&) = delete;

    // Hides the whole file `name`, or the rest of an open stream. With a
    // `seal`, the payload is sealed first and hidden with the seal's own
    // bytes around it.
    Failure hide(const char* name, PayloadSeal* seal = nullptr);
    Failure hide(std::istream& txtfile, PayloadSeal* seal = nullptr);
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

    // Writes the cover, as its file format has it, to `name` or through `write`.
    Failure save(const char* name);
    virtual Failure save(const Writer& write) = 0;

    virtual PixelSamples pixelSamples() const = 0;

protected:
    Carrier() = default;

    // The samples the designed layout runs over, in its order; none before a load.
    virtual SamplePlane layoutPlane() const = 0;
    // The most payload bytes the cover's own rule takes besides the layout's
    // (the designed BMP check, which counts the room after a colour table);
    // nothing when its rule takes none.
    virtual std::optional<std::uint64_t> ownRoom() const { return std::numeric_limits<std::uint64_t>::max(); }

private:
    // The length word, when the payload it claims lies inside the samples.
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
};

}  // namespace glint
