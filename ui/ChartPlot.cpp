#include "ui/ChartPlot.h"

#include <QAreaSeries>
#include <QChart>
#include <QFontMetrics>
#include <QGraphicsObject>
#include <QGraphicsScene>
#include <QLegend>
#include <QLegendMarker>
#include <QLineF>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QPolygonF>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace eks {

namespace {

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
// dots, the conditional entropy dotted, H0 solid. Those of plane order P
// double the dots, so that the references of the two bit orders of one
// image, drawn in its colour, are told apart.
enum class ReferenceKind { Kt, Entropy, H0 };
QPen ReferencePen(ReferenceKind kind, char opCode, const QColor& colour, qreal scale) {
    QPen pen(colour, 1.2 * scale);
    pen.setCapStyle(Qt::FlatCap);
    const bool planes = opCode == 'P';
    if (kind == ReferenceKind::Kt)
        pen.setDashPattern(planes ? QList<qreal>{6, 2, 1.5, 2, 1.5, 2}
                                  : QList<qreal>{6, 2, 1.5, 2});
    if (kind == ReferenceKind::Entropy)
        pen.setDashPattern(planes ? QList<qreal>{1.5, 1.5, 1.5, 4.5} : QList<qreal>{1.5, 2});
    if (kind == ReferenceKind::H0) pen.setWidthF(2.0 * scale);
    return pen;
}

QString ReferenceText(ReferenceKind kind, char opCode) {
    const QString order = opCode == 'B' ? " (B)" : " (P)";
    return kind == ReferenceKind::Kt ? "kt" + order
                                     : QString::fromUtf8("entropia warunkowa") + order;
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

// The colours of the mean lines: B blue, P vermillion, both of the images'
// palette; the band is the line's colour, faint.
constexpr QRgb kMeanColours[2] = {0x0072B2, 0xD55E00};
constexpr int kBandAlpha = 50;

// The orders are drawn with this much room beyond the first and the last,
// so that the markers there are drawn whole: the plot clips its series.
constexpr double kOrderRoom = 0.4;

// The mean of the references of the images that have a line in the bit
// order and whose references are ready; how many they are.
struct MeanReferences {
    int images = 0;
    std::array<double, kAnalysisMaxOrder + 1> kt{};
    std::array<double, kAnalysisMaxOrder + 1> condEntropy{};
    double h0 = 0;
};
MeanReferences MeanReferencesOf(const ChartContent& content, char opCode) {
    MeanReferences mean;
    const int bits = opCode == 'B' ? 0 : 1;
    for (const ChartSeries& line : content.lines) {
        if (line.opCode != opCode) continue;
        const auto found = content.references.find(line.imagePath);
        if (found == content.references.end() ||
            found->second.state != ChartReferences::State::Ready)
            continue;
        ++mean.images;
        for (int n = 1; n <= kAnalysisMaxOrder; ++n) {
            mean.kt[n] += found->second.kt[bits][n];
            mean.condEntropy[n] += found->second.condEntropy[bits][n];
        }
        mean.h0 += found->second.h0;
    }
    if (mean.images > 0) {
        for (int n = 1; n <= kAnalysisMaxOrder; ++n) {
            mean.kt[n] /= mean.images;
            mean.condEntropy[n] /= mean.images;
        }
        mean.h0 /= mean.images;
    }
    return mean;
}

QString ImagesText(int images) {
    return QString::fromUtf8(images == 1 ? "z 1 obrazu" : "z %1 obrazów").arg(images);
}

// A light marker of a hidden image's legend entry.
ChartLook HiddenLook(ChartLook look) {
    look.colour = QColor(190, 190, 190);
    look.hollow = true;
    return look;
}

// Whether the view of each image paints its lines all at once.
bool ManyLines(const ChartContent& content) {
    return !content.mean && ChartImageCount(content.lines) > kChartManyImages;
}

// The lines of a corpus' images, painted at once over the plot: a series
// each would make the chart take minutes to fill and to empty again. Thin,
// in each image's colour and its bit order's dashes, without markers.
class ManyLinesItem : public QGraphicsObject {
  public:
    ManyLinesItem(QChart& chart, const ChartContent& content, QLineSeries* mapper, qreal scale)
        : QGraphicsObject(&chart), chart_(chart), mapper_(mapper), area_(chart.plotArea()) {
        setZValue(4);  // with the series: over the grid, under the legend
        for (const ChartSeries& line : content.lines) {
            if (content.hidden.contains(line.imagePath)) continue;
            QColor colour = LookOfImage(line.image).colour;
            colour.setAlpha(170);
            std::vector<QPointF> points;
            for (const ChartPoint& p : line.points)
                points.emplace_back(p.order, p.bpp);
            lines_.push_back({LinePen(line.opCode, colour, scale), std::move(points)});
        }
        // The scene finds items by their bounds: they change only after it
        // has been told.
        QObject::connect(&chart, &QChart::plotAreaChanged, this, [this](const QRectF& area) {
            prepareGeometryChange();
            area_ = area;
        });
    }
    QRectF boundingRect() const override { return area_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        // The axes map linearly: two points give the whole mapping.
        const QPointF a = chart_.mapToPosition(QPointF(0, 0), mapper_);
        const QPointF b = chart_.mapToPosition(QPointF(1, 1), mapper_);
        const QPointF step = b - a;
        painter->setClipRect(area_);
        painter->setRenderHint(QPainter::Antialiasing);
        QPolygonF polyline;
        for (const Line& line : lines_) {
            polyline.clear();
            for (const QPointF& p : line.points)
                polyline << QPointF(a.x() + p.x() * step.x(), a.y() + p.y() * step.y());
            painter->setPen(line.pen);
            painter->drawPolyline(polyline);
        }
    }

  private:
    struct Line {
        QPen pen;
        std::vector<QPointF> points;
    };
    QChart& chart_;
    QLineSeries* mapper_;
    QRectF area_;
    std::vector<Line> lines_;
};

}  // namespace

// Distance from p to the segment a–b.
qreal DistanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b) {
    const QPointF ab = b - a;
    const qreal length2 = QPointF::dotProduct(ab, ab);
    const qreal t =
        length2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length2, 0.0, 1.0) : 0.0;
    return QLineF(p, a + t * ab).length();
}

