#include "ui/ChartPage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QGraphicsTextItem>
#include <QImage>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QToolTip>

#include "core/TestFiles.h"
#include "ui/Platform.h"

namespace eks {
namespace {

using Steps = std::vector<std::pair<int, double>>;

// (order, bpp) of a line, for comparing whole lines at once.
Steps StepsOf(const ChartSeries& line) {
    Steps steps;
    for (const ChartPoint& p : line.points)
        steps.emplace_back(p.order, p.bpp);
    return steps;
}

// 256×256 pixels: 30,005 bytes after coding give 3.663 bpp.
constexpr std::int64_t kPixels = 65536;

TEST(ChartSeriesTest, FollowsTheTableThroughAddedAndDeletedRows) {
    // Both bit orders, the orders out of sequence, a decode and an empty image
    // between them; order 2 in pixel order coded twice.
    std::vector<ChartRow> rows = {
        {"/img/obraz.pgm", 'B', 3, 32768, kPixels},    {"/img/obraz.pgm", 'P', 3, 30005, kPixels},
        {"/img/obraz_P3.ybq", 'D', 3, 65536, kPixels}, {"/img/pusty.pgm", 'B', 1, 5, 0},
        {"/img/obraz.pgm", 'B', 1, 49152, kPixels},    {"/img/obraz.pgm", 'B', 2, 40960, kPixels},
        {"/img/obraz.pgm", 'B', 2, 36864, kPixels},
    };
    std::vector<ChartSeries> lines = BuildChartSeries(rows);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].name, "obraz.pgm — bez przeplotu (B)");
    EXPECT_EQ(StepsOf(lines[0]), (Steps{{1, 6.0}, {2, 4.5}, {3, 4.0}}));
    EXPECT_EQ(lines[1].name, "obraz.pgm — z przeplotem (P)");
    EXPECT_EQ(StepsOf(lines[1]), (Steps{{3, 30005.0 * 8 / 65536}}));

    // The later order-2 row deleted: the earlier one shows again.
    rows.pop_back();
    EXPECT_EQ(StepsOf(BuildChartSeries(rows)[0]), (Steps{{1, 6.0}, {2, 5.0}, {3, 4.0}}));

    // The only plane-order row deleted, a row added: one line, in order.
    rows.erase(rows.begin() + 1);
    rows.push_back({"/img/obraz.pgm", 'B', 9, 16384, kPixels});
    lines = BuildChartSeries(rows);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(StepsOf(lines[0]), (Steps{{1, 6.0}, {2, 5.0}, {3, 4.0}, {9, 2.0}}));
}

