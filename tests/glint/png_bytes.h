// PNG files built chunk by chunk, for tests that need a few exact bytes.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "test_support.h"

namespace png_bytes {

using testing_support::Bytes;

inline Bytes be32(std::uint32_t v) {
    return {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v)};
}

inline Bytes chunk(const char* name, const Bytes& data) {
    Bytes out = be32(static_cast<std::uint32_t>(data.size()));
    Bytes named(name, name + 4);
    named.insert(named.end(), data.begin(), data.end());
    out.insert(out.end(), named.begin(), named.end());
    const Bytes crc = be32(static_cast<std::uint32_t>(crc32(0, named.data(), static_cast<uInt>(named.size()))));
    out.insert(out.end(), crc.begin(), crc.end());
    return out;
}

inline Bytes ihdr(std::uint32_t width, std::uint32_t height, unsigned char depth, unsigned char colourType) {
    Bytes data = be32(width);
    const Bytes h = be32(height);
    data.insert(data.end(), h.begin(), h.end());
    data.insert(data.end(), {depth, colourType, 0, 0, 0});
    return chunk("IHDR", data);
}

inline Bytes idat(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(size);
    compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    packed.resize(size);
    return chunk("IDAT", packed);
}

inline Bytes png(std::initializer_list<Bytes> chunks) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
    return out;
}

inline std::vector<std::string> chunkNames(const unsigned char* file, std::size_t size) {
    std::vector<std::string> names;
    for (std::size_t at = 8; at + 12 <= size;) {
        const std::size_t length = (std::size_t{file[at]} << 24) | (std::size_t{file[at + 1]} << 16) |
                                   (std::size_t{file[at + 2]} << 8) | file[at + 3];
        names.emplace_back(reinterpret_cast<const char*>(file + at + 4), 4);
        at += 12 + length;
    }
    return names;
}

}  // namespace png_bytes
