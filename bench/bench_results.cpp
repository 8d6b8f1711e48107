// "Wczytaj wyniki" on a cluster's CSV: 10,000 images coded at orders 1-9 in
// both bit orders, 180,000 rows in the layout the window and
// eksperymenty-seria write (CsvText), read back and shown. Timed apart: the
// reading (ReadResultsCsv), the table (the records appended to the model of
// a shown list), the chart's SetRecords, and the whole click on the window's
// button (table, chart and status bar); then scrolling the loaded list by
// the keyboard. Offscreen, from a Release build:
//
//     QT_QPA_PLATFORM=offscreen bin/bench_results
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <random>
#include <string>

#include "core/ByteStream.h"
#include "results/Csv.h"
#include "results/CsvReader.h"
#include "ui/ChartPage.h"
#include "ui/Platform.h"
#include "ui/ResultsModel.h"
#include "ui/main.h"

using namespace eks;

namespace {

constexpr int kImages = 10000;

// Records as a series writes them: per image B at orders 1-9, then P; sizes
// of plausible photographs and of what an order-N coder makes of them.
std::vector<ResultRecord> ClusterRecords() {
    const int sides[] = {256, 384, 512, 640, 768, 1024};
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> spread(-0.4, 0.4);
    std::vector<ResultRecord> records;
    records.reserve(kImages * 18);
    for (int image = 0; image < kImages; ++image) {
        const int width = sides[rng() % 6], height = sides[rng() % 6];
        const std::string name = "obraz_" + std::to_string(100000 + image).substr(1) + ".pgm";
        const std::string header =
            "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
        const double base = 6.5 + spread(rng);
        for (const char op : {'B', 'P'})
            for (int order = 1; order <= 9; ++order) {
                ResultRecord r;
                r.path = "/scratch/klaster/zdjecia/" + name;
                r.item.CurrentName = name;
                r.item.OpCode = op;
                r.item.ResultOrder = static_cast<std::uint8_t>(order);
                r.item.ResultWidth = width;
                r.item.ResultHeight = height;
                r.item.SizeBefore = static_cast<std::int64_t>(header.size()) + width * height;
                const double bpp = base - (op == 'P' ? 0.6 : 0.2) * std::log2(order + 1.0);
                r.item.SizeAfter = 5 + static_cast<std::int64_t>(bpp * width * height / 8 *
                                                                 (1 + spread(rng) / 20));
                r.check = CheckState::Passed;
                records.push_back(std::move(r));
            }
    }
    return records;
}

struct ClusterCsv {
    ClusterCsv() {
        path = dir.filePath("klaster.csv").toStdString();
        const std::string text = CsvText(ClusterRecords());
        WriteWholeFile(path, text.data(), text.size());
    }
    QTemporaryDir dir;
    std::string path;
};

const ClusterCsv& Csv() {
    static const ClusterCsv csv;
    return csv;
}

void ReadCsv(benchmark::State& state) {
    for (auto _ : state) {
        const std::vector<ResultRecord> records = ReadResultsCsv(Csv().path);
        benchmark::DoNotOptimize(records.data());
    }
}
BENCHMARK(ReadCsv)->Unit(benchmark::kMillisecond);

// As the window's table: the list shown, the records appended in one go,
// the list laid out and painted.
void ReadIntoTable(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<ResultsModel>(Separators{});
        auto list = std::make_unique<ReportList>(ResultsModel::MinimumWidths());
        list->setModel(model.get());
        list->resize(600, 400);
        list->show();
        QApplication::processEvents();
        state.ResumeTiming();
        model->Append(ReadResultsCsv(Csv().path));
        list->viewport()->repaint();
        QApplication::processEvents();
        if (model->rowCount() != kImages * 18) state.SkipWithError("rows missing");
        state.PauseTiming();
        list.reset();
        model.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ReadIntoTable)->Unit(benchmark::kMillisecond);

// The chart's share of the window's load: the page drawn from the records.
void ChartSetRecords(benchmark::State& state) {
    const std::vector<ResultRecord> records = ReadResultsCsv(Csv().path);
    ChartPage chart;
    chart.resize(600, 400);
    chart.show();
    for (auto _ : state) {
        chart.SetRecords(records);
        QApplication::processEvents();
    }
}
BENCHMARK(ChartSetRecords)->Unit(benchmark::kMillisecond)->Iterations(1);

// A window in a folder of its own, its dialogs and messages answered here.
struct Window {
    Window() {
        for (const char* program : {"arith-n.exe", "earith-n.exe"})
            WriteWholeFile(dir.filePath(program).toStdString(), "", 0);
        form = std::make_unique<TForm1>(dir.path() + "/");
        form->show();
        QApplication::processEvents();
    }
    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;
};

// The whole click on "Wczytaj wyniki": reading, table, chart, status bar.
void WindowLoad(benchmark::State& state) {
    SetOpenFileFn([](const OpenDialogSpec&) { return QString::fromStdString(Csv().path); });
    SetMessageBoxFn([](MessageKind, const QString&, const QString&) { return MessageButton::Ok; });
    for (auto _ : state) {
        state.PauseTiming();
        auto window = std::make_unique<Window>();
        auto* load = window->form->findChild<QPushButton*>("btnLoad");
        state.ResumeTiming();
        load->click();
        QApplication::processEvents();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(WindowLoad)->Unit(benchmark::kMillisecond)->Iterations(1);

// The loaded list scrolled to its end and back by the keyboard, painted
// each time.
void ScrollLoadedList(benchmark::State& state) {
    ResultsModel model{Separators{}};
    model.Append(ReadResultsCsv(Csv().path));
    ReportList list(ResultsModel::MinimumWidths());
    list.setModel(&model);
    list.resize(600, 400);
    list.show();
    list.setCurrentIndex(model.index(0, 0));
    QApplication::processEvents();
    for (auto _ : state) {
        for (const Qt::Key key : {Qt::Key_End, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_PageDown}) {
            QTest::keyClick(&list, key);
            list.viewport()->repaint();
        }
    }
}
BENCHMARK(ScrollLoadedList)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    benchmark::Initialize(&argc, argv);
    Csv();  // written before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
