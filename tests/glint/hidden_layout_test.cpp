// The hidden layout over pictures of every shape: round trips, which bytes
// change and by how much, changes per hidden bit, the exact room, and what
// must not open.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "encryption/hidden_keys.h"
#include "encryption/hidden_seal.h"
#include "layout/bit_words.h"
#include "hidden/block_shuffle.h"
#include "hidden/colour_set.h"
#include "hidden/hidden_layout.h"
#include "hidden/hidden_picture.h"
#include "hidden/sample_units.h"
#include "test_support.h"

namespace {

using glint::SecretBytes;
using testing_support::Bytes;
using testing_support::patternBytes;

std::unique_ptr<SecretBytes> secret(const std::string& text) {
    auto bytes = std::make_unique<SecretBytes>(text.size());
    for (const char c : text) bytes->append(static_cast<unsigned char>(c));
    return bytes;
}

std::unique_ptr<SecretBytes> keyOf(unsigned char seed) {
    return secret(std::string(glint::kKeyBytes, static_cast<char>(seed)));
}

struct Shape {
    const char* name;
    std::size_t rows, pixelsPerRow, pixelBytes, channels, sampleBytes, padding;
    bool grey;
    bool extremes;  // samples only 0, 1 and the two largest values
};

const Shape kShapes[] = {
    {"rgb, padded rows", 70, 101, 3, 3, 1, 1, false, false},
    {"rgb, extremes", 64, 64, 3, 3, 1, 0, false, true},
    {"rgba", 40, 90, 4, 3, 1, 0, false, false},
    {"grey samples, spans enough for two threads", 2300, 2400, 1, 1, 1, 0, false, false},
    {"16-bit rgb", 30, 77, 6, 3, 2, 2, false, false},
    {"16-bit grey and alpha, extremes", 50, 60, 4, 1, 2, 0, false, true},
    {"grey pixels as rgb", 90, 99, 3, 3, 1, 3, true, false},
    {"grey pixels as 16-bit rgba, extremes", 40, 70, 8, 3, 2, 0, true, true},
};

// A picture of one shape with pseudo-random samples.
struct Picture {
    explicit Picture(const Shape& s, std::uint32_t seed = 1) : shape(s) {
        const std::size_t rowBytes = s.pixelsPerRow * s.pixelBytes + s.padding;
        bytes = patternBytes(s.rows * rowBytes, seed);
        const Bytes values = patternBytes(s.rows * s.pixelsPerRow * 2, seed + 7);
        for (std::size_t p = 0; p < s.rows * s.pixelsPerRow; ++p) {
            unsigned char* pixel = bytes.data() + p / s.pixelsPerRow * rowBytes + p % s.pixelsPerRow * s.pixelBytes;
            unsigned char sample[2] = {values[2 * p], values[2 * p + 1]};
            if (s.extremes) {
                const unsigned char pick = static_cast<unsigned char>(values[2 * p] % 4);
                sample[0] = sample[1] = static_cast<unsigned char>(pick < 2 ? pick : 254 + (pick - 2));
                if (s.sampleBytes == 2) sample[0] = pick < 2 ? 0 : 0xFF;
            }
            if (s.grey) {
                for (std::size_t c = 0; c < s.channels; ++c) std::memcpy(pixel + c * s.sampleBytes, sample, s.sampleBytes);
            }
        }
        plane = {bytes.data(), s.rows, rowBytes, s.pixelsPerRow, s.pixelBytes, s.channels, s.sampleBytes};
    }
    // The value of sample `c` of pixel `p`.
    static unsigned valueAt(const Shape& s, const Bytes& from, std::size_t p, std::size_t c) {
        const std::size_t rowBytes = s.pixelsPerRow * s.pixelBytes + s.padding;
        const unsigned char* at = from.data() + p / s.pixelsPerRow * rowBytes + p % s.pixelsPerRow * s.pixelBytes +
                                  c * s.sampleBytes;
        return s.sampleBytes == 2 ? unsigned{at[0]} << 8 | at[1] : at[0];
    }
    // Units changed between `before` and now; fails the test where any byte
    // other than a carried sample changed, a sample moved by more than one,
    // or a grey pixel stopped being grey.
    std::size_t changedUnits(const Bytes& before) const {
        std::size_t changed = 0;
        std::vector<bool> carried(bytes.size(), false);
        for (std::size_t p = 0; p < shape.rows * shape.pixelsPerRow; ++p) {
            for (std::size_t c = 0; c < shape.channels; ++c) {
                const long was = valueAt(shape, before, p, c);
                const long now = valueAt(shape, bytes, p, c);
                EXPECT_LE(std::abs(now - was), 1) << shape.name << " pixel " << p;
                if (now != was && (!shape.grey || c == 0)) ++changed;
                if (shape.grey) {
                    EXPECT_EQ(valueAt(shape, bytes, p, c), valueAt(shape, bytes, p, 0)) << shape.name;
                }
                const std::size_t rowBytes = shape.pixelsPerRow * shape.pixelBytes + shape.padding;
                const std::size_t at = p / shape.pixelsPerRow * rowBytes + p % shape.pixelsPerRow * shape.pixelBytes +
                                       c * shape.sampleBytes;
                for (std::size_t b = 0; b < shape.sampleBytes; ++b) carried[at + b] = true;
            }
        }
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (!carried[i]) {
                EXPECT_EQ(bytes[i], before[i]) << shape.name << " byte " << i << " carries nothing";
            }
        }
        return changed;
    }

    Shape shape;
    Bytes bytes;
    glint::SamplePlane plane;
};

