#include "ui/ChartPage.h"

#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineF>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>

#include "core/BitSequence.h"
#include "core/Error.h"
#include "jobs/Series.h"
#include "results/NumberFormat.h"
#include "ui/Platform.h"

namespace eks {

namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "\\/:";
#else
constexpr const char* kSeparators = "/";
#endif

// The last `parts` components of a path, or the whole path when it has no
// more than that.
std::string PathTail(const std::string& path, int parts) {
    std::size_t cut = path.size();
    for (int i = 0; i < parts; ++i) {
        if (cut == 0) return path;
        const std::size_t sep = path.find_last_of(kSeparators, cut - 1);
        if (sep == std::string::npos) return path;
        cut = sep;
    }
    return path.substr(cut + 1);
}

const char* BitOrderText(char opCode) {
    return opCode == 'B' ? "bez przeplotu (B)" : "z przeplotem (P)";
}

// The shortest tail of the image's path that no other image shares.
std::string ImageLabel(const std::string& path, const std::vector<std::string>& images) {
    for (int parts = 1;; ++parts) {
        const std::string tail = PathTail(path, parts);
        const bool shared =
            std::any_of(images.begin(), images.end(), [&](const std::string& other) {
                return other != path && PathTail(other, parts) == tail;
            });
        if (!shared || tail == path) return tail;
    }
}

// Okabe and Ito's colours, the ones that read well on white first and apart
// from their nearest neighbours (blue from sky blue, orange from vermillion);
// the pale yellow last.
constexpr std::array<QRgb, 8> kImageColours = {0x0072B2, 0xE69F00, 0x009E73, 0xD55E00,
                                               0xCC79A7, 0x56B4E9, 0x000000, 0xF0E442};
constexpr int kShapes = 6;

// The neutral grey of the bit order entries, and the lighter one of the
// 8 bpp line, which is dotted so that it is not taken for a plane-order line.
const QColor kStyleGrey(80, 80, 80);
const QColor kRawGrey(140, 140, 140);

// Sizes on the screen; a saved chart multiplies them all by kSavedScale.
constexpr qreal kLineWidth = 2.0;
constexpr qreal kRawWidth = 1.5;
constexpr qreal kMarkerSize = 10.0;
constexpr qreal kSavedScale = 1.6;

// A plane-order line is dashed, a pixel-order line solid. The dashes are short
// enough that the legend's short sample of the line shows two of them; flat
// ends keep the gaps as wide as the pattern says.
QPen LinePen(char opCode, const QColor& colour, qreal width) {
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::RoundJoin);
    if (opCode == 'P') {
        pen.setCapStyle(Qt::FlatCap);
        pen.setDashPattern({2.5, 1.5});
    }
    return pen;
}

