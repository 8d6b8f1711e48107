// The window's behaviour: start-up and shutdown, the handlers of its
// events and the control states they leave. The layout is in Layout.cpp.
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
    workDir_.clear();
    workDirProblem_.clear();
    const std::string tempRoot = QDir::tempPath().toStdString();
    // What killed windows and series left behind; running ones hold their
    // folders' locks and keep them.
    for (const char* prefix : {kWindowFolderPrefix, kSeriesFolderPrefix})
        SweepWorkFolders(tempRoot, prefix);
    const FileLock::Result lock =
        workLock_.TryTake(state_.AppDir + kWorkLockFile, ThisProcessText());
    if (lock == FileLock::Result::Taken) {
        workDir_ = state_.AppDir;
        return;
    }
    // Without the lock, "tmp1x.dat" there may be another window's: this
    // window's files go to a folder of its own.
    const QString why = lock == FileLock::Result::Held
                            ? QString::fromUtf8("pracuje już w nim inne okno programu (%1)")
                                  .arg(QString::fromStdString(workLock_.Holder()))
                            : QString::fromStdString(LockProblemText(lock, workLock_));
    privateDir_ = std::make_unique<WorkFolder>();
    if (!privateDir_->Make(tempRoot, kWindowFolderPrefix)) {
        const QString text =
            QString::fromUtf8(
                "Okno nie może pracować w katalogu %1: %2. Nie można też utworzyć "
                "własnego katalogu roboczego w %3 (%4) - kodowanie i dekodowanie "
                "nie są możliwe")
                .arg(QString::fromStdString(state_.AppDir), why, QDir::tempPath(),
                     QString::fromStdString(IoCauseText(privateDir_->ErrorCode())));
        privateDir_.reset();
        workDirProblem_ = text.toStdString();
        ShowMessageBox(MessageKind::Error, ErrorReportText(text));
        return;
    }
    workDir_ = privateDir_->Path();
    ShowMessageBox(
        MessageKind::Information,
        QString::fromUtf8("Okno nie pracuje w katalogu %1: %2.\r\n\r\n"
                          "To okno zapisuje swoje pliki robocze w katalogu %3, "
                          "usuwanym przy zakończeniu.")
            .arg(QString::fromStdString(state_.AppDir), why, QString::fromStdString(workDir_)));
}

void TForm1::RequireWorkDir() const {
    if (workDir_.empty())
        throw Error(workDirProblem_.empty() ? std::string("Brak katalogu roboczego")
                                            : workDirProblem_);
}