TEST(ChartSeriesTest, KnowsImagesByTheirFullPath) {
    const std::vector<ChartSeries> lines = BuildChartSeries({
        {"/a/obraz.pgm", 'P', 1, 8192, kPixels},
        {"/b/obraz.pgm", 'P', 1, 16384, kPixels},
        {"/x/c/obraz.pgm", 'P', 1, 4096, kPixels},
        {"/y/c/obraz.pgm", 'P', 1, 4096, kPixels},
        {"/a/inny.pgm", 'P', 1, 4096, kPixels},
        {"/a/obraz.pgm", 'P', 2, 4096, kPixels},
    });
    // As many folders as tell the images apart; a file name of its own alone.
    std::vector<std::string> names;
    for (const ChartSeries& line : lines)
        names.push_back(line.name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "a/obraz.pgm — z przeplotem (P)", "b/obraz.pgm — z przeplotem (P)",
                         "x/c/obraz.pgm — z przeplotem (P)", "y/c/obraz.pgm — z przeplotem (P)",
                         "inny.pgm — z przeplotem (P)"}));
    EXPECT_EQ(StepsOf(lines[0]), (Steps{{1, 1.0}, {2, 0.5}}));
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
            });
        previousSave_ = SetSaveFileFn([this](const SaveDialogSpec& spec) {
            asked_.push_back(spec);
            return answer_;
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
    QLineSeries* Line(const QString& name) const {
        for (QAbstractSeries* s : View()->chart()->series())
            if (s->name() == name) return qobject_cast<QLineSeries*>(s);
        return nullptr;
    }
    QStringList SeriesNames() const {
        QStringList names;
        for (QAbstractSeries* s : View()->chart()->series())
            names << s->name();
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

TEST_F(ChartPageTest, DrawsTheRowsAndShowsThePointUnderThePointer) {
    // Empty table: a hint, no lines, nothing to save.
    EXPECT_TRUE(SeriesNames().isEmpty());
    EXPECT_EQ(View()->chart()->title().toStdString(), "Brak wyników kodowania");
    EXPECT_FALSE(page_.findChild<QPushButton*>("btnSaveChart")->isEnabled());

    page_.SetRows({{"/img/obraz.pgm", 'B', 1, 49152, kPixels},
                   {"/img/obraz.pgm", 'P', 3, 30005, kPixels},
                   {"/img/obraz.pgm", 'P', 5, 24576, kPixels},
                   {"/img/obraz_P3.ybq", 'D', 3, 65536, kPixels}});
    ASSERT_EQ(SeriesNames(),
              (QStringList{"obraz.pgm — bez przeplotu (B)", "obraz.pgm — z przeplotem (P)",
                           "8 bpp (bez kompresji)"}));
    EXPECT_TRUE(View()->chart()->title().isEmpty());
    EXPECT_EQ(Line("8 bpp (bez kompresji)")->pen().style(), Qt::DashLine);

    // Axis titles and labels in Polish, with the decimal comma; whole orders.
    const QStringList texts = DrawnTexts();
    for (const char* text : {"Rząd kodera", "Bity na piksel", "8,0", "1", "9"})
        EXPECT_TRUE(texts.contains(text)) << text << " not in " << texts.join('|').toStdString();

    // The pointer moved from an empty corner onto the order-3 point.
    QChart* chart = View()->chart();
    const QPointF inChart =
        chart->mapToPosition(QPointF(3, 30005.0 * 8 / 65536), Line("obraz.pgm — z przeplotem (P)"));
    const QPoint at = View()->mapFromScene(chart->mapToScene(inChart));
    QTest::mouseMove(View()->viewport(), QPoint(2, 2));
    QTest::mouseMove(View()->viewport(), at);
    QApplication::processEvents();
    EXPECT_EQ(page_.LastHoverText().toStdString(),
              "obraz.pgm — z przeplotem (P)\nrząd 3: 3,663 bpp");
    EXPECT_EQ(QToolTip::text().toStdString(), page_.LastHoverText().toStdString());

    // A row deleted: the chart follows, the plane-order line loses a step.
    page_.SetRows({{"/img/obraz.pgm", 'P', 3, 30005, kPixels}});
    ASSERT_EQ(SeriesNames(),
              (QStringList{"obraz.pgm — z przeplotem (P)", "8 bpp (bez kompresji)"}));
    EXPECT_EQ(Line("obraz.pgm — z przeplotem (P)")->count(), 1);
}

TEST_F(ChartPageTest, SavesTheChartAsPngOrSaysWhyNot) {
    TempDir dir;
    page_.SetRows(
        {{"/img/obraz.pgm", 'P', 1, 40000, kPixels}, {"/img/obraz.pgm", 'P', 2, 30005, kPixels}});

    // The dialog cancelled: nothing said.
    ClickSave();
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].proposedName, "wykres.png");
    EXPECT_TRUE(shown_.empty());

    answer_ = QString::fromStdString(dir.File("wykres.png"));
    ClickSave();
    QImage saved;
    ASSERT_TRUE(saved.load(answer_, "PNG"));
    EXPECT_EQ(saved.size(), View()->size() * View()->devicePixelRatio());
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

}  // namespace
}  // namespace eks