QPen RawPen(qreal width) {
    QPen pen(kRawGrey, width, Qt::DotLine);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

// An image's marker filling `box`. Filled shapes get a darker edge so that
// the yellow ones stay visible on white.
void PaintMarker(QPainter& painter, const QRectF& box, const ChartLook& look) {
    const qreal edge = box.width() / (look.hollow ? 5.0 : 10.0);
    const QRectF r = box.adjusted(edge / 2, edge / 2, -edge / 2, -edge / 2);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(look.hollow ? look.colour : look.colour.darker(150), edge, Qt::SolidLine,
                        Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(look.hollow ? QColor(Qt::white) : look.colour);
    const QPointF c = r.center();
    const qreal h = r.width() / 2;
    switch (look.shape) {
        case MarkerShape::Circle:
            painter.drawEllipse(r);
            break;
        case MarkerShape::Square:
            // A square as wide as the circle looks bigger than it.
            painter.drawRect(QRectF(c.x() - h * 0.85, c.y() - h * 0.85, h * 1.7, h * 1.7));
            break;
        case MarkerShape::Triangle:
            painter.drawPolygon(QPolygonF({QPointF(c.x(), r.top()), QPointF(r.right(), r.bottom()),
                                           QPointF(r.left(), r.bottom())}));
            break;
        case MarkerShape::TriangleDown:
            painter.drawPolygon(QPolygonF({QPointF(r.left(), r.top()), QPointF(r.right(), r.top()),
                                           QPointF(c.x(), r.bottom())}));
            break;
        case MarkerShape::Diamond:
            painter.drawPolygon(QPolygonF({QPointF(c.x(), r.top()), QPointF(r.right(), c.y()),
                                           QPointF(c.x(), r.bottom()), QPointF(r.left(), c.y())}));
            break;
        case MarkerShape::Star: {
            QPolygonF star;
            for (int i = 0; i < 10; ++i) {
                const qreal radius = i % 2 == 0 ? h : h * 0.45;
                const qreal angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
                star << QPointF(c.x() + radius * std::cos(angle), c.y() + radius * std::sin(angle));
            }
            painter.drawPolygon(star);
            break;
        }
    }
    painter.restore();
}

// The marker as the image a series draws at each point, three times as large
// as it shows so that it scales down smoothly.
QImage MarkerImage(const ChartLook& look, qreal size) {
    const int side = static_cast<int>(std::ceil(size * 3));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    PaintMarker(painter, QRectF(0, 0, side, side), look);
    return image;
}

// The reference lines: thinner than the lines of the coder, kt in dashes and
// dots, the conditional entropy dotted, H0 solid.
enum class ReferenceKind { Kt, Entropy, H0 };
QPen ReferencePen(ReferenceKind kind, const QColor& colour, qreal scale) {
    QPen pen(colour, 1.2 * scale);
    pen.setCapStyle(Qt::FlatCap);
    if (kind == ReferenceKind::Kt) pen.setDashPattern({6, 2, 1.5, 2});
    if (kind == ReferenceKind::Entropy) pen.setDashPattern({1.5, 2});
    if (kind == ReferenceKind::H0) pen.setWidthF(2.0 * scale);
    return pen;
}

QPen Scaled(QPen pen, qreal scale) {
    pen.setWidthF(pen.widthF() * scale);
    return pen;
}

QFont ChartFont(qreal pointSize, qreal scale, bool bold = false) {
    QFont font;
    font.setPointSizeF(pointSize * scale);
    font.setBold(bold);
    return font;
}

// Fills `chart` anew with the lines, the axes and the legend's entries, at
// `scale` times the screen's sizes; the screen and the saved chart are both
// made here. Returns the series of the lines, index by index.
std::vector<QLineSeries*> FillChart(QChart& chart, const std::vector<ChartSeries>& lines,
                                    const ChartReferenceMap& references, qreal scale,
                                    std::vector<ChartReferenceLine>* referenceLines = nullptr) {
    chart.removeAllSeries();
    chart.setLocale(QLocale());
    chart.setLocalizeNumbers(true);
    chart.setBackgroundRoundness(0);
    chart.setTitleFont(ChartFont(11, scale, true));
    chart.setTitle(lines.empty() ? QString::fromUtf8("Brak wyników kodowania") : QString());
    // Lines show as a short sample of their pen, images as their marker.
    chart.legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);

    // The axes stay from one filling to the next: a removed axis leaves its
    // drawing behind in the view until the view has caught up.
    const auto axis = [&](Qt::Orientation orientation, Qt::Alignment alignment) {
        const QList<QAbstractAxis*> axes = chart.axes(orientation);
        if (!axes.isEmpty()) return static_cast<QValueAxis*>(axes.front());
        auto* created = new QValueAxis;
        chart.addAxis(created, alignment);
        return created;
    };
    QValueAxis* axisX = axis(Qt::Horizontal, Qt::AlignBottom);
    QValueAxis* axisY = axis(Qt::Vertical, Qt::AlignLeft);
    axisX->setTitleText(QString::fromUtf8("Rząd kodera"));
    // Whole orders; "%d" draws no labels at all once numbers are localised.
    axisX->setLabelFormat("%.0f");
    axisY->setTitleText("Bity na piksel");
    axisY->setLabelFormat("%.1f");
    for (QValueAxis* a : {axisX, axisY}) {
        a->setTitleFont(ChartFont(9, scale));
        a->setLabelsFont(ChartFont(8, scale));
    }

    // The coder's orders 1 to 9 always, wider when a record lies outside them;
    // the bits per pixel from 0 to above the raw 8 bpp.
    int first = 1;
    int last = 9;
    double top = 8.0;
    for (const ChartSeries& line : lines) {
        for (const ChartPoint& p : line.points) {
            first = std::min(first, p.order);
            last = std::max(last, p.order);
            top = std::max(top, p.bpp);
        }
    }
    for (const auto& [path, refs] : references) {
        if (refs.state != ChartReferences::State::Ready) continue;
        for (const auto& figures :
             {refs.kt[0], refs.kt[1], refs.condEntropy[0], refs.condEntropy[1]})
            for (int order = first; order <= std::min(last, kAnalysisMaxOrder); ++order)
                top = std::max(top, figures[order]);
    }
    axisX->setRange(first, last);
    axisX->setTickCount(last - first + 1);
    axisY->setRange(0.0, top * 1.08);
    axisY->applyNiceNumbers();

    const auto add = [&](QLineSeries* series) {
        chart.addSeries(series);
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    };
    const auto mark = [&](QLineSeries* series, int image) {
        series->setPointsVisible(true);
        series->setMarkerSize(kMarkerSize * scale);
        series->setLightMarker(MarkerImage(LookOfImage(image), kMarkerSize * scale));
    };

    std::vector<QLineSeries*> plotted;
    for (const ChartSeries& line : lines) {
        auto* series = new QLineSeries;
        // Named as an object only: a series' name widens the legend's column
        // even when its entry is hidden.
        series->setObjectName(QString::fromStdString(line.name));
        for (const ChartPoint& p : line.points)
            series->append(p.order, p.bpp);
        series->setPen(LinePen(line.opCode, LookOfImage(line.image).colour, kLineWidth * scale));
        mark(series, line.image);
        add(series);
        // The legend names images and bit orders, not every line.
        for (QLegendMarker* marker : chart.legend()->markers(series))
            marker->setVisible(false);
        plotted.push_back(series);
    }

    // The references of each image and bit order: thin lines of the line's
    // colour, lighter; H0 once per image, a short line at the right.
    std::vector<int> h0Drawn;
    for (const ChartSeries& line : lines) {
        const auto found = references.find(line.imagePath);
        if (found == references.end() || found->second.state != ChartReferences::State::Ready)
            continue;
        const ChartReferences& refs = found->second;
        const QColor colour = LookOfImage(line.image).colour.lighter(130);
        const int bits = line.opCode == 'B' ? 0 : 1;
        const auto draw = [&](const QString& name, ReferenceKind kind,
                              const std::vector<QPointF>& points) {
            auto* series = new QLineSeries;
            series->setObjectName(name);
            for (const QPointF& p : points)
                series->append(p);
            series->setPen(ReferencePen(kind, colour, scale));
            add(series);
            for (QLegendMarker* marker : chart.legend()->markers(series))
                marker->setVisible(false);
            if (referenceLines)
                referenceLines->push_back({name, series, points, kind == ReferenceKind::H0});
        };
        const QString name = QString::fromStdString(line.name);
        std::vector<QPointF> kt, entropy;
        for (int order = 1; order <= kAnalysisMaxOrder; ++order) {
            kt.emplace_back(order, refs.kt[bits][order]);
            entropy.emplace_back(order, refs.condEntropy[bits][order]);
        }
        draw(name + " — kt", ReferenceKind::Kt, kt);
        draw(name + QString::fromUtf8(" — entropia warunkowa"), ReferenceKind::Entropy, entropy);
        if (std::find(h0Drawn.begin(), h0Drawn.end(), line.image) == h0Drawn.end()) {
            h0Drawn.push_back(line.image);
            draw(QString::fromStdString(line.label) + " — H0", ReferenceKind::H0,
                 {QPointF(last - 0.6, refs.h0), QPointF(last, refs.h0)});
        }
    }

    for (const ChartLegendEntry& entry : ChartLegendEntries(lines, references)) {
        auto* series = new QLineSeries;
        series->setName(entry.text);
        if (entry.kind == ChartLegendEntry::Image) {
            series->setPen(QPen(Qt::transparent, kLineWidth * scale));
            mark(series, entry.image);
        } else {
            series->setPen(Scaled(entry.pen, scale));
        }
        if (entry.kind == ChartLegendEntry::Raw) {
            series->append(first, 8.0);
            series->append(last, 8.0);
        }
        add(series);
    }
    return plotted;
}

// The parts of a legend entry's box, for a font of the given metrics.
struct LegendMetrics {
    explicit LegendMetrics(const QFontMetrics& fm)
        : symbol(fm.height() * 5 / 2),
          gap(fm.height() / 2),
          spacing(fm.height() * 3 / 2),
          row(fm.height() * 8 / 5) {}
    int symbol;   // the sample of the line or the marker
    int gap;      // between the symbol and the text
    int spacing;  // between two entries of a row
    int row;      // the height of a row
};

// Distance from p to the segment a–b.
qreal DistanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b) {
    const QPointF ab = b - a;
    const qreal length2 = QPointF::dotProduct(ab, ab);
    const qreal t =
        length2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length2, 0.0, 1.0) : 0.0;
    return QLineF(p, a + t * ab).length();
}

}  // namespace

