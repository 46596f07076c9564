// A stand-in for `glint hide -p`, `recover -p` and `capacity -p` with the
// hidden layout, for bench/steganalysis.py and for timing whole runs: a
// 24- or 32-bit BMP's pixel samples carry the payload, every other byte of
// the file is written back as it was. The payload is stored without a name.
//
//   hidden_driver capacity --passphrase-file FILE IMAGE
//   hidden_driver hide [-q] --passphrase-file FILE COVER PAYLOAD OUTPUT
//   hidden_driver recover [-q] --passphrase-file FILE STEGO OUTPUT
//
// With --times, the milliseconds spent reading, hiding or recovering (key
// derivation included) and writing go to standard error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "encryption/passphrase_seal.h"
#include "files/large_block.h"
#include "common/byte_order.h"
#include "hidden/hidden_picture.h"

namespace {

// A whole file in a block as glint reads one: huge pages, no zero-filling.
struct Bytes {
    std::unique_ptr<unsigned char[]> block;
    std::size_t length = 0;
    unsigned char* data() const { return block.get(); }
    std::size_t size() const { return length; }
    unsigned char& operator[](std::size_t i) const { return block[i]; }
    const unsigned char* begin() const { return block.get(); }
    const unsigned char* end() const { return block.get() + length; }
};

Bytes readAll(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    glint::ReadBlock read = glint::readUpTo(in, std::numeric_limits<std::size_t>::max());
    return {std::move(read.bytes), read.size};
}

bool writeAll(const std::string& name, const unsigned char* bytes, std::size_t size) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    return static_cast<bool>(out.flush());
}

// The pixel samples of an uncompressed 24- or 32-bit BMP; the bytes before
// the pixels are the header a hide keeps.
std::optional<glint::HiddenCover> coverOf(const Bytes& file) {
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
    const std::uint32_t offset = common::readLe32(&file[10]);
    const auto width = static_cast<std::int32_t>(common::readLe32(&file[18]));
    const auto height = static_cast<std::int32_t>(common::readLe32(&file[22]));
    const unsigned bits = common::readLe16(&file[28]);
    if ((bits != 24 && bits != 32) || common::readLe32(&file[30]) != 0 || width <= 0 || height == 0) return std::nullopt;
    const std::uint64_t rows = height < 0 ? -std::int64_t{height} : height;
    const std::uint64_t rowBytes = (std::uint64_t{static_cast<std::uint32_t>(width)} * bits / 8 + 3) & ~std::uint64_t{3};
    if (offset > file.size() || rows * rowBytes > file.size() - offset) return std::nullopt;
    glint::HiddenCover cover;
    cover.plane = {file.data() + offset, rows, rowBytes, static_cast<std::size_t>(width), bits / 8, 3, 1};
    cover.header = file.data();
    cover.headerSize = offset;
    return cover;
}

std::unique_ptr<glint::SecretBytes> passphraseFrom(const std::string& name) {
    const Bytes file = readAll(name);
    auto passphrase = std::make_unique<glint::SecretBytes>(glint::kLongestPassphrase);
    for (const unsigned char c : file) {
        if (c == '\n' || c == '\r' || !passphrase->append(c)) break;
    }
    return passphrase;
}

// Milliseconds since the last call.
double lap() {
    static auto last = std::chrono::steady_clock::now();
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double, std::milli>(now - last).count();
    last = now;
    return elapsed;
}

int usage() {
    std::fputs("usage: hidden_driver capacity|hide|recover [-q] [--times] --passphrase-file FILE NAMES...\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> names;
    std::string passphraseFile;
    bool times = false;
    lap();
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--times") {
            times = true;
        } else if (argument == "--passphrase-file" && i + 1 < argc) {
            passphraseFile = argv[++i];
        } else if (argument != "-q") {
            names.push_back(argument);
        }
    }
    if (names.size() < 2 || passphraseFile.empty()) return usage();
    const std::string command = names[0];
    Bytes image = readAll(names[1]);
    const std::optional<glint::HiddenCover> cover = coverOf(image);
    if (!cover) {
        std::fprintf(stderr, "hidden_driver: %s: not an uncompressed 24- or 32-bit BMP\n", names[1].c_str());
        return 1;
    }
    if (command == "capacity" && names.size() == 2) {
        const std::optional<std::uint64_t> room = glint::hiddenRoom(cover->plane, 0);
        std::printf("%llu  %s\n", static_cast<unsigned long long>(room.value_or(0)), names[1].c_str());
        return room ? 0 : 1;
    }
    const std::unique_ptr<glint::SecretBytes> passphrase = passphraseFrom(passphraseFile);
    if (command == "hide" && names.size() == 4) {
        const Bytes payload = readAll(names[2]);
        const double read = lap();
        const glint::HiddenHide result = glint::hideHidden(*cover, *passphrase, "", payload.data(), payload.size());
        const double hide = lap();
        if (result != glint::HiddenHide::Hidden) {
            std::fprintf(stderr, "hidden_driver: %s\n", result == glint::HiddenHide::TooLong ? "too long" : "failed");
            return 1;
        }
        const bool written = writeAll(names[3], image.data(), image.size());
        if (times) std::fprintf(stderr, "read %.0f ms, hide %.0f ms, write %.0f ms\n", read, hide, lap());
        return written ? 0 : 1;
    }
    if (command == "recover" && names.size() == 3) {
        const double read = lap();
        const glint::HiddenRecovery recovery = glint::recoverHidden(*cover, *passphrase);
        const double recover = lap();
        if (recovery.result != glint::PayloadSeal::Opened::Yes) {
            std::fputs("hidden_driver: cannot decrypt\n", stderr);
            return 1;
        }
        const bool written = writeAll(names[2], recovery.data, recovery.size);
        if (times) std::fprintf(stderr, "read %.0f ms, recover %.0f ms, write %.0f ms\n", read, recover, lap());
        return written ? 0 : 1;
    }
    return usage();
}
