// The workbench driven as a person drives it: mouse clicks on list entries,
// tabs, rows and buttons, typed numbers and keys, with the real coder
// programs. The window's waits run on a clock that ends a time-out as soon
// as the coder has finished, so no test here waits real seconds.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBarSeries>
#include <QBarSet>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <atomic>
#include <memory>
#include <set>
#include <thread>

#include "core/Files.h"
#include "core/Memory.h"
#include "core/TestFiles.h"
#include "results/Csv.h"
#include "results/Report.h"
#include "tests/ui/UserDriver.h"
#include "ui/AnalysisPage.h"
#include "ui/Platform.h"
#include "ui/main.h"

namespace eks {
namespace {

using test::UserDriver;

class UserTest : public testing::Test {
  protected:
    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        for (const char* sample : {"text.pgm", "coins.pgm"})
            std::filesystem::copy_file(std::string(SAMPLES_DIR) + "/" + sample, dir_.File(sample));
        std::filesystem::copy_file(ARITH_N_EXE, dir_.File("arith-n.exe"));
        std::filesystem::copy_file(EARITH_N_EXE, dir_.File("earith-n.exe"));
        // The window starts elsewhere; the green square takes it home.
        std::filesystem::create_directory(dir_.File("gdzie"));
        oldCwd_ = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir_.File("gdzie")));
        previousBox_ = SetMessageBoxFn([this](MessageKind, const QString&, const QString& text) {
            shown_.push_back(text);
            return answer_;
        });
        previousSave_ = SetSaveFileFn([this](const SaveDialogSpec& spec) {
            dialogs_.push_back(spec);
            return SaveChoice{QString::fromStdString(dir_.File("raport")), 0};
        });
        previousOpen_ = SetOpenFileFn([this](const OpenDialogSpec& spec) {
            opened_.push_back(spec.directory);
            return openAnswer_;
        });
    }
    void TearDown() override {
        form_.reset();
        SetMessageBoxFn(previousBox_);
        SetSaveFileFn(previousSave_);
        SetOpenFileFn(previousOpen_);
        SetMemoryBudget(0);
        SetBitSequenceBudget(0);
        QDir::setCurrent(oldCwd_);
    }

    TForm1& Open() {
        form_ = std::make_unique<TForm1>(QString::fromStdString(dir_.Dir()), clock_);
        clock_.Follow(form_->Runner());
        user_ = std::make_unique<UserDriver>(*form_);
        form_->show();
        form_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        user_->Click("Shape1");
        return *form_;
    }
    UserDriver& User() { return *user_; }

    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int r = 0; r < test::RowCount(test::Controls(*form_).ListView); ++r) {
            QStringList cols;
            for (int c = 0; c < 8; ++c)
                cols << test::CellText(test::Controls(*form_).ListView, r, c);
            rows.push_back(cols.join("|").toStdString());
        }
        return rows;
    }
    // The raster of a sample: everything after its three header lines.
    std::string Raster(const char* name) const {
        const std::string bytes = ReadFile(dir_.File(name));
        std::size_t at = 0;
        for (int line = 0; line < 3; ++line)
            at = bytes.find('\n', at) + 1;
        return bytes.substr(at);
    }
    // The grey levels of the picture on show, row by row.
    std::string ShownGreys() const {
        const QImage& pic = test::Controls(*form_).Image->Picture();
        std::string greys;
        for (int y = 0; y < pic.height(); ++y)
            for (int x = 0; x < pic.width(); ++x)
                greys.push_back(static_cast<char>(qGray(pic.pixel(x, y))));
        return greys;
    }
    // The lines of the chart, by their names.
    QStringList ChartLines() const {
        QStringList names;
        for (QAbstractSeries* line : user_->Find<QChartView>("ChartView")->chart()->series())
            if (!line->objectName().isEmpty()) names << line->objectName();
        return names;
    }
    std::string Messages() const {
        std::string all;
        for (const QString& m : shown_)
            all += m.toStdString() + "\n";
        return all;
    }
    // The controls a job switches, in one line.
    std::string Controls() const {
        const test::Controls ui(*form_);
        const bool black = ui.Zlabel->palette().color(QPalette::WindowText) == QColor(0, 0, 0);
        return std::string("code:") + (ui.btnCode->isEnabled() ? "1" : "0") +
               " order:" + (ui.seOrder->isEnabled() ? "1" : "0") +
               " dict:" + (ui.cbDict->isEnabled() ? "1" : "0") + (black ? " black" : " grey") +
               " decode:" + (ui.btnDecode->isEnabled() ? "1" : "0") +
               " lists:" + (ui.FLB1->isEnabled() ? "1" : "0") + (ui.FLB2->isEnabled() ? "1" : "0") +
               " busy:" + (form_->State().Busy ? "1" : "0");
    }
    // Replaces a coder program by a script that writes nothing.
    void BreakProgram(const char* name) {
        std::filesystem::remove(dir_.File(name));
        WriteFile(dir_.File(name), "#!/bin/sh\nexit 3\n");
        std::filesystem::permissions(dir_.File(name), std::filesystem::perms::owner_all);
    }
    std::uintmax_t FileSize(const std::string& name) const {
        return std::filesystem::file_size(dir_.File(name));
    }

    // Choose the sample, code it in plane order, decode the container: the
    // picture on show is the sample again. Proves the window still works.
    void EncodeAndDecodeWork(const char* sample = "coins.pgm") {
        const std::size_t rows = Rows().size();
        const std::size_t messages = shown_.size();
        ASSERT_TRUE(User().ClickEntry("FLB1", sample));
        ASSERT_TRUE(test::Controls(*form_).btnCode->isEnabled()) << Messages();
        if (test::Controls(*form_).cbDict->isChecked()) User().Click("cbDict");
        User().Click("btnCode");
        std::string base(sample);
        base = base.substr(0, base.find('.'));
        const QString container = QString::fromStdString(
            base + "_P" + std::to_string(test::Controls(*form_).seOrder->value()) + ".ybq");
        ASSERT_TRUE(User().DoubleClickEntry("FLB2", container));
        EXPECT_EQ(ShownGreys(), Raster(sample));
        EXPECT_EQ(Rows().size(), rows + 2);
        EXPECT_EQ(shown_.size(), messages) << Messages();
    }

    TempDir dir_;
    test::PacedClock clock_;
    std::unique_ptr<TForm1> form_;
    std::unique_ptr<UserDriver> user_;
    std::vector<QString> shown_;
    std::vector<SaveDialogSpec> dialogs_;
    MessageBoxFn previousBox_;
    // The answer to every message box; a question about unsaved results is
    // answered "Nie zapisuj" unless a test says otherwise.
    MessageButton answer_ = MessageButton::DontSave;
    SaveFileFn previousSave_;
    OpenFileFn previousOpen_;
    QString openAnswer_;           // what the open dialog gives
    std::vector<QString> opened_;  // the folder it opened in, each time
    QString oldCwd_;
};