// A body of `bits` random bits, with the two words the layout reads beyond it.
std::vector<std::uint64_t> randomBody(std::uint64_t bits, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<std::uint64_t> body((bits + 63) / 64 + 2);
    for (auto& word : body) word = random();
    return body;
}

bool sameBits(const std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& b, std::uint64_t bits) {
    for (std::uint64_t i = 0; i < bits; ++i) {
        if ((a[i / 64] >> (i % 64) & 1) != (b[i / 64] >> (i % 64) & 1)) return false;
    }
    return true;
}

TEST(HiddenBits, TurningATileSwapsRowsAndColumns) {
    std::mt19937_64 random(5);
    std::uint64_t tile[64];
    for (auto& word : tile) word = random();
    std::uint64_t turned[64];
    std::memcpy(turned, tile, sizeof tile);
    glint::transpose64(turned);
    for (unsigned r = 0; r < 64; ++r) {
        for (unsigned c = 0; c < 64; ++c) ASSERT_EQ(turned[c] >> r & 1, tile[r] >> c & 1) << r << ", " << c;
    }
}

TEST(HiddenBits, ShuffleIsAPermutationWhoseSlotsMatchItsWords) {
    const auto key = keyOf(9);
    glint::KeyStream stream(*key);
    const std::vector<std::uint16_t> shared = glint::BlockShuffle::sharedOrder(stream);
    for (const std::size_t words : {std::size_t{1024}, std::size_t{1000}, std::size_t{70}, std::size_t{3}}) {
        glint::BlockShuffle shuffle;
        ASSERT_TRUE(shuffle.prepare(stream, 4, words, shared));
        std::vector<std::uint64_t> memory(words), layout(words), back(words), spare(words);
        std::set<std::uint64_t> slots;
        for (std::uint64_t bit = 0; bit < 64 * words; bit += 37) {
            std::fill(memory.begin(), memory.end(), 0);
            memory[bit / 64] = std::uint64_t{1} << (bit % 64);
            shuffle.forward(memory.data(), layout.data(), spare.data());
            const std::uint64_t slot = shuffle.slotOf(bit);
            ASSERT_EQ(layout[slot / 64], std::uint64_t{1} << (slot % 64)) << words << " words, bit " << bit;
            slots.insert(slot);
            shuffle.inverse(layout.data(), back.data(), spare.data());
            ASSERT_EQ(back, memory);
        }
        EXPECT_EQ(slots.size(), (64 * words + 36) / 37) << "two bits share a slot";
    }
}

// The words gathered from a picture hold each unit's bit where gatheredBit
// says, and applying a change there steps that unit alone, unless it is kept
// or at an end, in every shape (chunks inside one row, across rows, and the
// plain words after them).
TEST(HiddenUnits, GatheredWordsAndChangesMeetTheUnitTheyName) {
    for (const Shape& shape : kShapes) {
        Picture picture(shape);
        glint::SampleUnits units(picture.plane, true);
        const std::size_t words = static_cast<std::size_t>(std::min<std::uint64_t>(units.count() / 64, 3 * glint::kChunkWords + 3));
        std::vector<std::uint64_t> gathered(words);
        units.gather(0, words, gathered.data());
        std::set<std::uint64_t> seen;
        for (std::uint64_t unit = 0; unit < 64 * words; ++unit) {
            const std::uint64_t at = glint::gatheredBit(unit, words);
            ASSERT_LT(at, 64 * words);
            ASSERT_EQ(glint::unitAtGatheredBit(at, words), unit);
            seen.insert(at);
            ASSERT_EQ((gathered[at / 64] >> (at % 64) & 1) != 0, units.bit(unit)) << shape.name << " unit " << unit;
        }
        EXPECT_EQ(seen.size(), 64 * words) << shape.name << ": two units share a bit";
        for (std::uint64_t unit = 0; unit < 64 * words; unit += 97) {
            for (const bool kept : {false, true}) {
                const Bytes before = picture.bytes;
                std::vector<std::uint64_t> changes(words), up(words, ~std::uint64_t{0}), keep(words), skipped(words, 1);
                const std::uint64_t at = glint::gatheredBit(unit, words);
                changes[at / 64] = std::uint64_t{1} << (at % 64);
                if (kept) keep = changes;
                const bool stays = kept || units.atEnd(unit);
                units.apply(0, words, changes.data(), up.data(), keep.data(), skipped.data());
                EXPECT_EQ(picture.changedUnits(before), stays ? 0U : 1U) << shape.name << " unit " << unit;
                EXPECT_EQ(skipped, stays ? changes : std::vector<std::uint64_t>(words)) << shape.name << " unit " << unit;
            }
        }
    }
}

// The pixel of a unit, as colour steps read it, in padded rows and with
// alpha; none when the pixel reaches outside the units a thread owns.
TEST(HiddenUnits, PixelOfAUnitIsItsOwnAndOnlyWhollyInsideTheRange) {
    for (const Shape& shape : {kShapes[0], kShapes[2]}) {
        Picture picture(shape);
        const glint::SampleUnits units(picture.plane, true);
        const std::size_t rowBytes = shape.pixelsPerRow * shape.pixelBytes + shape.padding;
        for (std::uint64_t unit = 0; unit < units.count(); unit += 101) {
            const std::uint64_t pixel = unit / 3;
            const unsigned char* expected =
                picture.bytes.data() + pixel / shape.pixelsPerRow * rowBytes + pixel % shape.pixelsPerRow * shape.pixelBytes;
            const std::uint64_t first = unit - unit % 3;
            unsigned channel = 9;
            EXPECT_EQ(units.pixelOf(unit, first, first + 3, channel), expected) << shape.name << " unit " << unit;
            EXPECT_EQ(channel, unit % 3) << shape.name << " unit " << unit;
            if (unit % 3 != 0) {
                EXPECT_EQ(units.pixelOf(unit, first + 1, units.count(), channel), nullptr) << shape.name << " unit " << unit;
            }
            if (unit % 3 != 2) {
                EXPECT_EQ(units.pixelOf(unit, 0, first + 2, channel), nullptr) << shape.name << " unit " << unit;
            }
        }
    }
}

