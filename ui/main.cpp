// The window's behaviour: start-up and shutdown, the handlers of its
// events and the control states they leave. The layout is in Layout.cpp,
// the jobs in WindowJobs.cpp.
#include "ui/main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <filesystem>

#include "core/BitSequence.h"
#include "core/Container.h"
#include "core/Error.h"
#include "core/IoText.h"
#include "core/Paths.h"
#include "core/PgmReader.h"
#include "core/ScopeExit.h"
#include "results/ResultRow.h"
#include "results/ResultTable.h"
#include "ui/AnalysisPage.h"
#include "ui/ChartPage.h"
#include "ui/ImageDisplay.h"
#include "ui/Platform.h"
#include "ui/RtfReader.h"

namespace eks {

// ------------------------------------------------------ the control states

bool TForm1::Working() const {
    return mode_ == Mode::Encoding || mode_ == Mode::Decoding || mode_ == Mode::Series;
}

void TForm1::Enter(Mode mode) {
    mode_ = mode;
    ApplyControls();
    if (endAfterJob_ && !Working()) {
        endAfterJob_ = false;
        if (MayEnd()) EndNow();
    }
}

void TForm1::ApplyControls() {
    const bool coder = mode_ == Mode::PgmReady;
    btnCode->setEnabled(coder);
    seOrder->setEnabled(coder);
    // Only at the start is the bit order open before an image is chosen.
    cbDict->setEnabled(coder || mode_ == Mode::Idle);
    SetTextColour(Zlabel, coder ? QColor(0, 0, 0) : QColor(128, 128, 128));
    btnDecode->setEnabled(mode_ == Mode::ContainerReady);
    const bool lists = !Working();
    FLB1->setEnabled(lists);
    FLB2->setEnabled(lists);

    ZBevel->setVisible(resultControlsShown_);
    btnDelItem->setVisible(resultControlsShown_);
    btnSave->setVisible(resultControlsShown_);
    btnLoad->setVisible(resultControlsShown_);
    btnLoad->setEnabled(!Working());
    btnSave->setEnabled(saveOffered_);
    btnDelItem->setEnabled(deleteOffered_);

    // A series codes the image that "Koduj" would code, when it could: the
    // mode PGM ready always has its image.
    btnSeriesRun->setEnabled(coder);
    btnSeriesStop->setEnabled(mode_ == Mode::Series);
    if (mode_ == Mode::Series) return;
    lbSeriesImage->setText(QString::fromStdString(SeriesImageText(coder ? image_ : std::nullopt)));
}

void TForm1::ClearJobPanels() {
    for (int panel : {1, 3, 5})
        StatusBar->SetText(panel, {});
}

void TForm1::ShowPage(QWidget* page) {
    const QSignalBlocker noHandler(PageControl1);
    PageControl1->setCurrentWidget(page);
}

void TForm1::EndNow() {
    Analysis->Cancel();
    endAfterJob_ = false;
    endRequested_ = true;
    RequestApplicationEnd();
}

void TForm1::EndAfterJob() {
    endAfterJob_ = true;
    if (mode_ == Mode::Series) seriesStop_ = true;
}

void TForm1::btnQuitClick() {
    if (state_.Busy) return;
    if (Working())
        EndAfterJob();
    else if (MayEnd())
        EndNow();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing the window does what "Koniec" does, but it also stops a decode:
    // the window never hides while work goes on.
    if (Working()) {
        event->ignore();
        EndAfterJob();
        return;
    }
    if (!endRequested_ && !MayEnd()) {
        event->ignore();
        return;
    }
    endRequested_ = true;
    Analysis->Cancel();
    QWidget::closeEvent(event);
}

bool TForm1::MayEnd() {
    // The results are the user's work: never dropped without a question.
    if (!unsaved_) return true;
    switch (ShowMessageBox(MessageKind::SaveQuestion,
                           QString::fromUtf8("Zapisać wyniki przed zamknięciem?"))) {
        case MessageButton::DontSave:
            return true;
        case MessageButton::Save: {
            bool saved = false;
            RunReportingErrors([this, &saved] { saved = SaveResults(); });
            return saved;
        }
        default:
            return false;
    }
}

// ----------------------------------------------------- start-up, shutdown

void TForm1::FormCreate() {
    RunReportingErrors([this] {
        const QString appDir = initialAppDir_.isEmpty() ? ExecutableDir() : initialAppDir_;
        state_.AppDir = appDir.toStdString();
        ShowPage(tabPicture);
        ProgressBar->setValue(0);
        ApplyControls();
        ShowImageToAnalysis();
        for (const auto& [program, what] :
             {std::pair{kCoderProgram, "kodera"}, std::pair{kDecoderProgram, "dekodera"}}) {
            if (QFileInfo(appDir + program).isFile()) continue;
            ShowMessageBox(MessageKind::Information,
                           QString::fromUtf8("Brak pliku %1 %2\r\nw głównym katalogu aplikacji."
                                             "\r\n\r\nAplikacja zostanie zakończona")
                               .arg(what, program));
            EndNow();
        }
        ChooseWorkDir();
        // Looked for in the working directory, not beside the program: intended.
        if (LoadRtfFile("opis.rtf", *REdit->document()))
            REdit->moveCursor(QTextCursor::Start);
        else
            PageControl1->setTabVisible(PageControl1->indexOf(tabDescr), false);
        const std::string results = ResultsDirPath(state_.AppDir);
        std::error_code made;
        if (!std::filesystem::is_directory(results, made) &&
            !std::filesystem::create_directory(results, made))
            throw Error("Nie można utworzyć katalogu " + results + " (" +
                        IoCauseText(made ? made.value() : EEXIST) + ")");
        FLB2->SetDirectory(QString::fromStdString(results));
    });
}

void TForm1::ChooseWorkDir() {
    const auto choice = workDir_.Choose(state_.AppDir, QDir::tempPath().toStdString());
    const QString text = QString::fromStdString(workDir_.Text());
    if (choice == WindowWorkDir::Choice::Private)
        ShowMessageBox(MessageKind::Information, text);
    else if (choice == WindowWorkDir::Choice::None)
        ShowMessageBox(MessageKind::Error, ErrorReportText(text));
}

void TForm1::FormDestroy() {
    Analysis->Cancel();
    runner_.StopProgram();
    state_.SourceStream.reset();
    state_.ContainerStream.Clear();
    workDir_.Release();
}

// ------------------------------------------------------- layout handlers

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Centre once every control has its new size: the pages of the page
    // control are laid out after the window itself.
    QMetaObject::invokeMethod(
        this, [this] { RunReportingErrors([this] { FormResize(); }); }, Qt::QueuedConnection);
}

