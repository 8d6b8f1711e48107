#pragma once

// The progress of a series on standard error: a line per finished job, or,
// on a terminal, one bar redrawn in place with the failures written above it.

#include <cstddef>
#include <cstdio>
#include <string>

#include "jobs/SeriesRun.h"
#include "results/NumberFormat.h"

namespace eks::seria {

class Progress {
  public:
    Progress(std::FILE* out, std::size_t total, bool bar, Separators seps);
    // A job has ended; `label` names it ("camera.pgm P/3"), `counts` are the
    // run's after it.
    void JobDone(const std::string& label, const StepOutcome& outcome, const SeriesCounts& counts);
    // Ends the bar's line.
    void Finish();

  private:
    void DrawBar(const SeriesCounts& counts);

    std::FILE* out_;
    std::size_t total_;
    bool bar_;
    Separators seps_;
};

}  // namespace eks::seria
