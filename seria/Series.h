#pragma once

// A series of encodes without a window: the steps of the series job run side
// by side, each worker in a working directory of its own, since the
// programs' temporary files have fixed names.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "jobs/Series.h"
#include "seria/Options.h"

namespace eks::seria {

// The steps of the command line's series, in the order of their rows.
std::vector<SeriesStep> PlanSeries(const Options& options);

// A step's host without a window: nothing is shown, the time-out is the
// option's, and a raised `stop` ends the step at its next wait.
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

struct SeriesRun {
    std::string programDir;  // holds arith-n.exe and earith-n.exe; ends in a separator
    std::string outDir;      // where the containers go
    int timeoutSeconds = 120;
    bool check = false;
    bool references = false;  // each job's record gets its reference figures
    bool planeCosts = false;  // and what the coder's model spends per bit plane
    int workers = 1;
};

// Runs the steps on `run.workers` threads (at most one per step) and returns
// their outcomes in the steps' order. Each image is loaded once, when its
// first step starts, and let go after its last. `done` is called after each
// step, one call at a time, in the order the steps end. Once `stop` is
// raised no step starts and the running ones end at their next wait; the
// outcomes of those steps say so. A step that succeeded gets the figures
// `run` asks for in its record, worked out on its worker after the step; when
// they cannot be had (no memory for the bit sequence, a stop) the step fails
// with the reason. Throws Error when a working directory cannot be made.
std::vector<StepOutcome> RunSeries(
    const std::vector<std::string>& images, const std::vector<SeriesStep>& steps,
    const SeriesRun& run, const std::atomic<bool>& stop,
    const std::function<void(std::size_t, const StepOutcome&)>& done);

}  // namespace eks::seria
