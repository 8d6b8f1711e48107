#pragma once

// The page "Wykres": the bits per pixel after coding against the coder order,
// one line per image and bit order, drawn from the window's result records.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "analysis/Analysis.h"
#include "results/ResultRow.h"

class QCheckBox;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QPushButton;

namespace eks {

// One plotted step: bpp = sizeAfter × 8 / pixels. The raw sizes stay with it
// so that a value shown from the chart reads exactly as in the table.
struct ChartPoint {
    int order;
    double bpp;
    std::int64_t sizeAfter;
    std::int64_t pixels;
};

// One line: every coding of one image (known by its full path) in one bit
// order, sorted by order. `image` numbers the images from 0 in the order
// they first appear and picks the line's colour and marker; `label` is the
// image's name in the legend and `name` the line's, both in UTF-8.
struct ChartSeries {
    std::string imagePath;
    char opCode;
    int image;
    std::string label;
    std::string name;
    std::vector<ChartPoint> points;
};

// The chart's lines from the records in table order. Lines come in the order
// of their first record. Decodes, records without pixels and records of jobs
// that wrote no container are left out; when one image, bit order and order
// appear more than once, the later record counts. An image is labelled by its
// file name, "obraz.pgm"; two images of the same file name in different
// folders are told apart by as many folders as it takes, "a/obraz.pgm". A
// line is named by its image and its bit order, "a/obraz.pgm — z przeplotem (P)".
std::vector<ChartSeries> BuildChartSeries(const std::vector<ResultRecord>& records);

// How the lines of one image look: both of its bit orders share the colour
// and the marker, the bit order shows in the line's dashes. Eight colours
// that colour-blind readers tell apart, then the same colours with another
// marker shape for every further eight images, then the shapes hollow; the
// looks repeat only after 96 images.
enum class MarkerShape { Circle, Square, Triangle, Diamond, TriangleDown, Star };
struct ChartLook {
    QColor colour;
    MarkerShape shape;
    bool hollow;
};
ChartLook LookOfImage(int image);

// The reference figures of one image's file, in bits per pixel: the kt figure
// and the conditional entropy of a plain order-N model per bit order (index
// 0 pixel order B, 1 plane order P; then by order) and the pixels' H0. A file
// that is gone, or has changed since it was first plotted, has none.
struct ChartReferences {
    enum class State { Pending, Ready, Changed, Gone };
    State state = State::Pending;
    std::array<std::array<double, kAnalysisMaxOrder + 1>, 2> kt{};
    std::array<std::array<double, kAnalysisMaxOrder + 1>, 2> condEntropy{};
    double h0 = 0;
};
// By the image's full path; empty when the references are not shown.
using ChartReferenceMap = std::map<std::string, ChartReferences>;

// The figures of the PGM file at `path`, computed from its bits as the
// encode job would expand them; Gone when it cannot be read or has no pixels.
// Throws AnalysisCancelled.
ChartReferences ComputeChartReferences(const std::string& path, const AnalysisControl& control);

// The legend: one entry per image (its colour and marker), one per bit order
// (solid, dashed) and one for the 8 bpp of an uncoded image; with references,
// the image's entry says why it has none, and the three kinds of reference
// line have an entry each. The lines themselves have no entry.
struct ChartLegendEntry {
    enum Kind { Image, BitOrder, Raw, Reference };
    Kind kind;
    QString text;
    int image;  // an Image entry's image, -1 for the others
    QPen pen;   // the line of a BitOrder or Raw entry, at the screen's width
};
std::vector<ChartLegendEntry> ChartLegendEntries(const std::vector<ChartSeries>& lines,
                                                const ChartReferenceMap& references = {});

// Where the entries of a saved chart's legend go, relative to the legend's
// top left corner: one box per entry, its symbol then its whole text in
// `font`, flowing from left to right into centred rows no wider than `width`,
// as many rows as it takes. Only an entry wider than `width` on its own gets
// a row that is wider.
std::vector<QRect> LayoutChartLegend(const std::vector<ChartLegendEntry>& entries,
                                     const QFont& font, int width);

// The chart as it is saved: at least kChartImageWidth × kChartPlotHeight
// whatever the window's size, the legend below the plot with every name in
// full, on white.
inline constexpr int kChartImageWidth = 1600;
inline constexpr int kChartPlotHeight = 1000;
QImage RenderChartImage(const std::vector<ChartSeries>& lines,
                        const ChartReferenceMap& references = {});

// A reference line drawn, for the value under the pointer.
struct ChartReferenceLine {
    QString name;
    QLineSeries* series;
    std::vector<QPointF> points;  // (order, bpp); H0's two ends
    bool h0;
};

class ChartPage : public QWidget {
    Q_OBJECT
  public:
    explicit ChartPage(QWidget* parent = nullptr);
    ~ChartPage() override;

    // Draws the chart anew from the window's records, in table order, with
    // the separators of the default locale.
    void SetRecords(const std::vector<ResultRecord>& records);

    // The text shown last for the point under the pointer, empty before any.
    QString LastHoverText() const { return lastHoverText_; }

    void btnSaveChartClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowHoverAt(const QPointF& pointer);
    void HideHover();
    // The value of a reference line near the pointer, when no line of the
    // coder is near it.
    void ShowReferenceAt(const QPointF& pointer);
    void ShowHoverText(const QPointF& where);
    // Draws the lines and, when ticked, the references known so far; starts
    // the computation of those still missing.
    void Redraw();
    void ReferencesComputed(std::vector<std::pair<std::string, ChartReferences>> computed);
    void StopReferences();

    // A file as it was: its size and modification time, or none.
    struct FileStamp {
        bool exists = false;
        qint64 size = 0;
        qint64 modified = 0;
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp StampOf(const std::string& path);

    QChartView* ChartView = nullptr;
    QLabel* ChartHover = nullptr;
    QPushButton* btnSaveChart = nullptr;
    QCheckBox* cbReferences = nullptr;
    std::vector<ChartSeries> lines_;
    std::vector<QLineSeries*> series_;  // the plotted series of lines_, index by index
    std::vector<ChartReferenceLine> referenceLines_;
    ChartReferenceMap references_;  // what is drawn
    // Each image's file as it was when first plotted, and the figures
    // computed, with the file as it was then.
    std::map<std::string, FileStamp> firstSeen_;
    std::map<std::string, std::pair<FileStamp, ChartReferences>> cache_;
    std::thread referenceWorker_;
    std::atomic<bool> referenceCancel_{false};
    bool referencesRunning_ = false;
    QString lastHoverText_;
    QString chartName_ = "wykres.png";
};

}  // namespace eks