std::vector<ChartSeries> BuildChartSeries(const std::vector<ResultRecord>& records) {
    std::vector<ChartSeries> lines;
    std::vector<std::string> images;  // full paths, in the order met
    // Per line, its points by order: a later record replaces an earlier one.
    std::vector<std::map<int, ChartPoint>> steps;
    for (const ResultRecord& record : records) {
        const char op = record.item.OpCode;
        const std::int64_t pixels = record.Pixels();
        if ((op != 'B' && op != 'P') || pixels <= 0 || !record.hasContainer) continue;
        auto line = std::find_if(lines.begin(), lines.end(), [&](const ChartSeries& s) {
            return s.imagePath == record.path && s.opCode == op;
        });
        if (line == lines.end()) {
            auto image = std::find(images.begin(), images.end(), record.path);
            if (image == images.end()) image = images.insert(images.end(), record.path);
            lines.push_back(
                {record.path, op, static_cast<int>(image - images.begin()), {}, {}, {}});
            steps.emplace_back();
            line = lines.end() - 1;
        }
        const int order = record.item.ResultOrder;
        const std::int64_t sizeAfter = record.item.SizeAfter;
        const double bpp = static_cast<double>(sizeAfter) * 8.0 / static_cast<double>(pixels);
        steps[line - lines.begin()][order] = {order, bpp, sizeAfter, pixels};
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        for (const auto& [order, point] : steps[i])
            lines[i].points.push_back(point);
        lines[i].label = ImageLabel(lines[i].imagePath, images);
        lines[i].name = lines[i].label + " — " + BitOrderText(lines[i].opCode);
    }
    return lines;
}