// The step that agrees with the pixel's other channels goes where the other
// two lie from the neighbours; there is none in a flat patch, none without
// a neighbour in range, and none in pictures it does not apply to.
TEST(HiddenUnits, AgreeingStepFollowsThePixelsOtherChannels) {
    struct Case {
        const char* name;
        unsigned char centre[3];
        unsigned channel;
        bool neighboursInRange;
        int step;
    };
    const Case cases[] = {
        {"flat", {10, 10, 10}, 0, true, 0},
        {"others brighter", {10, 12, 12}, 0, true, 1},
        {"others darker", {10, 8, 8}, 0, true, -1},
        {"green, others brighter", {12, 10, 12}, 1, true, 1},
        {"blue, one other brighter", {12, 10, 10}, 2, true, 1},
        {"red already brighter than the others", {13, 10, 10}, 0, true, -1},
        {"others brighter, no neighbour in range", {10, 12, 12}, 0, false, 0},
    };
    for (const Case& c : cases) {
        Picture picture(Shape{c.name, 3, 3, 3, 3, 1, 0, false, false});
        std::fill(picture.bytes.begin(), picture.bytes.end(), 10);
        std::memcpy(picture.bytes.data() + 12, c.centre, 3);
        const glint::SampleUnits units(picture.plane, true);
        const std::uint64_t first = c.neighboursInRange ? 0 : 12;
        const std::uint64_t end = c.neighboursInRange ? 27 : 15;
        EXPECT_EQ(units.agreeingStep(12 + c.channel, first, end), c.step) << c.name;
    }
    for (const Shape& shape : {kShapes[4], kShapes[6]}) {
        const Picture picture(shape);
        const glint::SampleUnits units(picture.plane, true);
        for (std::uint64_t unit = 0; unit < units.count(); unit += 97) {
            EXPECT_EQ(units.agreeingStep(unit, 0, units.count()), 0) << shape.name;
        }
    }
}

// A unit's texture is the sum of its sample's differences to the same sample
// of the eight pixels around, scaled to eight at the picture's edges;
// kSidesEqual where the four beside it (not the corners) equal it, kAtEnd at
// 0 or 255. Pictures of 5 x 5 pixels, one channel or three, all at 100 but
// for the changes each case makes; the unit looked at is channel 0 of
// `at`.
TEST(HiddenUnits, TexturesSumTheDifferencesAroundAndFlagFourEqualSides) {
    struct Change {
        std::size_t row, column;
        int by;
    };
    struct Case {
        const char* name;
        std::size_t channels, at;
        std::vector<Change> changes;
        unsigned texture;
        std::uint16_t flags;
    };
    const Case cases[] = {
        {"flat", 1, 12, {}, 0, glint::kSidesEqual},
        {"a corner below differs", 1, 12, {{3, 1, 3}}, 3, glint::kSidesEqual},
        {"a corner above differs", 1, 12, {{1, 3, -2}}, 2, glint::kSidesEqual},
        {"the pixel below differs", 1, 12, {{3, 2, -1}}, 1, 0},
        {"the pixel right differs", 1, 12, {{2, 3, 2}}, 2, 0},
        {"at 255 in a flat patch", 1, 12, {{2, 2, 155}, {1, 1, 155}, {1, 2, 155}, {1, 3, 155}, {2, 1, 155},
                                            {2, 3, 155}, {3, 1, 155}, {3, 2, 155}, {3, 3, 155}}, 0,
         glint::kSidesEqual | glint::kAtEnd},
        {"the picture's corner, three neighbours", 1, 0, {{0, 1, 1}, {1, 0, 1}, {1, 1, 1}}, 8, glint::kNearLone},
        {"two corners above, one off", 1, 12, {{1, 1, 1}, {1, 3, 1}}, 2, glint::kSidesEqual | glint::kNearLone},
        {"two corners right, apart", 1, 12, {{1, 3, 1}, {3, 3, -1}}, 2, glint::kSidesEqual},
        {"colour: the other channels differ", 3, 36, {{1, 1, 0}}, 0, glint::kSidesEqual},
    };
    for (const Case& c : cases) {
        Bytes bytes(25 * c.channels, 100);
        for (const Change& change : c.changes) {
            bytes[(5 * change.row + change.column) * c.channels] = static_cast<unsigned char>(100 + change.by);
        }
        if (c.channels == 3) {
            for (std::size_t p = 0; p < 25; ++p) bytes[3 * p + 1] = static_cast<unsigned char>(p * 7);
        }
        const glint::SamplePlane plane{bytes.data(), 5, 5 * c.channels, 5, c.channels, c.channels, 1};
        const glint::SampleUnits units(plane, false);
        std::vector<std::uint16_t> textures(units.count());
        ASSERT_TRUE(units.textures(0, units.count(), 0, units.count(), textures.data()));
        const std::uint16_t flags = glint::kSidesEqual | glint::kAtEnd | glint::kNearLone;
        EXPECT_EQ(textures[c.at] & ~flags, c.texture) << c.name;
        EXPECT_EQ(textures[c.at] & flags, c.flags) << c.name;
    }
}

