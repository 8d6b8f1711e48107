#include "ui/ChartPage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include <QApplication>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QGraphicsTextItem>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <set>
#include <tuple>

#include "core/TestFiles.h"
#include "results/ChartRecords.h"
#include "ui/Platform.h"

namespace eks {
namespace {

using test::Record;
using test::Steps;
using test::StepsOf;

// 256×256 pixels: 30,005 bytes after coding give 3.663 bpp.
constexpr std::int64_t kPixels = 65536;

TEST(ChartSeriesTest, KnowsImagesByTheirFullPath) {
    const std::vector<ChartSeries> lines = BuildChartSeries({
        Record("/a/obraz.pgm", 'P', 1, 8192),
        Record("/b/obraz.pgm", 'P', 1, 16384),
        Record("/x/c/obraz.pgm", 'P', 1, 4096),
        Record("/y/c/obraz.pgm", 'P', 1, 4096),
        Record("/a/inny.pgm", 'P', 1, 4096),
        Record("/a/obraz.pgm", 'P', 2, 4096),
        Record("/a/obraz.pgm", 'B', 2, 4096),
    });
    // As many folders as tell the images apart; a file name of its own alone.
    std::vector<std::string> names;
    for (const ChartSeries& line : lines)
        names.push_back(line.name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "a/obraz.pgm — z przeplotem (P)", "b/obraz.pgm — z przeplotem (P)",
                         "x/c/obraz.pgm — z przeplotem (P)", "y/c/obraz.pgm — z przeplotem (P)",
                         "inny.pgm — z przeplotem (P)", "a/obraz.pgm — bez przeplotu (B)"}));
    EXPECT_EQ(StepsOf(lines[0]), (Steps{{1, 1.0}, {2, 0.5}}));
    // Both bit orders of an image are one image of the legend.
    EXPECT_EQ(lines[5].image, lines[0].image);

    QStringList legend;
    for (const ChartLegendEntry& entry : ChartLegendEntries(lines))
        legend << entry.text;
    EXPECT_EQ(legend, (QStringList{"a/obraz.pgm", "b/obraz.pgm", "x/c/obraz.pgm", "y/c/obraz.pgm",
                                   "inny.pgm", "bez przeplotu (B)", "z przeplotem (P)",
                                   "8 bpp (bez kompresji)"}));
}

TEST(ChartSeriesTest, TellsImagesApartAndLaysTheLegendOutInFull) {
    // Eight colours, then the same colours with other markers: no two of
    // the first 96 images look alike.
    std::set<std::tuple<QRgb, int, bool>> looks;
    for (int image = 0; image < 96; ++image) {
        const ChartLook look = LookOfImage(image);
        looks.emplace(look.colour.rgb(), static_cast<int>(look.shape), look.hollow);
    }
    EXPECT_EQ(looks.size(), 96u);
    EXPECT_EQ(LookOfImage(8).colour, LookOfImage(0).colour);

    // Six images of long names in both bit orders: the legend needs several
    // rows, and every entry has its text's whole width within the row.
    std::vector<ResultRecord> records;
    for (int i = 1; i <= 6; ++i) {
        const std::string path = "/obrazy/zdjęcie_lotnicze_numer_" + std::to_string(i) + ".pgm";
        records.push_back(Record(path, 'B', 1, 8192));
        records.push_back(Record(path, 'P', 1, 8192));
    }
    const std::vector<ChartLegendEntry> entries = ChartLegendEntries(BuildChartSeries(records));
    ASSERT_EQ(entries.size(), 9u);
    QFont font;
    font.setPixelSize(20);
    const QFontMetrics fm(font);
    for (int width : {1500, 250}) {
        const std::vector<QRect> boxes = LayoutChartLegend(entries, font, width);
        ASSERT_EQ(boxes.size(), entries.size());
        std::set<int> rows;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const QString& text = entries[i].text;
            EXPECT_GT(boxes[i].width(), fm.horizontalAdvance(text)) << text.toStdString();
            // Only an entry wider than the legend on its own may stick out.
            if (boxes[i].width() <= width) {
                EXPECT_GE(boxes[i].left(), 0);
                EXPECT_LE(boxes[i].left() + boxes[i].width(), width);
            }
            for (std::size_t k = 0; k < i; ++k)
                EXPECT_FALSE(boxes[i].intersects(boxes[k])) << i << " over " << k;
            rows.insert(boxes[i].top());
        }
        EXPECT_GE(rows.size(), width == 250 ? entries.size() : 2u);
    }
}

