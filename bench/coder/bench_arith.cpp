// Speed of the engine on bit sequences, in bytes of input bit bytes per second, without the
// programs' start and file handling.
//
// Samples/<order>/<bit order>: the bit sequences of the sample images (each coded on its own,
// with a fresh model, as the window does), orders 1 to 9, pixel order "B" and plane order "P".
// EncodeBits / DecodeBits: the pixel-order bits of a synthetic 1024x1024 image, smooth
// shading plus noise, so that about half of the bits are hard to predict.
//
//     bench_arith --probe [REPS]
// compares the engine at order 9 with the simplest honest order-9 coder (Order9Probe.h) on
// the bit sequences of a 4096x4096 photograph (camera.pgm scaled up eight times with noise
// of +-2, as bench_window and bench_analysis make it) and of the samples, in both bit
// orders: the best CPU time of REPS (default 7) alternating runs of each, both ways, and the
// bytes written, as ratios ours / probe. Each decoded sequence is checked against its input.
//
//     bench_arith --write-photograph FILE.pgm
// writes that photograph, for timing the programs on it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/coder/Order9Probe.h"
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

// The raster (4096 x 4096 bytes) of camera.pgm scaled up eight times, each pixel with noise
// of +-2; empty when the sample is missing.
std::vector<uint8_t> LargePhotograph() {
    std::ifstream in(std::string(EKS_SAMPLES_DIR) + "/camera.pgm", std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), {});
    if (file.size() < 512 * 512) return {};
    const auto* camera = reinterpret_cast<const uint8_t*>(file.data()) + file.size() - 512 * 512;
    std::vector<uint8_t> out(size_t{4096} * 4096);
    std::mt19937 noise(7);
    std::uniform_int_distribution<int> d(-2, 2);
    for (size_t y = 0; y < 4096; ++y)
        for (size_t x = 0; x < 4096; ++x)
            out[y * 4096 + x] =
                static_cast<uint8_t>(std::clamp(camera[(y / 8) * 512 + x / 8] + d(noise), 0, 255));
    return out;
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

[[noreturn]] void ProbeFailed(const char* what, const char* coder) {
    std::fprintf(stderr, "PROBE FAILED: %s, %s does not round-trip\n", what, coder);
    std::abort();
}

// Decoded bytes go into memory that is already there, as the probe's do: growing a vector of
// 128 MiB would time the allocator and the page faults rather than the coder.
class FixedSink final : public eks::arith::ByteSink {
  public:
    explicit FixedSink(std::vector<uint8_t>& dst) : dst_(dst) {}
    void Write(const uint8_t* src, size_t size) override {
        if (size > dst_.size() - used_) throw std::runtime_error("decoded too much");
        std::memcpy(dst_.data() + used_, src, size);
        used_ += size;
    }
    size_t Used() const { return used_; }

  private:
    std::vector<uint8_t>& dst_;
    size_t used_ = 0;
};

// Ours against the probe at order 9 on a set of bit sequences, each coded on its own.
void CompareWithProbe(const char* what, const std::vector<std::vector<uint8_t>>& inputs, int reps) {
    double enc[2] = {1e30, 1e30}, dec[2] = {1e30, 1e30};  // [0] ours, [1] the probe
    size_t bytes[2] = {0, 0}, in = 0;
    std::vector<std::vector<uint8_t>> ours, probe;
    for (const auto& bits : inputs) {
        ours.push_back(eks::arith::EncodeBytes(bits, 9));
        probe.push_back(eks::bench::Order9Probe::Encode(bits.data(), bits.size()));
        bytes[0] += ours.back().size();
        bytes[1] += probe.back().size();
        in += bits.size();
    }
    std::vector<uint8_t> restored;
    for (int r = 0; r < reps; ++r) {
        double t = CpuSeconds();
        for (const auto& bits : inputs)
            benchmark::DoNotOptimize(eks::arith::EncodeBytes(bits, 9).data());
        enc[0] = std::min(enc[0], CpuSeconds() - t);
        t = CpuSeconds();
        for (const auto& bits : inputs)
            benchmark::DoNotOptimize(
                eks::bench::Order9Probe::Encode(bits.data(), bits.size()).data());
        enc[1] = std::min(enc[1], CpuSeconds() - t);
        double ours_dec = 0, probe_dec = 0;
        for (size_t i = 0; i < inputs.size(); ++i) {
            restored.assign(inputs[i].size(), 2);
            eks::arith::MemorySource source(ours[i]);
            FixedSink sink(restored);
            t = CpuSeconds();
            eks::arith::Decode(source, sink);
            ours_dec += CpuSeconds() - t;
            if (sink.Used() != restored.size() || restored != inputs[i]) ProbeFailed(what, "ours");
            restored.assign(inputs[i].size(), 2);
            t = CpuSeconds();
            eks::bench::Order9Probe::Decode(probe[i], inputs[i].size(), restored.data());
            probe_dec += CpuSeconds() - t;
            if (restored != inputs[i]) ProbeFailed(what, "the probe");
        }
        dec[0] = std::min(dec[0], ours_dec);
        dec[1] = std::min(dec[1], probe_dec);
    }
    std::printf("%-22s %9.1f %9.3f %9.3f %6.2f %9.3f %9.3f %6.2f %10zu %10zu %6.3f\n", what,
                static_cast<double>(in) / 1e6, enc[0], enc[1], enc[0] / enc[1], dec[0], dec[1],
                dec[0] / dec[1], bytes[0], bytes[1],
                static_cast<double>(bytes[0]) / static_cast<double>(bytes[1]));
    std::fflush(stdout);
}

int RunProbe(int reps) {
    std::printf("order 9, ours / the simplest order-9 coder; best CPU seconds of %d runs\n", reps);
    std::printf("%-22s %9s %9s %9s %6s %9s %9s %6s %10s %10s %6s\n", "input", "MB", "enc_ours",
                "enc_probe", "ratio", "dec_ours", "dec_probe", "ratio", "bytes_ours", "bytes_probe",
                "ratio");
    const std::vector<uint8_t> photo = LargePhotograph();
    if (photo.empty()) {
        std::fprintf(stderr, "no camera.pgm in %s\n", EKS_SAMPLES_DIR);
        return 1;
    }
    for (const eks::BitOrder order : {eks::BitOrder::PixelMajor, eks::BitOrder::PlaneMajor}) {
        const bool plane = order == eks::BitOrder::PlaneMajor;
        {
            std::vector<std::vector<uint8_t>> one(1, std::vector<uint8_t>(8 * photo.size()));
            eks::ExpandBits(photo.data(), photo.size(), order, one[0].data());
            CompareWithProbe(plane ? "photograph 4096 P" : "photograph 4096 B", one, reps);
        }
        CompareWithProbe(plane ? "samples P" : "samples B", Samples(plane ? 1 : 0), reps);
    }
    return 0;
}

int WritePhotograph(const char* path) {
    const std::vector<uint8_t> photo = LargePhotograph();
    if (photo.empty()) return 1;
    std::ofstream out(path, std::ios::binary);
    out << "P5\n4096 4096\n255\n";
    out.write(reinterpret_cast<const char*>(photo.data()),
              static_cast<std::streamsize>(photo.size()));
    return out ? 0 : 1;
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

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--probe") == 0)
        return RunProbe(argc >= 3 ? std::max(1, std::atoi(argv[2])) : 7);
    if (argc == 3 && std::strcmp(argv[1], "--write-photograph") == 0)
        return WritePhotograph(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
