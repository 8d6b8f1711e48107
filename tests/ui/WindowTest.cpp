#include "ui/main.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QStackedWidget>
#include <memory>

#include "core/TestFiles.h"
#include "core/Unprivileged.h"
#include "tests/ui/UserDriver.h"
#include "ui/Platform.h"

namespace eks {
namespace {

struct Shown {
    MessageKind kind;
    QString text;
};

// A window on a temporary application directory, with the process's working
// directory moved there too and every message box recorded instead of shown.
class WindowTest : public testing::Test {
  protected:
    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        oldCwd_ = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir_.Dir()));
        previous_ = SetMessageBoxFn([this](MessageKind kind, const QString&, const QString& text) {
            shown_.push_back({kind, text});
            return MessageButton::DontSave;
        });
    }
    void TearDown() override {
        form_.reset();
        SetMessageBoxFn(previous_);
        QDir::setCurrent(oldCwd_);
    }
    void WithCoders() {
        WriteFile(dir_.File("arith-n.exe"), "");
        WriteFile(dir_.File("earith-n.exe"), "");
    }
    TForm1& Open() {
        form_ = std::make_unique<TForm1>(QString::fromStdString(dir_.Dir()));
        form_->show();
        QCoreApplication::processEvents();
        return *form_;
    }
    // A 256×256 PGM of 65,551 bytes whose first row holds 6, 7, 127, 128.
    void WritePgm(const std::string& name) {
        std::string raster(65536, '\x40');
        raster[0] = 6;
        raster[1] = 7;
        raster[2] = 127;
        raster[3] = static_cast<char>(128);
        WriteFile(dir_.File(name), "P5\n256 256\n255\n" + raster);
    }
    void ChoosePgm(const std::string& name) {
        test::Controls(*form_).FLB1->Refill();
        ASSERT_TRUE(test::UserDriver(*form_).ClickEntry("FLB1", QString::fromStdString(name)));
    }

    TempDir dir_;
    std::unique_ptr<TForm1> form_;
    std::vector<Shown> shown_;
    MessageBoxFn previous_;
    QString oldCwd_;
};

TEST_F(WindowTest, StartsWithoutCodersSayingSoTwiceAndAskingToEnd) {
    TForm1& form = Open();
    const test::Controls ui(form);
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_TRUE(shown_[0].text.startsWith("Brak pliku kodera arith-n.exe\r\n"));
    EXPECT_TRUE(shown_[1].text.startsWith("Brak pliku dekodera earith-n.exe\r\n"));
    EXPECT_EQ(shown_[1].kind, MessageKind::Information);
    EXPECT_TRUE(form.EndRequested());
    // Start-up went on: the results directory exists.
    EXPECT_TRUE(QFileInfo(QString::fromStdString(dir_.File("wyniki"))).isDir());
}

TEST_F(WindowTest, StartsQuietlyWithEverythingInPlace) {
    WithCoders();
    std::filesystem::create_directory(dir_.File("wyniki"));
    WriteFile(dir_.File("wyniki/obraz_P3.ybq"), "12345xyz");
    WriteFile(dir_.File("opis.rtf"), "{\\rtf1\\ansi\\ansicpg1250 Opis \\'b9\\par}");
    TForm1& form = Open();
    const test::Controls ui(form);
    EXPECT_TRUE(shown_.empty());
    EXPECT_FALSE(form.EndRequested());
    EXPECT_EQ(form.windowTitle(), "Eksperymenty z arytmetycznym koderem binarnym");
    EXPECT_EQ(ui.PageControl1->currentWidget(), ui.tabPicture);
    EXPECT_EQ(ui.ProgressBar->value(), 0);
    EXPECT_EQ(form.State().AppDir, dir_.Dir());
    EXPECT_TRUE(ui.REdit->toPlainText().contains(QString::fromUtf8("Opis ą")));
    EXPECT_TRUE(ui.PageControl1->isTabVisible(4));
    EXPECT_FALSE(ui.PageControl1->isTabVisible(1));  // "Produkt" is never shown
    ASSERT_EQ(ui.FLB2->count(), 1);
    EXPECT_EQ(ui.FLB2->item(0)->text(), "obraz_P3.ybq");
    EXPECT_FALSE(ui.btnCode->isEnabled());
    EXPECT_FALSE(ui.seOrder->isEnabled());
    EXPECT_TRUE(ui.cbDict->isEnabled());
    EXPECT_FALSE(ui.btnDecode->isEnabled());
    EXPECT_FALSE(ui.btnSave->isVisible());
    EXPECT_EQ(form.PanelText(0), QString::fromUtf8(" W × H ="));
    EXPECT_EQ(ui.Image->pos(), ui.Image->pos());
    EXPECT_GE(form.width(), 632);
}

