#pragma once

// A series of encodes: every image in every chosen bit order and order,
// through the encode job, each container checked, when asked, by decoding it
// quietly and comparing the decoder's output with the image's bit sequence.
// The run that plans, counts and stops the steps is in SeriesRun; the window
// and eksperymenty-seria both run it, so that the same step gives the same
// record and the same texts.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Analysis.h"
#include "core/BitSequence.h"
#include "core/ByteStream.h"
#include "core/PgmReader.h"
#include "jobs/Jobs.h"
#include "results/ResultRow.h"

namespace eks {

// One step: which image, in which bit order, at which order.
struct SeriesStep {
    std::size_t image = 0;
    BitOrder bitOrder = BitOrder::PixelMajor;
    int order = 1;
};

// The steps in their one order: the images as given, in each pixel order (B)
// before plane order (P), in each the orders ascending. Bit orders and orders
// given twice count once.
std::vector<SeriesStep> PlanSeries(std::size_t images, const std::vector<BitOrder>& bitOrders,
                                   const std::vector<int>& orders);

// "camera.pgm P/3": the image as given, the operation letter and the order.
std::string StepLabel(const std::string& image, const SeriesStep& step);
// "rząd 3, z przeplotem": the step of a series of one image.
std::string StepTitle(const SeriesStep& step);

// An image as a series codes it: the loaded file, shared read-only by all
// who take it (the window, the series, the analysis, the chart's
// references); it goes when the last of them lets it go.
struct SeriesImage {
    std::string path;                        // names the containers and the records
    std::shared_ptr<const ByteStream> file;  // the whole file; none when it could not be read
    PgmHeader header;                        // as far as it was read
    std::int64_t fileSize = 0;
    std::string error;  // when not empty, why the image cannot be coded

    // The header's values once it was read whole, else 0.
    std::size_t PixelDataOffset() const { return header.Whole() ? header.pixelDataOffset : 0; }
    std::uint16_t Width() const { return header.Whole() ? header.width.value_or(0) : 0; }
    std::uint16_t Height() const { return header.Whole() ? header.height.value_or(0) : 0; }
};

// Loads the file at `path` whole and scans its header: the one loader of the
// window and the series. A file that cannot be read leaves `file` empty; a
// broken header keeps the bytes and what the header gave before the break;
// either gives the window's text in `error`.
SeriesImage LoadSeriesImage(const std::string& path);

// What a series of one image will code: "obraz: camera.pgm, 512×512", or
// "najpierw wybierz obraz".
std::string SeriesImageText(const std::optional<SeriesImage>& image);

// The image as the analysis takes it: a share of the same bytes.
AnalysisImage AnalysisImageOf(const SeriesImage& image);

struct SeriesSettings {
    JobPlace place;
    std::string outDir;  // where the containers go
    bool check = false;
    // Every wait ends with the program (else the host's choice holds).
    bool endWaitWithProgram = true;
};

// How a step ended. Every failure has its text in StepOutcome::text.
enum class StepCause {
    Written,                // the container is written; `record` holds its row
    ImageUnreadable,        // the image could not be loaded or its header read
    ContainerNotCreatable,  // the container's file could not be written
    NoOutput,               // the coder wrote nothing within the time-out
    ProgramFailed,          // the coder did not start or ended with an error; `text` says why
    OutputEmpty,            // the coder's output was empty
    OutputNotThisJobs,      // the coder's output is our stream of another input
    OutOfMemory,            // the bit sequence could not be had
    Interrupted,            // stopped while it waited
    Skipped,                // not run: an earlier step of its image ran out of memory
    Other,                  // another error of the encode
};

enum class CheckResult {
    NotRun,
    Passed,
    Mismatch,     // the decoded bits differ; `difference` tells where
    CouldNotRun,  // the decoder failed; `text` says why
    Interrupted,  // stopped while the decoder ran
};

// Where a decoder's output first differs from the bit sequence.
struct BitDifference {
    std::uint64_t decodedSize = 0;
    std::uint64_t expectedSize = 0;
    std::uint64_t position = 0;  // the first differing byte when the sizes agree
};

struct StepOutcome {
    StepCause cause = StepCause::Other;
    CheckResult check = CheckResult::NotRun;
    BitDifference difference;
    std::string containerPath;
    // The step's record: path, operation and order always, the image's
    // values once it was read, the size after once the container is written,
    // the check's state once it ran.
    ResultRecord record;
    // Why the step or its check failed (one line); empty when all went well.
    std::string text;

    bool Written() const { return cause == StepCause::Written; }
    bool Succeeded() const {
        return Written() && (check == CheckResult::NotRun || check == CheckResult::Passed);
    }
};

// A text of several lines (the out-of-memory message) in one line, for lists,
// standard error and the CSV.
std::string OneLine(std::string text);

// The outcome of a step that did not run, or was stopped before it ended:
// its record knows the image, the operation and the order, its text says
// "przerwano".
StepOutcome StepNotRun(const std::string& imagePath, const SeriesStep& step);

// The outcome of a step skipped because an earlier step of its image ran
// out of memory: its text says so.
StepOutcome StepSkipped(const std::string& imagePath, const SeriesStep& step);

// One step: the encode job on the image into settings.outDir, then, with
// settings.check, the decode job on the container through a host that shows
// nothing and the comparison of its output with the image's bit sequence.
// Never throws.
StepOutcome RunSeriesStep(const SeriesImage& image, const SeriesStep& step,
                          const SeriesSettings& settings, JobHost& host, CoderRunner& runner);

// What a step gave, after the label its front end puts before it
// ("rząd 3, z przeplotem: ", "camera.pgm P/3: "): "30,005 B, 3.663
// bit/piksel" (the table's precision; no rate for an image without pixels),
// ", sprawdzony" after a check that passed, "błąd: " and the failure's text
// as the standard error report ends it otherwise.
std::string StepResultText(const StepOutcome& outcome, const Separators& seps);

// The end of a series: "seria zakończona: 18 kroków, 2 błędy", "seria
// przerwana po 7 z 18 krokach", "... : brak pamięci" when memory ran out.
std::string SeriesEndText(std::size_t done, std::size_t total, std::size_t failed,
                          bool outOfMemory);

// Compares a decoder's output with the bit sequence of the pixel bytes of
// `file` from `offset` on, block by block, so that the whole sequence is
// never held twice. Nothing when they are the same.
std::optional<BitDifference> CompareWithBitSequence(const ByteStream& file, std::size_t offset,
                                                    BitOrder order, const ByteStream& decoded);

}  // namespace eks
