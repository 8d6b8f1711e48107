#pragma once

// A series run, written once for the window and eksperymenty-seria: the
// plan (a shard of it too), the steps, their checks, the figures a step
// adds, the counting and the stop policy. The front ends differ only in
// what their hosts provide: the window runs one step at a time on its own
// thread with its host and runner; eksperymenty-seria runs N worker threads,
// each with a working folder and a HeadlessHost of its own.
//
// The stop policy: after a step that ran out of memory, the steps of that
// image not yet started are skipped, each saying so, and the other images
// go on; a stop request ends the run, and the steps not run say "przerwano".

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "jobs/Series.h"

namespace eks {

// One of N runs that share a plan: the jobs K, K+N, K+2N … (K from 1 to N).
struct Shard {
    int k = 0;
    int n = 0;  // 0: the whole plan
    bool operator==(const Shard&) const = default;
};

// The indices (from 0) of the steps of shard K of N: the jobs K, K+N, K+2N …
// numbered from 1.
std::vector<std::size_t> ShardSteps(std::size_t steps, const Shard& shard);

struct SeriesPlan {
    std::vector<SeriesStep> steps;  // this run's, in the order of their rows
    std::vector<std::size_t> jobs;  // steps[i] is job jobs[i] of the whole plan, from 1
    std::size_t planned = 0;        // the steps of the whole plan
};

// The steps PlanSeries gives, or those of one shard of them.
SeriesPlan PlanSeries(std::size_t images, const std::vector<BitOrder>& bitOrders,
                      const std::vector<int>& orders, const Shard& shard);

// A step's host without a window: nothing is shown, the time-out is the
// run's, and a raised `stop` ends the step at its next wait.
class HeadlessHost : public ShowNothingHost {
  public:
    HeadlessHost(int timeoutSeconds, const std::atomic<bool>& stop)
        : timeoutSeconds_(timeoutSeconds), stop_(stop) {}
    void ProcessEvents() override;
    int TimeoutSeconds() override { return timeoutSeconds_; }
    void SetBusyCursor(bool) override {}
    bool ConsoleVisible() override { return false; }
    std::string TimeoutHint() override { return "czas można wydłużyć opcją --timeout"; }

  private:
    int timeoutSeconds_;
    const std::atomic<bool>& stop_;
};

struct SeriesInput {
    std::vector<std::string> images;  // the images' paths, as the records name them
    std::vector<SeriesStep> steps;
    // Gives image i when its first step starts; empty: LoadSeriesImage of
    // its path. The run lets its share go after the image's last step.
    std::function<SeriesImage(std::size_t image)> load;
};

struct SeriesRunSettings {
    std::string outDir;  // where the containers go
    bool check = false;
    bool references = false;  // each step's record gets its reference figures
    bool planeCosts = false;  // and what the coder's model spends per bit plane
};

// The counts of a run, kept by the run alone.
struct SeriesCounts {
    std::size_t ended = 0;   // steps that ran or were skipped
    std::size_t ran = 0;     // steps that ran
    std::size_t failed = 0;  // steps that ended without success, the skipped ones too
    bool outOfMemory = false;
};

struct SeriesResult {
    std::vector<StepOutcome> outcomes;  // every step's, in the steps' order
    SeriesCounts counts;
    // Steps that neither ran nor were skipped: the run was stopped first.
    std::size_t NotRun() const { return outcomes.size() - counts.ended; }
};

// What the front end hears, one call at a time: a step about to start (on
// the thread that runs it), and a step that ended, with the counts so far.
struct SeriesEvents {
    std::function<void(std::size_t step)> started;
    std::function<void(std::size_t step, const StepOutcome&, const SeriesCounts&)> ended;
};

// One step at a time on the calling thread, through `host` and `runner`,
// with the working files in place.workDir. `endWaitWithProgram` as in
// SeriesSettings.
SeriesResult RunSeries(const SeriesInput& input, const SeriesRunSettings& settings,
                       const JobPlace& place, JobHost& host, CoderRunner& runner,
                       bool endWaitWithProgram, const std::atomic<bool>& stop,
                       const SeriesEvents& events);

// Up to `workers` threads (at most one per step), each with a fresh working
// folder in $TMPDIR (what killed runs left there is swept first) and a
// HeadlessHost of `timeoutSeconds`; `programDir` holds the coder programs.
// Throws Error when a working folder cannot be made.
SeriesResult RunSeriesOnWorkers(const SeriesInput& input, const SeriesRunSettings& settings,
                                const std::string& programDir, int workers, int timeoutSeconds,
                                const std::atomic<bool>& stop, const SeriesEvents& events);

}  // namespace eks
