// Whole encode jobs from the window, timed from the click on "Koduj" to the
// row: the fixed wait of the time-out against the wait that ends with the
// coder ("Kończ oczekiwanie, gdy koder skończy pracę"). Run from bin/, where
// the coder programs and the samples stand:
//
//     QT_QPA_PLATFORM=offscreen bin/bench_window [repetitions]
//
// It codes samples/camera.pgm (512 × 512) and a 4096 × 4096 photograph made
// from it (scaled up, with a little noise) at order 9 in plane order; then
// the series of the page "Seria" over the six samples.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeView>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "ui/main.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// camera.pgm scaled up eight times, each pixel with noise of ±2.
void WriteLargePhotograph(const std::string& from, const std::string& to) {
    const std::string file = ReadAll(from);
    const std::string raster = file.substr(file.size() - 512 * 512);
    std::string out = "P5\n4096 4096\n255\n";
    std::mt19937 noise(7);
    std::uniform_int_distribution<int> d(-2, 2);
    out.reserve(out.size() + 4096u * 4096u);
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const int v = static_cast<unsigned char>(raster[(y / 8) * 512 + x / 8]) + d(noise);
            out.push_back(static_cast<char>(std::clamp(v, 0, 255)));
        }
    std::ofstream(to, std::ios::binary) << out;
}

template <class T>
T* Find(QWidget& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

void ClickEntry(QListWidget* list, const QString& text) {
    const QListWidgetItem* item = list->findItems(text, Qt::MatchExactly).value(0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 3;
    const QString appDir = QCoreApplication::applicationDirPath() + "/";
    const std::string large = (appDir + "duze_zdjecie.pgm").toStdString();
    WriteLargePhotograph((appDir + "camera.pgm").toStdString(), large);
    QDir::setCurrent(appDir);

    eks::TForm1 form(appDir);
    form.show();
    Find<QSpinBox>(form, "seOrder")->setValue(9);
    auto* list = Find<QListWidget>(form, "FLB1");
    auto* rows = Find<QTreeView>(form, "ListView")->model();
    auto* endWait = Find<QCheckBox>(form, "cbEndWait");
    for (const char* image : {"camera.pgm", "duze_zdjecie.pgm"}) {
        for (const bool early : {false, true}) {
            if (endWait->isChecked() != early) endWait->click();
            double best = 1e9;
            for (int i = 0; i < repetitions; ++i) {
                ClickEntry(list, image);
                Find<QSpinBox>(form, "seOrder")->setValue(9);
                const int before = rows->rowCount();
                QElapsedTimer timer;
                timer.start();
                QTest::mouseClick(Find<QPushButton>(form, "btnCode"), Qt::LeftButton);
                const double s = timer.nsecsElapsed() / 1e9;
                if (rows->rowCount() != before + 1) {
                    std::fprintf(stderr, "no row for %s\n", image);
                    return 1;
                }
                best = std::min(best, s);
            }
            std::printf("%-18s %-22s best of %d: %.3f s\n", image,
                        early ? "ends with the coder" : "whole time-out", repetitions, best);
        }
    }
    std::remove(large.c_str());

    // The series of the page "Seria" over the six samples: orders 1 to 9, both
    // bit orders, every container checked.
    Find<QCheckBox>(form, "cbSeriesCheck")->setChecked(true);
    QElapsedTimer series;
    series.start();
    const int rowsBefore = rows->rowCount();
    for (const char* image :
         {"astronaut.pgm", "brick.pgm", "camera.pgm", "coins.pgm", "horse.pgm", "text.pgm"}) {
        ClickEntry(list, image);
        Find<QPushButton>(form, "btnSeriesRun")->click();
    }
    std::printf("series of the six samples, orders 1-9, B and P, checked: %d rows in %.3f s\n",
                rows->rowCount() - rowsBefore, series.nsecsElapsed() / 1e9);
    return 0;
}
