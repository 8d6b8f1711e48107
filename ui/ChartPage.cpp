#include "ui/ChartPage.h"

#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLineSeries>
#include <QLocale>
#include <QPen>
#include <QPushButton>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "core/Error.h"
#include "results/NumberFormat.h"
#include "results/ResultRow.h"
#include "ui/Platform.h"
#include "ui/main.h"

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
std::string ImageLabel(const std::string& path, const std::vector<ChartSeries>& lines) {
    for (int parts = 1;; ++parts) {
        const std::string tail = PathTail(path, parts);
        const bool shared = std::any_of(lines.begin(), lines.end(), [&](const ChartSeries& other) {
            return other.imagePath != path && PathTail(other.imagePath, parts) == tail;
        });
        if (!shared || tail == path) return tail;
    }
}

}  // namespace

std::vector<ChartSeries> BuildChartSeries(const std::vector<ChartRow>& rows) {
    std::vector<ChartSeries> lines;
    // Per line, its points by order: a later row replaces an earlier one.
    std::vector<std::map<int, ChartPoint>> steps;
    for (const ChartRow& row : rows) {
        if ((row.opCode != 'B' && row.opCode != 'P') || row.pixels <= 0) continue;
        auto line = std::find_if(lines.begin(), lines.end(), [&](const ChartSeries& s) {
            return s.imagePath == row.imagePath && s.opCode == row.opCode;
        });
        if (line == lines.end()) {
            lines.push_back({row.imagePath, row.opCode, {}, {}});
            steps.emplace_back();
            line = lines.end() - 1;
        }
        const double bpp =
            static_cast<double>(row.sizeAfter) * 8.0 / static_cast<double>(row.pixels);
        steps[line - lines.begin()][row.order] = {row.order, bpp, row.sizeAfter, row.pixels};
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        for (const auto& [order, point] : steps[i])
            lines[i].points.push_back(point);
        lines[i].name =
            ImageLabel(lines[i].imagePath, lines) + " — " + BitOrderText(lines[i].opCode);
    }
    return lines;
}

// ------------------------------------------------------------------ page

