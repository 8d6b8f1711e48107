// The window's jobs: "Koduj", "Dekoduj" and "Seria" build their requests
// from the controls, run them through the jobs layer and keep what they
// leave; and what a job reads from the window and shows in it.
#include <QApplication>
#include <QStyle>

#include "core/Container.h"
#include "core/Error.h"
#include "core/Paths.h"
#include "core/ScopeExit.h"
#include "jobs/SeriesRun.h"
#include "ui/ImageDisplay.h"
#include "ui/Platform.h"
#include "ui/main.h"

namespace eks {

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
    workDir_.Require();
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
    workDir_.Require();
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
        DeleteTempFiles(workDir_.Path(), {kDecoderInput, kDecoderOutput});
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
    workDir_.Require();
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
        // Labelled as the table's "Op/R" column: a line fits the page at its
        // start size; the whole text of a long one shows under the pointer.
        const SeriesStep& step = input.steps[i];
        const QString text = QString::fromStdString(
            EncodeOpCode(step.bitOrder == BitOrder::PixelMajor) +
            ("/" + std::to_string(step.order)) + ": " + StepResultText(outcome, seps_));
        auto* line = new QListWidgetItem(text, lstSeries);
        line->setToolTip(text);
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