ChartReferences ComputeChartReferences(const std::string& path, const AnalysisControl& control) {
    ChartReferences refs;
    refs.state = ChartReferences::State::Gone;
    const SeriesImage image = LoadSeriesImage(path);
    const AnalysisImage analysed = AnalysisImageOf(image);
    const auto pixels = static_cast<double>(analysed.Pixels());
    if (!image.error.empty() || pixels == 0) return refs;
    const ImageReferences figures = ComputeImageReferences(analysed, control);
    for (const BitOrder order : {BitOrder::PixelMajor, BitOrder::PlaneMajor}) {
        const int index = order == BitOrder::PixelMajor ? 0 : 1;
        for (int n = 1; n <= kAnalysisMaxOrder; ++n) {
            refs.kt[index][n] = figures.Of(order).kt[n] / pixels;
            refs.condEntropy[index][n] = figures.Of(order).condEntropy[n] / pixels;
        }
    }
    refs.h0 = figures.h0Bits / pixels;
    refs.state = ChartReferences::State::Ready;
    return refs;
}

ChartLook LookOfImage(int image) {
    const int n = std::max(image, 0);
    const int colours = static_cast<int>(kImageColours.size());
    return {QColor(kImageColours[n % colours]), static_cast<MarkerShape>(n / colours % kShapes),
            n / (colours * kShapes) % 2 == 1};
}

