#pragma once

// The drawing of the chart of the page "Wykres": the looks of the images'
// lines, the legend, and the chart filled for the screen or saved as an
// image. Both views are drawn here: each image's lines, and for a corpus the
// mean of each bit order with the band from its lowest to its highest image.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QPointF>
#include <QRect>
#include <QString>
#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "analysis/Analysis.h"
#include "results/ChartSeries.h"

class QChart;
class QLegendMarker;
class QLineSeries;

namespace eks {

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

// The colour of a bit order's mean line and band.
QColor MeanColour(char opCode);

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

// Above this many images the records are a corpus: the chart opens in the
// mean view, and its view of each image paints all the lines at once, thin
// and without markers, rather than as a series each; the legend then has no
// entry per image, and the references are drawn only in the mean view.
inline constexpr int kChartManyImages = 50;

// What the chart shows: the lines of each image, or the mean lines of the
// corpus; in the view of each image, the images hidden by a click on their
// legend entry (by path) are left out.
struct ChartContent {
    std::vector<ChartSeries> lines;
    std::vector<ChartMeanLine> means;
    bool mean = false;
    std::set<std::string> hidden;
    ChartReferenceMap references;
};

// The legend: in the view of each image, one entry per image (its colour and
// marker; a hidden image's greyed, "(ukryty)"), one per bit order (solid,
// dashed); in the mean view one per bit order's mean, naming how many images
// it is of, and one for the band. Then one for the 8 bpp of an uncoded image.
// With references, the image's entry says why it has none, and the kinds of
// reference line have an entry each, kt and the conditional entropy once per
// bit order drawn. The lines themselves have no entry.
struct ChartLegendEntry {
    enum Kind { Image, BitOrder, Mean, Band, Raw, Reference, Note };
    Kind kind;
    QString text;
    int image;  // an Image entry's image, -1 for the others
    QPen pen;   // the line of the other entries, at the screen's width
    bool hidden = false;
};
std::vector<ChartLegendEntry> ChartLegendEntries(const ChartContent& content);
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
QImage RenderChartImage(const ChartContent& content);

// A reference line drawn, for the value under the pointer.
struct ChartReferenceLine {
    QString name;
    QLineSeries* series;
    std::vector<QPointF> points;  // (order, bpp); H0's two ends
    bool h0;
};

// The chart filled for the screen: the series of the lines (of each image,
// or the means), index by index, null for a hidden image's; lines painted all
// at once have a series on the same axes, which maps their values as well.
// The legend's markers of the images with their image's path; the reference
// lines.
struct FilledChart {
    std::vector<QLineSeries*> lines;
    std::vector<std::pair<QLegendMarker*, std::string>> imageMarkers;
    std::vector<ChartReferenceLine> references;
};
FilledChart FillChart(QChart& chart, const ChartContent& content, qreal scale = 1.0);

// Distance from p to the segment a–b.
qreal DistanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b);

}  // namespace eks