ChartPage::ChartPage(QWidget* parent) : QWidget(parent) {
    setObjectName("ChartPage");

    chart_ = new QChart;
    chart_->setLocalizeNumbers(true);
    // The page is narrow at the window's start size: little frame, and the
    // legend as a column at the right, whose cut names show in full as tips.
    chart_->setMargins(QMargins(6, 6, 6, 6));
    chart_->setBackgroundRoundness(0);
    chart_->layout()->setContentsMargins(0, 0, 0, 0);
    chart_->legend()->setAlignment(Qt::AlignRight);
    chart_->legend()->setShowToolTips(true);
    QFont small = chart_->legend()->font();
    small.setPointSizeF(7.5);
    chart_->legend()->setFont(small);
    axisX_ = new QValueAxis(chart_);
    axisX_->setTitleText(QString::fromUtf8("Rząd kodera"));
    // Whole orders; "%d" draws no labels at all once numbers are localised.
    axisX_->setLabelFormat("%.0f");
    axisY_ = new QValueAxis(chart_);
    axisY_->setTitleText("Bity na piksel");
    axisY_->setLabelFormat("%.1f");
    chart_->addAxis(axisX_, Qt::AlignBottom);
    chart_->addAxis(axisY_, Qt::AlignLeft);

    ChartView = new QChartView(chart_, this);  // the view owns the chart
    ChartView->setObjectName("ChartView");
    ChartView->setRenderHint(QPainter::Antialiasing);

    btnSaveChart = new QPushButton("Zapisz wykres", this);
    btnSaveChart->setObjectName("btnSaveChart");
    btnSaveChart->setMinimumSize(84, 25);
    connect(btnSaveChart, &QPushButton::clicked, this, [this] { btnSaveChartClick(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnSaveChart);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(ChartView, 1);
    column->addLayout(buttons);

    SetRows({});
}

void ChartPage::SetRows(const std::vector<ChartRow>& rows) {
    QToolTip::hideText();
    lines_ = BuildChartSeries(rows);
    chart_->removeAllSeries();
    chart_->setLocale(QLocale());
    chart_->setTitle(lines_.empty() ? QString::fromUtf8("Brak wyników kodowania") : QString());
    btnSaveChart->setEnabled(!lines_.empty());

    // The coder's orders 1 to 9 always, wider when a row lies outside them;
    // the bits per pixel from 0 to above the raw 8 bpp.
    int first = 1;
    int last = 9;
    double top = 8.0;
    for (const ChartSeries& line : lines_) {
        for (const ChartPoint& p : line.points) {
            first = std::min(first, p.order);
            last = std::max(last, p.order);
            top = std::max(top, p.bpp);
        }
    }
    axisX_->setRange(first, last);
    axisX_->setTickCount(last - first + 1);
    axisY_->setRange(0.0, top * 1.08);
    axisY_->applyNiceNumbers();
    if (lines_.empty()) return;

    for (std::size_t i = 0; i < lines_.size(); ++i) {
        auto* series = new QLineSeries;
        series->setName(QString::fromStdString(lines_[i].name));
        for (const ChartPoint& p : lines_[i].points)
            series->append(p.order, p.bpp);
        series->setPointsVisible(true);
        chart_->addSeries(series);
        series->attachAxis(axisX_);
        series->attachAxis(axisY_);
        QPen pen = series->pen();
        pen.setWidthF(2.0);
        series->setPen(pen);
        const int line = static_cast<int>(i);
        connect(series, &QLineSeries::hovered, this,
                [this, series, line](const QPointF& where, bool entered) {
                    ShowHover(series, line, where, entered);
                });
    }

    auto* raw = new QLineSeries;
    raw->setName("8 bpp (bez kompresji)");
    raw->append(first, 8.0);
    raw->append(last, 8.0);
    chart_->addSeries(raw);
    raw->attachAxis(axisX_);
    raw->attachAxis(axisY_);
    raw->setPen(QPen(QColor(96, 96, 96), 1.5, Qt::DashLine));
}

void ChartPage::ShowHover(QLineSeries* series, int line, const QPointF& where, bool entered) {
    if (!entered) {
        QToolTip::hideText();
        return;
    }
    // The step nearest to the pointer along the order axis.
    const std::vector<ChartPoint>& points = lines_[line].points;
    const auto nearest = std::min_element(
        points.begin(), points.end(), [&](const ChartPoint& a, const ChartPoint& b) {
            return std::abs(a.order - where.x()) < std::abs(b.order - where.x());
        });
    if (nearest == points.end()) return;
    const std::string bpp =
        FormatFixedRatio(nearest->sizeAfter, 8, nearest->pixels, kTablePrecision,
                         QLocale().decimalPoint().toStdString());
    lastHoverText_ =
        QString::fromStdString(lines_[line].name) + '\n' +
        QString::fromUtf8("rząd %1: %2 bpp").arg(nearest->order).arg(QString::fromStdString(bpp));

    const QPointF inChart = chart_->mapToPosition(QPointF(nearest->order, nearest->bpp), series);
    const QPoint inView = ChartView->mapFromScene(chart_->mapToScene(inChart));
    QToolTip::showText(ChartView->viewport()->mapToGlobal(inView), lastHoverText_,
                       ChartView->viewport());
}

void ChartPage::btnSaveChartClick() {
    const QString chosen =
        AskSaveFileName({"Zapisz wykres", "Obrazy PNG (*.png)", "png", chartName_});
    if (chosen.isEmpty()) return;
    chartName_ = chosen;
    if (!ChartView->grab().save(chosen, "PNG")) {
        ShowMessageBox(
            MessageKind::Error,
            ErrorReportText(QString::fromStdString(CannotCreateFileMessage(chosen.toStdString()))));
    }
}

}  // namespace eks