std::vector<ChartLegendEntry> ChartLegendEntries(const std::vector<ChartSeries>& lines,
                                                 const ChartReferenceMap& references) {
    std::vector<ChartLegendEntry> entries;
    bool pixelOrder = false;
    bool planeOrder = false;
    bool referenced = false;
    for (const ChartSeries& line : lines) {
        const bool known = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
            return entry.image == line.image;
        });
        QString text = QString::fromStdString(line.label);
        if (const auto found = references.find(line.imagePath); found != references.end()) {
            switch (found->second.state) {
                case ChartReferences::State::Ready:
                    referenced = true;
                    break;
                case ChartReferences::State::Changed:
                    text += QString::fromUtf8(" (plik zmieniony)");
                    break;
                case ChartReferences::State::Gone:
                    text += QString::fromUtf8(" (brak pliku)");
                    break;
                case ChartReferences::State::Pending:
                    break;
            }
        }
        if (!known) entries.push_back({ChartLegendEntry::Image, text, line.image, QPen()});
        (line.opCode == 'B' ? pixelOrder : planeOrder) = true;
    }
    // Only the bit orders drawn: an entry for a dashed line that is nowhere
    // to be seen would only puzzle.
    for (char op : {'B', 'P'}) {
        if (op == 'B' ? pixelOrder : planeOrder)
            entries.push_back({ChartLegendEntry::BitOrder, QString::fromUtf8(BitOrderText(op)), -1,
                               LinePen(op, kStyleGrey, kLineWidth)});
    }
    if (!lines.empty())
        entries.push_back({ChartLegendEntry::Raw, "8 bpp (bez kompresji)", -1, RawPen(kRawWidth)});
    if (referenced) {
        entries.push_back({ChartLegendEntry::Reference, "kt", -1,
                           ReferencePen(ReferenceKind::Kt, kStyleGrey, 1.0)});
        entries.push_back({ChartLegendEntry::Reference, QString::fromUtf8("entropia warunkowa"), -1,
                           ReferencePen(ReferenceKind::Entropy, kStyleGrey, 1.0)});
        entries.push_back({ChartLegendEntry::Reference, "H0", -1,
                           ReferencePen(ReferenceKind::H0, kStyleGrey, 1.0)});
    }
    return entries;
}

std::vector<QRect> LayoutChartLegend(const std::vector<ChartLegendEntry>& entries,
                                     const QFont& font, int width) {
    const QFontMetrics fm(font);
    const LegendMetrics m(fm);
    std::vector<QRect> boxes;
    std::size_t rowStart = 0;
    int x = 0;
    int y = 0;
    // Centres the row that ends before entry `end`.
    const auto closeRow = [&](std::size_t end) {
        const int shift = std::max(0, (width - x) / 2);
        for (std::size_t i = rowStart; i < end; ++i)
            boxes[i].translate(shift, 0);
        rowStart = end;
        x = 0;
        y += m.row;
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int w = m.symbol + m.gap + fm.horizontalAdvance(entries[i].text) + 1;
        const int start = x == 0 ? 0 : x + m.spacing;
        if (x > 0 && start + w > width) {
            closeRow(i);
            boxes.emplace_back(0, y, w, m.row);
            x = w;
        } else {
            boxes.emplace_back(start, y, w, m.row);
            x = start + w;
        }
    }
    if (x > 0) closeRow(entries.size());
    return boxes;
}

