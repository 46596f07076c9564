// Md5Hasher's throughput against OpenSSL's MD5() where OpenSSL is present,
// over inputs from 64 bytes to 16 MiB (hashed in 1 MiB updates).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "hashing/md5_hasher.h"
#include "ratio_reporter.h"

#ifdef HAVE_OPENSSL
#include <openssl/md5.h>
#endif

namespace {

constexpr std::size_t kUpdateSize = std::size_t{1} << 20;

std::vector<unsigned char> input(std::size_t size) {
    std::vector<unsigned char> bytes(size);
    std::uint32_t x = 12345;
    for (auto& b : bytes) b = static_cast<unsigned char>((x = x * 1103515245U + 12345U) >> 24);
    return bytes;
}

void own(benchmark::State& state) {
    const auto bytes = input(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        cairn::Md5Hasher hasher;
        for (std::size_t at = 0; at < bytes.size(); at += kUpdateSize) {
            const std::size_t piece = std::min(kUpdateSize, bytes.size() - at);
            hasher.update(bytes.data() + at, static_cast<std::uint32_t>(piece));
        }
        hasher.finish();
        benchmark::DoNotOptimize(hasher);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(own)->Name("md5/own")->RangeMultiplier(4)->Range(64, 1 << 24);

#ifdef HAVE_OPENSSL
void openssl(benchmark::State& state) {
    const auto bytes = input(static_cast<std::size_t>(state.range(0)));
    unsigned char digest[MD5_DIGEST_LENGTH];
    for (auto _ : state) {
        MD5_CTX context;
        MD5_Init(&context);
        for (std::size_t at = 0; at < bytes.size(); at += kUpdateSize) {
            MD5_Update(&context, bytes.data() + at, std::min(kUpdateSize, bytes.size() - at));
        }
        MD5_Final(digest, &context);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(openssl)->Name("md5/openssl")->RangeMultiplier(4)->Range(64, 1 << 24);
#endif

}  // namespace

int main(int argc, char** argv) { return runWithRatios(argc, argv, "openssl"); }
