// Speed of the engine on bit sequences, in bytes of input bit bytes per second, without the
// programs' start and file handling.
//
// Samples/<order>/<bit order>: the bit sequences of the sample images (each coded on its own,
// with a fresh model, as the window does), orders 1 to 9, pixel order "B" and plane order "P".
// EncodeBits / DecodeBits: the pixel-order bits of a synthetic 1024x1024 image, smooth
// shading plus noise, so that about half of the bits are hard to predict.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "coder/arith/engine/Codec.h"
#include "core/BitSequence.h"

namespace {

// The bit sequences of the sample images in one bit order (empty when a sample is missing).
std::vector<std::vector<uint8_t>> LoadSamples(eks::BitOrder order) {
    std::vector<std::vector<uint8_t>> out;
    for (const char* name : {"astronaut", "brick", "camera", "coins", "horse", "text"}) {
        std::ifstream in(std::string(EKS_SAMPLES_DIR) + "/" + name + ".pgm", std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), {});
        std::istringstream header(file);
        std::string magic;
        size_t width = 0, height = 0, maxval = 0;
        header >> magic >> width >> height >> maxval;
        const size_t n = width * height;
        const size_t start = static_cast<size_t>(header.tellg()) + 1;
        if (!header || magic != "P5" || maxval != 255 || file.size() < start + n) continue;
        std::vector<uint8_t> bits(8 * n);
        eks::ExpandBits(reinterpret_cast<const uint8_t*>(file.data()) + start, n, order,
                        bits.data());
        out.push_back(std::move(bits));
    }
    return out;
}

const std::vector<std::vector<uint8_t>>& Samples(int bit_order) {
    static const std::vector<std::vector<uint8_t>> pixel = LoadSamples(eks::BitOrder::PixelMajor);
    static const std::vector<std::vector<uint8_t>> plane = LoadSamples(eks::BitOrder::PlaneMajor);
    return bit_order == 0 ? pixel : plane;
}

void SetSampleLabel(benchmark::State& state, size_t files) {
    state.SetLabel(std::string(state.range(1) == 0 ? "B" : "P") + ", " + std::to_string(files) +
                   " samples");
}

void BM_EncodeSamples(benchmark::State& state) {
    const auto& files = Samples(static_cast<int>(state.range(1)));
    if (files.empty()) state.SkipWithError("no sample images");
    size_t in = 0, out = 0;
    for (auto _ : state) {
        for (const auto& bits : files) {
            const auto stream = eks::arith::EncodeBytes(bits, static_cast<int>(state.range(0)));
            in += bits.size();
            out += stream.size();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(in));
    state.counters["ratio"] = in ? static_cast<double>(out) / static_cast<double>(in) : 0.0;
    SetSampleLabel(state, files.size());
}

void BM_DecodeSamples(benchmark::State& state) {
    const auto& files = Samples(static_cast<int>(state.range(1)));
    if (files.empty()) state.SkipWithError("no sample images");
    std::vector<std::vector<uint8_t>> streams;
    size_t coded = 0, original = 0;
    for (const auto& bits : files) {
        streams.push_back(eks::arith::EncodeBytes(bits, static_cast<int>(state.range(0))));
        coded += streams.back().size();
        original += bits.size();
    }
    size_t in = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < streams.size(); ++i) {
            const auto restored = eks::arith::DecodeBytes(streams[i]);
            if (restored != files[i]) state.SkipWithError("round trip failed");
            in += restored.size();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(in));
    // The same counters as the encoding benchmark: reports in CSV need them in every run.
    state.counters["ratio"] =
        original ? static_cast<double>(coded) / static_cast<double>(original) : 0.0;
    SetSampleLabel(state, files.size());
}

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

BENCHMARK(BM_EncodeSamples)
    ->ArgsProduct({benchmark::CreateDenseRange(1, 9, 1), {0, 1}})
    ->ArgNames({"order", "P"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeSamples)
    ->ArgsProduct({benchmark::CreateDenseRange(1, 9, 1), {0, 1}})
    ->ArgNames({"order", "P"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeBits)->Arg(1)->Arg(5)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBits)->Arg(1)->Arg(5)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeGeneral)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