// Fills `chart` anew with the lines, the axes and the legend's entries, at
// `scale` times the screen's sizes; the screen and the saved chart are both
// made here.
FilledChart FillChart(QChart& chart, const ChartContent& content, qreal scale) {
    const std::vector<ChartSeries>& lines = content.lines;
    chart.removeAllSeries();
    for (QGraphicsItem* item : chart.childItems())
        delete dynamic_cast<ManyLinesItem*>(item);
    const bool many = ManyLines(content);
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
    for (const auto& [path, refs] : content.references) {
        if (refs.state != ChartReferences::State::Ready) continue;
        for (const auto& figures :
             {refs.kt[0], refs.kt[1], refs.condEntropy[0], refs.condEntropy[1]})
            for (int order = first; order <= std::min(last, kAnalysisMaxOrder); ++order)
                top = std::max(top, figures[order]);
    }
    // Ticks at the whole orders only, with room beyond the first and last.
    axisX->setRange(first - kOrderRoom, last + kOrderRoom);
    axisX->setTickType(QValueAxis::TicksDynamic);
    axisX->setTickAnchor(first);
    axisX->setTickInterval(1);
    axisY->setRange(0.0, top * 1.08);
    axisY->applyNiceNumbers();

    const auto add = [&](QAbstractSeries* series) {
        chart.addSeries(series);
        series->attachAxis(axisX);
        series->attachAxis(axisY);
        // The legend names images, bit orders and kinds of line, not every
        // line: the entries are series of their own, added last.
        for (QLegendMarker* marker : chart.legend()->markers(series))
            marker->setVisible(false);
    };
    const auto mark = [&](QLineSeries* series, const ChartLook& look) {
        series->setPointsVisible(true);
        series->setMarkerSize(kMarkerSize * scale);
        series->setLightMarker(MarkerImage(look, kMarkerSize * scale));
    };

    FilledChart filled;
    const auto reference = [&](const QString& name, const QPen& pen,
                               const std::vector<QPointF>& points, bool h0) {
        auto* series = new QLineSeries;
        series->setObjectName(name);
        for (const QPointF& p : points)
            series->append(p);
        series->setPen(pen);
        add(series);
        filled.references.push_back({name, series, points, h0});
    };
    const auto figures = [](const std::array<double, kAnalysisMaxOrder + 1>& byOrder) {
        std::vector<QPointF> points;
        for (int order = 1; order <= kAnalysisMaxOrder; ++order)
            points.emplace_back(order, byOrder[order]);
        return points;
    };

    if (content.mean) {
        for (const ChartMeanLine& mean : content.means) {
            const QColor colour = MeanColour(mean.opCode);
            const QString name = QString::fromStdString(ChartMeanName(mean));
            // The band first, under the line.
            auto* area = new QAreaSeries;
            auto* upper = new QLineSeries(area);
            auto* lower = new QLineSeries(area);
            for (const ChartMeanPoint& p : mean.points) {
                upper->append(p.order, p.highest);
                lower->append(p.order, p.lowest);
            }
            area->setUpperSeries(upper);
            area->setLowerSeries(lower);
            area->setObjectName(name + QString::fromUtf8(" — zakres"));
            QColor band = colour;
            band.setAlpha(kBandAlpha);
            area->setBrush(band);
            area->setPen(Qt::NoPen);
            add(area);

            auto* series = new QLineSeries;
            series->setObjectName(name);
            for (const ChartMeanPoint& p : mean.points)
                series->append(p.order, p.mean);
            series->setPen(LinePen(mean.opCode, colour, kLineWidth * scale));
            mark(series, {colour, MarkerShape::Circle, false});
            add(series);
            filled.lines.push_back(series);

            const MeanReferences refs = MeanReferencesOf(content, mean.opCode);
            if (refs.images == 0) continue;
            const QColor light = colour.lighter(130);
            const QString of = " — " + ImagesText(refs.images);
            reference(ReferenceText(ReferenceKind::Kt, mean.opCode) + of,
                      ReferencePen(ReferenceKind::Kt, mean.opCode, light, scale), figures(refs.kt),
                      false);
            reference(ReferenceText(ReferenceKind::Entropy, mean.opCode) + of,
                      ReferencePen(ReferenceKind::Entropy, mean.opCode, light, scale),
                      figures(refs.condEntropy), false);
            reference("H0 " + QString(ChartBitOrderText(mean.opCode)) + of,
                      ReferencePen(ReferenceKind::H0, mean.opCode, light, scale),
                      {QPointF(last - 0.6, refs.h0), QPointF(last, refs.h0)}, true);
        }
    } else if (many) {
        // Painted at once below, once the axes have a series to map them.
        filled.lines.assign(lines.size(), nullptr);
    } else {
        // The marker of each image made once, for both of its lines.
        std::map<int, QImage> markers;
        std::vector<int> h0Drawn;
        for (const ChartSeries& line : lines) {
            if (content.hidden.contains(line.imagePath)) {
                filled.lines.push_back(nullptr);
                continue;
            }
            auto* series = new QLineSeries;
            // Named as an object only: a series' name widens the legend's
            // column even when its entry is hidden.
            series->setObjectName(QString::fromStdString(line.name));
            for (const ChartPoint& p : line.points)
                series->append(p.order, p.bpp);
            const ChartLook look = LookOfImage(line.image);
            series->setPen(LinePen(line.opCode, look.colour, kLineWidth * scale));
            series->setPointsVisible(true);
            series->setMarkerSize(kMarkerSize * scale);
            auto [marker, made] = markers.try_emplace(line.image);
            if (made) marker->second = MarkerImage(look, kMarkerSize * scale);
            series->setLightMarker(marker->second);
            add(series);
            filled.lines.push_back(series);

            // The references of the image and bit order: thin lines of the
            // line's colour, lighter; H0 once per image, a short line at the
            // right.
            const auto found = content.references.find(line.imagePath);
            if (found == content.references.end() ||
                found->second.state != ChartReferences::State::Ready)
                continue;
            const ChartReferences& refs = found->second;
            const QColor light = look.colour.lighter(130);
            const int bits = line.opCode == 'B' ? 0 : 1;
            const QString name = QString::fromStdString(line.name);
            reference(name + " — kt", ReferencePen(ReferenceKind::Kt, line.opCode, light, scale),
                      figures(refs.kt[bits]), false);
            reference(name + QString::fromUtf8(" — entropia warunkowa"),
                      ReferencePen(ReferenceKind::Entropy, line.opCode, light, scale),
                      figures(refs.condEntropy[bits]), false);
            if (std::find(h0Drawn.begin(), h0Drawn.end(), line.image) == h0Drawn.end()) {
                h0Drawn.push_back(line.image);
                reference(QString::fromStdString(line.label) + " — H0",
                          ReferencePen(ReferenceKind::H0, line.opCode, light, scale),
                          {QPointF(last - 0.6, refs.h0), QPointF(last, refs.h0)}, true);
            }
        }
    }

    QLineSeries* raw = nullptr;
    for (const ChartLegendEntry& entry : ChartLegendEntries(content)) {
        auto* series = new QLineSeries;
        series->setName(entry.text);
        if (entry.kind == ChartLegendEntry::Image) {
            series->setPen(QPen(Qt::transparent, kLineWidth * scale));
            const ChartLook look = LookOfImage(entry.image);
            mark(series, entry.hidden ? HiddenLook(look) : look);
        } else {
            series->setPen(Scaled(entry.pen, scale));
        }
        if (entry.kind == ChartLegendEntry::Raw) {
            series->append(first - kOrderRoom, 8.0);
            series->append(last + kOrderRoom, 8.0);
            raw = series;
        }
        chart.addSeries(series);
        series->attachAxis(axisX);
        series->attachAxis(axisY);
        if (entry.kind == ChartLegendEntry::Image) {
            for (QLegendMarker* marker : chart.legend()->markers(series)) {
                if (entry.hidden) marker->setLabelBrush(QColor(150, 150, 150));
                const auto line =
                    std::find_if(lines.begin(), lines.end(),
                                 [&](const ChartSeries& s) { return s.image == entry.image; });
                filled.imageMarkers.emplace_back(marker, line->imagePath);
            }
        }
    }
    if (many && raw != nullptr) {
        new ManyLinesItem(chart, content, raw, scale);  // the chart owns it
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (!content.hidden.contains(lines[i].imagePath)) filled.lines[i] = raw;
    }
    return filled;
}