// ------------------------------------------------------------------ page

struct Shown {
    MessageKind kind;
    QString text;
};

// The page shown on its own, in a Polish locale, with message boxes and the
// save dialog replaced by recorders.
class ChartPageTest : public testing::Test {
  protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        previousBox_ =
            SetMessageBoxFn([this](MessageKind kind, const QString&, const QString& text) {
                shown_.push_back({kind, text});
                return MessageButton::Ok;
            });
        previousSave_ = SetSaveFileFn([this](const SaveDialogSpec& spec) {
            asked_.push_back(spec);
            return SaveChoice{answer_, 0};
        });
        page_.resize(640, 480);
        page_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page_));
    }
    void TearDown() override {
        SetSaveFileFn(previousSave_);
        SetMessageBoxFn(previousBox_);
        QLocale::setDefault(QLocale::c());
    }
    QChartView* View() const { return page_.findChild<QChartView*>("ChartView"); }
    // A series by its name, or a line by its object name.
    QLineSeries* Line(const QString& name) const {
        for (QAbstractSeries* s : View()->chart()->series())
            if (s->name() == name || s->objectName() == name) return qobject_cast<QLineSeries*>(s);
        return nullptr;
    }
    QStringList SeriesNames() const {
        QStringList names;
        for (QAbstractSeries* s : View()->chart()->series())
            names << (s->name().isEmpty() ? s->objectName() : s->name());
        return names;
    }
    // The texts drawn in the chart: title, axis titles and labels.
    QStringList DrawnTexts() const {
        QApplication::processEvents();
        QStringList texts;
        for (QGraphicsItem* item : View()->scene()->items())
            if (auto* text = dynamic_cast<QGraphicsTextItem*>(item)) texts << text->toPlainText();
        return texts;
    }
    // The visible entries of the legend.
    QStringList LegendNames() const {
        QApplication::processEvents();
        QStringList names;
        for (QLegendMarker* marker : View()->chart()->legend()->markers())
            if (marker->isVisible()) names << marker->label();
        return names;
    }
    // Where the point (order, bpp) of a series shows in the view's viewport.
    QPoint InView(QLineSeries* series, int order, double bpp) const {
        QChart* chart = View()->chart();
        const QPointF inChart = chart->mapToPosition(QPointF(order, bpp), series);
        return View()->mapFromScene(chart->mapToScene(inChart));
    }
    void Move(const QPoint& to) {
        QTest::mouseMove(View()->viewport(), to);
        QApplication::processEvents();
    }
    void ClickSave() {
        QTest::mouseClick(page_.findChild<QPushButton*>("btnSaveChart"), Qt::LeftButton);
        QApplication::processEvents();
    }

    ChartPage page_;
    std::vector<Shown> shown_;
    std::vector<SaveDialogSpec> asked_;
    QString answer_;
    MessageBoxFn previousBox_;
    SaveFileFn previousSave_;
};

