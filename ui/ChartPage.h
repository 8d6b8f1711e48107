#pragma once

// The page "Wykres": the bits per pixel after coding against the coder order,
// one line per image and bit order, drawn from the rows of the results table.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

class QChart;
class QChartView;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace eks {

// What the window keeps with each results row for the chart: the raw sizes,
// not the row's display texts. opCode is 'B', 'P' or 'D'.
struct ChartRow {
    std::string imagePath;
    char opCode;
    int order;
    std::int64_t sizeAfter;
    std::int64_t pixels;
};

// One plotted step: bpp = sizeAfter × 8 / pixels. The raw sizes stay with it
// so that a value shown from the chart reads exactly as in the table.
struct ChartPoint {
    int order;
    double bpp;
    std::int64_t sizeAfter;
    std::int64_t pixels;
};

// One line: every coding of one image (known by its full path) in one bit
// order, sorted by order. name is what the legend shows, in UTF-8.
struct ChartSeries {
    std::string imagePath;
    char opCode;
    std::string name;
    std::vector<ChartPoint> points;
};

// The chart's lines from the rows in table order. Lines come in the order of
// their first row. Decode rows and rows without pixels are left out; when
// one image, bit order and order appear more than once, the later row counts.
// A line is named by the image's file name and its bit order,
// "obraz.pgm — bez przeplotu (B)"; two images of the same file name in
// different folders are told apart by as many folders as it takes,
// "a/obraz.pgm — z przeplotem (P)".
std::vector<ChartSeries> BuildChartSeries(const std::vector<ChartRow>& rows);

class ChartPage : public QWidget {
    Q_OBJECT
  public:
    explicit ChartPage(QWidget* parent = nullptr);

    // Draws the chart anew from the rows of the results table, in table
    // order, with the separators of the default locale.
    void SetRows(const std::vector<ChartRow>& rows);

    // The text shown last for the point under the pointer, empty before any.
    QString LastHoverText() const { return lastHoverText_; }

    void btnSaveChartClick();

  private:
    void ShowHover(QLineSeries* series, int line, const QPointF& where, bool entered);

    QChart* chart_ = nullptr;
    QChartView* ChartView = nullptr;
    QValueAxis* axisX_ = nullptr;
    QValueAxis* axisY_ = nullptr;
    QPushButton* btnSaveChart = nullptr;
    std::vector<ChartSeries> lines_;
    QString lastHoverText_;
    QString chartName_ = "wykres.png";
};

}  // namespace eks
