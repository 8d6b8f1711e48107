#include "seria/Series.h"

#include <QDir>
#include <QThread>
#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

#include "analysis/Analysis.h"
#include "core/Error.h"
#include "core/Files.h"
#include "core/IoText.h"
#include "core/Paths.h"

namespace eks::seria {

namespace {

// The images of a series, each loaded when a step first asks for it and let
// go once its last step is done.
class ImageStore {
  public:
    ImageStore(const std::vector<std::string>& paths, const std::vector<SeriesStep>& steps) {
        for (const std::string& path : paths)
            slots_.push_back(std::make_unique<Slot>(path));
        for (const SeriesStep& step : steps)
            ++slots_[step.image]->stepsLeft;
    }
    const SeriesImage& Take(std::size_t i) {
        Slot& slot = *slots_[i];
        const std::lock_guard lock(slot.mutex);
        if (!slot.loaded) {
            slot.bytes = std::make_unique<ByteStream>();
            slot.image = LoadSeriesImage(slot.path, *slot.bytes);
            slot.loaded = true;
        }
        return slot.image;
    }
    void Done(std::size_t i) {
        Slot& slot = *slots_[i];
        const std::lock_guard lock(slot.mutex);
        if (--slot.stepsLeft == 0) slot.bytes.reset();
    }

  private:
    struct Slot {
        explicit Slot(std::string p) : path(std::move(p)) {}
        std::string path;
        std::mutex mutex;
        std::unique_ptr<ByteStream> bytes;
        SeriesImage image;
        bool loaded = false;
        std::size_t stepsLeft = 0;
    };
    std::vector<std::unique_ptr<Slot>> slots_;
};

// The figures `run` asks for, of a step that succeeded, into its record:
// the counts of the step's bit sequence and, once that is let go, one more
// run of the coder's model over a sequence of its own, so that a worker
// holds one bit sequence at a time.
void AddFigures(const SeriesImage& image, const SeriesStep& step, const SeriesRun& run,
                const std::atomic<bool>& stop, StepOutcome& outcome) {
    if (!(run.references || run.planeCosts) || !outcome.Succeeded()) return;
    const AnalysisControl control{{}, &stop};
    // The image's bytes stay the series' own: a share that owns nothing.
    const AnalysisImage analysed{
        std::shared_ptr<const ByteStream>(image.file, [](const ByteStream*) {}),
        image.pixelDataOffset, image.width, image.height, FileNamePart(image.path)};
    try {
        if (run.references) {
            const ReferenceFigures figures = ComputeReferences(analysed, step.bitOrder, control);
            outcome.record.references =
                ReferenceBits{figures.kt[step.order], figures.condEntropy[step.order],
                              PixelEntropyBits(analysed)};
        }
        if (run.planeCosts)
            outcome.record.planeBits =
                ComputeModelCost(analysed, step.order, step.bitOrder, control).planeBits;
        return;
    } catch (const AnalysisCancelled& e) {
        outcome.cause = StepCause::Interrupted;
        outcome.text = e.what();
    } catch (const AnalysisOutOfMemory&) {
        outcome.cause = StepCause::OutOfMemory;
        outcome.text = OneLine(kOutOfMemoryMessage);
    } catch (const std::bad_alloc&) {
        outcome.cause = StepCause::OutOfMemory;
        outcome.text = OneLine(kOutOfMemoryMessage);
    } catch (const std::exception& e) {
        outcome.cause = StepCause::Other;
        outcome.text = OneLine(e.what());
    }
    // The container stays written; the record says why the job failed.
    outcome.record.references.reset();
    outcome.record.planeBits.reset();
    outcome.record.error = outcome.text;
}

}  // namespace

void HeadlessHost::ProcessEvents() {
    if (stop_) throw JobInterrupted();
}

std::vector<SeriesStep> PlanSeries(const Options& options) {
    return eks::PlanSeries(options.images.size(), options.bitOrders, options.orders);
}

std::vector<StepOutcome> RunSeries(
    const std::vector<std::string>& images, const std::vector<SeriesStep>& steps,
    const SeriesRun& run, const std::atomic<bool>& stop,
    const std::function<void(std::size_t, const StepOutcome&)>& done) {
    std::vector<StepOutcome> outcomes;
    for (const SeriesStep& step : steps)
        outcomes.push_back(StepNotRun(images[step.image], step));  // until it has run
    const std::size_t count =
        std::clamp<std::size_t>(run.workers, 1, std::max<std::size_t>(steps.size(), 1));

    // A fresh working directory per worker, removed with all in it at the
    // end; each holds a lock, so that the sweep of what killed runs left
    // (done here first) never takes a running one's.
    const std::string tempRoot = QDir::tempPath().toStdString();
    for (const char* prefix : {kSeriesFolderPrefix, kWindowFolderPrefix})
        SweepWorkFolders(tempRoot, prefix);
    std::vector<std::unique_ptr<WorkFolder>> dirs;
    for (std::size_t w = 0; w < count; ++w) {
        auto dir = std::make_unique<WorkFolder>();
        if (!dir->Make(tempRoot, kSeriesFolderPrefix))
            throw Error("Nie można utworzyć katalogu roboczego w " + tempRoot + " (" +
                        IoCauseText(dir->ErrorCode()) + ")");
        dirs.push_back(std::move(dir));
    }

    ImageStore store(images, steps);
    std::atomic<std::size_t> next{0};
    std::mutex doneMutex;
    std::vector<std::unique_ptr<QThread>> threads;
    for (std::size_t w = 0; w < count; ++w) {
        SeriesSettings settings;
        settings.place = {run.programDir, dirs[w]->Path()};
        settings.outDir = run.outDir;
        settings.check = run.check;
        // A QThread rather than a bare thread: the coder's QProcess wants the
        // event dispatcher that a QThread has.
        threads.emplace_back(QThread::create([&, settings] {
            HeadlessHost host(run.timeoutSeconds, stop);
            CoderRunner runner(host);
            for (;;) {
                if (stop) return;
                const std::size_t i = next++;
                if (i >= steps.size()) return;
                const SeriesStep& step = steps[i];
                const SeriesImage& image = store.Take(step.image);
                StepOutcome outcome = RunSeriesStep(image, step, settings, host, runner);
                AddFigures(image, step, run, stop, outcome);
                store.Done(step.image);
                const std::lock_guard lock(doneMutex);
                outcomes[i] = std::move(outcome);
                done(i, outcomes[i]);
            }
        }));
        threads.back()->start();
    }
    for (const auto& thread : threads)
        thread->wait();
    return outcomes;
}

}  // namespace eks::seria