TEST_F(ChartPageTest, DrawsTheRecordsAndShowsThePointUnderThePointer) {
    // Empty table: a hint, no lines, nothing to save.
    EXPECT_TRUE(SeriesNames().isEmpty());
    EXPECT_EQ(View()->chart()->title().toStdString(), "Brak wyników kodowania");
    EXPECT_FALSE(page_.findChild<QPushButton*>("btnSaveChart")->isEnabled());

    page_.SetRecords(
        {Record("/img/obraz.pgm", 'B', 1, 49152), Record("/img/obraz.pgm", 'P', 3, 30005),
         Record("/img/obraz.pgm", 'P', 5, 24576), Record("/img/obraz.pgm", 'P', 9, 20480),
         Record("/img/obraz_P3.ybq", 'D', 3, 65536)});
    EXPECT_TRUE(View()->chart()->title().isEmpty());
    QLineSeries* pixelOrder = Line("obraz.pgm — bez przeplotu (B)");
    QLineSeries* planeOrder = Line("obraz.pgm — z przeplotem (P)");
    ASSERT_TRUE(pixelOrder && planeOrder) << SeriesNames().join('|').toStdString();
    // One colour for the image, the bit order in the dashes; the legend names
    // the image and the bit orders, not each line.
    EXPECT_EQ(pixelOrder->pen().color(), planeOrder->pen().color());
    EXPECT_EQ(pixelOrder->pen().style(), Qt::SolidLine);
    EXPECT_NE(planeOrder->pen().style(), Qt::SolidLine);
    EXPECT_EQ(LegendNames(), (QStringList{"obraz.pgm", "bez przeplotu (B)", "z przeplotem (P)",
                                          "8 bpp (bez kompresji)"}));
    EXPECT_EQ(Line("8 bpp (bez kompresji)")->pen().style(), Qt::DotLine);
    // The markers at the first and the last order are drawn whole.
    QApplication::processEvents();
    const QRect plot = View()->mapFromScene(View()->chart()->plotArea()).boundingRect();
    for (const QPoint& at : {InView(pixelOrder, 1, 6.0), InView(planeOrder, 9, 2.5)})
        EXPECT_TRUE(plot.contains(QRect(at - QPoint(6, 6), QSize(12, 12))))
            << at.x() << " in " << plot.left() << "–" << plot.right();

    // Axis titles and labels in Polish, with the decimal comma; whole orders.
    const QStringList texts = DrawnTexts();
    for (const char* text : {"Rząd kodera", "Bity na piksel", "8,0", "1", "9"})
        EXPECT_TRUE(texts.contains(text)) << text << " not in " << texts.join('|').toStdString();

    // The pointer moved from an empty corner onto the order-3 point, beside
    // it, along the line to nearer the order-5 point, and away from the lines.
    auto* hover = page_.findChild<QLabel*>("ChartHover");
    ASSERT_NE(hover, nullptr);
    const QPoint at3 = InView(planeOrder, 3, 30005.0 * 8 / 65536);
    const QPoint at5 = InView(planeOrder, 5, 3.0);
    const std::string shown3 = "obraz.pgm — z przeplotem (P)\nrząd 3: 3,663 bpp";
    Move(QPoint(2, 2));
    EXPECT_FALSE(hover->isVisible());
    Move(at3);
    EXPECT_TRUE(hover->isVisible());
    EXPECT_EQ(hover->text().toStdString(), shown3);
    EXPECT_EQ(page_.LastHoverText().toStdString(), shown3);
    Move(at3 + QPoint(4, -4));
    EXPECT_TRUE(hover->isVisible());
    EXPECT_EQ(hover->text().toStdString(), shown3);
    Move(at3 + (at5 - at3) * 0.7);
    EXPECT_TRUE(hover->isVisible());
    EXPECT_TRUE(hover->text().contains(QString::fromUtf8("rząd 5: 3,")))
        << hover->text().toStdString();
    Move(InView(planeOrder, 8, 1.0));
    EXPECT_FALSE(hover->isVisible());

    // Two markers within reach of the pointer: the nearer one is named,
    // whichever line it is on.
    page_.SetRecords(
        {Record("/img/obraz.pgm", 'B', 3, 28779), Record("/img/obraz.pgm", 'P', 3, 30005)});
    QApplication::processEvents();  // the chart laid out for its new lines
    const QPoint atB = InView(Line("obraz.pgm — bez przeplotu (B)"), 3, 28779.0 * 8 / 65536);
    const QPoint atP = InView(Line("obraz.pgm — z przeplotem (P)"), 3, 30005.0 * 8 / 65536);
    const qreal apart = QLineF(atB, atP).length();
    ASSERT_TRUE(apart >= 3 && apart <= 9) << apart;
    Move(atB + (atP - atB) * 0.3);
    EXPECT_TRUE(hover->text().startsWith(QString::fromUtf8("obraz.pgm — bez przeplotu (B)")))
        << hover->text().toStdString();
    Move(atB + (atP - atB) * 0.7);
    EXPECT_TRUE(hover->text().startsWith(QString::fromUtf8("obraz.pgm — z przeplotem (P)")))
        << hover->text().toStdString();

    // A row deleted: the chart follows, the plane-order line loses a step.
    page_.SetRecords({Record("/img/obraz.pgm", 'P', 3, 30005)});
    ASSERT_NE(Line("obraz.pgm — z przeplotem (P)"), nullptr);
    EXPECT_EQ(Line("obraz.pgm — z przeplotem (P)")->count(), 1);
    EXPECT_EQ(Line("obraz.pgm — bez przeplotu (B)"), nullptr);
    EXPECT_EQ(LegendNames(),
              (QStringList{"obraz.pgm", "z przeplotem (P)", "8 bpp (bez kompresji)"}));
}

