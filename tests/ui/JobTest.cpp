#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QProcess>
#include <memory>

#include "core/BitSequence.h"
#include "core/TestFiles.h"
#include "results/Report.h"
#include "tests/ui/UserDriver.h"
#include "ui/Platform.h"
#include "ui/main.h"

namespace eks {
namespace {

constexpr int kW = 37, kH = 23;

// Whole encode and decode jobs run from the window, on a temporary
// application directory holding the real coder programs or stand-ins.
class JobTest : public testing::Test {
  protected:
    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        previous_ = SetMessageBoxFn([this](MessageKind, const QString&, const QString& text) {
            shown_.push_back(text);
            return MessageButton::DontSave;
        });
        for (int i = 0; i < kW * kH; ++i)
            pixels_.push_back(static_cast<char>(i * 7 + i / kW));
        WriteFile(dir_.File("obraz.pgm"), "P5\n37 23\n255\n" + pixels_);
    }
    void TearDown() override {
        form_.reset();
        SetMessageBoxFn(previous_);
    }
    void Install(const char* from, const char* name) {
        std::filesystem::copy_file(from, dir_.File(name));
    }
    void Script(const char* name, const std::string& body) {
        WriteFile(dir_.File(name), "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(dir_.File(name), std::filesystem::perms::owner_all);
    }
    TForm1& Open() {
        form_ = std::make_unique<TForm1>(QString::fromStdString(dir_.Dir()));
        form_->show();
        test::Controls(*form_).DLB->SetDirectory(QString::fromStdString(dir_.Dir()));
        test::UserDriver(*form_).ClickEntry("FLB1", "obraz.pgm");
        test::Controls(*form_).seOrder->setValue(3);
        return *form_;
    }
    std::string Container(const char* name) {
        return ReadFile(dir_.File(std::string("wyniki/") + name));
    }
    std::string Row(int r) {
        QStringList cols;
        for (int c = 0; c < 8; ++c)
            cols << test::CellText(test::Controls(*form_).ListView, r, c);
        return cols.join("|").toStdString();
    }
    std::string Bits(BitOrder order) {
        std::string out(8 * pixels_.size(), '\0');
        ExpandBits(reinterpret_cast<const std::uint8_t*>(pixels_.data()), pixels_.size(), order,
                   reinterpret_cast<std::uint8_t*>(out.data()));
        return out;
    }
    // What earith-n.exe makes of a container's payload.
    std::string DecodePayload(const std::string& container) {
        WriteFile(dir_.File("p.bin"), container.substr(5));
        QProcess::execute(EARITH_N_EXE, {QString::fromStdString(dir_.File("p.bin")),
                                         QString::fromStdString(dir_.File("d.bin"))});
        return ReadFile(dir_.File("d.bin"));
    }
    bool Exists(const char* name) { return std::filesystem::exists(dir_.File(name)); }

    TempDir dir_;
    std::string pixels_;
    std::unique_ptr<TForm1> form_;
    std::vector<QString> shown_;
    MessageBoxFn previous_;
};

TEST_F(JobTest, PlaneOrderEncodeThenProgressiveDecode) {
    Install(ARITH_N_EXE, "arith-n.exe");
    Install(EARITH_N_EXE, "earith-n.exe");
    TForm1& form = Open();
    const test::Controls ui(form);
    ui.btnCode->click();
    ASSERT_TRUE(shown_.empty()) << shown_[0].toStdString();

    const std::string container = Container("obraz_P3.ybq");
    ASSERT_GT(container.size(), 5u);
    EXPECT_EQ(container.substr(0, 5), std::string("\x25\x00\x17\x00\x13", 5));
    EXPECT_EQ(DecodePayload(container), Bits(BitOrder::PlaneMajor));
    const std::string size = FormatThousands(static_cast<std::int64_t>(container.size()), ",");
    EXPECT_EQ(Row(0), "1|obraz.pgm|P/3|851|8.122|" +
                          FormatFixed(container.size() * 8.0 / 851, 8, ".") + "|864|" + size);
    EXPECT_EQ(form.PanelText(1), QString::fromUtf8("37×23"));
    EXPECT_EQ(form.PanelText(3).toStdString(), "864/" + size);
    EXPECT_TRUE(ui.btnCode->isEnabled());
    EXPECT_TRUE(ui.FLB1->isEnabled());
    EXPECT_FALSE(ui.btnDecode->isEnabled());
    EXPECT_FALSE(Exists("tmp1x.dat"));
    EXPECT_FALSE(Exists("tmp2x.dat"));

    // Every picture shown while the passes run, caught whenever events are handled.
    test::PictureSpy spy(*ui.Image);
    ui.seStepTime->setValue(0);
    ASSERT_TRUE(test::UserDriver(form).ClickEntry("FLB2", "obraz_P3.ybq"));
    EXPECT_TRUE(ui.btnDecode->isEnabled());
    spy.Start();
    test::UserDriver(form).Click("btnDecode");
    spy.Stop();
    const std::vector<QImage>& shown = spy.Seen();
    ASSERT_TRUE(shown_.empty()) << shown_[0].toStdString();
    ASSERT_EQ(shown.size(), 8u);
    for (int k = 1; k <= 8; ++k) {
        const auto mask = static_cast<std::uint8_t>(0xFF00 >> k);
        for (int i = 0; i < kW * kH; i += 13)
            ASSERT_EQ(qGray(shown[k - 1].pixel(i % kW, i / kW)),
                      static_cast<std::uint8_t>(pixels_[i]) & mask)
                << "pass " << k << " pixel " << i;
    }
    EXPECT_EQ(Row(1), "2|obraz_P3.ybq|D/3|851|" +
                          FormatFixed(container.size() * 8.0 / 851, 8, ".") + "|8.000|" + size +
                          "|851");
    EXPECT_EQ(ui.lbStep->text(), "");
    EXPECT_TRUE(Exists("tmp3x.dat"));
    EXPECT_TRUE(Exists("tmp4x.dat"));
    EXPECT_FALSE(ui.btnDecode->isEnabled());
    EXPECT_TRUE(ui.FLB2->isEnabled());

    // The report of both rows, byte for byte after its time line.
    const std::string report = dir_.File("raport.txt");
    SetSaveFileFn([&](const SaveDialogSpec& spec) {
        EXPECT_EQ(spec.proposedName, "wyniki.txt");
        EXPECT_EQ(spec.filter, "Pliki tekstowe (*.txt)");
        return SaveChoice{QString::fromStdString(report), 0};
    });
    ui.btnSave->click();
    const std::string bytes = ReadFile(report);
    std::vector<ResultRow> rows(2);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 8; ++c)
            rows[r][c] = test::CellText(ui.ListView, r, c).toStdString();
    const std::string expected = ReportBytes(rows, "00:00:00");
    EXPECT_EQ(bytes.substr(bytes.find("\r\n")), expected.substr(expected.find("\r\n")));
    EXPECT_FALSE(ui.btnSave->isEnabled());
    SetSaveFileFn([&](const SaveDialogSpec&) {
        return SaveChoice{QString::fromStdString(dir_.File("no/x.txt")), 0};
    });
    ui.btnSave->setEnabled(true);
    ui.btnSave->click();
    EXPECT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(ui.btnSave->isEnabled());
}

TEST_F(JobTest, PixelOrderEncodeThenDecodeAtOnce) {
    Install(ARITH_N_EXE, "arith-n.exe");
    Install(EARITH_N_EXE, "earith-n.exe");
    TForm1& form = Open();
    const test::Controls ui(form);
    ui.cbDict->setChecked(true);
    ui.btnCode->click();
    const std::string container = Container("obraz_B3.ybq");
    ASSERT_GT(container.size(), 5u);
    EXPECT_EQ(container[4], 3);
    EXPECT_EQ(DecodePayload(container), Bits(BitOrder::PixelMajor));
    EXPECT_EQ(Row(0).rfind("1|obraz.pgm|B/3|851|", 0), 0u) << Row(0);

    ASSERT_TRUE(test::UserDriver(form).ClickEntry("FLB2", "obraz_B3.ybq"));
    ui.btnDecode->click();
    ASSERT_TRUE(shown_.empty()) << shown_[0].toStdString();
    const QImage& pic = ui.Image->Picture();
    ASSERT_EQ(pic.size(), QSize(kW, kH));
    for (int i = 0; i < kW * kH; ++i)
        ASSERT_EQ(qGray(pic.pixel(i % kW, i / kW)), static_cast<std::uint8_t>(pixels_[i])) << i;
    EXPECT_EQ(Row(1).rfind("2|obraz_B3.ybq|D/3|851|", 0), 0u) << Row(1);
}

TEST_F(JobTest, ACoderThatFailsLeavesNoRowAndSaysWhy) {
    Script("arith-n.exe", "exit 3");
    Script("earith-n.exe", "exit 3");
    TForm1& form = Open();
    const test::Controls ui(form);
    ui.btnCode->click();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].toStdString(), CoderFailedMessage("zakończył się z kodem 3") + ".");
    EXPECT_EQ(test::RowCount(ui.ListView), 0);
    EXPECT_FALSE(ui.btnCode->isEnabled());
    EXPECT_TRUE(ui.FLB1->isEnabled());
    EXPECT_FALSE(Exists("tmp1x.dat"));

    // A decoder without output is an error, not a black picture with a row.
    WriteFile(dir_.File("wyniki/obraz_P3.ybq"), std::string("\x25\x00\x17\x00\x13xyz", 8));
    WriteFile(dir_.File("tmp4x.dat"), std::string(8 * 851, '\x01'));  // stale: never taken
    ui.FLB2->Refill();
    ASSERT_TRUE(test::UserDriver(form).ClickEntry("FLB2", "obraz_P3.ybq"));
    ui.btnDecode->click();
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[1].toStdString(), DecoderFailedMessage("zakończył się z kodem 3") + ".");
    EXPECT_EQ(test::RowCount(ui.ListView), 0);
    EXPECT_TRUE(ui.Image->Picture().isNull());
    EXPECT_TRUE(ui.FLB2->isEnabled());
    EXPECT_EQ(ReadFile(dir_.File("tmp3x.dat")), "xyz");
}