ChartLook LookOfImage(int image) {
    const int n = std::max(image, 0);
    const int colours = static_cast<int>(kImageColours.size());
    return {QColor(kImageColours[n % colours]), static_cast<MarkerShape>(n / colours % kShapes),
            n / (colours * kShapes) % 2 == 1};
}

QColor MeanColour(char opCode) {
    return QColor(kMeanColours[opCode == 'B' ? 0 : 1]);
}

std::vector<ChartLegendEntry> ChartLegendEntries(const std::vector<ChartSeries>& lines,
                                                 const ChartReferenceMap& references) {
    ChartContent content;
    content.lines = lines;
    content.references = references;
    return ChartLegendEntries(content);
}

// Why some images have no references, in one note: in the mean view and
// among many lines no image has a legend entry of its own to say it.
QString MissingReferencesText(const ChartContent& content) {
    std::set<std::string> gone, changed;
    for (const ChartSeries& line : content.lines) {
        const auto found = content.references.find(line.imagePath);
        if (found == content.references.end()) continue;
        if (found->second.state == ChartReferences::State::Gone) gone.insert(line.imagePath);
        if (found->second.state == ChartReferences::State::Changed) changed.insert(line.imagePath);
    }
    QStringList parts;
    if (!gone.empty())
        parts << QString::fromUtf8("brak pliku: ") +
                     QString::fromStdString(ChartImagesCounted(static_cast<int>(gone.size())));
    if (!changed.empty())
        parts << QString::fromUtf8("plik zmieniony: ") +
                     QString::fromStdString(ChartImagesCounted(static_cast<int>(changed.size())));
    return parts.isEmpty() ? QString() : QString::fromUtf8("bez odniesień – ") + parts.join("; ");
}

