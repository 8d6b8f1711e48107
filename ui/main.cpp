// The window's behaviour: start-up and shutdown, the handlers of its
// events and the control states they leave. The layout is in Layout.cpp.
#include "ui/main.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>

#include "core/BitSequence.h"
#include "core/Container.h"
#include "core/Error.h"
#include "core/Paths.h"
#include "core/PgmReader.h"
#include "core/ScopeExit.h"
#include "results/Csv.h"
#include "results/Report.h"
#include "results/ResultRow.h"
#include "ui/ChartPage.h"
#include "ui/FormParts.h"
#include "ui/ImageDisplay.h"
#include "ui/Platform.h"
#include "ui/RtfReader.h"

namespace eks {

namespace {

QString Dimensions(int width, int height) {
    return QString::number(width) + "×" + QString::number(height);
}

}  // namespace

QString ErrorReportText(const QString& message) {
    return QString::fromStdString(StandardErrorText(message.toStdString()));
}

// --------------------------------------------------------- control groups

void TForm1::SetCoderControls(bool on) {
    btnCode->setEnabled(on);
    seOrder->setEnabled(on);
    cbDict->setEnabled(on);
    SetTextColour(Zlabel, on ? QColor(0, 0, 0) : QColor(128, 128, 128));
}

void TForm1::SetFileLists(bool on) {
    FLB1->setEnabled(on);
    FLB2->setEnabled(on);
}

void TForm1::SetResultControlsVisible(bool visible) {
    ZBevel->setVisible(visible);
    btnDelItem->setVisible(visible);
    btnSave->setVisible(visible);
}

void TForm1::SetPanel(int index, const QString& text) {
    panels_[index]->setText(text);
}

QString TForm1::PanelText(int index) const {
    return panels_[index]->text();
}

void TForm1::ShowPage(QWidget* page) {
    programPageChange_ = true;
    PageControl1->setCurrentWidget(page);
    programPageChange_ = false;
}

void TForm1::Guard(const std::function<void()>& body) {
    try {
        body();
    } catch (const std::exception& e) {
        ShowMessageBox(MessageKind::Error, ErrorReportText(QString::fromUtf8(e.what())));
    } catch (...) {
        ShowMessageBox(MessageKind::Error, ErrorReportText("Nieznany błąd"));
    }
}

// ----------------------------------------------------- start-up, shutdown

void TForm1::FormCreate() {
    Guard([this] {
        const QString appDir = initialAppDir_.isEmpty() ? ExecutableDir() : initialAppDir_;
        state_.AppDir = appDir.toStdString();
        ShowPage(tabPicture);
        ProgressBar->setValue(0);
        seTimeoutChange();
        if (!QFileInfo(appDir + kCoderProgram).isFile()) {
            ShowMessageBox(MessageKind::Information,
                           "Brak pliku kodera arith-n.exe\r\nw głównym katalogu "
                           "aplikacji.\r\n\r\nAplikacja zostanie zakończona");
            endRequested_ = true;
            RequestApplicationEnd();
        }
        if (!QFileInfo(appDir + kDecoderProgram).isFile()) {
            ShowMessageBox(MessageKind::Information,
                           "Brak pliku dekodera earith-n.exe\r\nw głównym katalogu "
                           "aplikacji.\r\n\r\nAplikacja zostanie zakończona");
            endRequested_ = true;
            RequestApplicationEnd();
        }
        // Looked for in the working directory, not beside the program: intended.
        if (LoadRtfFile("opis.rtf", *REdit->document()))
            REdit->moveCursor(QTextCursor::Start);
        else
            PageControl1->setTabVisible(PageControl1->indexOf(tabDescr), false);
        const QString results = QString::fromStdString(ResultsDirPath(state_.AppDir));
        if (!QFileInfo(results).isDir() && !QDir().mkdir(results))
            throw Error("Nie można utworzyć katalogu " + results.toStdString());
        FLB2->SetDirectory(results);
    });
}

void TForm1::FormDestroy() {
    runner_.StopProgram();
    state_.SourceStream.Clear();
    state_.ContainerStream.Clear();
    if (state_.AppDir.empty()) return;
    DeleteTempFiles(state_.AppDir, {std::begin(kTempFiles), std::end(kTempFiles)});
}

// ------------------------------------------------------- layout handlers

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Centre once every control has its new size: the pages of the page
    // control are laid out after the window itself.
    QMetaObject::invokeMethod(
        this, [this] { Guard([this] { FormResize(); }); }, Qt::QueuedConnection);
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

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // A series can be started exactly when "Koduj" could be pressed.
    if (watched == btnCode && event->type() == QEvent::EnabledChange && btnSeriesRun)
        btnSeriesRun->setEnabled(btnCode->isEnabled());
    if (watched == Shape1 && event->type() == QEvent::MouseButtonPress) {
        Guard([this] { Shape1MouseDown(); });
        return true;
    }
    if (!ListView) return QWidget::eventFilter(watched, event);
    if (watched == ListView->viewport()) {
        if (event->type() == QEvent::Resize) {
            ShareOutColumns();
        } else if (event->type() == QEvent::MouseButtonPress) {
            // A click beside the rows takes the selection away.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!ListView->itemAt(mouse->position().toPoint())) {
                ListView->clearSelection();
                ListView->setCurrentItem(nullptr);
            }
        } else if (event->type() == QEvent::MouseButtonRelease) {
            Guard([this] { ListViewClick(); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::CenterImage() {
    // All pages share the size of the page control's stack.
    const QWidget* stack = tabPicture->parentWidget();
    const QSize page = stack ? stack->size() : tabPicture->size();
    Image->move(CenterPosition(page, state_.ImageWidth, state_.ImageHeight));
}

// ----------------------------------------------------------- file choice

void TForm1::FLB1Click(const QString& path) {
    btnDecode->setEnabled(false);
    state_.CurrentPath = path.toStdString();
    state_.Item.CurrentName = FileNamePart(state_.CurrentPath);
    try {
        LoadSelectedFile(path);
        state_.SourceFileSize = MeasureFileSize(path);
    } catch (...) {
        // A failed load may already have replaced the loaded bytes and the
        // dimensions: nothing is left that could be coded.
        SetCoderControls(false);
        throw;
    }
    state_.Item.SizeBefore = state_.SourceFileSize;
    SetCoderControls(true);
    UpdateStatusBar();
}

void TForm1::FLB2Click(const QString& path) {
    SetCoderControls(false);
    btnDecode->setEnabled(true);
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
    eks::ReadPgmHeader(state_);
    ProgressBar->setMaximum(state_.ImageHeight);
    CenterImage();
}

void TForm1::ShowPgmImage() {
    ProgressBar->setMaximum(state_.ImageHeight);
    ProgressBar->setValue(0);
    const QImage picture =
        BuildPgmPicture(state_.SourceStream, state_.ImageWidth, state_.ImageHeight,
                        [this] { ProgressBar->setValue(ProgressBar->value() + 1); });
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
        SetPanel(1, Dimensions(state_.ImageWidth, state_.ImageHeight));
    } else if (ext == ".YBQ") {
        SetPanel(1, Dimensions(state_.ImageWidth, state_.ImageHeight));
    }
}

void TForm1::ShowFileSize() {
    SetPanel(3, QString::fromStdString(FormatThousands(state_.SourceFileSize, seps_.thousands)));
}

void TForm1::ShowBitrate() {
    const std::int64_t pixels = std::int64_t{state_.ImageWidth} * state_.ImageHeight;
    SetPanel(5, QString::fromStdString(BitsPerPixelText(state_.SourceFileSize, pixels,
                                                        kStatusPrecision, seps_.decimal)));
}

// --------------------------------------------------------- results page

void TForm1::PageControl1Change() {
    if (PageControl1->currentIndex() == kResultsPageIndex) {
        SetResultControlsVisible(true);
        btnSave->setEnabled(ListView->topLevelItemCount() > 0);
        btnDelItem->setEnabled(!ListView->selectedItems().isEmpty());
    } else {
        SetResultControlsVisible(false);
    }
}

void TForm1::ListViewClick() {
    btnDelItem->setEnabled(!ListView->selectedItems().isEmpty());
    btnSave->setEnabled(ListView->topLevelItemCount() > 0);
}

void TForm1::AddResultRow() {
    const ResultRow row = MakeResultRow(state_.Item, ListView->topLevelItemCount() + 1, seps_);
    auto* item = new QTreeWidgetItem;
    for (int c = 0; c < kResultColumns; ++c) {
        item->setText(c, QString::fromStdString(row[c]));
        item->setTextAlignment(c, ColumnAlignment(c) | Qt::AlignVCenter);
    }
    // The raw values stay with the row, for what is computed from rows later
    // (the chart, the CSV form) rather than from their display texts.
    const TItemRec& r = state_.Item;
    item->setData(kColPosition, kRowRecordRole,
                  QVariantList{QString::fromStdString(state_.CurrentPath),
                               QString::fromStdString(r.CurrentName), qint64{r.SizeBefore},
                               qint64{r.SizeAfter}, r.ResultWidth, r.ResultHeight,
                               QChar::fromLatin1(r.OpCode), int{r.ResultOrder}});
    ListView->addTopLevelItem(item);
    UpdateChart();
    btnSave->setEnabled(true);
    const JobStatusTexts texts = MakeJobStatusTexts(state_, seps_);
    SetPanel(1, QString::fromStdString(texts.dimensions));
    SetPanel(3, QString::fromStdString(texts.sizes));
    SetPanel(5, QString::fromStdString(texts.bitRates));
}

void TForm1::UpdateChart() {
    std::vector<ChartRow> rows;
    for (int i = 0; i < ListView->topLevelItemCount(); ++i) {
        const RowRecord record = RecordOfRow(i);
        const TItemRec& r = record.item;
        rows.push_back({record.path, r.OpCode, r.ResultOrder, r.SizeAfter,
                        std::int64_t{r.ResultWidth} * r.ResultHeight});
    }
    Chart->SetRows(rows);
}

TForm1::RowRecord TForm1::RecordOfRow(int row) const {
    const QVariantList v = ListView->topLevelItem(row)->data(kColPosition, kRowRecordRole).toList();
    RowRecord record;
    record.path = v.value(0).toString().toStdString();
    TItemRec& r = record.item;
    r.CurrentName = v.value(1).toString().toStdString();
    r.SizeBefore = v.value(2).toLongLong();
    r.SizeAfter = v.value(3).toLongLong();
    r.ResultWidth = v.value(4).toInt();
    r.ResultHeight = v.value(5).toInt();
    r.OpCode = v.value(6).toChar().toLatin1();
    r.ResultOrder = static_cast<std::uint8_t>(v.value(7).toInt());
    return record;
}

void TForm1::btnDelItemClick() {
    const auto selected = ListView->selectedItems();
    if (selected.isEmpty()) return;
    delete selected.first();
    ListView->clearSelection();
    ListView->setCurrentItem(nullptr);
    for (int i = 0; i < ListView->topLevelItemCount(); ++i)
        ListView->topLevelItem(i)->setText(kColPosition, QString::number(i + 1));
    btnSave->setEnabled(true);
    btnDelItem->setEnabled(false);
    UpdateChart();
}

// ------------------------------------------------------------ the jobs

void TForm1::ProcessEvents() {
    QCoreApplication::processEvents();
}

int TForm1::TimeoutSeconds() {
    return seTimeout->Value();
}

void TForm1::SetBusyCursor(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TForm1::StepProgress() {
    ProgressBar->setValue(ProgressBar->value() + 1);
}

bool TForm1::ConsoleVisible() {
    return cbVisual->isChecked();
}

bool TForm1::EndWaitWhenProgramEnds() {
    // A series always ends each wait with the coder.
    return cbEndWait->isChecked() || seriesRunning_;
}

int TForm1::PassPauseMs() {
    return seStepTime->Value();
}

void TForm1::HeaderRead(const ContainerHeader& header, std::int64_t fileSize) {
    ApplyContainerHeader(state_, header, fileSize);
    state_.ContainerStream.Clear();  // refilled with the decoder's output
    CenterImage();
}

void TForm1::ShowStep(const std::string& title) {
    lbStep->setText(QString::fromStdString(title));
}

void TForm1::StartProgress(int rows) {
    ProgressBar->setMaximum(rows);
    ProgressBar->setValue(0);
}

void TForm1::ClearPicture() {
    Image->ClearPicture();
}

void TForm1::ShowPicture(const GreyPicture& picture) {
    if (!picture.Empty()) Image->SetPicture(DecodedImage(picture));
}

JobPlace TForm1::JobDirectories() const {
    return {state_.AppDir, state_.AppDir};
}

// The control states of a job, in one place: set on entry and, on every way
// out (an error included), left as they are after that job: the file lists
// on, and the coder controls on only after a container was written.
class TForm1::JobScope {
  public:
    enum class Kind { Encode, Decode };
    JobScope(TForm1& form, Kind kind) : form_(form) {
        if (kind == Kind::Encode) {
            form.SetCoderControls(false);
            form.SetFileLists(false);
        } else {
            form.btnCode->setEnabled(false);
            form.btnDecode->setEnabled(false);
            form.SetFileLists(false);
            form.seOrder->setEnabled(false);
            form.cbDict->setEnabled(false);
            SetTextColour(form.Zlabel, QColor(128, 128, 128));
            form.ShowPage(form.tabPicture);
        }
        for (int panel : {1, 3, 5})
            form.SetPanel(panel, {});
    }
    JobScope(const JobScope&) = delete;
    JobScope& operator=(const JobScope&) = delete;
    ~JobScope() { form_.SetFileLists(true); }

    // The coder's output has been read again: coding is possible at once.
    void CoderOutputRead() {
        form_.SetCoderControls(true);
        form_.SetFileLists(true);
    }

  private:
    TForm1& form_;
};

EncodeRequest TForm1::EncodeRequestFor(bool pixelMajor, int order) const {
    EncodeRequest request;
    request.place = JobDirectories();
    request.containerPath =
        ContainerPath(state_.AppDir, ContainerName(state_.CurrentPath, pixelMajor, order));
    request.rowName = state_.Item.CurrentName;
    request.sourceSize = state_.Item.SizeBefore;
    request.width = state_.ImageWidth;
    request.height = state_.ImageHeight;
    request.order = order;
    request.bitOrder = pixelMajor ? BitOrder::PixelMajor : BitOrder::PlaneMajor;
    return request;
}

void TForm1::btnCodeClick() {
    JobScope scope(*this, JobScope::Kind::Encode);
    const bool pixelMajor = cbDict->isChecked();
    const int order = seOrder->Value();
    state_.Item.OpCode = EncodeOpCode(pixelMajor);
    const std::size_t offset =
        state_.PixelDataOffset > 0 ? static_cast<std::size_t>(state_.PixelDataOffset) : 0;
    const EncodeOutcome outcome = RunEncodeJob(EncodeRequestFor(pixelMajor, order),
                                               state_.SourceStream, offset, *this, runner_);

    using End = EncodeOutcome::End;
    if (outcome.end == End::ContainerWritten || outcome.end == End::OutputEmpty)
        scope.CoderOutputRead();
    TakeEncodeOutcome(outcome, order);
}

void TForm1::TakeEncodeOutcome(const EncodeOutcome& outcome, int order) {
    using End = EncodeOutcome::End;
    switch (outcome.end) {
        case End::Failed:
            throw Error(outcome.error);
        case End::OutOfMemory:
            ShowMessageBox(MessageKind::Information, QString::fromUtf8(kOutOfMemoryMessage));
            ForgetImageForWantOfMemory(state_);
            break;
        case End::NoOutput:
            // A coder that failed, crashed or did not start leaves no output
            // and no message, on purpose: the row is simply not there.
            break;
        case End::OutputEmpty:
        case End::ContainerWritten:
            state_.CoderOrder = static_cast<std::uint8_t>(order);
            FLB2->Refill();
            // An output that vanished between its collection and its second
            // reading leaves no container, and so no row to show.
            if (outcome.end == End::ContainerWritten) {
                state_.Item.SizeAfter = outcome.row.SizeAfter;
                state_.Item.ResultOrder = outcome.row.ResultOrder;
                AddResultRow();
            }
            break;
    }
    state_.Item.ResultOrder = static_cast<std::uint8_t>(order);
}

void TForm1::btnDecodeClick() {
    JobScope scope(*this, JobScope::Kind::Decode);
    const QString path = FLB2->SelectedPath();
    state_.CurrentPath = path.toStdString();
    LoadSelectedFile(path);
    if (path.isEmpty()) return;  // nothing was chosen, nothing was decoded
    state_.SourceFileSize = MeasureFileSize(path);
    state_.Item.CurrentName = FileNamePart(state_.CurrentPath);
    state_.Item.SizeBefore = state_.SourceFileSize;
}

void TForm1::DecodeChosenContainer() {
    DecodeOutcome outcome = RunDecodeJob(
        {JobDirectories(), state_.CurrentPath, state_.Item.CurrentName}, *this, runner_);
    if (!outcome.done) throw Error(outcome.error);
    state_.ContainerStream = std::move(outcome.decoded);
    state_.Item.SizeAfter = outcome.row.SizeAfter;
    AddResultRow();
    lbStep->setText({});
}

// ------------------------------------------------------------ the series

namespace {

// The host of a series' check: the window's events and live reads, nothing
// shown (no page switch, no passes, no row).
class QuietHost : public ShowNothingHost {
  public:
    explicit QuietHost(JobHost& window) : window_(window) {}
    void ProcessEvents() override { window_.ProcessEvents(); }
    int TimeoutSeconds() override { return window_.TimeoutSeconds(); }
    void SetBusyCursor(bool busy) override { window_.SetBusyCursor(busy); }
    bool ConsoleVisible() override { return window_.ConsoleVisible(); }

  private:
    JobHost& window_;
};

}  // namespace

// The controls of a series: from its start to its end nothing that would
// start another job or change the image is on, whatever a step's own closing
// steps would do; afterwards the window is as after an encode.
class TForm1::SeriesScope {
  public:
    explicit SeriesScope(TForm1& form) : form_(form) {
        form.seriesRunning_ = true;
        form.seriesStopRequested_ = false;
        Hold();
        form.btnSeriesStop->setEnabled(true);
    }
    SeriesScope(const SeriesScope&) = delete;
    SeriesScope& operator=(const SeriesScope&) = delete;
    ~SeriesScope() {
        form_.seriesRunning_ = false;
        form_.btnSeriesStop->setEnabled(false);
        form_.SetFileLists(true);
        form_.SetCoderControls(imageKept);
    }
    // After a step: what its closing steps turned on goes off again.
    void Hold() {
        form_.SetCoderControls(false);
        form_.SetFileLists(false);
        form_.btnDecode->setEnabled(false);
    }
    bool imageKept = true;

  private:
    TForm1& form_;
};

void TForm1::btnSeriesRunClick() {
    const int from = std::min(seFrom->Value(), seTo->Value());
    const int to = std::max(seFrom->Value(), seTo->Value());
    std::vector<bool> bitOrders;  // pixel order (B) first, then plane order (P)
    if (!rbSeriesP->isChecked()) bitOrders.push_back(true);
    if (!rbSeriesB->isChecked()) bitOrders.push_back(false);
    const bool check = cbSeriesCheck->isChecked();
    lstSeries->clear();
    SeriesProgress->setRange(0, static_cast<int>(bitOrders.size()) * (to - from + 1));
    SeriesProgress->setValue(0);
    {
        SeriesScope scope(*this);
        for (const bool pixelMajor : bitOrders) {
            for (int order = from; order <= to && !seriesStopRequested_ && scope.imageKept;
                 ++order) {
                const QString step = QString("rząd %1, %2")
                                         .arg(order)
                                         .arg(pixelMajor ? "bez przeplotu" : "z przeplotem");
                lbSeriesStep->setText(step);
                ProcessEvents();
                const QString result = RunSeriesStep(pixelMajor, order, check, scope.imageKept);
                scope.Hold();
                lstSeries->addItem(step + ": " + result);
                lstSeries->scrollToBottom();
                SeriesProgress->setValue(SeriesProgress->value() + 1);
            }
        }
        lbSeriesStep->setText(seriesStopRequested_ ? "seria przerwana" : "seria zakończona");
    }
    if (quitAfterSeries_) {
        endRequested_ = true;
        RequestApplicationEnd();
    }
}

void TForm1::btnSeriesStopClick() {
    seriesStopRequested_ = true;
}

QString TForm1::RunSeriesStep(bool pixelMajor, int order, bool check, bool& imageKept) {
    state_.Item.OpCode = EncodeOpCode(pixelMajor);
    const EncodeRequest request = EncodeRequestFor(pixelMajor, order);
    const std::size_t offset =
        state_.PixelDataOffset > 0 ? static_cast<std::size_t>(state_.PixelDataOffset) : 0;
    const EncodeOutcome outcome =
        RunEncodeJob(request, state_.SourceStream, offset, *this, runner_);
    using End = EncodeOutcome::End;
    if (outcome.end == End::Failed) return QString::fromStdString(outcome.error);
    if (outcome.end == End::OutOfMemory) {
        // Nothing is left to code: the series ends with the message.
        imageKept = false;
        TakeEncodeOutcome(outcome, order);
        return "brak pamięci";
    }
    TakeEncodeOutcome(outcome, order);
    if (outcome.end != End::ContainerWritten) return "koder nie zapisał wyniku";
    QString result =
        QString::fromStdString(FileNamePart(request.containerPath)) + ", " +
        QString::fromStdString(BitsPerPixelText(
            outcome.row.SizeAfter, std::int64_t{outcome.row.ResultWidth} * outcome.row.ResultHeight,
            kStatusPrecision, seps_.decimal)) +
        " bpp";
    if (!check) return result;

    // The check: the container decoded quietly, its bits against the image's.
    QuietHost quiet(*this);
    const DecodeOutcome decoded =
        RunDecodeJob({JobDirectories(), request.containerPath, {}}, quiet, runner_);
    if (!decoded.done) return result + "; sprawdzenie: " + QString::fromStdString(decoded.error);
    const std::optional<ByteStream> bits =
        ExpandBitSequence(state_.SourceStream, offset, request.bitOrder);
    const bool same = bits && bits->Size() == decoded.decoded.Size() &&
                      std::equal(bits->Data(), bits->Data() + bits->Size(), decoded.decoded.Data());
    return result +
           (same ? "; sprawdzony" : "; sprawdzenie: zdekodowane bity różnią się od zakodowanych");
}

void TForm1::btnSaveClick() {
    const QString chosen = AskSaveFileName({"Podaj nazwę pliku raportu", "Pliki tekstowe (*.txt)",
                                            "txt", reportName_, "Pliki CSV (*.csv)", "csv"});
    if (chosen.isEmpty()) return;
    reportName_ = chosen;
    if (chosen.endsWith(".csv", Qt::CaseInsensitive)) {
        // The same rows for spreadsheets and plotting tools.
        std::string text = CsvHeaderLine();
        for (int i = 0; i < ListView->topLevelItemCount(); ++i) {
            const RowRecord record = RecordOfRow(i);
            text += CsvLine(record.item, record.path, {});
        }
        WriteWholeFile(chosen.toStdString(), text.data(), text.size());
        btnSave->setEnabled(false);
        return;
    }
    std::vector<ResultRow> rows;
    for (int i = 0; i < ListView->topLevelItemCount(); ++i) {
        ResultRow row;
        for (int c = 0; c < kResultColumns; ++c)
            row[c] = ListView->topLevelItem(i)->text(c).toStdString();
        rows.push_back(row);
    }
    const QTime now = QTime::currentTime();
    std::tm local{};
    local.tm_hour = now.hour();
    local.tm_min = now.minute();
    local.tm_sec = now.second();
    WriteReport(chosen.toStdString(), rows, TimeOfDayText(local));
    btnSave->setEnabled(false);
}

// ------------------------------------------------------------- the rest

void TForm1::btnQuitClick() {
    if (state_.Busy) return;
    if (seriesRunning_) {
        // The series stops after the running step, and then the program ends.
        seriesStopRequested_ = true;
        quitAfterSeries_ = true;
        return;
    }
    endRequested_ = true;
    RequestApplicationEnd();
}

void TForm1::seOrderChange() {
    state_.CoderOrder = static_cast<std::uint8_t>(seOrder->Value());
}

void TForm1::seTimeoutChange() {
    state_.TimeoutMs = seTimeout->Value() * 1000;
}

}  // namespace eks