QImage RenderChartImage(const std::vector<ChartSeries>& lines,
                        const ChartReferenceMap& references) {
    QGraphicsScene scene;
    auto* chart = new QChart;  // the scene owns it
    scene.addItem(chart);
    FillChart(*chart, lines, references, kSavedScale);
    // QLegend elides the names of a legend in a row; the legend below is
    // painted here instead, in as many rows as its names need.
    chart->legend()->hide();
    chart->setMargins(QMargins(24, 24, 32, 8));

    const std::vector<ChartLegendEntry> entries = ChartLegendEntries(lines, references);
    QFont font;
    font.setPixelSize(20);  // the same size whatever the screen's resolution
    const int margin = 32;
    int width = kChartImageWidth;
    std::vector<QRect> boxes = LayoutChartLegend(entries, font, width - 2 * margin);
    int widest = 0;
    for (const QRect& box : boxes)
        widest = std::max(widest, box.width());
    if (widest > width - 2 * margin) {
        width = widest + 2 * margin;
        boxes = LayoutChartLegend(entries, font, width - 2 * margin);
    }
    const int legendHeight = boxes.empty() ? 0 : boxes.back().bottom() + 1 + margin;

    chart->setGeometry(0, 0, width, kChartPlotHeight);
    QImage image(width, kChartPlotHeight + legendHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    const QRectF plot(0, 0, width, kChartPlotHeight);
    scene.render(&painter, plot, plot);

    painter.translate(margin, kChartPlotHeight);
    painter.setFont(font);
    const LegendMetrics m{QFontMetrics(font)};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ChartLegendEntry& entry = entries[i];
        const QRect& box = boxes[i];
        const QRectF symbol(box.left(), box.top(), m.symbol, box.height());
        if (entry.kind == ChartLegendEntry::Image) {
            const qreal side = kMarkerSize * kSavedScale;
            PaintMarker(painter,
                        QRectF(symbol.center() - QPointF(side / 2, side / 2), QSizeF(side, side)),
                        LookOfImage(entry.image));
        } else {
            painter.setPen(Scaled(entry.pen, kSavedScale));
            painter.drawLine(QLineF(symbol.left() + 2, symbol.center().y(), symbol.right() - 2,
                                    symbol.center().y()));
        }
        painter.setPen(Qt::black);
        painter.drawText(QRect(box.left() + m.symbol + m.gap, box.top(),
                               box.width() - m.symbol - m.gap, box.height()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, entry.text);
    }
    return image;
}

// ------------------------------------------------------------------ page

ChartPage::ChartPage(QWidget* parent) : QWidget(parent) {
    setObjectName("ChartPage");

    auto* chart = new QChart;
    // The page is narrow at the window's start size: little frame, and the
    // legend as a column at the right, whose cut names show in full as tips.
    chart->setMargins(QMargins(6, 6, 6, 6));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setShowToolTips(true);
    QFont small = chart->legend()->font();
    small.setPointSizeF(7.5);
    chart->legend()->setFont(small);

    ChartView = new QChartView(chart, this);  // the view owns the chart
    ChartView->setObjectName("ChartView");
    ChartView->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    // The value under the pointer stays as long as the pointer is on its
    // point or line, which a tool tip does not: it goes after a while and
    // comes back only once the pointer has left. So a label of the page's own
    // follows every move over the view.
    ChartView->viewport()->setMouseTracking(true);
    ChartView->viewport()->installEventFilter(this);
    ChartHover = new QLabel(ChartView->viewport());
    ChartHover->setObjectName("ChartHover");
    ChartHover->setPalette(QToolTip::palette());
    ChartHover->setFont(QToolTip::font());
    ChartHover->setForegroundRole(QPalette::ToolTipText);
    ChartHover->setBackgroundRole(QPalette::ToolTipBase);
    ChartHover->setAutoFillBackground(true);
    ChartHover->setFrameShape(QFrame::Box);
    ChartHover->setMargin(3);
    // Moves over the label are the view's, so that leaving the point hides it.
    ChartHover->setAttribute(Qt::WA_TransparentForMouseEvents);
    ChartHover->hide();

    cbReferences = new QCheckBox(QString::fromUtf8("pokaż odniesienia"), this);
    cbReferences->setObjectName("cbReferences");
    cbReferences->setToolTip(
        QString::fromUtf8("kt, entropia warunkowa i H0 każdego obrazu, policzone z jego pliku"));
    connect(cbReferences, &QCheckBox::toggled, this, [this] { Redraw(); });

    btnSaveChart = new QPushButton("Zapisz wykres", this);
    btnSaveChart->setObjectName("btnSaveChart");
    btnSaveChart->setMinimumSize(84, 25);
    connect(btnSaveChart, &QPushButton::clicked, this, [this] { btnSaveChartClick(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cbReferences);
    buttons->addStretch();
    buttons->addWidget(btnSaveChart);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(ChartView, 1);
    column->addLayout(buttons);

    SetRecords({});
}

ChartPage::~ChartPage() {
    StopReferences();
}

void ChartPage::SetRecords(const std::vector<ResultRecord>& records) {
    lines_ = BuildChartSeries(records);
    for (const ChartSeries& line : lines_)
        if (!firstSeen_.contains(line.imagePath))
            firstSeen_[line.imagePath] = StampOf(line.imagePath);
    Redraw();
}

ChartPage::FileStamp ChartPage::StampOf(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.isFile()) return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch()};
}

void ChartPage::Redraw() {
    HideHover();
    references_.clear();
    std::vector<std::pair<std::string, FileStamp>> missing;
    if (cbReferences->isChecked()) {
        for (const ChartSeries& line : lines_) {
            if (references_.contains(line.imagePath)) continue;
            ChartReferences& refs = references_[line.imagePath];
            const FileStamp now = StampOf(line.imagePath);
            const auto cached = cache_.find(line.imagePath);
            if (!now.exists)
                refs.state = ChartReferences::State::Gone;
            else if (now != firstSeen_[line.imagePath])
                refs.state = ChartReferences::State::Changed;
            else if (cached != cache_.end() && cached->second.first == now)
                refs = cached->second.second;
            else
                missing.emplace_back(line.imagePath, now);
        }
    }
    referenceLines_.clear();
    series_ = FillChart(*ChartView->chart(), lines_, references_, 1.0, &referenceLines_);
    btnSaveChart->setEnabled(!lines_.empty());
    if (missing.empty() || referencesRunning_) return;

    // Off the window's thread: a large image takes a while. What comes back
    // is cached with the file as it was when asked for.
    if (referenceWorker_.joinable()) referenceWorker_.join();
    referenceCancel_ = false;
    referencesRunning_ = true;
    referenceWorker_ = std::thread([this, missing] {
        std::vector<std::pair<std::string, ChartReferences>> computed;
        AnalysisControl control;
        control.cancel = &referenceCancel_;
        try {
            for (const auto& [path, stamp] : missing)
                computed.emplace_back(path, ComputeChartReferences(path, control));
        } catch (const AnalysisCancelled&) {
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this, computed = std::move(computed), missing]() mutable {
                for (std::size_t i = 0; i < computed.size(); ++i)
                    cache_[computed[i].first] = {missing[i].second, computed[i].second};
                ReferencesComputed(std::move(computed));
            },
            Qt::QueuedConnection);
    });
}