TEST_F(UserTest, TheWholeWorkflowByMouseInBothBitOrders) {
    TForm1& form = Open();
    const test::Controls ui(form);
    ASSERT_EQ(ui.FLB1->count(), 2);
    // The first click on a file loads it.
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    ASSERT_TRUE(shown_.empty()) << Messages();
    EXPECT_EQ(ui.Image->Picture().size(), QSize(448, 172));
    EXPECT_EQ(form.PanelText(1), QString::fromUtf8("448×172"));
    EXPECT_EQ(form.PanelText(3), "77,071");
    EXPECT_EQ(form.PanelText(5), "8.002");
    EXPECT_TRUE(ui.btnCode->isEnabled());
    EXPECT_TRUE(ui.seOrder->isEnabled());
    EXPECT_FALSE(ui.btnDecode->isEnabled());

    // Order 3, plane order.
    User().TypeNumber("seOrder", 3);
    User().Click("btnCode");
    ASSERT_TRUE(shown_.empty()) << Messages();
    const auto planeSize = FileSize("wyniki/text_P3.ybq");
    EXPECT_EQ(ReadFile(dir_.File("wyniki/text_P3.ybq")).substr(0, 5),
              std::string("\xC0\x01\xAC\x00\x13", 5));
    EXPECT_NE(UserDriver::Entry(ui.FLB2, "text_P3.ybq"), nullptr);
    const std::string plane = FormatThousands(static_cast<std::int64_t>(planeSize), ",");
    ASSERT_EQ(Rows().size(), 1u);
    EXPECT_EQ(Rows()[0], "1|text.pgm|P/3|77,056|8.002|" +
                             FormatFixed(planeSize * 8.0 / 77056, 8, ".") + "|77,071|" + plane);
    EXPECT_EQ(form.PanelText(3).toStdString(), "77,071/" + plane);
    const QAbstractItemModel* table = ui.ListView->model();
    EXPECT_EQ(table->index(0, 2).data(Qt::TextAlignmentRole), int(Qt::AlignCenter));
    EXPECT_EQ(table->index(0, 7).data(Qt::TextAlignmentRole),
              int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_TRUE(ui.btnCode->isEnabled());
    EXPECT_FALSE(ui.btnDecode->isEnabled());

    // Pixel order: the check box ticked by a click.
    User().Click("cbDict");
    ASSERT_TRUE(ui.cbDict->isChecked());
    User().Click("btnCode");
    const auto pixelSize = FileSize("wyniki/text_B3.ybq");
    EXPECT_EQ(ReadFile(dir_.File("wyniki/text_B3.ybq"))[4], 3);
    ASSERT_EQ(Rows().size(), 2u);
    EXPECT_EQ(Rows()[1].rfind("2|text.pgm|B/3|77,056|8.002|", 0), 0u) << Rows()[1];

    // The passes of the plane-order container, without pauses, each caught
    // whenever the window handles its events.
    User().ClickTab("Opcje");
    User().TypeNumber("seStepTime", 0);
    User().ClickTab("Obraz");
    test::PictureSpy spy(*ui.Image);
    ASSERT_TRUE(User().ClickEntry("FLB2", "text_P3.ybq"));
    EXPECT_TRUE(ui.btnDecode->isEnabled());
    EXPECT_FALSE(ui.btnCode->isEnabled());
    EXPECT_FALSE(ui.cbDict->isEnabled());
    spy.Start();
    ASSERT_TRUE(User().DoubleClickEntry("FLB2", "text_P3.ybq"));
    spy.Stop();
    const std::vector<QImage>& passes = spy.Seen();
    ASSERT_TRUE(shown_.empty()) << Messages();
    const std::string source = Raster("text.pgm");
    ASSERT_EQ(passes.size(), 8u);
    for (int k = 1; k <= 8; ++k) {
        const auto mask = static_cast<std::uint8_t>(0xFF00 >> k);
        for (int i = 0; i < 77056; i += 97)
            ASSERT_EQ(qGray(passes[k - 1].pixel(i % 448, i / 448)),
                      static_cast<std::uint8_t>(source[i]) & mask)
                << "pass " << k << " pixel " << i;
    }
    EXPECT_EQ(ShownGreys(), source);
    ASSERT_EQ(Rows().size(), 3u);
    EXPECT_EQ(Rows()[2], "3|text_P3.ybq|D/3|77,056|" +
                             FormatFixed(planeSize * 8.0 / 77056, 8, ".") + "|8.000|" + plane +
                             "|77,056");
    EXPECT_FALSE(ui.btnDecode->isEnabled());

    // The pixel-order container by its button.
    ASSERT_TRUE(User().ClickEntry("FLB2", "text_B3.ybq"));
    User().Click("btnDecode");
    EXPECT_EQ(ShownGreys(), source);
    ASSERT_EQ(Rows().size(), 4u);
    EXPECT_EQ(Rows()[3].rfind("4|text_B3.ybq|D/3|77,056|", 0), 0u) << Rows()[3];
    EXPECT_EQ(Rows()[3].substr(Rows()[3].size() - 7), "|77,056");
    EXPECT_EQ(ui.lbStep->text(), "");

    // The results page: delete the second row, save the report.
    User().ClickTab("Wyniki");
    EXPECT_TRUE(ui.btnSave->isVisible());
    EXPECT_FALSE(ui.btnDelItem->isEnabled());
    User().ClickRow(1);
    EXPECT_TRUE(ui.btnDelItem->isEnabled());
    EXPECT_TRUE(ChartLines().contains("text.pgm — bez przeplotu (B)"));
    User().Click("btnDelItem");
    ASSERT_EQ(Rows().size(), 3u);
    EXPECT_EQ(Rows()[1].substr(0, 14), "2|text_P3.ybq|");
    EXPECT_FALSE(ui.btnDelItem->isEnabled());
    // The chart follows the table.
    EXPECT_EQ(ChartLines(), QStringList{"text.pgm — z przeplotem (P)"});
    User().Click("btnSave");
    ASSERT_EQ(dialogs_.size(), 1u);
    EXPECT_EQ(dialogs_[0].proposedName, "wyniki.txt");
    EXPECT_EQ(dialogs_[0].filter, "Pliki tekstowe (*.txt)");
    std::vector<ResultRow> rows(3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 8; ++c)
            rows[r][c] = test::CellText(ui.ListView, r, c).toStdString();
    const std::string report = ReadFile(dir_.File("raport.txt"));  // the type's suffix added
    const std::string expected = ReportBytes(rows, "00:00:00");
    ASSERT_NE(report.find("\r\n"), std::string::npos);
    EXPECT_EQ(report.substr(report.find("\r\n")), expected.substr(expected.find("\r\n")));
    EXPECT_FALSE(ui.btnSave->isEnabled());
    EXPECT_EQ(pixelSize, FileSize("wyniki/text_B3.ybq"));

    // The CSV form by its file type, whatever the name's suffix; a name
    // without one gets the type's; the dialog opens on the type used last.
    std::vector<std::string> names = {"dane", "dane.dat", "WYNIKI.CSV"};
    SetSaveFileFn([&](const SaveDialogSpec& spec) {
        dialogs_.push_back(spec);
        const std::string name = names.front();
        names.erase(names.begin());
        return SaveChoice{QString::fromStdString(dir_.File(name)), 1};
    });
    for (const char* saved : {"dane.csv", "dane.dat", "WYNIKI.CSV"}) {
        User().ClickRow(0);
        User().Click("btnSave");
        EXPECT_EQ(ReadFile(dir_.File(saved)).substr(0, CsvHeaderLine().size()), CsvHeaderLine());
    }
    EXPECT_EQ(dialogs_[1].selectedType, 0);
    EXPECT_EQ(dialogs_[2].selectedType, 1);
    // A click on the empty part of the list takes the selection away: "Usuń
    // wpis" is off, and Alt+U deletes nothing.
    const QRect lastRow = ui.ListView->visualRect(ui.ListView->model()->index(2, 0));
    ASSERT_LT(lastRow.bottom() + 10, ui.ListView->viewport()->height());
    UserDriver::Click(ui.ListView->viewport(), QPoint(20, lastRow.bottom() + 8));
    EXPECT_FALSE(ui.btnDelItem->isEnabled());
    EXPECT_EQ(ui.ListView->SelectedRow(), -1);
    User().Accelerator(Qt::Key_U);
    EXPECT_EQ(Rows().size(), 3u);
    // Paths as the file system names them, without doubled separators.
    EXPECT_NE(
        ReadFile(dir_.File("dane.csv")).find("\n" + dir_.File("wyniki/text_P3.ybq") + ",D,3,"),
        std::string::npos);

    // A decode started on "Wyniki" shows the picture; the results' buttons
    // stay until the user picks another page. Its row is numbered after the
    // rows left.
    ASSERT_TRUE(User().DoubleClickEntry("FLB2", "text_B3.ybq"));
    EXPECT_EQ(ui.PageControl1->currentWidget(), ui.tabPicture);
    EXPECT_TRUE(ui.btnSave->isVisible());
    EXPECT_EQ(Rows()[3].substr(0, 14), "4|text_B3.ybq|");
    EXPECT_TRUE(shown_.empty()) << Messages();
}

TEST_F(UserTest, ChoosingByMouseAndByKeyboardReportsOneChoiceWithItsPath) {
    TForm1& form = Open();
    const test::Controls ui(form);
    // A first click on another file while one is selected loads the new one.
    ASSERT_TRUE(User().ClickEntry("FLB1", "coins.pgm"));
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    EXPECT_EQ(form.State().Item.CurrentName, "text.pgm");
    EXPECT_EQ(ui.Image->Picture().size(), QSize(448, 172));
    EXPECT_TRUE(shown_.empty()) << Messages();

    // Code it, decode it, then a click on the entry already chosen is a
    // choice too: the coder controls come back.
    User().Click("btnCode");
    ASSERT_TRUE(User().ClickEntry("FLB2", "text_P1.ybq"));
    User().Click("btnDecode");
    EXPECT_FALSE(ui.btnCode->isEnabled());
    ASSERT_TRUE(ui.FLB1->SelectedPath().endsWith("text.pgm"));
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    EXPECT_TRUE(ui.btnCode->isEnabled());
    EXPECT_EQ(form.State().CurrentPath, dir_.File("text.pgm"));

    // Keyboard only: Tab into the PGM list makes a row current but chooses
    // nothing; the arrows choose.
    ASSERT_TRUE(User().ClickEntry("FLB2", "text_P1.ybq"));  // something else chosen last
    // The program refilling the PGM list is no choice either.
    User().Click("Shape1");
    EXPECT_EQ(form.State().Item.CurrentName, "text_P1.ybq");
    EXPECT_TRUE(ui.btnDecode->isEnabled());
    User().ClickEntry("DLB", ui.DLB->currentItem()->text());
    User().Key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), ui.FLB1);
    EXPECT_EQ(form.State().Item.CurrentName, "text_P1.ybq");
    User().Key(Qt::Key_Down);  // from the first entry, made current by the focus
    EXPECT_EQ(form.State().Item.CurrentName, "text.pgm");
    User().Key(Qt::Key_Up);
    EXPECT_EQ(form.State().Item.CurrentName, "coins.pgm");
    EXPECT_EQ(ui.Image->Picture().size(), QSize(384, 303));
    User().Key(Qt::Key_Down);
    EXPECT_EQ(form.State().Item.CurrentName, "text.pgm");
    EXPECT_TRUE(ui.btnCode->isEnabled());
    // Alt+K codes with the order typed in.
    User().TypeNumber("seOrder", 2);
    User().Accelerator(Qt::Key_K);
    EXPECT_TRUE(std::filesystem::exists(dir_.File("wyniki/text_P2.ybq")));
    EXPECT_EQ(Rows().size(), 3u);

    // Into the container list: Enter decodes nothing, an arrow chooses,
    // Alt+D decodes; Alt+D again (the button now off) does nothing.
    User().ClickEntry("DLB", ui.DLB->currentItem()->text());
    User().Key(Qt::Key_Tab);
    User().Key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), ui.FLB2);
    User().Key(Qt::Key_Down);
    User().Key(Qt::Key_Up);
    EXPECT_EQ(form.State().Item.CurrentName, "text_P1.ybq");
    EXPECT_TRUE(ui.btnDecode->isEnabled());
    User().Key(Qt::Key_Return);
    EXPECT_EQ(Rows().size(), 3u);
    User().Accelerator(Qt::Key_D);
    ASSERT_EQ(Rows().size(), 4u);
    EXPECT_EQ(Rows()[3].substr(0, 14), "4|text_P1.ybq|");
    User().Accelerator(Qt::Key_D);
    EXPECT_EQ(Rows().size(), 4u);

    // A double click on the empty part of the container list does nothing.
    QListWidget* flb2 = ui.FLB2;
    const QRect last = flb2->visualItemRect(flb2->item(flb2->count() - 1));
    ASSERT_LT(last.bottom() + 10, flb2->viewport()->height());
    UserDriver::DoubleClick(flb2->viewport(), QPoint(20, last.bottom() + 8));
    EXPECT_EQ(Rows().size(), 4u);
    EXPECT_TRUE(shown_.empty()) << Messages();

    // Alt+C ends the program once nothing runs.
    User().Accelerator(Qt::Key_C);
    EXPECT_TRUE(form.EndRequested());
}