TEST_F(ChartPageTest, SavesTheChartAsPngOrSaysWhyNot) {
    TempDir dir;
    page_.SetRecords(
        {Record("/img/obraz.pgm", 'P', 1, 40000), Record("/img/obraz.pgm", 'P', 2, 30005)});

    // The dialog cancelled: nothing said.
    ClickSave();
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].proposedName, "wykres.png");
    EXPECT_TRUE(shown_.empty());

    // The saved chart has a size of its own, whatever the page's (640×480).
    answer_ = QString::fromStdString(dir.File("wykres.png"));
    ClickSave();
    QImage saved;
    ASSERT_TRUE(saved.load(answer_, "PNG"));
    EXPECT_GE(saved.width(), kChartImageWidth);
    EXPECT_GE(saved.height(), kChartPlotHeight);
    EXPECT_TRUE(shown_.empty());

    // A folder cannot be written as a file. The dialog proposes the name
    // chosen last.
    const QString previous = answer_;
    answer_ = QString::fromStdString(dir.Dir() + "folder.png");
    ASSERT_TRUE(QDir().mkdir(answer_));
    ClickSave();
    EXPECT_EQ(asked_.back().proposedName.toStdString(), previous.toStdString());
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].kind, MessageKind::Error);
    EXPECT_EQ(shown_[0].text.toStdString(), "Cannot create file " + answer_.toStdString() + ".");
}

TEST_F(ChartPageTest, ShowsTheReferencesOfEachImagesFileOrSaysWhyNot) {
    TempDir dir;
    std::string raster;
    for (int i = 0; i < 32 * 16; ++i)
        raster.push_back(static_cast<char>((i * 7) % 64 + (i / 32) * 8));
    const std::string image = dir.File("obraz.pgm");
    const std::string gone = dir.File("inny.pgm");
    WriteFile(image, "P5\n32 16\n255\n" + raster);
    page_.SetRecords({Record(image, 'B', 1, 300, 32, 16), Record(image, 'P', 2, 280, 32, 16),
                      Record(gone, 'P', 1, 400, 32, 16)});
    auto* references = page_.findChild<QCheckBox*>("cbReferences");
    ASSERT_NE(references, nullptr);
    EXPECT_FALSE(references->isChecked());

    // Ticked: kt and the conditional entropy for each line, H0 once per
    // image, named in the legend; the file that is not there says so.
    QTest::mouseClick(references, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return LegendNames().contains("kt (B)"); }));
    EXPECT_EQ(LegendNames(),
              (QStringList{"obraz.pgm", "inny.pgm (brak pliku)", "bez przeplotu (B)",
                           "z przeplotem (P)", "8 bpp (bez kompresji)", "kt (B)", "kt (P)",
                           "entropia warunkowa (B)", "entropia warunkowa (P)", "H0"}));
    QLineSeries* kt = Line("obraz.pgm — bez przeplotu (B) — kt");
    // The two bit orders' references of one image, in one colour, told apart.
    EXPECT_NE(kt->pen().dashPattern(),
              Line("obraz.pgm — z przeplotem (P) — kt")->pen().dashPattern());
    QLineSeries* entropy = Line("obraz.pgm — z przeplotem (P) — entropia warunkowa");
    ASSERT_TRUE(kt && entropy && Line("obraz.pgm — H0")) << SeriesNames().join('|').toStdString();
    EXPECT_EQ(kt->count(), 9);
    EXPECT_EQ(kt->pen().color().hue(), Line("obraz.pgm — bez przeplotu (B)")->pen().color().hue());
    EXPECT_LT(kt->pen().widthF(), Line("obraz.pgm — bez przeplotu (B)")->pen().widthF());
    for (int order = 1; order < 9; ++order)
        EXPECT_GE(entropy->at(order - 1).y() + 1e-9, entropy->at(order).y()) << order;
    // Each bit order's line has its own sequence's figures, worked out here
    // by counting (context, bit) pairs of the bits laid out by hand; the
    // first bits' context may differ, a few bits in 4096 at most.
    const auto conditionalEntropy = [&](bool planes, int order) {
        std::vector<int> bits;
        for (int k = 0; k < 8 * 512; ++k) {
            const int pixel = planes ? k % 512 : k / 8;
            const int bit = planes ? 7 - k / 512 : 7 - k % 8;
            bits.push_back((static_cast<unsigned char>(raster[pixel]) >> bit) & 1);
        }
        std::map<std::pair<int, int>, double> counts;
        for (std::size_t i = 0, context = 0; i < bits.size(); ++i) {
            counts[{static_cast<int>(context), bits[i]}] += 1;
            context = ((context << 1) | static_cast<std::size_t>(bits[i])) & ((1u << order) - 1);
        }
        double sum = 0;
        for (const auto& [key, n] : counts) {
            const auto other = counts.find({key.first, 1 - key.second});
            sum -= n * std::log2(n / (n + (other == counts.end() ? 0 : other->second)));
        }
        return sum / 512;
    };
    QLineSeries* entropyB = Line("obraz.pgm — bez przeplotu (B) — entropia warunkowa");
    ASSERT_TRUE(entropyB);
    for (int order = 1; order <= 9; ++order) {
        EXPECT_NEAR(entropyB->at(order - 1).y(), conditionalEntropy(false, order), 0.02) << order;
        EXPECT_NEAR(entropy->at(order - 1).y(), conditionalEntropy(true, order), 0.02) << order;
    }
    EXPECT_EQ(Line("inny.pgm — z przeplotem (P) — kt"), nullptr);

    // The file changed since it was plotted: no references for it.
    WriteFile(image, "P5\n32 16\n255\n" + raster + "x");
    page_.SetRecords({Record(image, 'B', 1, 300, 32, 16)});
    EXPECT_EQ(LegendNames(), (QStringList{"obraz.pgm (plik zmieniony)", "bez przeplotu (B)",
                                          "8 bpp (bez kompresji)"}));
    EXPECT_EQ(Line("obraz.pgm — bez przeplotu (B) — kt"), nullptr);

    // The mean view has no entry per image: one note names those without.
    page_.SetRecords({Record(image, 'B', 1, 300, 32, 16), Record(gone, 'P', 1, 400, 32, 16)});
    QTest::mouseClick(page_.findChild<QRadioButton*>("rbChartMean"), Qt::LeftButton);
    EXPECT_TRUE(LegendNames().contains(
        QString::fromUtf8("bez odniesień – brak pliku: 1 obraz; plik zmieniony: 1 obraz")))
        << LegendNames().join('|').toStdString();
    QTest::mouseClick(page_.findChild<QRadioButton*>("rbChartEach"), Qt::LeftButton);
    page_.SetRecords({Record(image, 'B', 1, 300, 32, 16)});

    // Unticked: the lines of the coder only.
    QTest::mouseClick(references, Qt::LeftButton);
    EXPECT_EQ(LegendNames(),
              (QStringList{"obraz.pgm", "bez przeplotu (B)", "8 bpp (bez kompresji)"}));
}

