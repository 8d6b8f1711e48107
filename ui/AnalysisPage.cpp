#include "ui/AnalysisPage.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QGraphicsLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <cmath>

#include "core/ByteStream.h"
#include "core/Error.h"
#include "results/Csv.h"
#include "results/ResultRow.h"
#include "ui/ImageDisplay.h"
#include "ui/Platform.h"
#include "ui/Widgets.h"

namespace eks {

namespace {

// Viridis at nine evenly spaced points; the colours between are mixed
// linearly, which keeps the scale's lightness rising evenly enough.
constexpr std::array<std::array<int, 3>, 9> kViridis = {{{68, 1, 84},
                                                         {71, 44, 122},
                                                         {59, 81, 139},
                                                         {44, 113, 142},
                                                         {33, 144, 141},
                                                         {39, 173, 129},
                                                         {92, 200, 99},
                                                         {170, 220, 50},
                                                         {253, 231, 37}}};

// The progress bar's range: the map first, then the sweep.
constexpr int kProgressRange = 1000;
constexpr int kMapShare = 150;

float ScaleTop(int plane) {
    return plane < 0 ? 8.0f : 1.0f;
}

QString ScaleTopText(int plane) {
    return QString::fromUtf8(plane < 0 ? "≥ 8 bitów" : "1 bit");
}

// The scale of the map's colours in `area`: the colour bar from 0 at the
// bottom to the top value, its labels at the right, and the grey of pixels
// without data under it.
void PaintScale(QPainter& painter, const QRect& area, int plane) {
    const QFontMetrics fm(painter.font());
    const int line = fm.height();
    const int barWidth = std::max(12, line);
    const QRect bar(area.left() + 4, area.top() + line / 2 + 2, barWidth,
                    std::max(line * 3, area.height() - 3 * line - 8));
    const float top = ScaleTop(plane);
    for (int y = 0; y < bar.height(); ++y) {
        const float cost = top * static_cast<float>(bar.height() - 1 - y) /
                           static_cast<float>(std::max(1, bar.height() - 1));
        painter.fillRect(QRect(bar.left(), bar.top() + y, bar.width(), 1),
                         QColor::fromRgb(CostColour(cost, top)));
    }
    painter.setPen(Qt::black);
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    const int textX = bar.right() + 6;
    const auto label = [&](int y, const QString& text) {
        painter.drawLine(bar.right() + 1, y, bar.right() + 3, y);
        painter.drawText(QRect(textX, y - line / 2, area.right() - textX, line),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, text);
    };
    label(bar.top(), ScaleTopText(plane));
    label(bar.center().y(), QLocale().toString(top / 2, 'g', 2));
    label(bar.bottom(), "0");
    const QRect grey(bar.left(), bar.bottom() + line / 2 + 4, bar.width(), line);
    painter.fillRect(grey, kNoDataGrey);
    painter.drawRect(grey.adjusted(0, 0, -1, -1));
    painter.drawText(QRect(textX, grey.top(), area.right() - textX, line),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                     QString::fromUtf8("brak danych"));
}

// The scale beside the map on the page.
class ScaleBar : public QWidget {
  public:
    explicit ScaleBar(QWidget* parent = nullptr) : QWidget(parent) {}
    void SetPlane(int plane) {
        plane_ = plane;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        PaintScale(painter, rect(), plane_);
    }

