// Speed of the engine on bit sequences, in bytes of input bit bytes per second.
// The data are the pixel-order bits of a synthetic 1024x1024 image: smooth shading plus noise,
// so that about half of the bits are hard to predict, as in a photograph.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "Codec.h"

namespace {

const std::vector<uint8_t>& ImageBits() {
    static const std::vector<uint8_t> bits = [] {
        std::mt19937 rng(1);
        std::normal_distribution<double> noise(0.0, 6.0);
        std::vector<uint8_t> out;
        out.reserve(size_t{1024} * 1024 * 8);
        for (int y = 0; y < 1024; ++y) {
            for (int x = 0; x < 1024; ++x) {
                const double v = 128 + 90 * std::sin(x * 0.01) * std::cos(y * 0.013) + noise(rng);
                const int p = v < 0 ? 0 : (v > 255 ? 255 : static_cast<int>(v));
                for (int b = 7; b >= 0; --b)
                    out.push_back(static_cast<uint8_t>((p >> b) & 1));
            }
        }
        return out;
    }();
    return bits;
}

void BM_EncodeBits(benchmark::State& state) {
    const auto& bits = ImageBits();
    size_t size = 0;
    for (auto _ : state) {
        const auto stream = eks::arith::EncodeBytes(bits, static_cast<int>(state.range(0)));
        size = stream.size();
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bits.size()));
    state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(bits.size());
}

void BM_DecodeBits(benchmark::State& state) {
    const auto& bits = ImageBits();
    const auto stream = eks::arith::EncodeBytes(bits, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const auto restored = eks::arith::DecodeBytes(stream);
        if (restored.size() != bits.size()) state.SkipWithError("wrong length");
        benchmark::DoNotOptimize(restored.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bits.size()));
}

void BM_EncodeGeneral(benchmark::State& state) {
    std::vector<uint8_t> data(size_t{1} << 20);
    std::mt19937 rng(2);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>((i / 7 + rng() % 5) & 0xFF);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            eks::arith::EncodeBytes(data, static_cast<int>(state.range(0))).data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

BENCHMARK(BM_EncodeBits)->Arg(1)->Arg(5)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBits)->Arg(1)->Arg(5)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeGeneral)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