TEST_F(UserTest, FilesThatCannotBeShownAreReportedAndLeaveNothingToCode) {
    TForm1& form = Open();
    const test::Controls ui(form);
    // A file gone between its listing and the click: the message names it,
    // and the coder controls, on for the image before, go off.
    WriteFile(dir_.File("znikniety.pgm"), "P5\n4 2\n255\n12345678");
    User().Click("Shape1");
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    ASSERT_TRUE(ui.btnCode->isEnabled());
    std::filesystem::remove(dir_.File("znikniety.pgm"));
    ASSERT_TRUE(User().ClickEntry("FLB1", "znikniety.pgm"));
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].toStdString(), "Cannot open file " + dir_.File("znikniety.pgm") + ".");
    EXPECT_FALSE(ui.btnCode->isEnabled());
    EXPECT_FALSE(ui.seOrder->isEnabled());
    EXPECT_FALSE(ui.cbDict->isEnabled());
    EXPECT_EQ(form.State().Item.CurrentName, "znikniety.pgm");
    // A listed image that has become a pipe: refused by name at once, nothing waits for a
    // writer, and so is a container that has.
    WriteFile(dir_.File("potok.pgm"), "P5\n4 2\n255\n12345678");
    WriteFile(dir_.File("wyniki/potok_P1.ybq"), "x");
    User().Click("Shape1");
    ui.FLB2->Refill();
    for (const char* name : {"potok.pgm", "wyniki/potok_P1.ybq"}) {
        std::filesystem::remove(dir_.File(name));
        ASSERT_EQ(::mkfifo(dir_.File(name).c_str(), 0600), 0);
    }
    ASSERT_TRUE(User().ClickEntry("FLB1", "potok.pgm"));
    ASSERT_TRUE(User().DoubleClickEntry("FLB2", "potok_P1.ybq"));
    ASSERT_EQ(shown_.size(), 3u);
    EXPECT_EQ(shown_[1].toStdString(), NotRegularFileMessage(dir_.File("potok.pgm")) + ".");
    EXPECT_EQ(shown_[2].toStdString(),
              NotRegularFileMessage(dir_.Dir() + "/wyniki/potok_P1.ybq") + ".");
    for (const char* name : {"potok.pgm", "wyniki/potok_P1.ybq"})
        std::filesystem::remove(dir_.File(name));
    shown_.clear();
    EncodeAndDecodeWork();

    // A header that asks for 65535 × 65535 pixels: a message, no picture, the
    // one on show stays, and nothing to code.
    SetMemoryBudget(64 << 20);
    WriteFile(dir_.File("olbrzym.pgm"), "P5\n65535 65535\n255\n" + std::string(64, '\x80'));
    User().Click("Shape1");
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    const qint64 before = ui.Image->Picture().cacheKey();
    shown_.clear();
    ASSERT_TRUE(User().ClickEntry("FLB1", "olbrzym.pgm"));
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].toStdString(), PictureTooLargeMessage(65535, 65535) + ".");
    EXPECT_EQ(ui.Image->Picture().cacheKey(), before);
    EXPECT_FALSE(ui.btnCode->isEnabled());
    EXPECT_FALSE(form.State().Busy);
    shown_.clear();
    EncodeAndDecodeWork("text.pgm");

    // The same from a container header: the decoder is not even started.
    WriteFile(dir_.File("wyniki/olbrzym_P3.ybq"), std::string("\xFF\xFF\xFF\xFF\x13xyz", 8));
    User().Click("Shape1");
    ui.FLB2->Refill();
    ASSERT_TRUE(User().DoubleClickEntry("FLB2", "olbrzym_P3.ybq"));
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].toStdString(), PictureTooLargeMessage(65535, 65535) + ".");
    EXPECT_EQ(Rows().size(), 4u);  // the two of each work-out above, none for this
    EXPECT_TRUE(ui.FLB2->isEnabled());
    EXPECT_NE(ReadFile(dir_.File("tmp3x.dat")), "xyz");
    shown_.clear();
    SetMemoryBudget(0);
    EncodeAndDecodeWork();

    // An image 0 pixels high after a large one: no picture and no stale
    // scroll bars.
    WriteFile(dir_.File("duzy.pgm"), "P5\n600 500\n255\n" + std::string(300000, '\x20'));
    WriteFile(dir_.File("pusty.pgm"), "P5\n600 0\n255\n");
    User().Click("Shape1");
    ASSERT_TRUE(User().ClickEntry("FLB1", "duzy.pgm"));
    QApplication::processEvents();
    EXPECT_TRUE(ui.ScrollBox1->horizontalScrollBar()->isVisible());
    ASSERT_TRUE(User().ClickEntry("FLB1", "pusty.pgm"));
    QApplication::processEvents();
    EXPECT_TRUE(ui.Image->Picture().isNull());
    EXPECT_EQ(ui.Image->size(), QSize(0, 0));
    EXPECT_FALSE(ui.ScrollBox1->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(ui.ScrollBox1->verticalScrollBar()->isVisible());
    EXPECT_EQ(form.PanelText(5), "");
    // Its container is written and decoded as one without pixels.
    User().Click("btnCode");
    ASSERT_TRUE(User().DoubleClickEntry(
        "FLB2", QString("pusty_P%1.ybq").arg(test::Controls(form).seOrder->value())));
    EXPECT_TRUE(shown_.empty()) << Messages();
    EncodeAndDecodeWork("text.pgm");

    // A report refused (the name chosen is a folder) is reported, the button
    // stays on for another try, and the folder is untouched.
    std::filesystem::create_directory(dir_.File("raporty.txt"));
    SetSaveFileFn([this](const SaveDialogSpec&) {
        return SaveChoice{QString::fromStdString(dir_.File("raporty.txt")), 0};
    });
    User().ClickTab("Wyniki");
    User().Click("btnSave");
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].toStdString(), "Cannot create file " + dir_.File("raporty.txt") + ".");
    EXPECT_TRUE(ui.btnSave->isEnabled());
    EXPECT_TRUE(std::filesystem::is_directory(dir_.File("raporty.txt")));
    shown_.clear();
    User().ClickTab("Obraz");
    EncodeAndDecodeWork();
}