void TForm1::FormResize() {
    CenterImage();
}

void TForm1::Splitter1Moved() {
    DriveComboBox1->resize(Panel1->width(), DriveComboBox1->height());
}

void TForm1::Shape1MouseDown() {
    const QString appDir = QString::fromStdString(state_.AppDir);
    if (appDir.isEmpty() || appDir.compare(DLB->Directory(), Qt::CaseInsensitive) == 0) return;
    const QString drive = DriveComboBox1->DriveOf(appDir);
    if (!drive.isEmpty() && drive != DriveComboBox1->Drive()) DriveComboBox1->SetDrive(drive);
    QString dir = appDir;
    while (dir.size() > 1 && dir.endsWith(QDir::separator()))
        dir.chop(1);
    DLB->SetDirectory(dir);
}

void TForm1::CenterImage() {
    // All pages share the size of the page control's stack.
    const QWidget* stack = tabPicture->parentWidget();
    const QSize page = stack ? stack->size() : tabPicture->size();
    Image->move(CenterPosition(page, state_.ImageWidth, state_.ImageHeight));
}

// ----------------------------------------------------------- file choice

void TForm1::FLB1Click(const QString& path) {
    state_.CurrentPath = path.toStdString();
    state_.Item.CurrentName = FileNamePart(state_.CurrentPath);
    image_.reset();
    ShowImageToAnalysis();
    // Until the image is loaded and measured there is nothing to code: a
    // failed load may already have replaced the loaded bytes.
    Enter(Mode::Done);
    bool chosen = false;
    ScopeExit forget{[&] {
        if (!chosen) image_.reset();
    }};
    LoadSelectedFile(path);  // image_ holds the image once its header is read
    state_.SourceFileSize = MeasureFileSize(path);
    if (image_) image_->fileSize = state_.SourceFileSize;
    chosen = true;
    ShowImageToAnalysis();
    Enter(Mode::PgmReady);
    UpdateStatusBar();
}

void TForm1::ShowImageToAnalysis() {
    const BitOrder bitOrder = cbDict->isChecked() ? BitOrder::PixelMajor : BitOrder::PlaneMajor;
    if (!image_ || !image_->file) {
        Analysis->SetImage(std::nullopt, seOrder->Value(), bitOrder);
        return;
    }
    // The page takes a share of the image's bytes, which no one changes.
    Analysis->SetImage(AnalysisImageOf(*image_), seOrder->Value(), bitOrder);
}

void TForm1::FLB2Click(const QString& path) {
    Enter(Mode::ContainerReady);
    state_.CurrentPath = path.toStdString();
    state_.Item.CurrentName = FileNamePart(state_.CurrentPath);
}

void TForm1::LoadSelectedFile(const QString& path) {
    state_.Busy = true;
    ScopeExit notBusy{[this] { state_.Busy = false; }};
    const std::string ext = UpperExtension(path.toStdString());
    if (ext == ".PGM") LoadPgm();
    if (ext == ".YBQ") DecodeChosenContainer();
}

