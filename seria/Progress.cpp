#include "seria/Progress.h"

#include "core/Error.h"
#include "results/ResultRow.h"

namespace eks::seria {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

Progress::Progress(std::FILE* out, std::size_t total, bool bar, Separators seps)
    : out_(out), total_(total), bar_(bar), seps_(std::move(seps)) {
    if (bar_) DrawBar();
}

std::string Progress::JobText(const std::string& label, const StepOutcome& outcome,
                              const Separators& seps) {
    if (!outcome.Succeeded()) return label + ": błąd: " + StandardErrorText(outcome.text);
    const TItemRec& row = outcome.record.item;
    const std::string bitsAfter =
        BitsPerPixelText(row.SizeAfter, std::int64_t{row.ResultWidth} * row.ResultHeight,
                         kTablePrecision, seps.decimal);
    std::string text = label + ": " + FormatThousands(row.SizeAfter, seps.thousands) + " B";
    if (!bitsAfter.empty()) text += ", " + bitsAfter + " bit/piksel";
    if (outcome.check == CheckResult::Passed) text += ", sprawdzony";
    return text;
}

void Progress::JobDone(const std::string& label, const StepOutcome& outcome) {
    ++done_;
    if (!outcome.Succeeded()) ++failed_;
    const std::string text = JobText(label, outcome, seps_);
    if (bar_) {
        // Only failures stay on the screen; the bar is drawn again below them.
        if (!outcome.Succeeded()) std::fprintf(out_, "\r\033[K%s\n", text.c_str());
        DrawBar();
    } else {
        const int width = static_cast<int>(std::to_string(total_).size());
        std::fprintf(out_, "[%*zu/%zu] %s\n", width, done_, total_, text.c_str());
    }
    std::fflush(out_);
}

void Progress::DrawBar() {
    const auto filled = total_ == 0 ? kBarWidth : static_cast<int>(done_ * kBarWidth / total_);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(out_, "\r\033[K[%s] %zu/%zu", bar.c_str(), done_, total_);
    if (failed_ > 0) std::fprintf(out_, ", nieudane: %zu", failed_);
    std::fflush(out_);
}

void Progress::Finish() {
    if (bar_) std::fputc('\n', out_);
    std::fflush(out_);
}

}  // namespace eks::seria
