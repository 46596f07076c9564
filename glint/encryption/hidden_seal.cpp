#include "encryption/hidden_seal.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "files/large_block.h"

namespace glint {
namespace {

constexpr unsigned char kDeflated = 1;
constexpr std::size_t kSizeBytes = 8;

// Whether deflating may pay: four samples of 16 KiB from across a large
// payload, deflated at the fastest level, must shrink by a tenth. Random or
// already compressed bytes are thus passed over for a few milliseconds.
constexpr std::size_t kSampleBytes = 16 << 10;
constexpr std::size_t kSamples = 4;

bool mayShrink(const unsigned char* payload, std::size_t size) {
    if (size < kSamples * kSampleBytes * 2) return true;
    std::vector<unsigned char> out(compressBound(kSampleBytes));
    std::size_t packed = 0;
    for (std::size_t i = 0; i < kSamples; ++i) {
        auto outSize = static_cast<uLongf>(out.size());
        const unsigned char* at = payload + (size - kSampleBytes) / (kSamples - 1) * i;
        if (compress2(out.data(), &outSize, at, kSampleBytes, Z_BEST_SPEED) != Z_OK) return false;
        packed += outSize;
    }
    return packed * 10 < kSamples * kSampleBytes * 9;
}

// Deflates into [out, out + room); the deflated size when it fitted.
std::optional<std::size_t> deflateInto(const unsigned char* payload, std::size_t size, unsigned char* out,
                                       std::size_t room) {
    if (size > std::numeric_limits<uInt>::max() || room > std::numeric_limits<uInt>::max()) return std::nullopt;
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) return std::nullopt;
    stream.next_in = const_cast<unsigned char*>(payload);  // zlib's interface; it only reads
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(room);
    const int result = deflate(&stream, Z_FINISH);
    const std::size_t written = stream.total_out;
    deflateEnd(&stream);
    if (result != Z_STREAM_END) return std::nullopt;
    return written;
}

bool inflateInto(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t outSize) {
    if (size > std::numeric_limits<uInt>::max() || outSize > std::numeric_limits<uInt>::max()) return false;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    stream.next_in = const_cast<unsigned char*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(outSize);
    const int result = inflate(&stream, Z_FINISH);
    const bool whole = result == Z_STREAM_END && stream.avail_in == 0 && stream.avail_out == 0;
    inflateEnd(&stream);
    return whole;
}

}  // namespace

std::optional<SealedBody> bodyOfSize(std::size_t size) {
    SealedBody body;
    body.size = size;
    body.words = allocateWords(body.wordCount());
    if (!body.words) return std::nullopt;
    // The body's bytes are all written by whoever fills it; the word that
    // holds its end, and the two after it, are cleared here.
    std::fill(body.words.get() + body.wordCount() - 3, body.words.get() + body.wordCount(), 0);
    return body;
}

std::optional<SealedBody> frameBody(const std::string& name, const unsigned char* payload, std::size_t size) {
    const std::size_t nameBytes = std::min(name.size(), kLongestStoredName);
    const std::size_t head = kFrameBytes + nameBytes;
    std::optional<SealedBody> body = bodyOfSize(head + size + kTagBytes);
    if (!body) return std::nullopt;
    unsigned char* bytes = body->bytes();
    bytes[0] = 0;
    bytes[1] = static_cast<unsigned char>(nameBytes);
    std::memcpy(bytes + kFrameBytes, name.data(), nameBytes);
    // Deflated data must come out smaller than the payload with its size.
    std::optional<std::size_t> packed;
    if (size > kSizeBytes && mayShrink(payload, size)) {
        packed = deflateInto(payload, size, bytes + head + kSizeBytes, size - kSizeBytes - 1);
    }
    if (packed) {
        bytes[0] = kDeflated;
        for (std::size_t i = 0; i < kSizeBytes; ++i) bytes[head + i] = static_cast<unsigned char>(std::uint64_t{size} >> (8 * i));
        body->size = head + kSizeBytes + *packed + kTagBytes;
    } else if (size > 0) {
        std::memcpy(bytes + head, payload, size);
    }
    return body;
}

bool sealBody(SealedBody& body, const SecretBytes& key, const unsigned char* nonce,
              const std::vector<unsigned char>& associated) {
    const std::size_t text = body.size - kTagBytes;
    return sealWithKey(key, nonce, body.bytes(), text, body.bytes() + text, associated.data(), associated.size());
}

OpenedBody openBody(SealedBody& body, const SecretBytes& key, const unsigned char* nonce,
                    const std::vector<unsigned char>& associated) {
    OpenedBody opened;
    if (body.size < kFrameBytes + kTagBytes) {
        opened.result = PayloadSeal::Opened::Refused;
        return opened;
    }
    const std::size_t text = body.size - kTagBytes;
    unsigned char* bytes = body.bytes();
    opened.result = openWithKey(key, nonce, bytes, text, bytes + text, associated.data(), associated.size());
    if (opened.result != PayloadSeal::Opened::Yes) return opened;
    // The frame is authentic, so it is what a hide wrote; it is checked all
    // the same, as anything read from a file.
    const std::size_t head = kFrameBytes + bytes[1];
    const bool deflated = (bytes[0] & kDeflated) != 0;
    if (head + (deflated ? kSizeBytes : 0) > text || (bytes[0] & ~kDeflated) != 0) {
        opened.result = PayloadSeal::Opened::Refused;
        return opened;
    }
    opened.name.assign(reinterpret_cast<const char*>(bytes + kFrameBytes), bytes[1]);
    if (!deflated) {
        opened.data = bytes + head;
        opened.size = text - head;
        return opened;
    }
    std::uint64_t size = 0;
    for (std::size_t i = 0; i < kSizeBytes; ++i) size |= std::uint64_t{bytes[head + i]} << (8 * i);
    if (size > std::numeric_limits<std::size_t>::max()) {
        opened.result = PayloadSeal::Opened::Failed;
        return opened;
    }
    opened.payload.reset(new (std::nothrow) unsigned char[std::max<std::size_t>(1, static_cast<std::size_t>(size))]);
    const unsigned char* data = bytes + head + kSizeBytes;
    if (!opened.payload || !inflateInto(data, text - head - kSizeBytes, opened.payload.get(), static_cast<std::size_t>(size))) {
        opened.result = opened.payload ? PayloadSeal::Opened::Refused : PayloadSeal::Opened::Failed;
        opened.payload.reset();
        return opened;
    }
    opened.data = opened.payload.get();
    opened.size = static_cast<std::size_t>(size);
    return opened;
}

}  // namespace glint