// A second window in the same folder works in a folder of its own and says so once: two
// "Koduj" at the same moment, each window with its own image, give two correct containers and
// a row in each window.
TEST_F(UserTest, TwoWindowsInOneFolderCodeAtTheSameMomentEachItsOwnImage) {
    // The folder's lock held by the first window, or a folder standing at
    // the lock's name: either way the two windows never share working files.
    // The two images have the same size, so only the output check could
    // tell one coder's stream from the other's.
    for (const char* sample : {"camera.pgm", "brick.pgm"})
        std::filesystem::copy_file(std::string(SAMPLES_DIR) + "/" + sample, dir_.File(sample));
    for (const bool lockIsAFolder : {false, true}) {
        SCOPED_TRACE(lockIsAFolder ? "lock is a folder" : "lock held");
        form_.reset();
        shown_.clear();
        for (const char* sample : {"camera", "brick"})
            std::filesystem::remove(dir_.File(std::string("wyniki/") + sample + "_P2.ybq"));
        if (lockIsAFolder) std::filesystem::create_directory(dir_.File("eksperymenty.lock"));
        TForm1& form = Open();
        test::PacedClock otherClock;
        TForm1 other(QString::fromStdString(dir_.Dir()), otherClock);
        otherClock.Follow(other.Runner());
        UserDriver otherUser(other);
        other.show();
        // Each window that works elsewhere says why, once.
        ASSERT_EQ(shown_.size(), lockIsAFolder ? 2u : 1u) << Messages();
        for (const QString& message : shown_)
            EXPECT_NE(message.indexOf(lockIsAFolder ? QString::fromUtf8("nie jest zwykłym plikiem")
                                                    : QString::number(::getpid())),
                      -1)
                << Messages();
        shown_.clear();
        otherUser.Click("Shape1");
        ASSERT_TRUE(otherUser.ClickEntry("FLB1", "brick.pgm"));
        ASSERT_TRUE(User().ClickEntry("FLB1", "camera.pgm"));
        for (UserDriver* user : {&User(), &otherUser})
            user->TypeNumber("seOrder", 2);

        // The other window's click comes while this window's coder runs.
        bool clicked = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (clicked || !form.Runner().ProgramRunning()) return;
            clicked = true;
            otherUser.Click("btnCode");
        });
        poll.start(1);
        User().Click("btnCode");
        poll.stop();
        ASSERT_TRUE(clicked);
        EXPECT_TRUE(shown_.empty()) << Messages();
        ASSERT_EQ(Rows().size(), 1u);
        EXPECT_EQ(Rows()[0].substr(0, 13), "1|camera.pgm|");
        const QTreeView* otherRows = test::Controls(other).ListView;
        ASSERT_EQ(test::RowCount(otherRows), 1);
        EXPECT_EQ(test::CellText(otherRows, 0, 1), "brick.pgm");

        // Both containers hold their own image.
        test::Controls(form).FLB2->Refill();
        for (const char* sample : {"camera", "brick"}) {
            ASSERT_TRUE(User().DoubleClickEntry("FLB2", QString("%1_P2.ybq").arg(sample)));
            EXPECT_EQ(ShownGreys(), Raster((std::string(sample) + ".pgm").c_str())) << sample;
        }
        EXPECT_TRUE(shown_.empty()) << Messages();

        // Rows not saved: "Koniec" asks first, and "Anuluj" keeps the window.
        answer_ = MessageButton::Cancel;
        otherUser.Click("btnQuit");
        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0], QString::fromUtf8("Zapisać wyniki przed zamknięciem?"));
        EXPECT_FALSE(other.EndRequested());
        answer_ = MessageButton::DontSave;
        otherUser.Click("btnQuit");
        EXPECT_TRUE(other.EndRequested());
        shown_.clear();
        if (lockIsAFolder) std::filesystem::remove(dir_.File("eksperymenty.lock"));
    }
}