void TForm1::LoadPgm() {
    ReadPgmHeader();
    ShowPgmImage();
}

void TForm1::ReadPgmHeader() {
    SeriesImage image = LoadSeriesImage(state_.CurrentPath);
    // A file that cannot be read leaves the loaded one as it was.
    if (!image.file) throw Error(image.error);
    state_.SourceStream = image.file;
    // A broken header applies what it gave before the break, then fails.
    ApplyPgmHeader(state_, image.header);
    image_ = std::move(image);
    ProgressBar->setMaximum(state_.ImageHeight);
    CenterImage();
}

void TForm1::ShowPgmImage() {
    ProgressBar->setMaximum(state_.ImageHeight);
    ProgressBar->setValue(0);
    if (!state_.SourceStream) return;
    const QImage picture = BuildPgmPicture(
        *state_.SourceStream, static_cast<std::size_t>(state_.PixelDataOffset), state_.ImageWidth,
        state_.ImageHeight, [this] { ProgressBar->setValue(ProgressBar->value() + 1); });
    if (picture.isNull())
        Image->ClearPicture();
    else
        Image->SetPicture(picture);
}

// ------------------------------------------------------------ status bar

void TForm1::UpdateStatusBar() {
    ShowDimensions();
    ShowFileSize();
    ShowBitrate();
}

void TForm1::ShowDimensions() {
    const std::string ext = UpperExtension(state_.CurrentPath);
    if (ext == ".PGM") {
        // The size of the picture on show rather than the header's, on
        // purpose: an image without pixels shows as 0×0.
        state_.ImageWidth = static_cast<std::uint16_t>(Image->Picture().width());
        state_.ImageHeight = static_cast<std::uint16_t>(Image->Picture().height());
        StatusBar->SetText(
            1, QString::fromStdString(DimensionsText(state_.ImageWidth, state_.ImageHeight)));
    } else if (ext == ".YBQ") {
        StatusBar->SetText(
            1, QString::fromStdString(DimensionsText(state_.ImageWidth, state_.ImageHeight)));
    }
}

void TForm1::ShowFileSize() {
    StatusBar->SetText(
        3, QString::fromStdString(FormatThousands(state_.SourceFileSize, seps_.thousands)));
}

void TForm1::ShowBitrate() {
    const std::int64_t pixels = std::int64_t{state_.ImageWidth} * state_.ImageHeight;
    StatusBar->SetText(5, QString::fromStdString(BitsPerPixelText(
                              state_.SourceFileSize, pixels, kStatusPrecision, seps_.decimal)));
}

// --------------------------------------------------------- results page

void TForm1::PageControl1Change() {
    resultControlsShown_ = PageControl1->currentWidget() == tabResults;
    if (resultControlsShown_)
        ListViewClick();
    else
        ApplyControls();
}

void TForm1::ListViewClick() {
    deleteOffered_ = ListView->SelectedRow() >= 0;
    saveOffered_ = !results_->Records().empty();
    ApplyControls();
}

void TForm1::AddRecord(const ResultRecord& record) {
    AppendRecords({record});
    unsaved_ = true;
    ShowJobSummary(record);
}

void TForm1::AppendRecords(std::vector<ResultRecord> records) {
    results_->Append(std::move(records));
    Chart->SetRecords(results_->Records());
    saveOffered_ = true;
    ApplyControls();
}

void TForm1::btnLoadClick() {
    std::optional<std::vector<ResultRecord>> loaded = files_.Load();
    if (!loaded) return;
    // Rows read back are as saved as the file they come from: they ask
    // nothing on closing.
    const auto last = std::find_if(loaded->rbegin(), loaded->rend(), ShownInTable);
    if (last != loaded->rend()) ShowJobSummary(*last);
    AppendRecords(std::move(*loaded));
}

void TForm1::ShowJobSummary(const ResultRecord& record) {
    const JobStatusTexts texts = MakeJobStatusTexts(record, seps_);
    StatusBar->SetText(1, QString::fromStdString(texts.dimensions));
    StatusBar->SetText(3, QString::fromStdString(texts.sizes));
    StatusBar->SetText(5, QString::fromStdString(texts.bitRates));
}

void TForm1::btnDelItemClick() {
    if (!results_->DeleteRow(ListView->SelectedRow())) return;
    ListView->Unselect();
    unsaved_ = true;
    saveOffered_ = true;
    deleteOffered_ = false;
    ApplyControls();
    Chart->SetRecords(results_->Records());
}

void TForm1::btnSaveClick() {
    SaveResults();
}

bool TForm1::SaveResults() {
    if (!files_.Save(results_->Records(), seps_)) return false;
    unsaved_ = false;
    saveOffered_ = false;
    ApplyControls();
    return true;
}

}  // namespace eks