// A step of the middle pixel of a 5 x 5 grey picture, all 100 but the
// changes, that would leave a pixel beside it lone.
TEST(HiddenUnits, NeighbourLoneStepsLeaveAPixelBesideOneOffItsSidesColour) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::size_t, int>> changes;  // pixel, by
        unsigned steps;
    };
    const Case cases[] = {
        {"flat", {}, 0},
        {"the pixel above one off, this one too", {{12, 1}, {7, 1}}, glint::kLoneDown},
        {"the pixel left one off, this one below", {{12, -1}, {11, 1}}, glint::kLoneUp},
        {"the pixel above two off", {{12, 1}, {7, 2}}, 0},
        {"the pixel above has another side off", {{12, 1}, {7, 1}, {2, 3}}, 0},
        {"two pixels beside, either way", {{12, 1}, {7, 1}, {13, -1}, {11, 1}, {14, 2}}, glint::kLoneDown},
    };
    for (const Case& c : cases) {
        Bytes bytes(25, 100);
        for (const auto& [pixel, by] : c.changes) bytes[pixel] = static_cast<unsigned char>(100 + by);
        const glint::SamplePlane plane{bytes.data(), 5, 5, 5, 1, 1, 1};
        const glint::SampleUnits units(plane, false);
        EXPECT_EQ(units.neighbourLoneSteps(12, 0, units.count()), c.steps) << c.name;
        EXPECT_EQ(units.neighbourLoneSteps(12, 8, units.count()), 0U) << c.name << ": the pixels it needs out of range";
    }
}

// Hides bodies of several sizes in every shape with keys given directly, and
// recovers them; reserved units never change.
TEST(HiddenLayout, RoundTripsInEveryShapeChangingOnlyCarriedSamplesByOne) {
    const auto layoutKey = keyOf(1);
    const auto changeKey = keyOf(2);
    for (const Shape& shape : kShapes) {
        for (const double share : {0.004, 0.3, 1.0}) {
            Picture picture(shape);
            const Bytes before = picture.bytes;
            glint::HiddenLayout layout(picture.plane, true);
            ASSERT_EQ(layout.units().grey(), shape.grey) << shape.name;
            const std::uint64_t bits = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(share * static_cast<double>(layout.roomBits())));
            const std::vector<std::uint64_t> reserved = {0, 64 * 3 + 5, layout.units().count() - 1, 1000};
            std::vector<bool> reservedBits;
            for (const std::uint64_t unit : reserved) reservedBits.push_back(layout.units().bit(unit));
            const std::vector<std::uint64_t> body = randomBody(bits, bits);
            ASSERT_TRUE(layout.embed(*layoutKey, *changeKey, reserved, body.data(), bits)) << shape.name;
            picture.changedUnits(before);
            for (std::size_t i = 0; i < reserved.size(); ++i) {
                EXPECT_EQ(layout.units().bit(reserved[i]), reservedBits[i]) << shape.name << " reserved unit changed";
            }
            std::vector<std::uint64_t> recovered(body.size());
            ASSERT_TRUE(layout.extract(*layoutKey, reserved, recovered.data(), bits));
            EXPECT_TRUE(sameBits(recovered, body, bits)) << shape.name << ", " << bits << " bits";
            std::vector<std::uint64_t> otherKey(body.size());
            ASSERT_TRUE(layout.extract(*keyOf(3), reserved, otherKey.data(), bits));
            EXPECT_FALSE(sameBits(otherKey, body, bits)) << shape.name << ": another key read the body";
        }
    }
}

TEST(HiddenLayout, SmallerSharesChangeFewerUnitsPerHiddenBit) {
    struct Case {
        double share;
        double most;  // changes per hidden bit
    };
    const Case cases[] = {{0.05, 0.25}, {0.10, 0.25}, {0.25, 0.25}, {0.5, 0.36}, {0.8, 0.5}, {1.0, 0.52}};
    const Shape shape{"photograph", 256, 256, 3, 3, 1, 0, false, false};
    for (const Case& c : cases) {
        Picture picture(shape, 3);
        const Bytes before = picture.bytes;
        glint::HiddenLayout layout(picture.plane, true);
        const auto bits = static_cast<std::uint64_t>(c.share * static_cast<double>(layout.roomBits()));
        const std::vector<std::uint64_t> body = randomBody(bits, 11);
        ASSERT_TRUE(layout.embed(*keyOf(4), *keyOf(5), {}, body.data(), bits));
        std::vector<std::uint64_t> recovered(body.size());
        ASSERT_TRUE(layout.extract(*keyOf(4), {}, recovered.data(), bits));
        EXPECT_TRUE(sameBits(recovered, body, bits)) << c.share * 100 << "% of the room";
        const double perBit = static_cast<double>(picture.changedUnits(before)) / static_cast<double>(bits);
        std::printf("%3.0f%% of the room: %.3f changes per hidden bit\n", c.share * 100, perBit);
        EXPECT_LE(perBit, c.most) << c.share * 100 << "% of the room";
        EXPECT_GT(perBit, c.most / 2) << c.share * 100 << "% of the room: too few changes to carry the bits";
    }
}

