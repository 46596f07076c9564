// Throughput per core of every MD5 kernel this machine runs, through the
// lanes as a worker would drive them, beside the scalar hasher and OpenSSL's
// MD5: in cache (16 KiB messages, one per lane in Md5LaneBuffers, read again
// every time) and from memory (512 MiB shared out among the lanes, in 64 KiB
// pieces; the shares lie as far apart within a page as those buffers do).
// Ratios are against the scalar hasher; pin the program to one core
// (taskset -c 0) for steady figures.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hashing/md5_hasher.h"
#include "hashing/md5_lanes.h"
#include "ratio_reporter.h"

#ifdef HAVE_OPENSSL
#include <openssl/md5.h>
#endif

namespace {

constexpr std::size_t kCacheMessage = std::size_t{16} << 10;
constexpr std::size_t kMemoryBytes = std::size_t{512} << 20;
constexpr std::size_t kPiece = std::size_t{64} << 10;

const std::vector<unsigned char>& memoryBytes() {
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> b(kMemoryBytes);
        std::uint32_t x = 12345;
        for (auto& byte : b) byte = static_cast<unsigned char>((x = x * 1103515245U + 12345U) >> 24);
        return b;
    }();
    return bytes;
}

// Every lane hashes the `messageSize` bytes at shares[lane], fed in pieces
// of at most `pieceSize` as each lane asks for more.
void hashShares(cairn::Md5Lanes& lanes, const std::vector<const unsigned char*>& shares, std::size_t messageSize,
                std::size_t pieceSize) {
    const std::size_t count = lanes.laneCount();
    std::vector<std::size_t> fed(count, 0);
    std::vector<bool> taken(count, false);
    std::size_t left = count;
    while (left > 0) {
        for (std::size_t lane = 0; lane < count; ++lane) {
            if (taken[lane]) continue;
            if (lanes.done(lane)) {
                benchmark::DoNotOptimize(lanes.take(lane));
                taken[lane] = true;
                --left;
                continue;
            }
            if (!lanes.hungry(lane)) continue;
            if (fed[lane] == messageSize) {
                lanes.finish(lane);
                continue;
            }
            const std::size_t piece = std::min(pieceSize, messageSize - fed[lane]);
            lanes.feed(lane, shares[lane] + fed[lane], piece);
            fed[lane] += piece;
        }
        lanes.run();
    }
}

void lanesInCache(benchmark::State& state, const cairn::Md5Kernel* kernel) {
    cairn::Md5Lanes lanes(*kernel);
    cairn::Md5LaneBuffers buffers(lanes.laneCount(), kCacheMessage);
    std::vector<const unsigned char*> shares;
    for (std::size_t lane = 0; lane < lanes.laneCount(); ++lane) {
        std::copy_n(memoryBytes().data() + lane * kCacheMessage, kCacheMessage, buffers[lane]);
        shares.push_back(buffers[lane]);
    }
    for (auto _ : state) hashShares(lanes, shares, kCacheMessage, kCacheMessage);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kCacheMessage * lanes.laneCount()));
}

void lanesFromMemory(benchmark::State& state, const cairn::Md5Kernel* kernel) {
    cairn::Md5Lanes lanes(*kernel);
    // whole pages each, 192 bytes (three lines) apart within a page
    const std::size_t share = (kMemoryBytes / lanes.laneCount() - 4096) / 4096 * 4096;
    std::vector<const unsigned char*> shares;
    for (std::size_t lane = 0; lane < lanes.laneCount(); ++lane) {
        shares.push_back(memoryBytes().data() + lane * (share + 192));
    }
    for (auto _ : state) hashShares(lanes, shares, share, kPiece);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(share * lanes.laneCount()));
}

// One message after another through the scalar hasher, in pieces as above.
void hasher(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    const unsigned char* bytes = memoryBytes().data();
    for (auto _ : state) {
        cairn::Md5Hasher md5;
        for (std::size_t at = 0; at < size; at += kPiece) {
            md5.update(bytes + at, static_cast<std::uint32_t>(std::min(kPiece, size - at)));
        }
        md5.finish();
        benchmark::DoNotOptimize(md5);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(hasher)->Name("incache/hasher")->Arg(kCacheMessage);
BENCHMARK(hasher)->Name("memory/hasher")->Arg(kMemoryBytes)->Unit(benchmark::kMillisecond);

#ifdef HAVE_OPENSSL
void openssl(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    const unsigned char* bytes = memoryBytes().data();
    unsigned char digest[MD5_DIGEST_LENGTH];
    for (auto _ : state) {
        MD5_CTX context;
        MD5_Init(&context);
        for (std::size_t at = 0; at < size; at += kPiece) MD5_Update(&context, bytes + at, std::min(kPiece, size - at));
        MD5_Final(digest, &context);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(openssl)->Name("incache/openssl")->Arg(kCacheMessage);
BENCHMARK(openssl)->Name("memory/openssl")->Arg(kMemoryBytes)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    // Named as the hasher's runs are, "<where>/<kernel>/<bytes>", so that the
    // ratios compare like with like.
    for (const cairn::Md5Kernel& kernel : cairn::md5Kernels()) {
        if (!kernel.usable()) continue;
        benchmark::RegisterBenchmark(("incache/" + std::string(kernel.name) + "/" + std::to_string(kCacheMessage)).c_str(),
                                     lanesInCache, &kernel);
        benchmark::RegisterBenchmark(("memory/" + std::string(kernel.name) + "/" + std::to_string(kMemoryBytes)).c_str(),
                                     lanesFromMemory, &kernel)
            ->Unit(benchmark::kMillisecond);
    }
    return runWithRatios(argc, argv, "hasher");
}
