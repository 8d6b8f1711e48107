#include "jobs/SeriesRun.h"

#include <QDir>
#include <QThread>
#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

#include "core/Error.h"
#include "core/Files.h"
#include "core/IoText.h"
#include "core/Paths.h"

namespace eks {

std::vector<std::size_t> ShardSteps(std::size_t steps, const Shard& shard) {
    std::vector<std::size_t> chosen;
    for (std::size_t i = static_cast<std::size_t>(shard.k - 1); i < steps;
         i += static_cast<std::size_t>(shard.n))
        chosen.push_back(i);
    return chosen;
}

SeriesPlan PlanSeries(std::size_t images, const std::vector<BitOrder>& bitOrders,
                      const std::vector<int>& orders, const Shard& shard) {
    const std::vector<SeriesStep> all = PlanSeries(images, bitOrders, orders);
    SeriesPlan plan;
    plan.planned = all.size();
    for (const std::size_t i : ShardSteps(all.size(), shard.n > 0 ? shard : Shard{1, 1})) {
        plan.steps.push_back(all[i]);
        plan.jobs.push_back(i + 1);
    }
    return plan;
}

void HeadlessHost::ProcessEvents() {
    if (stop_) throw JobInterrupted();
}

namespace {

StepCause CauseOf(AnalysisFailure failure) {
    switch (failure) {
        case AnalysisFailure::Cancelled:
            return StepCause::Interrupted;
        case AnalysisFailure::OutOfMemory:
            return StepCause::OutOfMemory;
        case AnalysisFailure::None:
        case AnalysisFailure::Other:
            break;
    }
    return StepCause::Other;
}

// The run's shared state; each worker calls Work with its own host and
// runner until no step is left or the run is stopped.
class Run {
  public:
    Run(const SeriesInput& input, const SeriesRunSettings& settings, const std::atomic<bool>& stop,
        const SeriesEvents& events)
        : input_(input), settings_(settings), stop_(stop), events_(events) {
        for (std::size_t i = 0; i < input.images.size(); ++i)
            slots_.push_back(std::make_unique<Slot>());
        for (const SeriesStep& step : input.steps) {
            ++slots_[step.image]->stepsLeft;
            // Until it has run.
            result_.outcomes.push_back(StepNotRun(input.images[step.image], step));
        }
    }

    void Work(const SeriesSettings& settings, JobHost& host, CoderRunner& runner) {
        for (;;) {
            if (stop_) return;
            const std::size_t i = next_++;
            if (i >= input_.steps.size()) return;
            const SeriesStep& step = input_.steps[i];
            Slot& slot = *slots_[step.image];
            if (OutOfMemory(slot)) {
                End(i, StepSkipped(input_.images[step.image], step), false);
                continue;
            }
            if (events_.started) {
                const std::lock_guard lock(eventsMutex_);
                events_.started(i);
            }
            const SeriesImage image = Take(step.image);
            StepOutcome outcome = RunSeriesStep(image, step, settings, host, runner);
            AddFigures(slot, image, step, outcome);
            End(i, std::move(outcome), true);
        }
    }

    SeriesResult Result() && { return std::move(result_); }

  private:
    struct Slot {
        std::mutex mutex;
        std::optional<SeriesImage> image;  // the run's share, while steps are left
        std::optional<AnalysisResult<ImageReferences>> references;
        std::size_t stepsLeft = 0;
        bool outOfMemory = false;
    };

    bool OutOfMemory(Slot& slot) {
        const std::lock_guard lock(slot.mutex);
        return slot.outOfMemory;
    }

    // The image, loaded when its first step asks for it.
    SeriesImage Take(std::size_t i) {
        Slot& slot = *slots_[i];
        const std::lock_guard lock(slot.mutex);
        if (!slot.image)
            slot.image = input_.load ? input_.load(i) : LoadSeriesImage(input_.images[i]);
        return *slot.image;
    }

    // The image's references, counted once for all its steps.
    const AnalysisResult<ImageReferences>& References(Slot& slot, const AnalysisImage& image,
                                                      const AnalysisControl& control) {
        const std::lock_guard lock(slot.mutex);
        if (!slot.references)
            slot.references = TryAnalysis([&] { return ComputeImageReferences(image, control); });
        return *slot.references;
    }

