// The encryption of `glint hide -p` and the decryption of `recover -p`
// (AES-256-GCM in place, through libgcrypt) over payloads from 64 KiB to
// 32 MiB, against memcpy of the same bytes; and the key derivation alone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "encryption/passphrase_seal.h"
#include "ratio_reporter.h"

namespace {

struct Sealing {
    explicit Sealing(std::size_t payloadSize) : key(glint::kKeyBytes), payload(payloadSize, 0x5a), copy(payloadSize) {
        for (std::size_t i = 0; i < glint::kKeyBytes; ++i) key.append(static_cast<unsigned char>(i));
        glint::randomBytes(nonce, sizeof nonce);
    }
    glint::SecretBytes key;
    unsigned char nonce[glint::kNonceBytes];
    unsigned char tag[glint::kTagBytes];
    std::vector<unsigned char> payload, copy;
};

void setBytes(benchmark::State& state, std::size_t size) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void seal(benchmark::State& state) {
    Sealing s(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        if (!glint::sealWithKey(s.key, s.nonce, s.payload.data(), s.payload.size(), s.tag)) state.SkipWithError("seal");
        benchmark::ClobberMemory();
    }
    setBytes(state, s.payload.size());
}

// Each opened payload is sealed again, untimed, for the next round.
void open(benchmark::State& state) {
    Sealing s(static_cast<std::size_t>(state.range(0)));
    glint::sealWithKey(s.key, s.nonce, s.payload.data(), s.payload.size(), s.tag);
    for (auto _ : state) {
        if (glint::openWithKey(s.key, s.nonce, s.payload.data(), s.payload.size(), s.tag) != glint::PayloadSeal::Opened::Yes) {
            state.SkipWithError("open");
        }
        benchmark::ClobberMemory();
        state.PauseTiming();
        glint::sealWithKey(s.key, s.nonce, s.payload.data(), s.payload.size(), s.tag);
        state.ResumeTiming();
    }
    setBytes(state, s.payload.size());
}

void copy(benchmark::State& state) {
    Sealing s(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::memcpy(s.copy.data(), s.payload.data(), s.payload.size());
        benchmark::ClobberMemory();
    }
    setBytes(state, s.payload.size());
}

// Argon2id with 64 MiB and 3 passes: the derivation of every hide -p and
// recover -p, timed through a seal of an empty payload.
void derive(benchmark::State& state) {
    for (auto _ : state) {
        auto passphrase = std::make_unique<glint::SecretBytes>(16);
        for (const char c : "a passphrase") passphrase->append(static_cast<unsigned char>(c));
        glint::PassphraseSeal passphraseSeal(std::move(passphrase));
        unsigned char before[glint::kSaltBytes + glint::kNonceBytes];
        unsigned char after[glint::kTagBytes];
        if (!passphraseSeal.close(before, nullptr, 0, after)) state.SkipWithError("derive");
    }
}

constexpr std::int64_t kSmallest = 64 << 10;
constexpr std::int64_t kLargest = 32 << 20;
BENCHMARK(seal)->Name("payload/seal")->RangeMultiplier(8)->Range(kSmallest, kLargest);
BENCHMARK(open)->Name("payload/open")->RangeMultiplier(8)->Range(kSmallest, kLargest);
BENCHMARK(copy)->Name("payload/memcpy")->RangeMultiplier(8)->Range(kSmallest, kLargest);
BENCHMARK(derive)->Name("derive/argon2id")->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return runWithRatios(argc, argv, "memcpy"); }
