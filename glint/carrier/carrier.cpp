#include "carrier/carrier.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <vector>

#include "common/file_names.h"
#include "common/system_error.h"
#include "files/large_block.h"
#include "layout/plane_bits.h"

namespace glint {
namespace {

const Carrier::Failure kOutOfMemory{Carrier::Problem::OutOfMemory, {}};

}  // namespace

// Hiding ------------------------------------------------------------------------

std::optional<std::uint32_t> Carrier::capacity(std::size_t overhead) const {
    const std::uint64_t samples = layoutPlane().sampleCount();
    const std::optional<std::uint64_t> own = ownRoom();
    if (samples < kLengthBits || !own) return std::nullopt;
    // The layout needs the length word too; the cover's own rule must hold
    // as well. Computed in 64 bits: no 32-bit wrap-around.
    const std::uint64_t room = std::min<std::uint64_t>({(samples - kLengthBits) / 8, *own,
                                                        std::numeric_limits<std::uint32_t>::max()});
    if (room < overhead) return std::nullopt;
    return static_cast<std::uint32_t>(room - overhead);
}

Carrier::Failure Carrier::hide(const char* name, PayloadSeal* seal) {
    std::ifstream txtfile(common::pathOfName(name), std::ios::binary);
    if (!txtfile.is_open()) return {Problem::System, common::lastSystemError()};
    return hide(txtfile, seal);
}

Carrier::Failure Carrier::hide(std::istream& txtfile, PayloadSeal* seal) {
    const Failure tooLong{Problem::TooLong, {}};
    txtfile.peek();  // a folder opens, but its first read fails
    if (txtfile.bad()) return {Problem::System, common::lastSystemError()};
    const std::optional<std::uint32_t> room = capacity(seal != nullptr ? seal->overhead() : 0);
    const std::optional<std::uint64_t> measured = remainingBytes(txtfile);
    if (!room || (measured && *measured > *room)) return tooLong;

    // One byte more than fits is asked for, so that a payload from a pipe,
    // or a file that grew since it was measured, shows that it is too long.
    const ReadBlock payload = readUpTo(txtfile, std::size_t{*room} + 1);
    if (payload.readFailed) return {Problem::System, common::lastSystemError()};
    if (!payload.bytes) return kOutOfMemory;
    if (payload.size > *room) return tooLong;

    const auto length = static_cast<std::uint32_t>(payload.size);
    if (seal != nullptr) return hideSealed(payload.bytes.get(), length, *seal);
    embedPieces({{payload.bytes.get(), length}});
    return {};
}

Carrier::Failure Carrier::hideSealed(unsigned char* payload, std::uint32_t size, PayloadSeal& seal) {
    std::vector<unsigned char> before(seal.beforeBytes);
    std::vector<unsigned char> after(seal.afterBytes);
    if (!seal.close(before.data(), payload, size, after.data())) return {Problem::SealFailed, {}};
    embedPieces({{before.data(), before.size()}, {payload, size}, {after.data(), after.size()}});
    return {};
}

// The caller has checked that the pieces fit the samples together.
void Carrier::embedPieces(std::initializer_list<Piece> pieces) {
    const SamplePlane plane = layoutPlane();
    std::uint64_t at = kLengthBits;
    std::uint32_t length = 0;
    for (const Piece& piece : pieces) {
        embedPlaneBits(plane, at, piece.bytes, piece.size);
        at += 8 * std::uint64_t{piece.size};
        length += static_cast<std::uint32_t>(piece.size);
    }
    embedPlaneLength(plane, length);
}

// Extracting --------------------------------------------------------------------

void Carrier::extractPieces(std::initializer_list<Piece> pieces) const {
    const SamplePlane plane = layoutPlane();
    std::uint64_t at = kLengthBits;
    for (const Piece& piece : pieces) {
        extractPlaneBits(plane, at, piece.bytes, piece.size);
        at += 8 * std::uint64_t{piece.size};
    }
}

std::optional<std::uint32_t> Carrier::hiddenLength() const {
    // The length bits are untrusted: the payload they claim must lie inside
    // the samples before anything is allocated or read.
    const SamplePlane plane = layoutPlane();
    if (plane.sampleCount() < kLengthBits) return std::nullopt;
    const std::uint32_t length = extractPlaneLength(plane);
    if (kLengthBits + 8 * std::uint64_t{length} > plane.sampleCount()) return std::nullopt;
    return length;
}

Carrier::Recovered Carrier::recover(PayloadSeal* seal) const {
    if (seal != nullptr) return recoverSealed(*seal);
    const std::optional<std::uint32_t> length = hiddenLength();
    if (!length) return {nullptr, 0, {Problem::NoPayload, {}}};
    Recovered payload{allocateBlock(*length), *length, {}};
    if (!payload.bytes) return {nullptr, 0, kOutOfMemory};
    extractPieces({{payload.bytes.get(), *length}});
    return payload;
}

// Nothing is recovered unless the seal opens the payload: a wrong key,
// changed bytes and a cover that holds no sealed payload all end the same
// way.
Carrier::Recovered Carrier::recoverSealed(PayloadSeal& seal) const {
    const Failure notOpened{Problem::NotOpened, {}};
    const std::optional<std::uint32_t> length = hiddenLength();
    if (!length || *length < seal.overhead()) return {nullptr, 0, notOpened};
    const std::size_t size = *length - seal.overhead();
    Recovered payload{allocateBlock(size), size, {}};
    if (!payload.bytes) return {nullptr, 0, kOutOfMemory};
    std::vector<unsigned char> before(seal.beforeBytes);
    std::vector<unsigned char> after(seal.afterBytes);
    extractPieces({{before.data(), before.size()}, {payload.bytes.get(), size}, {after.data(), after.size()}});
    switch (seal.open(before.data(), payload.bytes.get(), size, after.data())) {
        case PayloadSeal::Opened::Yes:
            return payload;
        case PayloadSeal::Opened::Refused:
            return {nullptr, 0, notOpened};
        case PayloadSeal::Opened::Failed:
            break;
    }
    return {nullptr, 0, {Problem::SealFailed, {}}};
}

// Writing -----------------------------------------------------------------------

Carrier::Failure Carrier::save(const char* name) {
    return save([name](std::initializer_list<ByteRange> pieces) { return replaceFileContents(name, pieces); });
}

Carrier::Failure Carrier::write(const Recovered& payload, const char* name) {
    return write(payload, [name](std::initializer_list<ByteRange> pieces) { return replaceFileContents(name, pieces); });
}

Carrier::Failure Carrier::write(const Recovered& payload, const Writer& write) {
    if (const std::error_code written = write({{payload.bytes.get(), payload.size}})) return {Problem::System, written};
    return {};
}

}  // namespace glint
