#pragma once

// A series of encodes without a window: every image in every chosen bit
// order and order, through the same encode job as the window's "Koduj", with
// an optional check of each container by the decode job. Jobs run side by
// side, each worker in a working directory of its own, since the programs'
// temporary files have fixed names.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/BitSequence.h"
#include "core/ExperimentState.h"
#include "jobs/Jobs.h"
#include "seria/Options.h"

namespace eks::seria {

// One encode of the series.
struct SeriesJob {
    std::size_t image = 0;  // index into the images
    BitOrder bitOrder = BitOrder::PixelMajor;
    int order = 1;
};

// The jobs in the order of their rows: the images as given, in each pixel
// order (B) before plane order (P), in each the orders ascending.
std::vector<SeriesJob> PlanSeries(const Options& options);

// "camera.pgm P/3": the image as given, the operation letter and the order.
std::string JobLabel(const std::string& image, const SeriesJob& job);

enum class CheckResult { NotRun, Passed, Failed };

struct SeriesJobResult {
    bool encoded = false;  // a container was written; `row` is the row the window would add
    TItemRec row;
    CheckResult check = CheckResult::NotRun;
    std::string error;  // why the job or its check failed; empty when it succeeded
    bool Succeeded() const { return error.empty(); }
};

struct SeriesSettings {
    std::string programDir;  // holds arith-n.exe and earith-n.exe; ends in a separator
    std::string outDir;      // where the containers go
    int timeoutSeconds = 120;
    bool check = false;
};

// A job's host without a window: nothing is shown, every wait ends when the
// coder ends (bounded by the time-out), and a raised `stop` ends the job at
// its next wait.
class HeadlessHost : public ShowNothingHost {
  public:
    HeadlessHost(int timeoutSeconds, const std::atomic<bool>& stop)
        : timeoutSeconds_(timeoutSeconds), stop_(stop) {}
    void ProcessEvents() override;
    int TimeoutSeconds() override { return timeoutSeconds_; }
    void SetBusyCursor(bool) override {}
    bool ConsoleVisible() override { return false; }

  private:
    int timeoutSeconds_;
    const std::atomic<bool>& stop_;
};

// One job in workDir: the image loaded and its header read as the window
// does when the file is chosen, the encode job, and with settings.check the
// decode job on the container and the comparison of its output with the bit
// sequence. Never throws.
SeriesJobResult RunSeriesJob(const std::string& image, const SeriesJob& job,
                             const SeriesSettings& settings, const std::string& workDir,
                             JobHost& host, CoderRunner& runner);

// Runs the jobs on `workers` threads (at most one per job) and returns their
// results in the jobs' order. `done` is called after each job, one call at a
// time, in the order the jobs end. Once `stop` is raised no job starts and
// the running ones end at their next wait; their results then hold an error.
// Throws Error when a working directory cannot be made.
std::vector<SeriesJobResult> RunSeries(
    const std::vector<std::string>& images, const std::vector<SeriesJob>& jobs,
    const SeriesSettings& settings, int workers, const std::atomic<bool>& stop,
    const std::function<void(std::size_t, const SeriesJobResult&)>& done);

}  // namespace eks::seria