// Few-colour colour pictures, where a +-1 change that makes a colour the
// picture lacks, one step from one it has, shows: such colours must stay far
// fewer than the changes, and the changes per hidden bit within the limit.
TEST(HiddenLayout, FewColourPicturesGainFarFewerColoursThanChanges) {
    struct Case {
        const char* name;
        std::function<void(std::size_t row, std::size_t column, unsigned char* rgb)> colour;
        double share;
        double mostNewPerChange;
        std::size_t side = 256;  // 512: two spans
    };
    // Each sample one of two neighbouring levels, every mix of them present:
    // one step of each sample gives a colour held, the other a new one.
    const auto pairedLevels = [](std::size_t row, std::size_t column, unsigned char* rgb) {
        const std::size_t index = (row * 64 + column) % 4096;
        for (std::size_t c = 0; c < 3; ++c) {
            const std::size_t level = index >> (4 * c) & 15;
            rgb[c] = static_cast<unsigned char>(16 + 32 * (level / 2) + level % 2);
        }
    };
    // Red runs through every value along a row; green and blue are even, so
    // that a step of theirs always makes a new colour and only pairs of red
    // samples can take its place.
    const auto evenGreenAndBlue = [](std::size_t row, std::size_t column, unsigned char* rgb) {
        rgb[0] = static_cast<unsigned char>(column);
        rgb[1] = static_cast<unsigned char>(2 * (row % 128));
        rgb[2] = static_cast<unsigned char>(100 + 2 * (row / 128));
    };
    const Case cases[] = {
        {"paired levels, 10%", pairedLevels, 0.10, 0.02},
        {"paired levels, 25%, two spans", pairedLevels, 0.25, 0.02, 512},
        {"even green and blue, 5%", evenGreenAndBlue, 0.05, 0.1},
        {"even green and blue, 10%", evenGreenAndBlue, 0.10, 0.3},
    };
    for (const Case& c : cases) {
        const Shape shape{c.name, c.side, c.side, 3, 3, 1, 0, false, false};
        Picture picture(shape);
        std::set<std::uint32_t> held;
        for (std::size_t p = 0; p < c.side * c.side; ++p) {
            unsigned char* rgb = picture.bytes.data() + 3 * p;
            c.colour(p / c.side, p % c.side, rgb);
            held.insert(glint::ColourSet::colourAt(rgb));
        }
        const Bytes before = picture.bytes;
        glint::HiddenLayout layout(picture.plane, true);
        const auto bits = static_cast<std::uint64_t>(c.share * static_cast<double>(layout.roomBits()));
        const std::vector<std::uint64_t> body = randomBody(bits, 21);
        ASSERT_TRUE(layout.embed(*keyOf(6), *keyOf(7), {}, body.data(), bits)) << c.name;
        std::vector<std::uint64_t> recovered(body.size());
        ASSERT_TRUE(layout.extract(*keyOf(6), {}, recovered.data(), bits));
        EXPECT_TRUE(sameBits(recovered, body, bits)) << c.name;
        const std::size_t changes = picture.changedUnits(before);
        std::set<std::uint32_t> made;
        for (std::size_t p = 0; p < c.side * c.side; ++p) {
            const std::uint32_t colour = glint::ColourSet::colourAt(picture.bytes.data() + 3 * p);
            if (held.count(colour) == 0) made.insert(colour);
        }
        std::printf("%s: %zu changes, %zu new colours, %.3f changes per bit\n", c.name, changes, made.size(),
                    static_cast<double>(changes) / static_cast<double>(bits));
        EXPECT_LE(static_cast<double>(made.size()), c.mostNewPerChange * static_cast<double>(changes)) << c.name;
        EXPECT_LE(static_cast<double>(changes), 0.25 * static_cast<double>(bits)) << c.name;
    }
}

// Pixels one off, in one sample (in grey level when `grey`), the colour the
// four beside them share.
std::size_t lonePixelsOf(const Bytes& rgb, std::size_t side, bool grey) {
    std::size_t lone = 0;
    for (std::size_t y = 1; y + 1 < side; ++y) {
        for (std::size_t x = 1; x + 1 < side; ++x) {
            const auto at = [&](std::size_t row, std::size_t column) { return &rgb[3 * (row * side + column)]; };
            const unsigned char* above = at(y - 1, x);
            bool same = true;
            for (const unsigned char* next : {at(y + 1, x), at(y, x - 1), at(y, x + 1)}) {
                same = same && std::memcmp(next, above, 3) == 0;
            }
            int off = 0;
            for (std::size_t c = 0; c < (grey ? 1 : 3); ++c) off += std::abs(at(y, x)[c] - above[c]);
            lone += same && off == 1 ? 1 : 0;
        }
    }
    return lone;
}