void ChartPage::ReferencesComputed(std::vector<std::pair<std::string, ChartReferences>>) {
    if (referenceWorker_.joinable()) referenceWorker_.join();
    referencesRunning_ = false;
    Redraw();
}

void ChartPage::StopReferences() {
    referenceCancel_ = true;
    if (referenceWorker_.joinable()) referenceWorker_.join();
    referencesRunning_ = false;
}

bool ChartPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ChartView->viewport()) {
        switch (event->type()) {
            case QEvent::MouseMove:
                ShowHoverAt(static_cast<QMouseEvent*>(event)->position());
                break;
            case QEvent::Leave:
            case QEvent::Resize:  // the points have moved
                HideHover();
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ChartPage::ShowHoverAt(const QPointF& pointer) {
    // How near, in the view's pixels, the pointer has to be to a marker or to
    // a line between two markers.
    constexpr qreal kMarkerReach = 7.0;
    constexpr qreal kLineReach = 4.0;
    QChart* chart = ChartView->chart();
    const auto inView = [&](std::size_t line, const ChartPoint& p) {
        const QPointF inChart = chart->mapToPosition(QPointF(p.order, p.bpp), series_[line]);
        return ChartView->viewportTransform().map(chart->mapToScene(inChart));
    };

    // The nearest marker within reach, else the nearer end of the nearest
    // segment within reach.
    const ChartSeries* line = nullptr;
    const ChartPoint* point = nullptr;
    QPointF where;
    qreal best = kMarkerReach;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        for (const ChartPoint& p : lines_[i].points) {
            const QPointF at = inView(i, p);
            const qreal d = QLineF(pointer, at).length();
            if (d <= best) {
                best = d;
                line = &lines_[i];
                point = &p;
                where = at;
            }
        }
    }
    if (point == nullptr) {
        best = kLineReach;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const std::vector<ChartPoint>& points = lines_[i].points;
            for (std::size_t k = 1; k < points.size(); ++k) {
                const QPointF a = inView(i, points[k - 1]);
                const QPointF b = inView(i, points[k]);
                const qreal d = DistanceToSegment(pointer, a, b);
                if (d <= best) {
                    best = d;
                    line = &lines_[i];
                    const bool first = QLineF(pointer, a).length() <= QLineF(pointer, b).length();
                    point = &points[first ? k - 1 : k];
                    where = first ? a : b;
                }
            }
        }
    }
    if (point == nullptr) {
        ShowReferenceAt(pointer);
        return;
    }

    const std::string bpp = FormatFixedRatio(point->sizeAfter, 8, point->pixels, kTablePrecision,
                                             QLocale().decimalPoint().toStdString());
    lastHoverText_ =
        QString::fromStdString(line->name) + '\n' +
        QString::fromUtf8("rząd %1: %2 bpp").arg(point->order).arg(QString::fromStdString(bpp));
    ShowHoverText(where);
}