TEST_F(UserTest, EveryWayAJobEndsLeavesTheControlsOfThatWay) {
    TForm1& form = Open();
    const test::Controls ui(form);
    // What the controls are while a job waits, seen whenever the window
    // handles its events with the file lists off.
    std::set<std::string> during;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!ui.FLB1->isEnabled()) during.insert(Controls());
    });
    watch.start(0);
    const std::string encoding = "code:0 order:0 dict:0 grey decode:0 lists:00 busy:0";
    const std::string decoding = "code:0 order:0 dict:0 grey decode:0 lists:00 busy:1";
    const std::string coderOff = "code:0 order:0 dict:0 grey decode:0 lists:11 busy:0";

    // Encode done: coding possible at once. The wait was the whole time-out;
    // with "Kończ oczekiwanie" ticked it ends with the coder.
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    std::int64_t before = clock_.NowMs();
    User().Click("btnCode");
    EXPECT_GE(clock_.NowMs() - before, 5000);
    EXPECT_EQ(Controls(), "code:1 order:1 dict:1 black decode:0 lists:11 busy:0");
    EXPECT_EQ(during, std::set<std::string>{encoding});
    User().ClickTab("Opcje");
    User().Click("cbEndWait");
    User().ClickTab("Obraz");
    before = clock_.NowMs();
    User().Click("btnCode");
    EXPECT_LT(clock_.NowMs() - before, 5000);
    EXPECT_EQ(Rows().size(), 2u);

    // Decode done: every job control off until a file is chosen.
    ASSERT_TRUE(User().ClickEntry("FLB2", "text_P1.ybq"));
    EXPECT_EQ(Controls(), "code:0 order:0 dict:0 grey decode:1 lists:11 busy:0");
    during.clear();
    ASSERT_TRUE(User().DoubleClickEntry("FLB2", "text_P1.ybq"));
    EXPECT_EQ(Controls(), coderOff);
    EXPECT_EQ(during, std::set<std::string>{decoding});
    EXPECT_EQ(Rows().size(), 3u);

    // Encode error (the results folder gone): the error's text, the lists on.
    std::filesystem::rename(dir_.File("wyniki"), dir_.File("schowane"));
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    during.clear();
    User().Click("btnCode");
    ASSERT_EQ(shown_.size(), 1u);
    // The results folder's path keeps the separator the application folder
    // ends in.
    EXPECT_EQ(shown_[0].toStdString(), "Cannot create file " + dir_.Dir() + "/wyniki/text_P1.ybq.");
    EXPECT_EQ(Controls(), coderOff);
    EXPECT_EQ(during, std::set<std::string>{encoding});
    std::filesystem::rename(dir_.File("schowane"), dir_.File("wyniki"));

    // Megabytes out of a 2 × 2 image: the status bar's panels grow to show
    // their whole texts.
    BreakProgram("arith-n.exe");
    WriteFile(dir_.File("arith-n.exe"), "#!/bin/sh\nhead -c 8336457 /dev/zero > \"$2\"\n");
    WriteFile(dir_.File("maly.pgm"), "P5\n2 2\n255\nabcd");
    User().Click("Shape1");
    ASSERT_TRUE(User().ClickEntry("FLB1", "maly.pgm"));
    User().Click("btnCode");
    ASSERT_EQ(form.PanelText(3), "15/8,336,462");
    ASSERT_EQ(form.PanelText(5), "30.000/1.6673E+007");
    QApplication::processEvents();
    for (const char* name : {"StatusPanel1", "StatusPanel3", "StatusPanel5"}) {
        const auto* panel = User().Find<QLabel>(name);
        EXPECT_GE(panel->contentsRect().width(),
                  panel->fontMetrics().horizontalAdvance(panel->text()))
            << name;
    }

    // A coder that fails: its reason, no row, the lists on.
    BreakProgram("arith-n.exe");
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    User().Click("btnCode");
    EXPECT_EQ(Controls(), coderOff);
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[1].toStdString(), CoderFailedMessage("zakończył się z kodem 3") + ".");
    EXPECT_EQ(Rows().size(), 4u);

    // A decoder that fails: the same, the lists on.
    BreakProgram("earith-n.exe");
    ASSERT_TRUE(User().ClickEntry("FLB2", "text_P1.ybq"));
    during.clear();
    User().Click("btnDecode");
    ASSERT_EQ(shown_.size(), 3u);
    EXPECT_EQ(shown_[2].toStdString(), DecoderFailedMessage("zakończył się z kodem 3") + ".");
    EXPECT_EQ(Controls(), coderOff);
    EXPECT_EQ(during, std::set<std::string>{decoding});
    EXPECT_EQ(Rows().size(), 4u);

    // Closing the window during a decode stops the decoder, removes its
    // files and ends, with no message and no row.
    // The pid appears whole (written, then renamed), so that the window is
    // closed only once it can be read.
    WriteFile(dir_.File("earith-n.exe"),
              "#!/bin/sh\necho $$ > dekoder.part && mv dekoder.part dekoder.pid\nexec sleep 60\n");
    ASSERT_TRUE(User().ClickEntry("FLB2", "text_P1.ybq"));
    QTimer close;
    close.setSingleShot(true);
    QObject::connect(&close, &QTimer::timeout, [&] {
        if (std::filesystem::exists(dir_.File("dekoder.pid")))
            form.close();
        else
            close.start(1);
    });
    close.start(1);
    User().Click("btnDecode");
    // The window ends once the decode has stopped, after asking about the
    // rows not saved.
    EXPECT_TRUE(form.EndRequested());
    ASSERT_EQ(shown_.size(), 4u) << Messages();
    EXPECT_EQ(shown_[3], QString::fromUtf8("Zapisać wyniki przed zamknięciem?"));
    EXPECT_EQ(Rows().size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("tmp3x.dat")));
    EXPECT_NE(::kill(std::stoi(ReadFile(dir_.File("dekoder.pid"))), 0), 0) << "the decoder runs";
}

