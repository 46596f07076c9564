// The hidden layout alone against the plain bit-plane kernels: hiding and
// recovering a body of 30/256 of the carrier (30 MiB in 256 MiB, carried by
// Hamming codes) and of 3/256 (a tenth of the room, carried by the trellis)
// in a plane of 8-bit colour samples; the trellis's Viterbi pass alone over
// one block, this processor's against the scalar one; and the sealing of
// the body (deflate decision, framing, AES-256-GCM) against memcpy.
// Throughput is carrier bytes per second for the layouts, elements for the
// pass, payload bytes for the sealing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "coding/trellis_code.h"
#include "coding/trellis_kernels.h"
#include "encryption/hidden_seal.h"
#include "layout/bit_plane.h"
#include "hidden/hidden_layout.h"
#include "ratio_reporter.h"

namespace {

std::unique_ptr<glint::SecretBytes> keyOf(unsigned char seed) {
    auto key = std::make_unique<glint::SecretBytes>(glint::kKeyBytes);
    for (std::size_t i = 0; i < glint::kKeyBytes; ++i) key->append(static_cast<unsigned char>(seed + i));
    return key;
}

void randomFill(unsigned char* bytes, std::size_t size, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t v = random();
        std::memcpy(bytes + i, &v, 8);
    }
}

struct Picture {
    explicit Picture(std::size_t carrierSize, std::size_t bodyIn256 = 30)
        : size(carrierSize),
          samples(new unsigned char[carrierSize]),
          bodyBytes(carrierSize / 256 * bodyIn256),
          body(new std::uint64_t[bodyBytes / 8 + 3]()),
          plain(new unsigned char[carrierSize / 8]) {
        randomFill(samples.get(), size, 1);
        randomFill(reinterpret_cast<unsigned char*>(body.get()), 8 * (bodyBytes / 8 + 3), 2);
        randomFill(plain.get(), size / 8, 3);
        // 1024 pixels of three samples a row.
        plane = {samples.get(), size / 3072, 3072, 1024, 3, 3, 1};
    }
    std::size_t size;
    std::unique_ptr<unsigned char[]> samples;
    std::size_t bodyBytes;
    std::unique_ptr<std::uint64_t[]> body;
    std::unique_ptr<unsigned char[]> plain;
    glint::SamplePlane plane;
    std::unique_ptr<glint::SecretBytes> layoutKey = keyOf(1), changeKey = keyOf(2);
    std::vector<std::uint64_t> reserved{5, 77, 1000};
};

void setBytes(benchmark::State& state, std::size_t size) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

// Two bodies in turn, so that every round changes units as a first hide does.
void hiddenEmbed(benchmark::State& state, std::size_t bodyIn256) {
    Picture p(static_cast<std::size_t>(state.range(0)), bodyIn256);
    std::unique_ptr<std::uint64_t[]> other(new std::uint64_t[p.bodyBytes / 8 + 3]);
    randomFill(reinterpret_cast<unsigned char*>(other.get()), 8 * (p.bodyBytes / 8 + 3), 5);
    glint::HiddenLayout layout(p.plane, true);
    bool first = true;
    for (auto _ : state) {
        const std::uint64_t* body = first ? p.body.get() : other.get();
        if (!layout.embed(*p.layoutKey, *p.changeKey, p.reserved, body, 8 * p.bodyBytes)) state.SkipWithError("embed");
        first = !first;
        benchmark::ClobberMemory();
    }
    setBytes(state, p.size);
}

void hiddenExtract(benchmark::State& state, std::size_t bodyIn256) {
    Picture p(static_cast<std::size_t>(state.range(0)), bodyIn256);
    glint::HiddenLayout layout(p.plane, true);
    layout.embed(*p.layoutKey, *p.changeKey, p.reserved, p.body.get(), 8 * p.bodyBytes);
    std::unique_ptr<std::uint64_t[]> out(new std::uint64_t[p.bodyBytes / 8 + 3]);
    for (auto _ : state) {
        if (!layout.extract(*p.layoutKey, p.reserved, out.get(), 8 * p.bodyBytes)) state.SkipWithError("extract");
        benchmark::ClobberMemory();
    }
    setBytes(state, p.size);
}