void TForm1::FormDestroy() {
    Analysis->Cancel();
    runner_.StopProgram();
    state_.SourceStream.reset();
    state_.ContainerStream.Clear();
    // Only this window's own working files: another window's stay.
    if (!workDir_.empty())
        DeleteTempFiles(workDir_, {std::begin(kTempFiles), std::end(kTempFiles)});
    privateDir_.reset();
    workLock_.Release();
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

// ------------------------------------------------------------ the jobs

void TForm1::ProcessEvents() {
    QCoreApplication::processEvents();
    // A window closed during a decode stops it.
    if (mode_ == Mode::Decoding && endAfterJob_) throw JobInterrupted();
}

void TForm1::SetBusyCursor(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TForm1::HeaderRead(const ContainerHeader& header, std::int64_t fileSize) {
    ApplyContainerHeader(state_, header, fileSize);
    state_.ContainerStream.Clear();  // refilled with the decoder's output
    CenterImage();
}

void TForm1::StartProgress(int rows) {
    ProgressBar->setMaximum(rows);
    ProgressBar->setValue(0);
}

void TForm1::ShowPicture(const GreyPicture& picture) {
    if (!picture.Empty()) Image->SetPicture(DecodedImage(picture));
}

SeriesSettings TForm1::JobSettings(bool check, bool endWaitWithProgram) const {
    SeriesSettings settings;
    settings.place = WorkPlace();
    settings.outDir = ResultsDirPath(state_.AppDir);
    settings.check = check;
    settings.endWaitWithProgram = endWaitWithProgram;
    return settings;
}

void TForm1::KeepEncodeOutcome(const StepOutcome& outcome) {
    if (outcome.Written() || outcome.cause == StepCause::OutputEmpty) {
        FLB2->Refill();
        if (outcome.Written()) AddRecord(outcome.record);
    } else if (outcome.cause == StepCause::OutOfMemory) {
        ShowMessageBox(MessageKind::Information, QString::fromUtf8(kOutOfMemoryMessage));
        ForgetImageForWantOfMemory(state_);
        image_.reset();
        ShowImageToAnalysis();
    }
}

void TForm1::btnCodeClick() {
    if (!image_) return;
    RequireWorkDir();
    Enter(Mode::Encoding);
    ClearJobPanels();
    ScopeExit leave{[this] {
        if (mode_ == Mode::Encoding) Enter(Mode::Done);
    }};
    const SeriesStep step{0, cbDict->isChecked() ? BitOrder::PixelMajor : BitOrder::PlaneMajor,
                          seOrder->Value()};
    const StepOutcome outcome =
        RunSeriesStep(*image_, step, JobSettings(false, false), *this, runner_);
    // The row first: a window closed meanwhile ends after this job, and asks
    // about it.
    KeepEncodeOutcome(outcome);
    // Every failure says why, a coder out of time or without output too.
    const bool saysWhy = !outcome.Written() && outcome.cause != StepCause::OutOfMemory &&
                         outcome.cause != StepCause::Interrupted;
    if (saysWhy)
        ShowMessageBox(MessageKind::Error, ErrorReportText(QString::fromStdString(outcome.text)));
    // Coding is possible at once after a container, and after a coder that
    // left no output or an empty one (nothing of the image is in doubt);
    // after any other failure once the image is chosen again.
    const bool again = outcome.Written() || outcome.cause == StepCause::NoOutput ||
                       outcome.cause == StepCause::OutputEmpty;
    Enter(image_ && again ? Mode::PgmReady : Mode::Done);
}

void TForm1::btnDecodeClick() {
    RequireWorkDir();
    Enter(Mode::Decoding);
    ShowPage(tabPicture);
    ClearJobPanels();
    ScopeExit leave{[this] { Enter(Mode::Done); }};
    const QString path = FLB2->SelectedPath();
    state_.CurrentPath = path.toStdString();
    LoadSelectedFile(path);
    if (path.isEmpty() || endAfterJob_) return;  // nothing decoded
    state_.SourceFileSize = MeasureFileSize(path);
    state_.Item.CurrentName = FileNamePart(state_.CurrentPath);
}

void TForm1::DecodeChosenContainer() {
    DecodeOutcome outcome = RunDecodeJob(
        {WorkPlace(), state_.CurrentPath, FileNamePart(state_.CurrentPath)}, *this, runner_);
    if (outcome.end == DecodeOutcome::End::Interrupted) {
        DeleteTempFiles(workDir_, {kDecoderInput, kDecoderOutput});
        lbStep->setText({});
        return;
    }
    if (!outcome.Done()) throw Error(outcome.error);
    state_.ContainerStream = std::move(outcome.decoded);
    ResultRecord record;
    record.path = NormalPath(state_.CurrentPath);
    record.item = outcome.row;
    AddRecord(record);
    lbStep->setText({});
}

// ------------------------------------------------------------ the series

void TForm1::btnSeriesRunClick() {
    if (!image_ || mode_ != Mode::PgmReady) return;
    RequireWorkDir();
    std::vector<BitOrder> bitOrders;
    if (!rbSeriesP->isChecked()) bitOrders.push_back(BitOrder::PixelMajor);
    if (!rbSeriesB->isChecked()) bitOrders.push_back(BitOrder::PlaneMajor);
    std::vector<int> orders;
    for (int order = std::min(seFrom->Value(), seTo->Value());
         order <= std::max(seFrom->Value(), seTo->Value()); ++order)
        orders.push_back(order);
    SeriesInput input;
    input.images = {image_->path};
    input.steps = PlanSeries(1, bitOrders, orders);
    // The image the window holds; none once it was let go for want of memory.
    input.load = [this](std::size_t) {
        if (image_) return *image_;
        SeriesImage none;
        none.error = "najpierw wybierz obraz";
        return none;
    };
    SeriesRunSettings settings;
    settings.outDir = ResultsDirPath(state_.AppDir);
    settings.check = cbSeriesCheck->isChecked();
    lstSeries->clear();
    SeriesProgress->setRange(0, static_cast<int>(input.steps.size()));
    SeriesProgress->setValue(0);
    seriesStop_ = false;
    Enter(Mode::Series);
    ScopeExit leave{[this] { Enter(image_ ? Mode::PgmReady : Mode::Done); }};
    SeriesEvents events;
    events.started = [&](std::size_t i) {
        lbSeriesStep->setText(QString::fromStdString(StepTitle(input.steps[i])));
        ProcessEvents();
    };
    events.ended = [&](std::size_t i, const StepOutcome& outcome, const SeriesCounts& counts) {
        KeepEncodeOutcome(outcome);
        auto* line = new QListWidgetItem(QString::fromStdString(StepTitle(input.steps[i]) + ": " +
                                                                StepResultText(outcome, seps_)),
                                         lstSeries);
        if (!outcome.Succeeded())
            line->setIcon(style()->standardIcon(QStyle::SP_MessageBoxCritical));
        lstSeries->scrollToBottom();
        SeriesProgress->setValue(static_cast<int>(counts.ended));
    };
    const SeriesResult result =
        RunSeries(input, settings, WorkPlace(), *this, runner_, true, seriesStop_, events);
    lbSeriesStep->setText(QString::fromStdString(SeriesEndText(
        result.counts.ran, input.steps.size(), result.counts.failed, result.counts.outOfMemory)));
}

}  // namespace eks