    // The figures the run asks for, of a step that succeeded, into its
    // record; when they cannot be had the step fails with the reason, its
    // container still written.
    void AddFigures(Slot& slot, const SeriesImage& image, const SeriesStep& step,
                    StepOutcome& outcome) {
        if (!(settings_.references || settings_.planeCosts) || !outcome.Succeeded()) return;
        const AnalysisControl control{{}, &stop_};
        const AnalysisImage analysed = AnalysisImageOf(image);
        AnalysisFailure failure = AnalysisFailure::None;
        std::string text;
        if (settings_.references) {
            const AnalysisResult<ImageReferences>& refs = References(slot, analysed, control);
            if (refs.value) {
                const ReferenceFigures& figures = refs.value->Of(step.bitOrder);
                outcome.record.references = ReferenceBits{
                    figures.kt[step.order], figures.condEntropy[step.order], refs.value->h0Bits};
            } else {
                failure = refs.failure;
                text = refs.text;
            }
        }
        if (settings_.planeCosts && failure == AnalysisFailure::None) {
            // One more run of the coder's model, over a bit sequence of its
            // own: the step's is let go by now, so a worker holds one at a time.
            const auto cost = TryAnalysis(
                [&] { return ComputeModelCost(analysed, step.order, step.bitOrder, control); });
            if (cost.value) {
                outcome.record.planeBits = cost.value->planeBits;
            } else {
                failure = cost.failure;
                text = cost.text;
            }
        }
        if (failure == AnalysisFailure::None) return;
        outcome.cause = CauseOf(failure);
        outcome.text = outcome.record.error = OneLine(text);
        outcome.record.references.reset();
        outcome.record.planeBits.reset();
    }

    // A step has ended: its outcome, the counts, the image let go after its
    // last step or once it ran out of memory.
    void End(std::size_t i, StepOutcome outcome, bool ran) {
        const bool outOfMemory = ran && outcome.cause == StepCause::OutOfMemory;
        {
            Slot& slot = *slots_[input_.steps[i].image];
            const std::lock_guard lock(slot.mutex);
            slot.outOfMemory = slot.outOfMemory || outOfMemory;
            if (--slot.stepsLeft == 0 || slot.outOfMemory) {
                slot.image.reset();
                slot.references.reset();
            }
        }
        const std::lock_guard lock(eventsMutex_);
        SeriesCounts& counts = result_.counts;
        ++counts.ended;
        if (ran) ++counts.ran;
        if (!outcome.Succeeded()) ++counts.failed;
        counts.outOfMemory = counts.outOfMemory || outOfMemory;
        result_.outcomes[i] = std::move(outcome);
        if (events_.ended) events_.ended(i, result_.outcomes[i], counts);
    }

    const SeriesInput& input_;
    const SeriesRunSettings& settings_;
    const std::atomic<bool>& stop_;
    const SeriesEvents& events_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::atomic<std::size_t> next_{0};
    std::mutex eventsMutex_;
    SeriesResult result_;
};

SeriesSettings StepSettings(const SeriesRunSettings& settings, const JobPlace& place,
                            bool endWaitWithProgram) {
    SeriesSettings step;
    step.place = place;
    step.outDir = settings.outDir;
    step.check = settings.check;
    step.endWaitWithProgram = endWaitWithProgram;
    return step;
}

}  // namespace

SeriesResult RunSeries(const SeriesInput& input, const SeriesRunSettings& settings,
                       const JobPlace& place, JobHost& host, CoderRunner& runner,
                       bool endWaitWithProgram, const std::atomic<bool>& stop,
                       const SeriesEvents& events) {
    Run run(input, settings, stop, events);
    run.Work(StepSettings(settings, place, endWaitWithProgram), host, runner);
    return std::move(run).Result();
}

SeriesResult RunSeriesOnWorkers(const SeriesInput& input, const SeriesRunSettings& settings,
                                const std::string& programDir, int workers, int timeoutSeconds,
                                const std::atomic<bool>& stop, const SeriesEvents& events) {
    const std::size_t count =
        std::clamp<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), 1,
                                std::max<std::size_t>(input.steps.size(), 1));

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

    Run run(input, settings, stop, events);
    std::vector<std::unique_ptr<QThread>> threads;
    for (std::size_t w = 0; w < count; ++w) {
        const SeriesSettings step = StepSettings(settings, {programDir, dirs[w]->Path()}, true);
        // A QThread rather than a bare thread: the coder's QProcess wants the
        // event dispatcher that a QThread has.
        threads.emplace_back(QThread::create([&run, &stop, step, timeoutSeconds] {
            HeadlessHost host(timeoutSeconds, stop);
            CoderRunner runner(host);
            run.Work(step, host, runner);
        }));
        threads.back()->start();
    }
    for (const auto& thread : threads)
        thread->wait();
    return std::move(run).Result();
}

}  // namespace eks