  private:
    int plane_ = -1;
};

AnalysisPage::WorkerHook& Hook() {
    static AnalysisPage::WorkerHook hook;
    return hook;
}

const char* BitOrderText(BitOrder order) {
    return order == BitOrder::PixelMajor ? "bez przeplotu (B)" : "z przeplotem (P)";
}

}  // namespace

QRgb CostColour(float cost, float top) {
    if (std::isnan(cost)) return kNoDataGrey.rgb();
    const float t = std::clamp(cost / top, 0.0f, 1.0f) * (kViridis.size() - 1);
    const auto i = std::min(static_cast<std::size_t>(t), kViridis.size() - 2);
    const float f = t - static_cast<float>(i);
    std::array<int, 3> c{};
    for (int k = 0; k < 3; ++k)
        c[k] = static_cast<int>(
            std::lround(kViridis[i][k] + f * (kViridis[i + 1][k] - kViridis[i][k])));
    return qRgb(c[0], c[1], c[2]);
}

QImage CostMapImage(const CostMap& map) {
    QImage image(map.width, map.height, QImage::Format_RGB32);
    if (image.isNull()) return image;
    const float top = ScaleTop(map.plane);
    for (int y = 0; y < map.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const float* costs = map.pixels.data() + static_cast<std::size_t>(y) * map.width;
        for (int x = 0; x < map.width; ++x)
            line[x] = CostColour(costs[x], top);
    }
    return image;
}

QImage RenderCostMapImage(const QImage& map, int plane, const QString& title) {
    constexpr int kMargin = 16;
    constexpr int kScaleWidth = 170;
    QFont font("DejaVu Sans");
    font.setPixelSize(16);
    // A title line above the map and its scale says what the map shows.
    const int top = title.isEmpty() ? 0 : 32;
    const int height = std::max(map.height(), 320);
    QImage image(map.width() + kMargin + kScaleWidth, top + height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    if (top > 0)
        painter.drawText(QRect(4, 0, image.width() - 8, top), Qt::AlignLeft | Qt::AlignVCenter,
                         title);
    painter.drawImage(0, top + (height - map.height()) / 2, map);
    const int scaleHeight = std::min(height, 520);
    PaintScale(
        painter,
        QRect(map.width() + kMargin, top + (height - scaleHeight) / 2, kScaleWidth, scaleHeight),
        plane);
    return image;
}

QString CostHoverText(int x, int y, std::optional<int> value, float cost, const QString& decimal) {
    const QString where = QString("%1, %2: ").arg(x).arg(y);
    if (!value || std::isnan(cost)) return where + QString::fromUtf8("brak danych");
    return where + QString::fromUtf8("wartość %1, koszt %2 bita")
                       .arg(*value)
                       .arg(QString::number(cost, 'f', 2).replace('.', decimal));
}

// ------------------------------------------------------------------ page

struct AnalysisPage::Result {
    bool cancelled = false;
    std::string error;
    std::optional<Sweep> sweep;
    std::optional<CostMap> map;
    QImage picture;
};

AnalysisPage::WorkerHook AnalysisPage::SetWorkerHook(WorkerHook hook) {
    WorkerHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

AnalysisPage::AnalysisPage(QWidget* parent) : QWidget(parent) {
    setObjectName("AnalysisPage");
    const QLocale locale;
    seps_.thousands = locale.groupSeparator().toStdString();
    seps_.decimal = locale.decimalPoint().toStdString();

    btnAnalyse = new QPushButton("Analizuj", this);
    btnAnalyse->setObjectName("btnAnalyse");
    btnAnalysisStop = new QPushButton("Przerwij", this);
    btnAnalysisStop->setObjectName("btnAnalysisStop");
    AnalysisProgress = new QProgressBar(this);
    AnalysisProgress->setObjectName("AnalysisProgress");
    AnalysisProgress->setTextVisible(false);
    AnalysisProgress->setRange(0, kProgressRange);
    AnalysisProgress->setValue(0);
    AnalysisProgress->setFixedHeight(12);
    lbAnalysisState = new QLabel(this);
    lbAnalysisState->setObjectName("lbAnalysisState");

    auto* orderLabel = new QLabel(QString::fromUtf8("Rząd"), this);
    seAnalysisOrder = new SpinEdit(1, kAnalysisMaxOrder, 1, 1, this);
    seAnalysisOrder->setObjectName("seAnalysisOrder");
    orderLabel->setBuddy(seAnalysisOrder);
    cbAnalysisBitOrder = new QComboBox(this);
    cbAnalysisBitOrder->setObjectName("cbAnalysisBitOrder");
    cbAnalysisBitOrder->addItems({"B (bez przeplotu)", "P (z przeplotem)"});
    cbAnalysisPlane = new QComboBox(this);
    cbAnalysisPlane->setObjectName("cbAnalysisPlane");
    cbAnalysisPlane->addItem("wszystkie bity");
    for (int plane = 7; plane >= 0; --plane)
        cbAnalysisPlane->addItem(QString("bit %1").arg(plane));

    AnalysisScroll = new ScrollBox(this);
    AnalysisScroll->setObjectName("AnalysisScroll");
    AnalysisScroll->setFrameShape(QFrame::NoFrame);
    for (QWidget* w : {AnalysisScroll->viewport(), AnalysisScroll->Canvas()}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, QColor(128, 128, 128));
        w->setPalette(p);
        w->setAutoFillBackground(true);
    }
    AnalysisScroll->installEventFilter(this);
    AnalysisMap = new PictureBox(AnalysisScroll->Canvas());
    AnalysisMap->setObjectName("AnalysisMap");
    AnalysisMap->setMouseTracking(true);
    AnalysisMap->installEventFilter(this);
    AnalysisMap->resize(0, 0);
    AnalysisScale = new ScaleBar(this);
    AnalysisScale->setObjectName("AnalysisScale");
    AnalysisScale->setFixedWidth(84);

    AnalysisTable = new QTableWidget(0, 6, this);
    AnalysisTable->setObjectName("AnalysisTable");
    AnalysisTable->setHorizontalHeaderLabels(
        {QString::fromUtf8("Kolejność"), QString::fromUtf8("Rząd"), "Koder\n[bpp]", "kt\n[bpp]",
         "Entropia\nwarunkowa [bpp]", "H0\n[bpp]"});
    AnalysisTable->verticalHeader()->hide();
    AnalysisTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    AnalysisTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    AnalysisTable->verticalHeader()->setDefaultSectionSize(AnalysisTable->fontMetrics().height() +
                                                           4);
    AnalysisTable->resizeColumnsToContents();

    auto* chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    chart->legend()->hide();
    chart->setLocale(QLocale());
    chart->setLocalizeNumbers(true);
    QFont small = chart->titleFont();
    small.setPointSizeF(8);
    chart->setTitleFont(small);
    auto* planes = new QBarCategoryAxis;
    for (int plane = 7; plane >= 0; --plane)
        planes->append(QString::number(plane));
    planes->setTitleText(QString::fromUtf8("Płaszczyzna bitowa"));
    auto* bpp = new QValueAxis;
    bpp->setTitleText("Bity na piksel");
    bpp->setLabelFormat("%.2f");
    bpp->setRange(0, 1);
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(planes), static_cast<QAbstractAxis*>(bpp)}) {
        axis->setTitleFont(small);
        axis->setLabelsFont(small);
    }
    chart->addAxis(planes, Qt::AlignBottom);
    chart->addAxis(bpp, Qt::AlignLeft);
    PlaneChart = new QChartView(chart, this);
    PlaneChart->setObjectName("PlaneChart");
    PlaneChart->setRenderHint(QPainter::Antialiasing);
    PlaneChart->setMinimumSize(160, 120);