void ChartPage::ShowReferenceAt(const QPointF& pointer) {
    constexpr qreal kReach = 5.0;
    QChart* chart = ChartView->chart();
    const auto inView = [&](const ChartReferenceLine& line, const QPointF& p) {
        return ChartView->viewportTransform().map(
            chart->mapToScene(chart->mapToPosition(p, line.series)));
    };
    const ChartReferenceLine* found = nullptr;
    QPointF value;
    QPointF where;
    qreal best = kReach;
    for (const ChartReferenceLine& line : referenceLines_) {
        for (std::size_t k = 0; k < line.points.size(); ++k) {
            const QPointF at = inView(line, line.points[k]);
            qreal d = QLineF(pointer, at).length();
            if (k > 0)
                d = std::min(d, DistanceToSegment(pointer, inView(line, line.points[k - 1]), at));
            if (d <= best) {
                best = d;
                found = &line;
                // On a segment, the nearer of its ends.
                const bool previous =
                    k > 0 && QLineF(pointer, inView(line, line.points[k - 1])).length() <
                                 QLineF(pointer, at).length();
                value = line.points[previous ? k - 1 : k];
                where = previous ? inView(line, line.points[k - 1]) : at;
            }
        }
    }
    if (found == nullptr) {
        HideHover();
        return;
    }
    const QString bpp = QString::fromStdString(
        FormatFixed(value.y(), kTablePrecision, QLocale().decimalPoint().toStdString()));
    lastHoverText_ = found->name + '\n' +
                     (found->h0 ? QString("%1 bpp").arg(bpp)
                                : QString::fromUtf8("rząd %1: %2 bpp")
                                      .arg(static_cast<int>(std::lround(value.x())))
                                      .arg(bpp));
    ShowHoverText(where);
}

void ChartPage::ShowHoverText(const QPointF& where) {
    ChartHover->setText(lastHoverText_);
    ChartHover->adjustSize();

    // Below and right of the point, turned to the other side where the view
    // ends, never over the point itself.
    const QSize area = ChartView->viewport()->size();
    const QSize size = ChartHover->size();
    constexpr int kOffset = 12;
    const QPoint p = where.toPoint();
    int x = p.x() + kOffset;
    int y = p.y() + kOffset;
    if (x + size.width() > area.width()) x = p.x() - kOffset - size.width();
    if (y + size.height() > area.height()) y = p.y() - kOffset - size.height();
    ChartHover->move(std::max(0, x), std::max(0, y));
    ChartHover->show();
    ChartHover->raise();
}

void ChartPage::HideHover() {
    ChartHover->hide();
}

void ChartPage::btnSaveChartClick() {
    const QString chosen =
        AskSaveFileName({"Zapisz wykres", "Obrazy PNG (*.png)", "png", chartName_}).path;
    if (chosen.isEmpty()) return;
    chartName_ = chosen;
    RunReportingErrors([&] { SavePng(RenderChartImage(lines_, references_), chosen); });
}

}  // namespace eks