TEST_F(UserTest, AnOrderSeriesCodesEveryStepAndKeepsTheControlsOff) {
    TForm1& form = Open();
    const test::Controls ui(form);
    User().ClickTab("Seria");
    auto* run = User().Find<QPushButton>("btnSeriesRun");
    auto* stop = User().Find<QPushButton>("btnSeriesStop");
    auto* steps = User().Find<QListWidget>("lstSeries");
    auto* image = User().Find<QLabel>("lbSeriesImage");
    auto* end = User().Find<QLabel>("lbSeriesStep");
    // The page names the image it will code, or asks for one.
    EXPECT_EQ(image->text().toStdString(), "najpierw wybierz obraz");
    EXPECT_FALSE(run->isEnabled());
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    EXPECT_EQ(image->text().toStdString(), "obraz: text.pgm, 448×172");
    EXPECT_TRUE(run->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    User().TypeNumber("seFrom", 2);
    User().TypeNumber("seTo", 4);
    User().Click("cbSeriesCheck");
    // A step that cannot write its container: its error is listed, the
    // series goes on.
    std::filesystem::create_directory(dir_.File("wyniki/text_P3.ybq"));

    // What the controls are whenever the window handles its events meanwhile.
    std::set<std::string> during;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (stop->isEnabled()) during.insert(Controls() + (run->isEnabled() ? " run:1" : " run:0"));
    });
    watch.start(0);
    User().Click("btnSeriesRun");
    watch.stop();
    EXPECT_EQ(during,
              std::set<std::string>{"code:0 order:0 dict:0 grey decode:0 lists:00 busy:0 run:0"});
    EXPECT_EQ(Controls(), "code:1 order:1 dict:1 black decode:0 lists:11 busy:0");
    EXPECT_TRUE(run->isEnabled());
    EXPECT_FALSE(stop->isEnabled());

    // Bit order B first, then P, orders ascending; one row per written container.
    std::vector<std::string> ops;
    for (const std::string& row : Rows())
        ops.push_back(row.substr(row.find('|', 2) + 1, 3));
    EXPECT_EQ(ops, (std::vector<std::string>{"B/2", "B/3", "B/4", "P/2", "P/4"}));
    ASSERT_EQ(steps->count(), 6);
    // Each step's line says what its row says: the size after and the rate.
    const QStringList row = QString::fromStdString(Rows()[0]).split('|');
    EXPECT_EQ(steps->item(0)->text(),
              "B/2: " + row[7] + " B, " + row[5] + " bit/piksel, sprawdzony");
    EXPECT_TRUE(steps->item(0)->icon().isNull());
    // The failed step is marked.
    EXPECT_EQ(steps->item(4)->text().toStdString(),
              "P/3: błąd: Cannot create file " + dir_.Dir() + "/wyniki/text_P3.ybq.");
    EXPECT_FALSE(steps->item(4)->icon().isNull());
    EXPECT_TRUE(steps->item(5)->text().endsWith(", sprawdzony"));
    EXPECT_EQ(end->text().toStdString(), "seria zakończona: 6 kroków, 1 błąd");
    EXPECT_TRUE(shown_.empty()) << Messages();

    // The chart follows the rows: a line per bit order.
    EXPECT_EQ(ChartLines().size(), 2);

    // "Zapisz wyniki" in the CSV form: the same rows with their raw values,
    // the checks filled in.
    SetSaveFileFn([this](const SaveDialogSpec& spec) {
        EXPECT_EQ(spec.secondFilter, "Pliki CSV (*.csv)");
        return SaveChoice{QString::fromStdString(dir_.File("wyniki")), 1};
    });
    User().ClickTab("Wyniki");
    User().Click("btnSave");
    const std::string csv = ReadFile(dir_.File("wyniki.csv"));
    EXPECT_EQ(csv.substr(0, csv.find('\n') + 1), CsvHeaderLine());
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 6);
    const std::string first = dir_.File("text.pgm") + ",B,2,448,172,77056,77071,";
    EXPECT_EQ(csv.substr(csv.find('\n') + 1, first.size()), first);
    std::size_t checked = 0;
    for (std::size_t at = 0; (at = csv.find(",ok,\n", at)) != std::string::npos; ++at)
        ++checked;
    EXPECT_EQ(checked, 5u);
    EXPECT_FALSE(ui.btnSave->isEnabled());

    // "Wczytaj wyniki": a series' CSV (two images at orders 1 and 9 in both
    // bit orders, and the four failed jobs of a broken image) joins the
    // table, the chart and the status bar; its failed jobs stay for the CSV
    // only. A CSV of another layout is refused naming what is missing.
    openAnswer_ = QString(EKS_CSV_DATA_DIR) + "/seria.csv";
    User().Click("btnLoad");
    ASSERT_EQ(Rows().size(), 13u) << Messages();
    EXPECT_EQ(Rows()[5], "6|text.pgm|B/1|77,056|8.002|7.913|77,071|76,221");
    EXPECT_EQ(Rows()[12], "13|coins.pgm|P/9|116,352|8.001|6.081|116,367|88,447");
    EXPECT_TRUE(ChartLines().contains("coins.pgm — z przeplotem (P)"))
        << ChartLines().join(";").toStdString();
    EXPECT_EQ(form.PanelText(3), "116,367/88,447");
    // Saved again, the CSV keeps the failed jobs too.
    User().Click("btnSave");
    const std::string again = ReadFile(dir_.File("wyniki.csv"));
    EXPECT_EQ(std::count(again.begin(), again.end(), '\n'), 6 + 12);
    WriteFile(dir_.File("obcy.csv"), "nazwa,wartosc\n");
    openAnswer_ = QString::fromStdString(dir_.File("obcy.csv"));
    User().Click("btnLoad");
    ASSERT_FALSE(shown_.empty());
    EXPECT_EQ(shown_.back().toStdString(),
              "Plik " + dir_.File("obcy.csv") + " nie jest plikiem wyników: brak kolumny image.");
    EXPECT_EQ(Rows().size(), 13u);
    // The dialog opens where the last file came from.
    EXPECT_EQ(opened_.back(), QString(EKS_CSV_DATA_DIR));
    // The same CSV again: its rows follow the hidden failed jobs of the first.
    // The arrows move the selection, Delete deletes nothing, Alt+U ("Usuń
    // wpis") the selected row's own record; saved, the CSV keeps every
    // failed job.
    openAnswer_ = QString(EKS_CSV_DATA_DIR) + "/seria.csv";
    User().Click("btnLoad");
    ASSERT_EQ(Rows().size(), 21u);
    User().ClickRow(12);
    User().Key(Qt::Key_Down);
    User().Key(Qt::Key_Down);
    User().Key(Qt::Key_Delete);
    EXPECT_EQ(Rows().size(), 21u);
    EXPECT_EQ(Rows()[14].substr(0, 15), "15|text.pgm|B/9");
    User().Accelerator(Qt::Key_U);
    ASSERT_EQ(Rows().size(), 20u);
    EXPECT_EQ(Rows()[14].substr(0, 15), "15|text.pgm|P/1");
    EXPECT_EQ(Rows()[19].substr(0, 16), "20|coins.pgm|P/9");
    EXPECT_FALSE(ui.btnDelItem->isEnabled());
    User().Click("btnSave");
    const std::string kept = ReadFile(dir_.File("wyniki.csv"));
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 6 + 12 + 12 - 1);
    const auto lines = [&kept](const std::string& start) {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = kept.find("\n" + start, at)) != std::string::npos; ++at)
            ++n;
        return n;
    };
    EXPECT_EQ(lines("text.pgm,B,9,"), 1u);
    EXPECT_EQ(lines("text.pgm,P,1,"), 2u);
    EXPECT_EQ(lines("zly.pgm,"), 8u);
    shown_.clear();
    User().ClickTab("Seria");

    // A decoder that gives other bits: each check fails, and says so.
    BreakProgram("earith-n.exe");
    WriteFile(dir_.File("earith-n.exe"), "#!/bin/sh\nhead -c 99 /dev/zero > tmp4x.dat\n");
    User().Click("rbSeriesB");
    User().TypeNumber("seTo", 2);
    User().Click("btnSeriesRun");
    ASSERT_EQ(steps->count(), 1);
    EXPECT_EQ(steps->item(0)->text().toStdString(),
              "B/2: błąd: Sprawdzenie kontenera nie powiodło się: dekoder dał "
              "99 bajtów zamiast 616448.");
    EXPECT_FALSE(steps->item(0)->icon().isNull());
    EXPECT_EQ(end->text().toStdString(), "seria zakończona: 1 krok, 1 błąd");

    // Memory for the bit sequence runs out: the message, the step's line, the
    // rest of the image's steps skipped, and the image must be chosen again.
    SetBitSequenceBudget(1000);
    User().TypeNumber("seTo", 3);
    User().Click("btnSeriesRun");
    SetBitSequenceBudget(0);
    ASSERT_EQ(steps->count(), 2);
    EXPECT_EQ(steps->item(0)->text().toStdString(),
              "B/2: błąd: Zbyt mała ilość dopuszczalnej pamięci RAM - ERROR :(");
    EXPECT_EQ(steps->item(1)->text().toStdString(),
              "B/3: błąd: pominięto: zabrakło pamięci przy wcześniejszym "
              "kroku tego obrazu.");
    EXPECT_EQ(end->text().toStdString(), "seria przerwana po 1 z 2 krokach: brak pamięci");
    EXPECT_EQ(shown_, std::vector<QString>{QString::fromUtf8(kOutOfMemoryMessage)}) << Messages();
    EXPECT_FALSE(run->isEnabled());
    shown_.clear();
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    User().ClickTab("Seria");

    // "Przerwij" while the first step runs: the series stops after it.
    User().Click("cbSeriesCheck");
    User().TypeNumber("seTo", 9);
    QTimer press;
    press.setSingleShot(true);
    QObject::connect(&press, &QTimer::timeout, [&] { UserDriver::Click(stop); });
    press.start(0);
    User().Click("btnSeriesRun");
    EXPECT_EQ(steps->count(), 1);
    EXPECT_EQ(end->text().toStdString(), "seria przerwana po 1 z 8 krokach");

    // Closing the window during a series: it stays open until the running
    // step has ended, then the program ends.
    QObject::disconnect(&press, nullptr, nullptr, nullptr);
    bool shownWhileClosed = false;
    QObject::connect(&press, &QTimer::timeout, [&] {
        form.close();
        shownWhileClosed = form.isVisible();
    });
    press.start(0);
    User().Click("btnSeriesRun");
    EXPECT_TRUE(shownWhileClosed);
    EXPECT_EQ(steps->count(), 1);
    EXPECT_TRUE(form.EndRequested());
}