    lbAnalysisHover = new QLabel(this);
    lbAnalysisHover->setObjectName("lbAnalysisHover");
    lbAnalysisNote = new QLabel(
        QString::fromUtf8("kt i entropia warunkowa to miary prostego modelu rzędu N, nie dolne "
                          "granice: nasz koder adaptuje się szybciej i może zejść poniżej nich."),
        this);
    lbAnalysisNote->setObjectName("lbAnalysisNote");
    lbAnalysisNote->setWordWrap(true);
    btnSaveTable = new QPushButton(QString::fromUtf8("Zapisz tabelę"), this);
    btnSaveTable->setObjectName("btnSaveTable");
    btnSaveMap = new QPushButton(QString::fromUtf8("Zapisz mapę"), this);
    btnSaveMap->setObjectName("btnSaveMap");

    // Two rows of controls, the map with its scale over the table and the
    // bars, the value under the pointer and the note under them.
    auto* run = new QHBoxLayout;
    run->addWidget(btnAnalyse);
    run->addWidget(btnAnalysisStop);
    run->addWidget(AnalysisProgress, 1);
    run->addWidget(lbAnalysisState);
    auto* choice = new QHBoxLayout;
    choice->addWidget(orderLabel);
    choice->addWidget(seAnalysisOrder);
    choice->addWidget(cbAnalysisBitOrder);
    choice->addWidget(cbAnalysisPlane);
    choice->addStretch();
    auto* mapArea = new QWidget;
    auto* mapRow = new QHBoxLayout(mapArea);
    mapRow->setContentsMargins(0, 0, 0, 0);
    mapRow->addWidget(AnalysisScroll, 1);
    mapRow->addWidget(AnalysisScale);
    auto* figures = new QSplitter(Qt::Horizontal);
    figures->setObjectName("AnalysisFigures");
    figures->addWidget(AnalysisTable);
    figures->addWidget(PlaneChart);
    figures->setChildrenCollapsible(false);
    figures->setStretchFactor(0, 0);
    figures->setStretchFactor(1, 1);
    figures->setSizes({AnalysisTable->horizontalHeader()->length() + 4, 400});
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName("AnalysisSplitter");
    split->addWidget(mapArea);
    split->addWidget(figures);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setSizes({3000, 2000});
    auto* save = new QHBoxLayout;
    save->addWidget(lbAnalysisHover, 1);
    save->addWidget(btnSaveTable);
    save->addWidget(btnSaveMap);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(3);
    column->addLayout(run);
    column->addLayout(choice);
    column->addWidget(split, 1);
    column->addLayout(save);
    column->addWidget(lbAnalysisNote);