TEST_F(ChartPageTest, ShowsACorpusAsItsMeanAndHidesAnImageByItsLegendEntry) {
    // bpp of three images, sizes of 8192 bytes a bit per pixel; c has no
    // plane-order row at order 2.
    const std::map<std::tuple<std::string, char, int>, double> bpp = {
        {{"a", 'B', 1}, 6}, {{"a", 'B', 2}, 5}, {{"a", 'P', 1}, 5}, {{"a", 'P', 2}, 4},
        {{"b", 'B', 1}, 4}, {{"b", 'B', 2}, 2}, {{"b", 'P', 1}, 3}, {{"b", 'P', 2}, 1.5},
        {{"c", 'B', 1}, 5}, {{"c", 'B', 2}, 2}, {{"c", 'P', 1}, 7}};
    std::vector<ResultRecord> records;
    for (const auto& [key, value] : bpp)
        records.push_back(Record("/k/" + std::get<0>(key) + ".pgm", std::get<1>(key),
                                 std::get<2>(key), static_cast<std::int64_t>(value * 8192)));
    page_.SetRecords(records);
    EXPECT_EQ(SeriesNames().filter(QString::fromUtf8("b.pgm — ")).size(), 2);

    // A click on b's legend entry hides its lines, another shows them again.
    const auto clickEntry = [&](const QString& label) {
        QApplication::processEvents();
        for (QGraphicsItem* item : View()->scene()->items())
            if (auto* text = dynamic_cast<QGraphicsTextItem*>(item);
                text && text->toPlainText() == label)
                QTest::mouseClick(View()->viewport(), Qt::LeftButton, {},
                                  View()->mapFromScene(text->sceneBoundingRect().center()));
        QApplication::processEvents();
    };
    clickEntry("b.pgm");
    EXPECT_TRUE(SeriesNames().filter(QString::fromUtf8("b.pgm — ")).isEmpty());
    EXPECT_TRUE(LegendNames().contains("b.pgm (ukryty)"));
    EXPECT_EQ(SeriesNames().filter(QString::fromUtf8("a.pgm — ")).size(), 2);
    clickEntry("b.pgm (ukryty)");
    EXPECT_EQ(SeriesNames().filter(QString::fromUtf8("b.pgm — ")).size(), 2);

    // The mean view: each order's mean of the images that have it, the band
    // from the lowest to the highest.
    QTest::mouseClick(page_.findChild<QRadioButton*>("rbChartMean"), Qt::LeftButton);
    const QString meanB = QString::fromUtf8("bez przeplotu (B): średnia z 3 obrazów");
    const QString meanP = QString::fromUtf8(
        "z przeplotem (P): średnia z 3 obrazów (rząd 2: 2; obrazy bez wyniku pominięte)");
    EXPECT_EQ(LegendNames().mid(0, 2), (QStringList{meanB, meanP}));
    for (const auto& [name, op] : {std::pair{meanB, 'B'}, std::pair{meanP, 'P'}}) {
        QLineSeries* mean = Line(name);
        QAreaSeries* band = nullptr;
        for (QAbstractSeries* series : View()->chart()->series())
            if (series->objectName() == name + QString::fromUtf8(" — zakres"))
                band = qobject_cast<QAreaSeries*>(series);
        ASSERT_TRUE(mean && band) << SeriesNames().join('|').toStdString();
        ASSERT_EQ(mean->count(), 2);
        for (int order = 1; order <= 2; ++order) {
            std::vector<double> of;
            for (const char* image : {"a", "b", "c"})
                if (const auto found = bpp.find({image, op, order}); found != bpp.end())
                    of.push_back(found->second);
            double sum = 0;
            for (double v : of)
                sum += v;
            EXPECT_DOUBLE_EQ(mean->at(order - 1).y(), sum / static_cast<double>(of.size()));
            EXPECT_EQ(band->upperSeries()->at(order - 1).y(),
                      *std::max_element(of.begin(), of.end()));
            EXPECT_EQ(band->lowerSeries()->at(order - 1).y(),
                      *std::min_element(of.begin(), of.end()));
        }
    }

    Move(InView(Line(meanB), 2, 3.0));
    EXPECT_EQ(page_.LastHoverText().toStdString(),
              (meanB + QString::fromUtf8("\nrząd 2: 3,000 bpp (od 2,000 do 5,000, 3 obrazy)"))
                  .toStdString());

    // More than 50 images open in the mean view; "każdy obraz" shows their
    // lines and stays chosen while the corpus grows.
    QTest::mouseClick(page_.findChild<QRadioButton*>("rbChartEach"), Qt::LeftButton);
    EXPECT_EQ(SeriesNames().filter(QString::fromUtf8(" — ")).size(), 6);
    for (int i = 0; i < 47; ++i)
        records.push_back(Record("/k/n" + std::to_string(i) + ".pgm", 'B', 1, 8192));
    page_.SetRecords(records);
    EXPECT_FALSE(page_.findChild<QRadioButton*>("rbChartMean")->isChecked());
    records.push_back(Record("/k/n47.pgm", 'B', 1, 8192));
    page_.SetRecords(records);
    EXPECT_TRUE(page_.findChild<QRadioButton*>("rbChartMean")->isChecked());
    EXPECT_TRUE(LegendNames().contains(QString::fromUtf8(
        "bez przeplotu (B): średnia z 51 obrazów (rząd 2: 3; obrazy bez wyniku pominięte)")))
        << LegendNames().join('|').toStdString();
    QTest::mouseClick(page_.findChild<QRadioButton*>("rbChartEach"), Qt::LeftButton);
    records.push_back(Record("/k/n48.pgm", 'B', 1, 20480));
    page_.SetRecords(records);
    EXPECT_TRUE(page_.findChild<QRadioButton*>("rbChartEach")->isChecked());
    // So many lines are painted at once; the pointer still names each.
    EXPECT_TRUE(LegendNames().contains(
        QString::fromUtf8("52 obrazy, każdy swoją linią: nazwa pod wskaźnikiem")));
    Move(InView(Line("8 bpp (bez kompresji)"), 1, 2.5));
    EXPECT_EQ(page_.LastHoverText().toStdString(),
              "n48.pgm — bez przeplotu (B)\nrząd 1: 2,500 bpp");
}

}  // namespace
}  // namespace eks