// In a colour picture, up to about a quarter of the room, a step goes the
// way that agrees with its pixel's other channels wherever one way does
// (beyond, the keyed way, each about as often), and flat patches keep still
// where pairs or triples of units elsewhere can change in their place, and
// the lone pixels that are left are the ones reported. Pictures: a gradient
// with the channels apart by a little noise, so that one way mostly agrees
// more; and one half flat (with specks two off, which a step towards the
// patch would leave lone), half noise, in colour and in grey.
TEST(HiddenLayout, SteeredStepsAgreeWithTheOtherChannelsAndKeepOffFlatPatches) {
    // Flat patches, where lone pixels are counted: none, every other run of
    // 64 columns, or the top third (whose blocks' shares the rest carries).
    enum Flat { kNone, kStripes, kTop };
    struct Case {
        Flat flat;
        bool grey;
        double share;
        double least, most;  // of the decided steps that agree, or lone pixels made per change
    };
    // Keyed steps would agree about half the time, and leave a lone pixel
    // at about every other change.
    const Case cases[] = {{kNone, false, 0.05, 0.97, 1.0},   {kNone, false, 0.25, 0.97, 1.0},
                          {kNone, false, 0.5, 0.4, 0.6},     {kStripes, false, 0.05, 0.0, 0.01},
                          {kStripes, false, 0.10, 0.0, 0.03}, {kStripes, false, 0.25, 0.0, 1.0},
                          {kStripes, true, 0.05, 0.0, 0.01},  {kStripes, true, 0.10, 0.0, 0.03},
                          {kTop, false, 0.25, 0.0, 0.01},     {kTop, false, 0.5, 0.0, 0.01}};
    const std::size_t side = 512;  // two spans
    for (const Case& c : cases) {
        Picture picture(Shape{"steered", side, side, 3, 3, 1, 0, false, false});
        std::mt19937 noise(5);
        for (std::size_t p = 0; p < side * side; ++p) {
            const auto level = static_cast<int>((p / side + p % side) / 5 + 20);
            for (std::size_t k = 0; k < 3; ++k) {
                picture.bytes[3 * p + k] = static_cast<unsigned char>(level + static_cast<int>(noise() % 5) - 2);
            }
            if ((c.flat == kStripes && (p % side) / 64 % 2 == 0) || (c.flat == kTop && p / side < side / 3)) {
                const bool speck = p % 7 == 0 && (p / side) % 5 == 0;
                std::memcpy(picture.bytes.data() + 3 * p, speck ? "\x66\x78\x8c" : "\x64\x78\x8c", 3);
            }
            if (c.grey) std::memset(picture.bytes.data() + 3 * p, picture.bytes[3 * p], 3);
        }
        const Bytes before = picture.bytes;
        Picture cover = picture;
        cover.plane.first = cover.bytes.data();
        const glint::SampleUnits coverUnits(cover.plane, true);
        glint::HiddenLayout layout(picture.plane, true);
        const auto bits = static_cast<std::uint64_t>(c.share * static_cast<double>(layout.roomBits()));
        const std::vector<std::uint64_t> body = randomBody(bits, 31);
        ASSERT_TRUE(layout.embed(*keyOf(8), *keyOf(9), {}, body.data(), bits));
        std::vector<std::uint64_t> recovered(body.size());
        ASSERT_TRUE(layout.extract(*keyOf(8), {}, recovered.data(), bits));
        EXPECT_TRUE(sameBits(recovered, body, bits)) << c.share;
        // A grey unit is a pixel, its three samples moving together.
        const std::size_t changes = picture.changedUnits(before) / (c.grey ? 3 : 1);
        std::size_t counted = 0, of = changes;
        if (c.flat != kNone) {
            // A change may also end a lone pixel the cover had.
            const std::size_t after = lonePixelsOf(picture.bytes, side, c.grey);
            const std::size_t was = lonePixelsOf(before, side, c.grey);
            counted = after > was ? after - was : 0;
            // What the hide reports, within a factor of two: a later change
            // beside a lone pixel may hide it again, and pixels where two
            // threads' blocks meet are not looked at.
            EXPECT_LE(layout.lonePixels(), 2 * counted + 50) << c.share;
            EXPECT_LE(counted, 2 * layout.lonePixels() + 50) << c.share;
        } else {
            of = 0;
            for (std::uint64_t unit = 0; unit < coverUnits.count(); ++unit) {
                const int step = picture.bytes[unit] - before[unit];
                const int agreeingStep = coverUnits.agreeingStep(unit, 0, coverUnits.count());
                if (step == 0 || agreeingStep == 0) continue;
                ++of;
                counted += step == agreeingStep ? 1 : 0;
            }
        }
        std::printf("%s%3.0f%% of the room: %zu %s %zu\n", c.grey ? "grey, " : "", c.share * 100, counted,
                    c.flat != kNone ? "lone pixels made by changes:" : "decided steps agree of", of);
        EXPECT_GT(of, bits / 20) << c.share;
        EXPECT_GE(static_cast<double>(counted), c.least * static_cast<double>(of)) << c.share;
        EXPECT_LE(static_cast<double>(counted), c.most * static_cast<double>(of)) << c.share;
        if (c.share <= 0.25) {
            EXPECT_LE(static_cast<double>(changes), 0.25 * static_cast<double>(bits)) << c.share;
        }
    }
}