    const auto guarded = [this](void (AnalysisPage::*handler)()) {
        return [this, handler] { RunReportingErrors([&] { (this->*handler)(); }); };
    };
    connect(btnAnalyse, &QPushButton::clicked, this, guarded(&AnalysisPage::btnAnalyseClick));
    connect(btnAnalysisStop, &QPushButton::clicked, this,
            guarded(&AnalysisPage::btnAnalysisStopClick));
    connect(btnSaveMap, &QPushButton::clicked, this, guarded(&AnalysisPage::btnSaveMapClick));
    connect(btnSaveTable, &QPushButton::clicked, this, guarded(&AnalysisPage::btnSaveTableClick));
    connect(seAnalysisOrder, &QSpinBox::valueChanged, this, guarded(&AnalysisPage::OrderChosen));
    connect(cbAnalysisBitOrder, &QComboBox::currentIndexChanged, this,
            guarded(&AnalysisPage::OrderChosen));
    connect(cbAnalysisPlane, &QComboBox::currentIndexChanged, this,
            guarded(&AnalysisPage::ChoiceChanged));
    ApplyControls();
}

AnalysisPage::~AnalysisPage() {
    Cancel();
}

int AnalysisPage::Plane() const {
    return cbAnalysisPlane->currentIndex() <= 0 ? -1 : 8 - cbAnalysisPlane->currentIndex();
}

BitOrder AnalysisPage::ChosenBitOrder() const {
    return cbAnalysisBitOrder->currentIndex() == 0 ? BitOrder::PixelMajor : BitOrder::PlaneMajor;
}

void AnalysisPage::ApplyControls() {
    btnAnalyse->setEnabled(image_.has_value());
    btnAnalysisStop->setEnabled(worker_.Running());
    btnSaveMap->setEnabled(!mapImage_.isNull());
    btnSaveTable->setEnabled(sweep_.has_value());
}

void AnalysisPage::SetImage(std::optional<AnalysisImage> image, int order, BitOrder bitOrder) {
    Cancel();
    ClearResults();
    image_ = std::move(image);
    // The coder's order and bit order until the user chooses on the page;
    // from then on the user's choice stays with every image.
    if (!userChose_) {
        const QSignalBlocker a(seAnalysisOrder), b(cbAnalysisBitOrder);
        seAnalysisOrder->setValue(order);
        cbAnalysisBitOrder->setCurrentIndex(bitOrder == BitOrder::PixelMajor ? 0 : 1);
    }
    lbAnalysisState->clear();
    ApplyControls();
}

void AnalysisPage::Cancel() {
    if (worker_.Running()) lbAnalysisState->setText("przerwano");
    worker_.Abandon();
    AnalysisProgress->setValue(0);
    ApplyControls();
}

void AnalysisPage::ClearResults() {
    sweep_.reset();
    map_.reset();
    mapImage_ = QImage();
    AnalysisMap->ClearPicture();
    AnalysisTable->setRowCount(0);
    PlaneChart->chart()->removeAllSeries();
    PlaneChart->chart()->setTitle({});
    lbAnalysisHover->clear();
}

void AnalysisPage::btnAnalyseClick() {
    if (!image_) return;
    if (image_->Pixels() == 0) {
        ShowMessageBox(MessageKind::Information, QString::fromStdString(NothingToAnalyseMessage()));
        return;
    }
    Cancel();
    ClearResults();
    Start(true);
}

void AnalysisPage::btnAnalysisStopClick() {
    // The worker stops at its next block and reports; the window does not
    // wait for it.
    worker_.Stop();
    btnAnalysisStop->setEnabled(false);
}

void AnalysisPage::OrderChosen() {
    userChose_ = true;
    ChoiceChanged();
}

void AnalysisPage::ChoiceChanged() {
    // Only an analysed image gets new maps; during the work the choice is
    // taken up when it ends.
    if (!image_ || !map_ || worker_.Running()) return;
    Start(false);
}

