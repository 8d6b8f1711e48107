// The page "Wykres" with a corpus: SetRecords and the first paint of the
// page for images × 9 orders × 2 bit orders of records, in the mean view the
// page opens in by itself, and with each image's lines (the "każdy obraz"
// button) for smaller corpora.
//
//     QT_QPA_PLATFORM=offscreen bin/bench_chart
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QRadioButton>
#include <QTest>
#include <random>
#include <string>
#include <vector>

#include "ui/ChartPage.h"

namespace {

std::vector<eks::ResultRecord> Corpus(int images) {
    std::vector<eks::ResultRecord> records;
    records.reserve(static_cast<std::size_t>(images) * 18);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> size(10000, 60000);
    for (const char op : {'B', 'P'})
        for (int i = 0; i < images; ++i)
            for (int order = 1; order <= 9; ++order) {
                eks::ResultRecord r;
                r.path =
                    "/korpus/" + std::to_string(i / 100) + "/obraz" + std::to_string(i) + ".pgm";
                r.item.OpCode = op;
                r.item.ResultOrder = static_cast<std::uint8_t>(order);
                r.item.ResultWidth = 256;
                r.item.ResultHeight = 256;
                r.item.SizeAfter = size(rng);
                records.push_back(std::move(r));
            }
    return records;
}

void SetRecordsAndPaint(benchmark::State& state, bool each) {
    const std::vector<eks::ResultRecord> records = Corpus(static_cast<int>(state.range(0)));
    eks::ChartPage page;
    page.resize(900, 600);
    page.show();
    if (!QTest::qWaitForWindowExposed(&page)) state.SkipWithError("page not shown");
    for (auto _ : state) {
        page.SetRecords({});
        page.SetRecords(records);
        if (each) page.findChild<QRadioButton*>("rbChartEach")->click();
        QApplication::processEvents();
        page.repaint();
    }
    state.counters["records"] = static_cast<double>(records.size());
}
BENCHMARK_CAPTURE(SetRecordsAndPaint, mean, false)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SetRecordsAndPaint, each, true)
    ->Arg(50)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