// The page "Analiza": the analysis runs beside the window's own work and
// leaves its job controls alone; the map answers the pointer; both files save.
TEST_F(UserTest, AnAnalysisShowsTheMapTableAndPlanesAndSavesThem) {
    std::filesystem::copy_file(std::string(SAMPLES_DIR) + "/camera.pgm", dir_.File("camera.pgm"));
    TForm1& form = Open();
    const test::Controls ui(form);
    // The page takes the coder's order and bit order with each new image.
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    User().TypeNumber("seOrder", 3);
    ASSERT_TRUE(User().ClickEntry("FLB1", "camera.pgm"));
    User().ClickTab("Analiza");
    auto* order = User().Find<QSpinBox>("seAnalysisOrder");
    auto* bitOrder = User().Find<QComboBox>("cbAnalysisBitOrder");
    auto* state = User().Find<QLabel>("lbAnalysisState");
    auto* map = User().Find<PictureBox>("AnalysisMap");
    auto* table = User().Find<QTableWidget>("AnalysisTable");
    EXPECT_EQ(order->value(), 3);
    EXPECT_EQ(bitOrder->currentText().toStdString(), "P (z przeplotem)");
    const std::string controls = Controls();
    User().Click("btnAnalyse");
    EXPECT_EQ(Controls(), controls);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->text() == "gotowe"; }, 120000));
    EXPECT_TRUE(shown_.empty()) << Messages();
    EXPECT_EQ(map->Picture().size(), QSize(512, 512));

    // Orders 1 to 9, B before P, rates with three decimals in the locale.
    ASSERT_EQ(table->rowCount(), 18);
    const QRegularExpression rate("^\\d+\\.\\d{3}$");
    for (int r = 0; r < 18; ++r) {
        EXPECT_EQ(table->item(r, 0)->text(), r < 9 ? "B" : "P");
        EXPECT_EQ(table->item(r, 1)->text(), QString::number(r % 9 + 1));
        for (int c = 2; c < 6; ++c)
            EXPECT_TRUE(rate.match(table->item(r, c)->text()).hasMatch())
                << r << "," << c << ": " << table->item(r, c)->text().toStdString();
    }
    // The plane costs of the map shown, planes 7 to 0, summing to the coder's rate.
    const auto bars = User().Find<QChartView>("PlaneChart")->chart()->series();
    ASSERT_EQ(bars.size(), 1);
    const QBarSet* planes = static_cast<QBarSeries*>(bars[0])->barSets()[0];
    ASSERT_EQ(planes->count(), 8);
    double sum = 0;
    for (int i = 0; i < 8; ++i)
        sum += planes->at(i);
    EXPECT_NEAR(sum, table->item(11, 2)->text().toDouble(), 0.002);
    // The pointer over plane 7's bar names its plane and value.
    QChartView* planeChart = User().Find<QChartView>("PlaneChart");
    const QPointF barMiddle =
        planeChart->chart()->mapToPosition(QPointF(0, planes->at(0) / 2), bars[0]);
    QTest::mouseMove(planeChart->viewport(), planeChart->mapFromScene(barMiddle));
    EXPECT_EQ(User().Find<QLabel>("lbAnalysisHover")->text(),
              QString("bit 7: %1 bpp").arg(planes->at(0), 0, 'f', 3));

    // The pixel under the pointer: its value from the raster, its cost.
    const std::string raster = Raster("camera.pgm");
    const QRegularExpression hover("^10, 20: wartość (\\d+), koszt (\\d+\\.\\d\\d) bita$");
    QTest::mouseMove(map, QPoint(10, 20));
    QRegularExpressionMatch shown = hover.match(User().Find<QLabel>("lbAnalysisHover")->text());
    ASSERT_TRUE(shown.hasMatch()) << User().Find<QLabel>("lbAnalysisHover")->text().toStdString();
    EXPECT_EQ(shown.captured(1).toInt(), static_cast<std::uint8_t>(raster[20 * 512 + 10]));
    EXPECT_LE(shown.captured(2).toDouble(), 64.0);

    // One plane, chosen by key: its own map, costs of at most about a bit.
    UserDriver::Click(User().Find<QComboBox>("cbAnalysisPlane"));
    User().Key(Qt::Key_Escape);
    User().Key(Qt::Key_Down);
    EXPECT_EQ(User().Find<QComboBox>("cbAnalysisPlane")->currentText(), "bit 7");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return state->text() == "gotowe" && !map->Picture().isNull(); }, 60000));
    QTest::mouseMove(map, QPoint(11, 20));
    QTest::mouseMove(map, QPoint(10, 20));
    shown = hover.match(User().Find<QLabel>("lbAnalysisHover")->text());
    ASSERT_TRUE(shown.hasMatch());
    EXPECT_LE(shown.captured(2).toDouble(), 16.0);
    EXPECT_EQ(table->rowCount(), 18);

    // The map with its scale, at least the image's size, and the table as CSV.
    std::vector<std::string> names = {"mapa.png", "tabela.csv"};
    SetSaveFileFn([&](const SaveDialogSpec&) {
        const std::string name = names.front();
        names.erase(names.begin());
        return SaveChoice{QString::fromStdString(dir_.File(name)), 0};
    });
    User().Click("btnSaveMap");
    User().Click("btnSaveTable");
    QImage saved;
    ASSERT_TRUE(saved.load(QString::fromStdString(dir_.File("mapa.png")), "PNG"));
    EXPECT_GE(saved.width(), 512);
    EXPECT_GE(saved.height(), 512);
    const std::string csv = ReadFile(dir_.File("tabela.csv"));
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "image,bit_order,order,coder_bpp,kt_bpp,cond_entropy_bpp,h0_bpp,plane7_bpp,"
              "plane6_bpp,plane5_bpp,plane4_bpp,plane3_bpp,plane2_bpp,plane1_bpp,plane0_bpp");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 19);
    EXPECT_NE(csv.find("\ncamera.pgm,P,3,"), std::string::npos) << csv;
    EXPECT_TRUE(shown_.empty()) << Messages();

    // Once the user has chosen on the page, the next image keeps that order
    // and bit order rather than the coder's.
    User().TypeNumber("seAnalysisOrder", 5);
    UserDriver::Click(bitOrder);
    User().Key(Qt::Key_Escape);
    User().Key(Qt::Key_Up);
    ASSERT_EQ(bitOrder->currentText().toStdString(), "B (bez przeplotu)");
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    EXPECT_EQ(order->value(), 5);
    EXPECT_EQ(bitOrder->currentText().toStdString(), "B (bez przeplotu)");

    // An image without pixels has nothing to analyse.
    WriteFile(dir_.File("pusty.pgm"), "P5\n600 0\n255\n");
    User().Click("Shape1");
    ASSERT_TRUE(User().ClickEntry("FLB1", "pusty.pgm"));
    EXPECT_EQ(table->rowCount(), 0);
    User().Click("btnAnalyse");
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].toStdString(), NothingToAnalyseMessage());
}