void AnalysisPage::Start(bool sweep) {
    worker_.Abandon();
    map_.reset();
    mapImage_ = QImage();
    AnalysisMap->ClearPicture();
    lbAnalysisHover->clear();
    AnalysisProgress->setValue(0);
    lbAnalysisState->setText(QString::fromUtf8(sweep ? "liczę…" : "liczę mapę…"));

    const AnalysisImage image = *image_;
    const int order = seAnalysisOrder->Value();
    const BitOrder bitOrder = ChosenBitOrder();
    const int plane = Plane();
    const WorkerHook hook = Hook();
    const auto task = [this, image, order, bitOrder, plane, sweep,
                       hook](const Worker::Context& context) -> Worker::Done {
        auto result = std::make_shared<Result>();
        const auto progress = [&context](int base, int span) {
            return [&context, base, span](int done, int total) {
                context.progress(
                    base + (total > 0 ? static_cast<int>(std::int64_t{span} * done / total) : 0));
            };
        };
        try {
            if (hook) hook(context.cancel);
            AnalysisControl control;
            control.cancel = &context.cancel;
            // The map first: it is quick, and a picture over the memory
            // budget is refused before the long part.
            control.progress = progress(0, sweep ? kMapShare : kProgressRange);
            result->map = ComputeCostMap(image, order, bitOrder, plane, control);
            result->picture = CostMapImage(*result->map);
            if (sweep) {
                control.progress = progress(kMapShare, kProgressRange - kMapShare);
                result->sweep = ComputeSweep(image, control, 2);
            }
        } catch (const AnalysisCancelled&) {
            result->cancelled = true;
        } catch (const std::exception& e) {
            result->error = e.what();
        }
        return [this, result] { Finish(result); };
    };
    worker_.Start(task, [this](int value) { AnalysisProgress->setValue(value); });
    ApplyControls();
}

void AnalysisPage::Finish(const std::shared_ptr<Result>& result) {
    AnalysisProgress->setValue(result->cancelled || !result->error.empty() ? 0 : kProgressRange);
    if (result->cancelled) {
        lbAnalysisState->setText("przerwano");
        ApplyControls();
        return;
    }
    if (!result->error.empty()) {
        lbAnalysisState->clear();
        ApplyControls();
        ShowMessageBox(MessageKind::Error, ErrorReportText(QString::fromStdString(result->error)));
        return;
    }
    if (result->sweep) sweep_ = std::move(result->sweep);
    map_ = std::move(result->map);
    mapImage_ = result->picture;
    AnalysisMap->SetPicture(mapImage_);
    static_cast<ScaleBar*>(AnalysisScale)->SetPlane(map_->plane);
    CenterMap();
    ShowSweep();
    ShowPlaneCosts();
    lbAnalysisState->setText("gotowe");
    ApplyControls();
    // A choice made during the work gets its map now.
    if (map_->cost.order != seAnalysisOrder->Value() || map_->cost.bitOrder != ChosenBitOrder() ||
        map_->plane != Plane())
        Start(false);
}

void AnalysisPage::ShowSweep() {
    if (!sweep_) return;
    AnalysisTable->setRowCount(static_cast<int>(sweep_->rows.size()));
    const auto rate = [&](double bits) {
        const std::optional<double> bpp = BitsPerPixel(bits, sweep_->pixels);
        return bpp ? QString::fromStdString(FormatFixed(*bpp, kTablePrecision, seps_.decimal))
                   : QString();
    };
    for (int r = 0; r < static_cast<int>(sweep_->rows.size()); ++r) {
        const SweepRow& row = sweep_->rows[static_cast<std::size_t>(r)];
        const QStringList texts = {row.bitOrder == BitOrder::PixelMajor ? "B" : "P",
                                   QString::number(row.order),
                                   rate(row.coderBits),
                                   rate(row.ktBits),
                                   rate(row.condEntropyBits),
                                   rate(sweep_->h0Bits)};
        for (int c = 0; c < texts.size(); ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            item->setTextAlignment(c < 2 ? Qt::AlignCenter : Qt::AlignRight | Qt::AlignVCenter);
            AnalysisTable->setItem(r, c, item);
        }
    }
    AnalysisTable->resizeColumnsToContents();
    // The table as wide as its columns, the bars taking the rest.
    if (auto* figures = findChild<QSplitter*>("AnalysisFigures")) {
        const int table = AnalysisTable->horizontalHeader()->length() +
                          AnalysisTable->verticalScrollBar()->sizeHint().width() + 4;
        figures->setSizes({table, std::max(figures->width() - table, 1)});
    }
}

