#include "ui/ChartPage.h"

#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineF>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolTip>
#include <algorithm>
#include <functional>

#include "core/BitSequence.h"
#include "core/Error.h"
#include "jobs/Series.h"
#include "results/NumberFormat.h"
#include "ui/Platform.h"

namespace eks {

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

    // A corpus reads better as its mean; each image's lines are a click away.
    rbChartEach = new QRadioButton(QString::fromUtf8("każdy obraz"), this);
    rbChartEach->setObjectName("rbChartEach");
    rbChartEach->setChecked(true);
    rbChartMean = new QRadioButton(QString::fromUtf8("średnia"), this);
    rbChartMean->setObjectName("rbChartMean");
    rbChartMean->setToolTip(QString::fromUtf8(
        "średnia obrazów w każdym rzędzie, z zakresem od najniższego do najwyższego"));
    for (QRadioButton* button : {rbChartEach, rbChartMean})
        connect(button, &QRadioButton::clicked, this, [this] { rbChartViewClick(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(rbChartEach);
    buttons->addWidget(rbChartMean);
    buttons->addSpacing(12);
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
    referenceWorker_.Abandon();
}

void ChartPage::SetRecords(const std::vector<ResultRecord>& records) {
    const int before = ChartImageCount(content_.lines);
    content_.lines = BuildChartSeries(records);
    content_.means = BuildChartMeans(content_.lines);
    const int images = ChartImageCount(content_.lines);
    // A corpus arrives: its mean; it goes again: each image, unless the user
    // has chosen meanwhile.
    if (images > kChartManyImages && before <= kChartManyImages && !content_.mean) {
        content_.mean = autoMean_ = true;
    } else if (images <= kChartManyImages && autoMean_) {
        content_.mean = autoMean_ = false;
    }
    const QSignalBlocker a(rbChartEach), b(rbChartMean);
    (content_.mean ? rbChartMean : rbChartEach)->setChecked(true);
    for (const ChartSeries& line : content_.lines)
        if (!firstSeen_.contains(line.imagePath))
            firstSeen_[line.imagePath] = StampOf(line.imagePath);
    Redraw();
}

void ChartPage::rbChartViewClick() {
    autoMean_ = false;
    if (content_.mean == rbChartMean->isChecked()) return;
    content_.mean = rbChartMean->isChecked();
    Redraw();
}

void ChartPage::ImageEntryClick(const std::string& path) {
    if (!content_.hidden.erase(path)) content_.hidden.insert(path);
    Redraw();
}

ChartPage::FileStamp ChartPage::StampOf(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.isFile()) return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch()};
}

void ChartPage::Redraw() {
    HideHover();
    ChartReferenceMap& references = content_.references;
    references.clear();
    std::vector<std::pair<std::string, FileStamp>> missing;
    if (cbReferences->isChecked()) {
        for (const ChartSeries& line : content_.lines) {
            if (references.contains(line.imagePath)) continue;
            ChartReferences& refs = references[line.imagePath];
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
    // Hidden images that have gone from the records are forgotten.
    std::erase_if(content_.hidden, [&](const std::string& path) {
        return std::none_of(content_.lines.begin(), content_.lines.end(),
                            [&](const ChartSeries& line) { return line.imagePath == path; });
    });
    filled_ = FillChart(*ChartView->chart(), content_);
    for (const auto& [marker, path] : filled_.imageMarkers)
        connect(
            marker, &QLegendMarker::clicked, this, [this, path = path] { ImageEntryClick(path); },
            Qt::QueuedConnection);
    btnSaveChart->setEnabled(!content_.lines.empty());
    if (!missing.empty() && !referenceWorker_.Running()) StartReferences(std::move(missing));
}

void ChartPage::StartReferences(std::vector<std::pair<std::string, FileStamp>> missing) {
    // Off the window's thread: a large image takes a while. What comes back
    // is cached with the file as it was when asked for, and drawn.
    referenceWorker_.Start([this, missing](const Worker::Context& context) -> Worker::Done {
        AnalysisControl control;
        control.cancel = &context.cancel;
        std::vector<std::pair<std::string, ChartReferences>> computed;
        try {
            for (const auto& [path, stamp] : missing)
                computed.emplace_back(path, ComputeChartReferences(path, control));
        } catch (const AnalysisCancelled&) {
            return {};
        }
        return [this, missing, computed = std::move(computed)] {
            for (std::size_t i = 0; i < computed.size(); ++i)
                cache_[computed[i].first] = {missing[i].second, computed[i].second};
            Redraw();
        };
    });
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
    // The lines drawn: those of each image, or the means.
    const std::size_t count = content_.mean ? content_.means.size() : content_.lines.size();
    const auto points = [&](std::size_t line) {
        return content_.mean ? content_.means[line].points.size()
                             : content_.lines[line].points.size();
    };
    const auto value = [&](std::size_t line, std::size_t k) {
        if (content_.mean) {
            const ChartMeanPoint& p = content_.means[line].points[k];
            return QPointF(p.order, p.mean);
        }
        const ChartPoint& p = content_.lines[line].points[k];
        return QPointF(p.order, p.bpp);
    };
    // All lines are on the same axes, which map linearly: two points mapped
    // give the whole mapping, quick enough for a corpus' lines at every move.
    const auto drawn = std::find_if(filled_.lines.begin(), filled_.lines.end(),
                                    [](const QLineSeries* s) { return s != nullptr; });
    if (drawn == filled_.lines.end()) {
        ShowReferenceAt(pointer);
        return;
    }
    const auto map = [&](const QPointF& p) {
        return ChartView->viewportTransform().map(
            chart->mapToScene(chart->mapToPosition(p, *drawn)));
    };
    const QPointF origin = map(QPointF(0, 0));
    const QPointF step = map(QPointF(1, 1)) - origin;
    const auto inView = [&](std::size_t line, std::size_t k) {
        const QPointF v = value(line, k);
        return QPointF(origin.x() + v.x() * step.x(), origin.y() + v.y() * step.y());
    };

    // The nearest marker within reach, else the nearer end of the nearest
    // segment within reach. Hidden lines have no series.
    std::size_t line = count;
    std::size_t point = 0;
    QPointF where;
    qreal best = kMarkerReach;
    for (std::size_t i = 0; i < count; ++i) {
        if (filled_.lines[i] == nullptr) continue;
        for (std::size_t k = 0; k < points(i); ++k) {
            const QPointF at = inView(i, k);
            const qreal d = QLineF(pointer, at).length();
            if (d <= best) {
                best = d;
                line = i;
                point = k;
                where = at;
            }
        }
    }
    if (line == count) {
        best = kLineReach;
        for (std::size_t i = 0; i < count; ++i) {
            if (filled_.lines[i] == nullptr) continue;
            for (std::size_t k = 1; k < points(i); ++k) {
                const QPointF a = inView(i, k - 1);
                const QPointF b = inView(i, k);
                const qreal d = DistanceToSegment(pointer, a, b);
                if (d <= best) {
                    best = d;
                    line = i;
                    const bool first = QLineF(pointer, a).length() <= QLineF(pointer, b).length();
                    point = first ? k - 1 : k;
                    where = first ? a : b;
                }
            }
        }
    }
    if (line == count) {
        ShowReferenceAt(pointer);
        return;
    }

    const std::string decimal = QLocale().decimalPoint().toStdString();
    if (content_.mean) {
        // "rząd 3: 3,663 bpp (od 2,100 do 4,512, 118 obrazów)"
        const ChartMeanLine& mean = content_.means[line];
        const ChartMeanPoint& p = mean.points[point];
        const auto fixed = [&](double v) {
            return QString::fromStdString(FormatFixed(v, kTablePrecision, decimal));
        };
        lastHoverText_ = QString::fromStdString(ChartMeanName(mean)) + '\n' +
                         QString::fromUtf8("rząd %1: %2 bpp (od %3 do %4, %5)")
                             .arg(p.order)
                             .arg(fixed(p.mean), fixed(p.lowest), fixed(p.highest),
                                  QString::fromStdString(ChartImagesCounted(p.images)));
    } else {
        const ChartSeries& shown = content_.lines[line];
        const ChartPoint& p = shown.points[point];
        const std::string bpp =
            FormatFixedRatio(p.sizeAfter, 8, p.pixels, kTablePrecision, decimal);
        lastHoverText_ =
            QString::fromStdString(shown.name) + '\n' +
            QString::fromUtf8("rząd %1: %2 bpp").arg(p.order).arg(QString::fromStdString(bpp));
    }
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
    for (const ChartReferenceLine& line : filled_.references) {
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
    RunReportingErrors([&] { SavePng(RenderChartImage(content_), chosen); });
}

}  // namespace eks
