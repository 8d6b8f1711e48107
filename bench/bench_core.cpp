// Throughput of the bit-sequence build and of the plane-order reconstruction
// on a 4096×4096 image (16 MiB of pixels, 128 MiB of bit bytes).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/BitSequence.h"
#include "core/Reconstruction.h"

namespace {

constexpr int kSide = 4096;
constexpr std::size_t kPixels = std::size_t{kSide} * kSide;

// A smooth gradient with noise, so that every bit plane carries data.
eks::ExperimentState MakeState() {
    eks::ExperimentState st;
    const std::string header = "P5\n4096 4096\n255\n";
    auto file = std::make_shared<eks::ByteStream>();
    file->Write(header.data(), header.size());
    std::vector<std::uint8_t> pixels(kPixels);
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < kPixels; ++i)
        pixels[i] = static_cast<std::uint8_t>((i % kSide + i / kSide) / 32 + rng() % 16);
    file->Write(pixels.data(), pixels.size());
    st.SourceStream = file;
    st.PixelDataOffset = static_cast<std::int32_t>(header.size());
    return st;
}

void BuildBitSequence(benchmark::State& state, eks::BitOrder order) {
    eks::ExperimentState st = MakeState();
    for (auto _ : state) {
        auto seq = eks::ExpandBitSequence(*st.SourceStream, st.PixelDataOffset, order);
        benchmark::DoNotOptimize(seq->Data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 8 * kPixels));
}
BENCHMARK_CAPTURE(BuildBitSequence, PixelMajor, eks::BitOrder::PixelMajor)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BuildBitSequence, PlaneMajor, eks::BitOrder::PlaneMajor)
    ->Unit(benchmark::kMillisecond);

// The expansion alone, into memory that is already mapped.
void ExpandBitsInPlace(benchmark::State& state, eks::BitOrder order) {
    eks::ExperimentState st = MakeState();
    std::vector<std::uint8_t> out(8 * kPixels);
    for (auto _ : state) {
        eks::ExpandBits(st.SourceStream->Data() + st.PixelDataOffset, kPixels, order, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 8 * kPixels));
}
BENCHMARK_CAPTURE(ExpandBitsInPlace, PixelMajor, eks::BitOrder::PixelMajor)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExpandBitsInPlace, PlaneMajor, eks::BitOrder::PlaneMajor)
    ->Unit(benchmark::kMillisecond);

// All eight passes, each into a new image that reads the one shown before.
void ReconstructAllPasses(benchmark::State& state) {
    eks::ExperimentState st = MakeState();
    auto decoded =
        eks::ExpandBitSequence(*st.SourceStream, st.PixelDataOffset, eks::BitOrder::PlaneMajor);
    std::vector<std::uint8_t> shown(kPixels), next(kPixels);
    for (auto _ : state) {
        decoded->Seek(0);
        for (int k = 1; k <= 8; ++k) {
            eks::ReconstructPass(
                *decoded, k, kSide, kSide,
                [&](int r) { return next.data() + std::size_t(r) * kSide; },
                [&](int r) { return shown.data() + std::size_t(r) * kSide; });
            shown.swap(next);
        }
        benchmark::DoNotOptimize(shown.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 8 * kPixels));
}
BENCHMARK(ReconstructAllPasses)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