void AnalysisPage::ShowPlaneCosts() {
    QChart* chart = PlaneChart->chart();
    chart->removeAllSeries();
    if (!map_ || !image_) return;
    auto* set = new QBarSet("Bity na piksel");
    set->setColor(QColor::fromRgb(CostColour(4.0f, 8.0f)));
    double top = 0;
    for (int plane = 7; plane >= 0; --plane) {
        const double bpp = BitsPerPixel(map_->cost.planeBits[plane], image_->Pixels()).value_or(0);
        set->append(bpp);
        top = std::max(top, bpp);
    }
    auto* series = new QBarSeries;
    series->setObjectName("PlaneBars");
    series->append(set);
    // The bar under the pointer names its plane and value.
    connect(series, &QBarSeries::hovered, this, [this](bool over, int index, QBarSet* bars) {
        if (!over) {
            lbAnalysisHover->clear();
            return;
        }
        lbAnalysisHover->setText(
            QString("bit %1: %2 bpp")
                .arg(7 - index)
                .arg(QString::number(bars->at(index), 'f', 3)
                         .replace('.', QString::fromStdString(seps_.decimal))));
    });
    chart->addSeries(series);
    for (QAbstractAxis* axis : chart->axes())
        series->attachAxis(axis);
    auto* bpp = static_cast<QValueAxis*>(chart->axes(Qt::Vertical).front());
    bpp->setRange(0, std::max(0.1, top * 1.1));
    bpp->applyNiceNumbers();
    chart->setTitle(QString::fromUtf8("Koszt płaszczyzn: rząd %1, %2")
                        .arg(map_->cost.order)
                        .arg(BitOrderText(map_->cost.bitOrder)));
}

void AnalysisPage::CenterMap() {
    AnalysisMap->move(
        CenterPosition(AnalysisScroll->size(), AnalysisMap->width(), AnalysisMap->height()));
}

void AnalysisPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    CenterMap();
}

bool AnalysisPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AnalysisScroll && event->type() == QEvent::Resize) {
        CenterMap();
    } else if (watched == AnalysisMap) {
        if (event->type() == QEvent::MouseMove)
            ShowHoverAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::Leave)
            lbAnalysisHover->clear();
    }
    return QWidget::eventFilter(watched, event);
}

void AnalysisPage::ShowHoverAt(QPoint at) {
    if (!map_ || !image_ || at.x() < 0 || at.y() < 0 || at.x() >= map_->width ||
        at.y() >= map_->height) {
        lbAnalysisHover->clear();
        return;
    }
    const std::uint64_t index = std::uint64_t(at.y()) * map_->width + std::uint64_t(at.x());
    std::optional<int> value;
    if (index < image_->RasterBytes()) value = image_->Raster()[index];
    lbAnalysisHover->setText(CostHoverText(at.x(), at.y(), value,
                                           map_->pixels[static_cast<std::size_t>(index)],
                                           QString::fromStdString(seps_.decimal)));
}

void AnalysisPage::btnSaveMapClick() {
    if (mapImage_.isNull() || !map_) return;
    const QString chosen =
        AskSaveFileName({QString::fromUtf8("Zapisz mapę"), "Obrazy PNG (*.png)", "png", mapName_})
            .path;
    if (chosen.isEmpty()) return;
    mapName_ = chosen;
    // "camera.pgm, rząd 3, P (z przeplotem), bit 7": the image, the order, the
    // bit order and the plane the map shows.
    QString title =
        QString::fromStdString(image_ ? image_->name : std::string()) +
        QString::fromUtf8(", rząd %1, %2")
            .arg(map_->cost.order)
            .arg(cbAnalysisBitOrder->itemText(map_->cost.bitOrder == BitOrder::PixelMajor ? 0 : 1));
    if (map_->plane >= 0) title += QString(", bit %1").arg(map_->plane);
    SavePng(RenderCostMapImage(mapImage_, map_->plane, title), chosen);
}

void AnalysisPage::btnSaveTableClick() {
    if (!sweep_) return;
    const QString chosen = AskSaveFileName({QString::fromUtf8("Zapisz tabelę"), "Pliki CSV (*.csv)",
                                            "csv", tableName_})
                               .path;
    if (chosen.isEmpty()) return;
    tableName_ = chosen;
    const std::string text = SweepCsv(*sweep_, CsvField(image_ ? image_->name : std::string()));
    WriteWholeFile(chosen.toStdString(), text.data(), text.size());
}

}  // namespace eks
