// The analysis of the page "Analiza" timed as a user meets it: "Analizuj" (the sweep of orders
// 1-9 in both bit orders and one cost map) on samples/camera.pgm (512 × 512) and on a
// 4096 × 4096 photograph made from it (scaled up, with a little noise, as bench_window makes
// it), and the map of another order alone. Prints the best of the repetitions and the peak
// resident memory. Run from bin/, where the samples stand:
//
//     bin/bench_analysis [repetitions]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "analysis/Analysis.h"
#include "core/PgmReader.h"

using namespace eks;

namespace {

AnalysisImage Image(std::shared_ptr<ByteStream> file) {
    const PgmHeader header = ParsePgmHeader(*file, "obraz");
    return {file, header.pixelDataOffset, *header.width, *header.height, "obraz"};
}

// camera.pgm scaled up eight times, each pixel with noise of ±2.
std::shared_ptr<ByteStream> LargePhotograph(const ByteStream& camera) {
    const std::uint8_t* raster = camera.Data() + camera.Size() - 512 * 512;
    auto out = std::make_shared<ByteStream>();
    const std::string header = "P5\n4096 4096\n255\n";
    out->Write(header.data(), header.size());
    std::mt19937 noise(7);
    std::uniform_int_distribution<int> d(-2, 2);
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x)
            out->WriteByte(static_cast<std::uint8_t>(
                std::clamp(raster[(y / 8) * 512 + x / 8] + d(noise), 0, 255)));
    return out;
}

template <class F>
double BestSeconds(int repetitions, F work) {
    double best = 1e9;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 3;
    auto camera = std::make_shared<ByteStream>();
    camera->LoadFromFile("camera.pgm");
    const AnalysisImage small = Image(camera);
    const auto analyse = [](const AnalysisImage& image) {
        ComputeSweep(image);
        ComputeCostMap(image, 9, BitOrder::PlaneMajor, -1);
    };
    std::printf("Analizuj 512×512 (sweep + map): %.3f s\n",
                BestSeconds(repetitions, [&] { analyse(small); }));
    std::printf("another order's map, 512×512:   %.3f s\n", BestSeconds(repetitions, [&] {
                    ComputeCostMap(small, 5, BitOrder::PixelMajor, -1);
                }));
    std::printf("peak memory so far: %.0f MiB\n", PeakMiB());
    const AnalysisImage large = Image(LargePhotograph(*camera));
    std::printf("Analizuj 4096×4096 (sweep + map): %.2f s\n",
                BestSeconds(1, [&] { analyse(large); }));
    std::printf(
        "peak memory: %.0f MiB (the file 16 MiB, one bit sequence 128 MiB, the map 64 MiB)\n",
        PeakMiB());
}