// The worker held before it starts: "Przerwij", and then another image chosen,
// end it without a picture or a row; the window works on.
TEST_F(UserTest, AnAnalysisStoppedOrOvertakenByAnotherImageShowsNothingOfIt) {
    TForm1& form = Open();
    std::atomic<bool> held{false};
    const AnalysisPage::WorkerHook previous =
        AnalysisPage::SetWorkerHook([&](const std::atomic<bool>& cancel) {
            held = true;
            while (!cancel)
                std::this_thread::yield();
        });
    ASSERT_TRUE(User().ClickEntry("FLB1", "coins.pgm"));
    User().ClickTab("Analiza");
    auto* state = User().Find<QLabel>("lbAnalysisState");
    auto* map = User().Find<PictureBox>("AnalysisMap");
    auto* table = User().Find<QTableWidget>("AnalysisTable");
    auto* analyse = User().Find<QPushButton>("btnAnalyse");
    auto* stop = User().Find<QPushButton>("btnAnalysisStop");
    User().Click("btnAnalyse");
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.load(); }));
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(test::Controls(form).btnCode->isEnabled());
    User().Click("btnAnalysisStop");
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->text() == "przerwano"; }));
    EXPECT_TRUE(map->Picture().isNull());
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_TRUE(analyse->isEnabled());
    EXPECT_FALSE(stop->isEnabled());

    held = false;
    User().Click("btnAnalyse");
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.load(); }));
    ASSERT_TRUE(User().ClickEntry("FLB1", "text.pgm"));
    QApplication::processEvents();
    EXPECT_TRUE(map->Picture().isNull());
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_FALSE(stop->isEnabled());

    AnalysisPage::SetWorkerHook(previous);
    User().Click("btnAnalyse");
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->text() == "gotowe"; }, 120000));
    EXPECT_EQ(map->Picture().size(), QSize(448, 172));
    EXPECT_EQ(table->rowCount(), 18);
    EXPECT_TRUE(shown_.empty()) << Messages();
    User().ClickTab("Obraz");
    EncodeAndDecodeWork("text.pgm");
}

}  // namespace
}  // namespace eks
