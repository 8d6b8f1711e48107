#include "seria/Progress.h"

namespace eks::seria {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

Progress::Progress(std::FILE* out, std::size_t total, bool bar, Separators seps)
    : out_(out), total_(total), bar_(bar), seps_(std::move(seps)) {
    if (bar_) DrawBar({});
}

void Progress::JobDone(const std::string& label, const StepOutcome& outcome,
                       const SeriesCounts& counts) {
    // "camera.pgm P/3: 30,005 B, 3.663 bit/piksel" or "... błąd: <message>".
    const std::string text = label + ": " + StepResultText(outcome, seps_);
    if (bar_) {
        // Only failures stay on the screen; the bar is drawn again below them.
        if (!outcome.Succeeded()) std::fprintf(out_, "\r\033[K%s\n", text.c_str());
        DrawBar(counts);
    } else {
        const int width = static_cast<int>(std::to_string(total_).size());
        std::fprintf(out_, "[%*zu/%zu] %s\n", width, counts.ended, total_, text.c_str());
    }
    std::fflush(out_);
}

void Progress::DrawBar(const SeriesCounts& counts) {
    const auto filled =
        total_ == 0 ? kBarWidth : static_cast<int>(counts.ended * kBarWidth / total_);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(out_, "\r\033[K[%s] %zu/%zu", bar.c_str(), counts.ended, total_);
    if (counts.failed > 0) std::fprintf(out_, ", nieudane: %zu", counts.failed);
    std::fflush(out_);
}

void Progress::Finish() {
    if (bar_) std::fputc('\n', out_);
    std::fflush(out_);
}

}  // namespace eks::seria
