// Writes the seed corpus of the fuzz targets into <folder>/carrier (and the
// same into <folder>/sealed), <folder>/dialogue, <folder>/hasher and
// <folder>/sum_lines, <folder>/picture: BMP files of
// every bit depth, with and without colour tables, top-down, truncated and
// with hostile fields; menu sessions; texts around MD5's block and padding
// boundaries; file names and sums lines of every form; and pictures: PNGs of
// every kind glint writes, and the tests' PNG, JPEG and BMP fixtures.
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>

#include "picture/picture.h"
#include "picture/picture_codecs.h"
#include "test_support.h"


namespace {

namespace fs = std::filesystem;
using testing_support::BmpFields;
using testing_support::Bytes;
using testing_support::makeBmp;
using testing_support::patternBytes;
using testing_support::withLengthBits;

// The carrier target takes its payload length from the last byte.
void carrierSeed(const fs::path& folder, const std::string& name, Bytes file, unsigned char payload) {
    file.push_back(payload);
    testing_support::writeFile(folder / name, file);
}

void carrierSeeds(const fs::path& folder) {
    for (const std::uint16_t bits : std::initializer_list<std::uint16_t>{1, 4, 8, 16, 24, 32}) {
        BmpFields f;
        f.bitCount = bits;
        f.data = patternBytes(bits <= 8 ? (4U << bits) + 256 : 512, bits);
        carrierSeed(folder, "depth" + std::to_string(bits), makeBmp(f), 20);
        f.clrUsed = 3;
        carrierSeed(folder, "depth" + std::to_string(bits) + "-clrused3", makeBmp(f), 9);
    }
    BmpFields topDown;
    topDown.height = -8;
    topDown.data = patternBytes(400, 40);
    carrierSeed(folder, "top-down", makeBmp(topDown), 30);
    const Bytes whole = makeBmp(topDown);
    carrierSeed(folder, "truncated-header", Bytes(whole.begin(), whole.begin() + 30), 0);
    carrierSeed(folder, "truncated-data", Bytes(whole.begin(), whole.begin() + 200), 0);
    for (std::int64_t bfSize : {0LL, 53LL, 54LL, 0xFFFFFFFFLL}) {
        BmpFields f = topDown;
        f.bfSize = bfSize;
        carrierSeed(folder, "bfsize-" + std::to_string(bfSize), makeBmp(f), 5);
    }
    for (std::uint32_t clrUsed : {0x40000000U, 0x40000001U, 0xFFFFFFFFU}) {
        BmpFields f = topDown;
        f.clrUsed = clrUsed;
        carrierSeed(folder, "clrused-" + std::to_string(clrUsed), makeBmp(f), 1);
    }
    for (std::uint32_t length : {0U, 10U, 46U, 47U, 0xFFFFFFFFU}) {
        BmpFields f = topDown;
        f.data = withLengthBits(f.data, length);
        carrierSeed(folder, "length-" + std::to_string(length), makeBmp(f), 0);
    }
}

// Each text as its own seed, named `prefix` and its index.
void textSeeds(const fs::path& folder, const std::string& prefix, std::initializer_list<const char*> texts) {
    int index = 0;
    for (const char* text : texts) {
        const std::string bytes = text;
        testing_support::writeFile(folder / (prefix + std::to_string(index++)), Bytes(bytes.begin(), bytes.end()));
    }
}

void dialogueSeeds(const fs::path& folder) {
    textSeeds(folder, "session", {
        "3\n",
        "1\na.bmp\np\nout.bmp\n2\nout.bmp\nback\n3\n",
        "1 b.bmp p indexed.bmp 2 indexed.bmp back 3",
        "1 a.bmp a.bmp\n",
        "2 a.bmp back\n2 missing back\n3\n",
        "7\n0\n-1\nabc\n99999999999\n3\n",
        "1.5 a.bmp\n2abc\n-0\n+1 a.bmp p out.bmp\n03\n",
        "1 nothing.bmp p out.bmp\n",
        "2",
    });
}

void hasherSeeds(const fs::path& folder) {
    for (const std::size_t size : std::initializer_list<std::size_t>{0, 1, 3, 55, 56, 63, 64, 65, 127, 128, 1000}) {
        testing_support::writeFile(folder / ("bytes" + std::to_string(size)), patternBytes(size, static_cast<std::uint32_t>(size)));
    }
}

// File names with the characters that lines escape, and sums lines of every form.
void sumLineSeeds(const fs::path& folder) {
    textSeeds(folder, "line", {
        "plain.txt", "a b", "back\\slash", "new\nline", "car\rret", " lead", "*star", "(paren) = x",
        "0123456789abcdef0123456789abcdef  a b",
        "\\0123456789abcdef0123456789abcdef *a\\nb",
        "MD5 (a b) = 0123456789ABCDEF0123456789ABCDEF",
        "0123456789abcdef0123456789abcdef a b",
        "{", "a*'", "a'\xff", "x\x01'y", "\x01'\x01", "#'", "~x'",
    });
}

glint::Picture patternPicture(std::uint8_t channels, bool alpha, std::uint8_t bits) {
    glint::Picture picture;
    picture.width = 9;
    picture.height = 6;
    picture.colourChannels = channels;
    picture.alpha = alpha;
    picture.bitsPerSample = bits;
    glint::allocateSamples(picture);
    const Bytes pattern = patternBytes(picture.byteCount(), channels * 16U + bits);
    std::copy(pattern.begin(), pattern.end(), picture.samples.get());
    return picture;
}

void pictureSeeds(const fs::path& folder) {
    for (const std::uint8_t channels : {std::uint8_t{1}, std::uint8_t{3}}) {
        for (const bool alpha : {false, true}) {
            for (const std::uint8_t bits : {std::uint8_t{8}, std::uint8_t{16}}) {
                const glint::Picture picture = patternPicture(channels, alpha, bits);
                const glint::EncodedPicture png = glint::encodePng(picture);
                const std::string name = "png-" + std::to_string(channels) + (alpha ? "a-" : "-") + std::to_string(bits);
                testing_support::writeFile(folder / name, Bytes(png.bytes.get(), png.bytes.get() + png.size));
            }
        }
    }
    for (const auto& entry : fs::directory_iterator(GLINT_TEST_PICTURES)) {
        const fs::path kind = entry.path().extension();
        if (kind == ".bmp" || kind == ".png" || kind == ".jpg") {
            fs::copy_file(entry.path(), folder / entry.path().filename(), fs::copy_options::overwrite_existing);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds <folder>\n";
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* target : {"carrier", "sealed", "dialogue", "hasher", "sum_lines", "picture"}) fs::create_directories(root / target);
    carrierSeeds(root / "carrier");
    carrierSeeds(root / "sealed");
    dialogueSeeds(root / "dialogue");
    hasherSeeds(root / "hasher");
    sumLineSeeds(root / "sum_lines");
    pictureSeeds(root / "picture");
    return 0;
}