TEST_F(WindowTest, AFileNamedWynikiIsReportedAndTheWindowStaysUsable) {
    WithCoders();
    WriteFile(dir_.File("wyniki"), "not a directory");
    TForm1& form = Open();
    const test::Controls ui(form);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].kind, MessageKind::Error);
    EXPECT_EQ(shown_[0].text.toStdString(), "Nie można utworzyć katalogu " + dir_.Dir() +
                                                "/wyniki (istnieje już plik o tej nazwie)");
    EXPECT_FALSE(ui.PageControl1->isTabVisible(4));  // no opis.rtf here
    WritePgm("obraz.pgm");
    ChoosePgm("obraz.pgm");
    EXPECT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(ui.btnCode->isEnabled());
}

TEST_F(WindowTest, ChoosingAPgmShowsItAndFillsTheStatusBar) {
    WithCoders();
    TForm1& form = Open();
    const test::Controls ui(form);
    WritePgm("obraz.pgm");
    ChoosePgm("obraz.pgm");
    ASSERT_TRUE(shown_.empty()) << shown_[0].text.toStdString();
    EXPECT_EQ(form.State().Item.CurrentName, "obraz.pgm");
    EXPECT_EQ(form.State().SourceFileSize, 65551);
    EXPECT_FALSE(form.State().Busy);
    EXPECT_EQ(form.PanelText(1), QString::fromUtf8("256×256"));
    EXPECT_EQ(form.PanelText(3), "65,551");
    EXPECT_EQ(form.PanelText(5), "8.002");
    EXPECT_TRUE(ui.btnCode->isEnabled());
    EXPECT_TRUE(ui.seOrder->isEnabled());
    EXPECT_EQ(ui.Zlabel->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_FALSE(ui.btnDecode->isEnabled());
    EXPECT_EQ(ui.ProgressBar->value(), 256);

    const QImage& pic = ui.Image->Picture();
    ASSERT_EQ(pic.size(), QSize(256, 256));
    EXPECT_EQ(pic.format(), QImage::Format_Indexed8);
    EXPECT_EQ(qGray(pic.pixel(0, 0)), 7);  // 6 and 7 share one grey
    EXPECT_EQ(qGray(pic.pixel(1, 0)), 7);
    EXPECT_EQ(qGray(pic.pixel(2, 0)), 127);
    EXPECT_EQ(qGray(pic.pixel(3, 0)), 128);

    // The picture sits in the middle of the page whenever the window's size changes.
    form.resize(900, 700);
    QCoreApplication::processEvents();
    const QSize page = ui.tabPicture->parentWidget()->size();
    EXPECT_EQ(ui.Image->pos(), QPoint((page.width() - 256) / 2, (page.height() - 256) / 2));
}

TEST_F(WindowTest, AFailedLoadIsReportedAndChangesNoControls) {
    WithCoders();
    TForm1& form = Open();
    const test::Controls ui(form);
    WriteFile(dir_.File("zly.pgm"), "P5\n 4 2\n255\n12345678");
    WriteFile(dir_.File("krotki.pgm"), "P5\n4 2");
    const QImage before = ui.Image->Picture();
    ChoosePgm("zly.pgm");
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].kind, MessageKind::Error);
    EXPECT_EQ(shown_[0].text, "'' is not a valid integer value.");
    EXPECT_FALSE(form.State().Busy);
    EXPECT_FALSE(ui.btnCode->isEnabled());
    EXPECT_EQ(ui.Image->Picture(), before);
    EXPECT_EQ(form.State().Item.CurrentName, "zly.pgm");
    ChoosePgm("krotki.pgm");
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_TRUE(shown_[1].text.contains("krotki.pgm"));
}