// The plain layout over the same carrier: the whole data area's bit 0.
void plainEmbed(benchmark::State& state) {
    Picture p(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        glint::embedBits(p.samples.get(), p.plain.get(), p.bodyBytes);
        benchmark::ClobberMemory();
    }
    setBytes(state, p.size);
}

void plainExtract(benchmark::State& state) {
    Picture p(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        glint::extractBits(p.plain.get(), p.samples.get(), p.bodyBytes);
        benchmark::ClobberMemory();
    }
    setBytes(state, p.size);
}

// One block of the trellis at a tenth of its elements, random costs.
void trellis(benchmark::State& state, bool scalar) {
    constexpr std::size_t kElements = 65536, kBits = kElements / 10;
    std::mt19937 random(6);
    std::vector<std::uint8_t> bits(kElements), message(kBits), columns(kElements / kBits + 1);
    std::vector<std::uint32_t> costs(kElements), starts;
    for (auto& bit : bits) bit = static_cast<std::uint8_t>(random() & 1);
    for (auto& bit : message) bit = static_cast<std::uint8_t>(random() & 1);
    for (auto& cost : costs) cost = 1 + static_cast<std::uint32_t>(random() % glint::kLargestFlipCost);
    for (std::size_t k = 0; k < columns.size(); ++k) columns[k] = glint::trellisColumn(k, kElements / kBits);
    glint::trellisStarts(kElements, kBits, starts);
    std::vector<std::uint64_t> paths(2 * kElements);
    std::uint32_t finalCosts[glint::kTrellisStates];
    const glint::TrellisPassFunction pass = scalar ? glint::trellisPassScalar : glint::trellisPass();
    for (auto _ : state) {
        pass({bits.data(), costs.data(), message.data(), columns.data(), starts.data(), kBits, paths.data(), finalCosts});
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kElements));
}

// Framing (with the deflate decision) and sealing of random or text bytes.
void seal(benchmark::State& state, bool text) {
    const auto size = static_cast<std::size_t>(state.range(0));
    std::vector<unsigned char> payload(size);
    randomFill(payload.data(), size, 4);
    if (text) {
        for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<unsigned char>("lorem ipsum dolor "[i % 18]);
    }
    const auto key = keyOf(3);
    const unsigned char nonce[glint::kNonceBytes] = {};
    const std::vector<unsigned char> associated(54, 1);
    for (auto _ : state) {
        std::optional<glint::SealedBody> body = glint::frameBody("payload.bin", payload.data(), size);
        if (!body || !glint::sealBody(*body, *key, nonce, associated)) state.SkipWithError("seal");
        benchmark::ClobberMemory();
    }
    setBytes(state, size);
}

void copy(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    std::vector<unsigned char> from(size, 1), to(size);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::ClobberMemory();
    }
    setBytes(state, size);
}

constexpr std::int64_t kSmall = std::int64_t{3} << 20;
constexpr std::int64_t kLarge = std::int64_t{256} << 20;
BENCHMARK_CAPTURE(hiddenEmbed, hamming, 30)->Name("embed/hidden")->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(hiddenEmbed, trellis, 3)->Name("embed/trellis")->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(plainEmbed)->Name("embed/plain")->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(hiddenExtract, hamming, 30)->Name("extract/hidden")->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(hiddenExtract, trellis, 3)->Name("extract/trellis")->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(trellis, scalar, true)->Name("trellis/plain")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(trellis, fastest, false)->Name("trellis/fastest")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(plainExtract)->Name("extract/plain")->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(seal, random, false)->Name("seal/random")->Arg(30 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(seal, text, true)->Name("seal/text")->Arg(30 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(copy)->Name("seal/plain")->Arg(30 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return runWithRatios(argc, argv, "plain"); }
