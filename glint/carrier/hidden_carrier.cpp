#include "carrier/hidden_carrier.h"

#include "common/system_error.h"
#include "files/large_block.h"

namespace glint {
namespace {

HiddenCover coverOf(const PixelSamples& samples) {
    return {samples.plane, samples.unchanged.data(), samples.unchanged.size()};
}

}  // namespace

std::optional<std::uint64_t> hiddenCapacity(const Carrier& cover, std::size_t nameBytes) {
    const PixelSamples samples = cover.pixelSamples();
    if (samples.plane.rows == 0) return std::nullopt;
    return hiddenRoom(samples.plane, nameBytes);
}

Carrier::Failure hideInPixels(Carrier& cover, std::istream& payload, const std::string& name,
                              const SecretBytes& passphrase, std::uint64_t* lonePixels) {
    const Carrier::Failure tooLong{Carrier::Problem::TooLong, {}};
    payload.peek();  // a folder opens, but its first read fails
    if (payload.bad()) return {Carrier::Problem::System, common::lastSystemError()};
    const std::string stored = storedNameOf(name);
    const std::optional<std::uint64_t> room = hiddenCapacity(cover, stored.size());
    const std::optional<std::uint64_t> measured = remainingBytes(payload);
    if (!room || (measured && *measured > *room)) return tooLong;

    // One byte more than fits is asked for, so that a pipe shows that it is too long.
    const ReadBlock read = readUpTo(payload, static_cast<std::size_t>(*room) + 1);
    if (read.readFailed) return {Carrier::Problem::System, common::lastSystemError()};
    if (!read.bytes) return {Carrier::Problem::OutOfMemory, {}};
    if (read.size > *room) return tooLong;

    const PixelSamples samples = cover.pixelSamples();
    switch (hideHidden(coverOf(samples), passphrase, stored, read.bytes.get(), read.size, lonePixels)) {
        case HiddenHide::Hidden: break;
        case HiddenHide::TooLong: return tooLong;
        case HiddenHide::Failed: return {Carrier::Problem::SealFailed, {}};
    }
    cover.keepHeaderAsRead();
    return {};
}

HiddenRecovery recoverFromPixels(const Carrier& stego, const SecretBytes& passphrase) {
    const PixelSamples samples = stego.pixelSamples();
    if (samples.plane.rows == 0) {
        HiddenRecovery none;
        none.result = PayloadSeal::Opened::Refused;
        return none;
    }
    return recoverHidden(coverOf(samples), passphrase);
}

}  // namespace glint