std::vector<ChartLegendEntry> ChartLegendEntries(const ChartContent& content) {
    std::vector<ChartLegendEntry> entries;
    bool drawn[2] = {false, false};  // B, P
    bool referenced = false;
    std::vector<bool> listed;  // by image
    const bool many = ManyLines(content);
    for (const ChartSeries& line : content.lines) {
        drawn[line.opCode == 'B' ? 0 : 1] = true;
        if (content.mean || many) continue;
        const auto image = static_cast<std::size_t>(line.image);
        if (listed.size() <= image) listed.resize(image + 1, false);
        QString text = QString::fromStdString(line.label);
        const bool hidden = content.hidden.contains(line.imagePath);
        if (const auto found = content.references.find(line.imagePath);
            found != content.references.end()) {
            switch (found->second.state) {
                case ChartReferences::State::Ready:
                    referenced = referenced || !hidden;
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
        if (hidden) text += QString::fromUtf8(" (ukryty)");
        if (!listed[image])
            entries.push_back({ChartLegendEntry::Image, text, line.image, QPen(), hidden});
        listed[image] = true;
    }
    if (content.mean) {
        for (const ChartMeanLine& mean : content.means) {
            entries.push_back({ChartLegendEntry::Mean, QString::fromStdString(ChartMeanName(mean)),
                               -1, LinePen(mean.opCode, MeanColour(mean.opCode), kLineWidth)});
            referenced = referenced || MeanReferencesOf(content, mean.opCode).images > 0;
        }
        if (!content.means.empty()) {
            QColor band = kStyleGrey;
            band.setAlpha(kBandAlpha * 2);
            QPen pen(band, kMarkerSize);
            pen.setCapStyle(Qt::FlatCap);
            entries.push_back({ChartLegendEntry::Band,
                               QString::fromUtf8("zakres: od najniższego do najwyższego obrazu"),
                               -1, pen});
        }
    } else {
        if (many)
            entries.push_back(
                {ChartLegendEntry::Note,
                 QString::fromStdString(ChartImagesCounted(ChartImageCount(content.lines))) +
                     QString::fromUtf8(", każdy swoją linią: nazwa pod wskaźnikiem"),
                 -1, QPen(Qt::transparent)});
        // Only the bit orders drawn: an entry for a dashed line that is
        // nowhere to be seen would only puzzle.
        for (const char op : {'B', 'P'})
            if (drawn[op == 'B' ? 0 : 1])
                entries.push_back({ChartLegendEntry::BitOrder,
                                   QString::fromUtf8(ChartBitOrderText(op)), -1,
                                   LinePen(op, kStyleGrey, kLineWidth)});
    }
    if (content.mean || many)
        if (const QString missing = MissingReferencesText(content); !missing.isEmpty())
            entries.push_back({ChartLegendEntry::Note, missing, -1, QPen(Qt::transparent)});
    if (!content.lines.empty())
        entries.push_back({ChartLegendEntry::Raw, "8 bpp (bez kompresji)", -1, RawPen(kRawWidth)});
    if (referenced) {
        for (const ReferenceKind kind : {ReferenceKind::Kt, ReferenceKind::Entropy})
            for (const char op : {'B', 'P'})
                if (drawn[op == 'B' ? 0 : 1])
                    entries.push_back({ChartLegendEntry::Reference, ReferenceText(kind, op), -1,
                                       ReferencePen(kind, op, kStyleGrey, 1.0)});
        entries.push_back({ChartLegendEntry::Reference, "H0", -1,
                           ReferencePen(ReferenceKind::H0, 'B', kStyleGrey, 1.0)});
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

QImage RenderChartImage(const ChartContent& content) {
    QGraphicsScene scene;
    auto* chart = new QChart;  // the scene owns it
    scene.addItem(chart);
    FillChart(*chart, content, kSavedScale);
    // QLegend elides the names of a legend in a row; the legend below is
    // painted here instead, in as many rows as its names need.
    chart->legend()->hide();
    chart->setMargins(QMargins(24, 24, 32, 8));

    const std::vector<ChartLegendEntry> entries = ChartLegendEntries(content);
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
            const ChartLook look = LookOfImage(entry.image);
            PaintMarker(painter,
                        QRectF(symbol.center() - QPointF(side / 2, side / 2), QSizeF(side, side)),
                        entry.hidden ? HiddenLook(look) : look);
        } else {
            painter.setPen(Scaled(entry.pen, kSavedScale));
            painter.drawLine(QLineF(symbol.left() + 2, symbol.center().y(), symbol.right() - 2,
                                    symbol.center().y()));
        }
        painter.setPen(entry.hidden ? QColor(150, 150, 150) : QColor(Qt::black));
        painter.drawText(QRect(box.left() + m.symbol + m.gap, box.top(),
                               box.width() - m.symbol - m.gap, box.height()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, entry.text);
    }
    return image;
}

}  // namespace eks