TEST_F(WindowTest, ChoosingAContainerSwitchesToDecodingOnly) {
    WithCoders();
    std::filesystem::create_directory(dir_.File("wyniki"));
    WriteFile(dir_.File("wyniki/a_B1.ybq"), "\x01\x00\x01\x00\x01z");
    TForm1& form = Open();
    const test::Controls ui(form);
    WritePgm("obraz.pgm");
    ChoosePgm("obraz.pgm");
    ASSERT_TRUE(test::UserDriver(form).ClickEntry("FLB2", "a_B1.ybq"));
    EXPECT_FALSE(ui.btnCode->isEnabled());
    EXPECT_FALSE(ui.cbDict->isEnabled());
    EXPECT_TRUE(ui.btnDecode->isEnabled());
    EXPECT_EQ(form.State().Item.CurrentName, "a_B1.ybq");
    EXPECT_EQ(form.PanelText(1), QString::fromUtf8("256×256"));  // nothing loaded
    EXPECT_EQ(ui.Image->Picture().size(), QSize(256, 256));
}

TEST_F(WindowTest, QuitIsIgnoredWhileBusyAndShutdownRemovesOnlyOurTemporaries) {
    WithCoders();
    TForm1& form = Open();
    const test::Controls ui(form);
    form.State().Busy = true;
    test::UserDriver(form).Click("btnQuit");
    EXPECT_FALSE(form.EndRequested());
    form.State().Busy = false;
    test::UserDriver(form).Click("btnQuit");
    EXPECT_TRUE(form.EndRequested());

    for (const char* name : {"tmp1x.dat", "tmp2x.dat", "tmp3x.dat", "tmp4x.dat"})
        WriteFile(dir_.File(name), "x");
    std::filesystem::create_directory(dir_.File("inny"));
    WriteFile(dir_.File("inny/tmp1x.dat"), "x");
    form_.reset();
    for (const char* name : {"tmp1x.dat", "tmp2x.dat", "tmp3x.dat", "tmp4x.dat"})
        EXPECT_FALSE(std::filesystem::exists(dir_.File(name))) << name;
    EXPECT_TRUE(std::filesystem::exists(dir_.File("inny/tmp1x.dat")));
}

TEST_F(WindowTest, WithoutItsFolderOrAFolderOfItsOwnTheWindowSaysWhyAndCodesNothing) {
    WithCoders();
    // The lock's name taken by a folder, and no private folder to be had:
    // the system's temporary folder is a file.
    std::filesystem::create_directory(dir_.File("eksperymenty.lock"));
    WriteFile(dir_.File("plik"), "");
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(dir_.File("plik")));
    Open();
    qputenv("TMPDIR", oldTmp);
    const std::string why =
        "Okno nie może pracować w katalogu " + dir_.Dir() +
        ": plik blokady nie jest zwykłym plikiem (to katalog, dowiązanie symboliczne, potok albo "
        "urządzenie). Nie można też utworzyć własnego katalogu roboczego w " +
        dir_.File("plik") +
        " (składnik ścieżki nie jest katalogiem) - kodowanie i dekodowanie nie są możliwe.";
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].kind, MessageKind::Error);
    EXPECT_EQ(shown_[0].text.toStdString(), why);
    // "Koduj" says so again, and never codes in the shared folder.
    WritePgm("obraz.pgm");
    ChoosePgm("obraz.pgm");
    test::UserDriver(*form_).Click("btnCode");
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[1].text.toStdString(), why);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("tmp1x.dat")));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.File("wyniki")));
}