// The colours held are steered towards only in pictures of few colours: in
// one whose colours already lie as close as +-1 noise would leave them,
// steering would show instead, by the colours the changes take away.
TEST(HiddenLayout, StepsTowardsHeldColoursOnlyInPicturesOfFewColours) {
    struct Case {
        const char* name;
        std::function<void(std::size_t row, std::size_t column, unsigned char* rgb)> colour;
        double closeRatio;  // ordered close pairs per colour; below 0, not checked
        bool steers;
    };
    const Case cases[] = {
        // Two colours one step apart: two ordered pairs, two colours.
        {"two neighbouring colours", [](std::size_t, std::size_t column, unsigned char* rgb) {
             rgb[0] = 40; rgb[1] = static_cast<unsigned char>(40 + column % 2); rgb[2] = 40;
         }, 1.0, true},
        // A solid block of 64 x 64 x 16 colours, each held once.
        {"every colour of a block", [](std::size_t row, std::size_t column, unsigned char* rgb) {
             rgb[0] = static_cast<unsigned char>(column % 64);
             rgb[1] = static_cast<unsigned char>(row % 64);
             rgb[2] = static_cast<unsigned char>(100 + row / 64 * 4 + column / 64);
         }, -1, false},
        {"colours eight apart", [](std::size_t row, std::size_t column, unsigned char* rgb) {
             rgb[0] = static_cast<unsigned char>(8 * (column % 32));
             rgb[1] = static_cast<unsigned char>(8 * (row % 32));
             rgb[2] = static_cast<unsigned char>(8 * (row / 32 + column / 32));
         }, 0.0, true},
    };
    for (const Case& c : cases) {
        Picture picture(Shape{c.name, 256, 256, 3, 3, 1, 0, false, false});
        for (std::size_t p = 0; p < 256 * 256; ++p) c.colour(p / 256, p % 256, picture.bytes.data() + 3 * p);
        const std::unique_ptr<glint::ColourSet> colours = glint::ColourSet::of(picture.plane);
        EXPECT_EQ(colours != nullptr, c.steers) << c.name;
        if (colours && c.closeRatio >= 0) {
            EXPECT_DOUBLE_EQ(colours->closeRatio(), c.closeRatio) << c.name;
        }
    }
    // Only 8-bit colour samples: grey samples and 16-bit ones are not steered.
    for (const Shape& shape : {kShapes[3], kShapes[4]}) {
        EXPECT_EQ(glint::ColourSet::of(Picture(shape).plane), nullptr) << shape.name;
    }
}

TEST(HiddenLayout, RefusesABodyBeyondItsRoom) {
    Picture picture(kShapes[0]);
    glint::HiddenLayout layout(picture.plane, true);
    const std::vector<std::uint64_t> body = randomBody(layout.roomBits() + 1, 1);
    EXPECT_TRUE(layout.fits(*keyOf(1), {}, layout.roomBits()));
    EXPECT_FALSE(layout.embed(*keyOf(1), *keyOf(2), {}, body.data(), layout.roomBits() + 1));
    EXPECT_EQ(picture.bytes, Picture(kShapes[0]).bytes);
}

TEST(HiddenSeal, DeflatesOnlyWhatShrinksAndKeepsTheName) {
    struct Case {
        Bytes payload;
        bool shrinks;
    };
    const Case cases[] = {{Bytes(300000, 'a'), true}, {patternBytes(300000, 4), false}, {Bytes(5, 'a'), false}, {{}, false}};
    const auto key = keyOf(6);
    const unsigned char nonce[glint::kNonceBytes] = {1};
    const std::vector<unsigned char> associated = {1, 2, 3};
    for (const Case& c : cases) {
        std::optional<glint::SealedBody> body = glint::frameBody("notes.txt", c.payload.data(), c.payload.size());
        ASSERT_TRUE(body);
        EXPECT_EQ(body->size < c.payload.size(), c.shrinks) << c.payload.size();
        ASSERT_TRUE(glint::sealBody(*body, *key, nonce, associated));
        const glint::OpenedBody opened = glint::openBody(*body, *key, nonce, associated);
        ASSERT_EQ(opened.result, glint::PayloadSeal::Opened::Yes);
        EXPECT_EQ(opened.name, "notes.txt");
        EXPECT_EQ(Bytes(opened.data, opened.data + opened.size), c.payload);
    }
}

// The last component; a long one cut to 255 bytes between two characters,
// its extension kept.
TEST(HiddenSeal, StoredNameIsTheLastComponentCutBetweenCharacters) {
    std::string accents;
    for (int i = 0; i < 150; ++i) accents += "\xC3\xA9";
    const std::pair<std::string, std::string> cases[] = {
        {"a/b/c.zip", "c.zip"},
        {"c:\\x\\y.txt", "y.txt"},
        {"plain", "plain"},
        {"dir/", ""},
        {"d/" + std::string(300, 'a') + ".txt", std::string(251, 'a') + ".txt"},
        {accents + ".txt", accents.substr(0, 250) + ".txt"},
        {std::string(300, 'b'), std::string(255, 'b')},
        {std::string(200, 'c') + "." + std::string(100, 'x'), (std::string(200, 'c') + "." + std::string(100, 'x')).substr(0, 255)},
    };
    for (const auto& [path, name] : cases) {
        EXPECT_EQ(glint::storedNameOf(path), name) << path.size() << " bytes";
        EXPECT_LE(glint::storedNameOf(path).size(), glint::kLongestStoredName);
    }
}

// Whole hides with a passphrase: each costs an Argon2id derivation.
struct Hidden {
    explicit Hidden(const Shape& shape, std::uint32_t seed = 1) : picture(shape, seed), header(patternBytes(54, seed)) {
        cover.plane = picture.plane;
        cover.header = header.data();
        cover.headerSize = header.size();
    }
    Picture picture;
    Bytes header;
    glint::HiddenCover cover;
};

const Shape kPhotograph{"photograph", 64, 96, 3, 3, 1, 0, false, false};

TEST(HiddenPicture, TheLargestPayloadFitsAndOneByteMoreIsRefused) {
    Hidden hidden(kPhotograph);
    const std::optional<std::uint64_t> room = glint::hiddenRoom(hidden.cover.plane, std::string("payload").size());
    ASSERT_TRUE(room);
    const Bytes payload = patternBytes(static_cast<std::size_t>(*room) + 1, 2);
    const auto passphrase = secret("correct horse");
    EXPECT_EQ(glint::hideHidden(hidden.cover, *passphrase, "dir/payload", payload.data(), payload.size()),
              glint::HiddenHide::TooLong);
    EXPECT_EQ(hidden.picture.bytes, Picture(kPhotograph).bytes) << "a refused hide changed the picture";
    ASSERT_EQ(glint::hideHidden(hidden.cover, *passphrase, "dir/payload", payload.data(), payload.size() - 1),
              glint::HiddenHide::Hidden);
    const glint::HiddenRecovery recovery = glint::recoverHidden(hidden.cover, *passphrase);
    ASSERT_EQ(recovery.result, glint::PayloadSeal::Opened::Yes);
    EXPECT_EQ(recovery.name, "payload");
    EXPECT_EQ(Bytes(recovery.data, recovery.data + recovery.size), Bytes(payload.begin(), payload.end() - 1));
}

