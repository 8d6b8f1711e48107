#pragma once

// The progress of a series on standard error: a line per finished job, or,
// on a terminal, one bar redrawn in place with the failures written above it.

#include <cstddef>
#include <cstdio>
#include <string>

#include "results/NumberFormat.h"
#include "seria/Series.h"

namespace eks::seria {

class Progress {
  public:
    Progress(std::FILE* out, std::size_t total, bool bar, Separators seps);
    // A job has ended; `label` names it ("camera.pgm P/3").
    void JobDone(const std::string& label, const StepOutcome& outcome);
    // Ends the bar's line.
    void Finish();

    // The line of a finished job, without its number:
    // "camera.pgm P/3: 30,005 B, 3.663 bit/piksel" or "... błąd: <message>".
    static std::string JobText(const std::string& label, const StepOutcome& outcome,
                               const Separators& seps);

  private:
    void DrawBar();

    std::FILE* out_;
    std::size_t total_;
    bool bar_;
    Separators seps_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
};

}  // namespace eks::seria
