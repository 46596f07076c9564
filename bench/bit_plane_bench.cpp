// Embedding and extracting over data areas from 4 KiB to 256 MiB, against
// memcpy of the same number of carrier bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "layout/bit_plane.h"
#include "ratio_reporter.h"

namespace {

struct Buffers {
    explicit Buffers(std::size_t carrierSize)
        : size(carrierSize),
          carrier(new unsigned char[carrierSize]),
          message(new unsigned char[carrierSize / 8]),
          copy(new unsigned char[carrierSize]) {
        for (std::size_t i = 0; i < carrierSize; ++i) carrier[i] = copy[i] = static_cast<unsigned char>(i * 131);
        for (std::size_t i = 0; i < carrierSize / 8; ++i) message[i] = static_cast<unsigned char>(i * 7);
    }
    std::size_t size;
    std::unique_ptr<unsigned char[]> carrier, message, copy;
};

void setBytes(benchmark::State& state, std::size_t size) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void embed(benchmark::State& state) {
    Buffers b(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        glint::embedBits(b.carrier.get(), b.message.get(), b.size / 8);
        benchmark::ClobberMemory();
    }
    setBytes(state, b.size);
}

void extract(benchmark::State& state) {
    Buffers b(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        glint::extractBits(b.message.get(), b.carrier.get(), b.size / 8);
        benchmark::ClobberMemory();
    }
    setBytes(state, b.size);
}

void copy(benchmark::State& state) {
    Buffers b(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::memcpy(b.copy.get(), b.carrier.get(), b.size);
        benchmark::ClobberMemory();
    }
    setBytes(state, b.size);
}

constexpr std::int64_t kSmallest = 4 << 10;
constexpr std::int64_t kLargest = std::int64_t{256} << 20;
BENCHMARK(embed)->Name("bits/embed")->RangeMultiplier(16)->Range(kSmallest, kLargest);
BENCHMARK(extract)->Name("bits/extract")->RangeMultiplier(16)->Range(kSmallest, kLargest);
BENCHMARK(copy)->Name("bits/memcpy")->RangeMultiplier(16)->Range(kSmallest, kLargest);

}  // namespace

int main(int argc, char** argv) { return runWithRatios(argc, argv, "memcpy"); }