// A picture four-fifths flat: the seed and the length (nearly all the
// changes of a small payload) are set without leaving lone pixels.
TEST(HiddenPicture, SeedAndLengthKeepOffFlatPatches) {
    const std::size_t side = 256;
    Hidden hidden(Shape{"mostly flat", side, side, 3, 3, 1, 0, false, false});
    Bytes& bytes = hidden.picture.bytes;
    std::mt19937 noise(3);
    for (std::size_t p = 0; p < side * side; ++p) {
        const bool busy = (p / side / 16 + p % side / 16) % 5 == 0;
        for (std::size_t k = 0; k < 3; ++k) {
            bytes[3 * p + k] = static_cast<unsigned char>(busy ? 100 + noise() % 7 : 100 + 20 * k);
        }
    }
    const Bytes before = bytes;
    const auto passphrase = secret("correct horse");
    ASSERT_EQ(glint::hideHidden(hidden.cover, *passphrase, "", reinterpret_cast<const unsigned char*>("x"), 1),
              glint::HiddenHide::Hidden);
    const std::size_t changes = hidden.picture.changedUnits(before);
    EXPECT_GT(changes, 40U) << "the seed and length set without changes";
    EXPECT_LE(lonePixelsOf(bytes, side, false), 2U) << "of " << changes << " changes";
    const glint::HiddenRecovery recovery = glint::recoverHidden(hidden.cover, *passphrase);
    ASSERT_EQ(recovery.result, glint::PayloadSeal::Opened::Yes);
    EXPECT_EQ(recovery.size, 1U);
}

// What must not open: another passphrase, a changed sample, another header
// (the same pixels in another picture), fewer rows.
TEST(HiddenPicture, OpensNothingThatWasChangedMovedOrCut) {
    Hidden hidden(kPhotograph);
    const auto passphrase = secret("correct horse");
    const std::uint64_t room = *glint::hiddenRoom(hidden.cover.plane, 0);
    const Bytes payload = patternBytes(static_cast<std::size_t>(room), 3);
    ASSERT_EQ(glint::hideHidden(hidden.cover, *passphrase, "", payload.data(), payload.size()), glint::HiddenHide::Hidden);
    struct Case {
        const char* what;
        std::function<void(Hidden&)> change;
        const char* passphrase;
    };
    const Case cases[] = {
        {"another passphrase", [](Hidden&) {}, "correct horse!"},
        {"a sample moved by one", [](Hidden& h) { h.picture.bytes[777] ^= 1; }, "correct horse"},
        {"another header", [](Hidden& h) { h.header[20] ^= 0x10; }, "correct horse"},
        {"a row fewer", [](Hidden& h) { --h.cover.plane.rows; }, "correct horse"},
    };
    for (const Case& c : cases) {
        Hidden changed = hidden;
        changed.cover.plane.first = changed.picture.bytes.data();
        changed.cover.header = changed.header.data();
        c.change(changed);
        const glint::HiddenRecovery recovery = glint::recoverHidden(changed.cover, *secret(c.passphrase));
        EXPECT_EQ(recovery.result, glint::PayloadSeal::Opened::Refused) << c.what;
        EXPECT_EQ(recovery.data, nullptr) << c.what;
    }
}

// The keys of each hide, read where the passphrase places its seed: a fresh
// seed gives a fresh seal key and nonce under the picture's master key.
TEST(HiddenPicture, TwoHidesInOneCoverShareNoKeyAndNonce) {
    const auto passphrase = secret("correct horse");
    const Bytes payload = patternBytes(100, 5);
    std::vector<Bytes> masters, stego, sealPairs;
    for (int hide = 0; hide < 2; ++hide) {
        Hidden hidden(kPhotograph);
        ASSERT_EQ(glint::hideHidden(hidden.cover, *passphrase, "", payload.data(), payload.size()),
                  glint::HiddenHide::Hidden);
        const std::optional<glint::HiddenKeys> keys = glint::hiddenKeysOf(hidden.cover, *passphrase);
        ASSERT_TRUE(keys && keys->ready());
        Bytes pair(keys->seal->data(), keys->seal->data() + keys->seal->size());
        pair.insert(pair.end(), keys->nonce->data(), keys->nonce->data() + glint::kNonceBytes);
        masters.emplace_back(keys->master->data(), keys->master->data() + keys->master->size());
        sealPairs.push_back(pair);
        stego.push_back(hidden.picture.bytes);
        const glint::HiddenRecovery recovery = glint::recoverHidden(hidden.cover, *passphrase);
        ASSERT_EQ(recovery.result, glint::PayloadSeal::Opened::Yes);
        EXPECT_EQ(Bytes(recovery.data, recovery.data + recovery.size), payload);
    }
    EXPECT_EQ(masters[0], masters[1]) << "one cover and one passphrase make one master key";
    EXPECT_NE(sealPairs[0], sealPairs[1]);
    EXPECT_NE(stego[0], stego[1]) << "the same payload hidden twice came out the same";
}

}  // namespace