TEST_F(JobTest, ACoderThatNeverEndsIsStopped) {
    Script("arith-n.exe", "echo $$ > pid.txt\nexec sleep 60");
    Script("earith-n.exe", "exit 0");
    TForm1& form = Open();
    const test::Controls ui(form);
    ui.btnCode->click();
    // Out of time: it says so, and coding is possible again at once.
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].toStdString(),
              "Koder arith-n.exe nie utworzył pliku tmp2x.dat - nie zdążył w ciągu 5 s (można "
              "wydłużyć czas na stronie „Opcje”)");
    EXPECT_TRUE(ui.btnCode->isEnabled());
    EXPECT_EQ(test::RowCount(ui.ListView), 0);
    const int pid = std::stoi(ReadFile(dir_.File("pid.txt")));
    EXPECT_NE(::kill(pid, 0), 0) << "the coder still runs";
}

TEST_F(JobTest, AnOutputStillBeingWrittenIsCollectedOnceTheCoderHasFinished) {
    // An empty output at once, the real one only after the time-out.
    Script("arith-n.exe", ": > tmp2x.dat\nsleep 6\nprintf 'abcdef' > tmp2x.dat");
    Script("earith-n.exe", "exit 0");
    TForm1& form = Open();
    const test::Controls ui(form);
    ui.btnCode->click();
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(Container("obraz_P3.ybq"), std::string("\x25\x00\x17\x00\x13", 5) + "abcdef");
    EXPECT_EQ(test::RowCount(ui.ListView), 1);
}

}  // namespace
}  // namespace eks