TEST_F(WindowTest, ShapeJumpsToTheApplicationDirectory) {
    WithCoders();
    std::filesystem::create_directory(dir_.File("gdzie"));
    TForm1& form = Open();
    const test::Controls ui(form);
    WritePgm("obraz.pgm");
    ui.DLB->SetDirectory(QString::fromStdString(dir_.File("gdzie")));
    EXPECT_EQ(ui.FLB1->count(), 0);
    test::UserDriver(form).Click("Shape1");
    EXPECT_EQ(ui.DLB->Directory() + "/", QString::fromStdString(dir_.Dir()));
    ASSERT_EQ(ui.FLB1->count(), 1);
    EXPECT_EQ(ui.FLB1->item(0)->text(), "obraz.pgm");
    EXPECT_TRUE(ui.FLB1->SelectedPath().isEmpty());  // a refill is no choice
    // The drive selector follows to the volume that holds the directory.
    const QString drive = ui.DriveComboBox1->Drive();
    EXPECT_FALSE(drive.isEmpty());
    EXPECT_TRUE(ui.DLB->Directory().startsWith(drive));
}

TEST_F(WindowTest, TheDriveSelectorSpansTheColumnAfterTheSplitterMovesAndColumnsShareTheWidth) {
    WithCoders();
    TForm1& form = Open();
    const test::Controls ui(form);
    form.resize(1000, 600);
    QCoreApplication::processEvents();
    // The splitter dragged 155 pixels to the right: the column follows on release.
    QWidget* handle = ui.Splitter1->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(155, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(155, 0));
    QCoreApplication::processEvents();
    EXPECT_NEAR(ui.Panel1->width(), 300, 2);
    EXPECT_EQ(ui.DriveComboBox1->width(), ui.Panel1->width());
    ui.Splitter1->setSizes({10, 600});  // never narrower than its minimum
    EXPECT_GE(ui.Panel1->width(), 145);

    test::UserDriver(form).ClickTab("Wyniki");
    int total = 0;
    for (int c = 0; c < 8; ++c)
        total += ui.ListView->columnWidth(c);
    EXPECT_EQ(total, ui.ListView->viewport()->width());
    EXPECT_GE(ui.ListView->columnWidth(0), 35);
}

TEST(FileList, ListsFilesTheUserMayNotRead) {
    TempDir dir;
    WriteFile(dir.File("a.pgm"), "P5\n1 1\n255\n\x01");
    WriteFile(dir.File("b.pgm"), "P5\n1 1\n255\n\x02");
    WriteFile(dir.File("c.ybq"), "");
    std::filesystem::permissions(dir.File("b.pgm"), std::filesystem::perms::none);
    const QString path = QString::fromStdString(dir.Dir());
    // As a user without privileges, for whom b.pgm cannot be read.
    const int status = RunUnprivileged([&] {
        const QStringList names = FileListBox::ListFiles(path, "*.pgm");
        return names == QStringList{"a.pgm", "b.pgm"} ? 0 : 1 + static_cast<int>(names.size());
    });
    EXPECT_EQ(status, 0) << UnprivilegedStatusText(status);
}

TEST(ErrorReport, AppendsAFullStopAfterCharactersBeyondIt) {
    EXPECT_EQ(ErrorReportText("Cannot open file /a/b.pgm"), "Cannot open file /a/b.pgm.");
    EXPECT_EQ(ErrorReportText("koniec."), "koniec.");
    EXPECT_EQ(ErrorReportText("(brak)"), "(brak)");  // ")" sorts before "."
    EXPECT_EQ(ErrorReportText(""), "");
}

TEST(SpinEditValue, TextThatIsNoNumberCountsAsTheMinimum) {
    SpinEdit edit(5, 120, 1, 5);
    edit.findChild<QLineEdit*>()->setText("abc");
    EXPECT_EQ(edit.Value(), 5);
    edit.findChild<QLineEdit*>()->setText("77");
    EXPECT_EQ(edit.Value(), 77);
    edit.setValue(500);  // held within the range
    EXPECT_EQ(edit.Value(), 120);
}

}  // namespace
}  // namespace eks
