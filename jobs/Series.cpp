#include "jobs/Series.h"

#include <algorithm>
#include <new>

#include "core/Container.h"
#include "core/Paths.h"
#include "core/PgmReader.h"

namespace eks {

std::string OneLine(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.replace(at, 2, " ");
    return text;
}

namespace {

std::string CheckFailedText(const std::string& why) {
    return "Sprawdzenie kontenera nie powiodło się: " + why;
}

std::string DifferenceText(const BitDifference& d) {
    if (d.decodedSize != d.expectedSize)
        return "dekoder dał " + std::to_string(d.decodedSize) + " bajtów zamiast " +
               std::to_string(d.expectedSize);
    return "zdekodowany ciąg różni się od ciągu bitów obrazu od bajtu " +
           std::to_string(d.position);
}

StepCause CauseOf(EncodeOutcome::End end) {
    using End = EncodeOutcome::End;
    switch (end) {
        case End::ContainerWritten:
            return StepCause::Written;
        case End::OutputEmpty:
            return StepCause::OutputEmpty;
        case End::NoOutput:
            return StepCause::NoOutput;
        case End::OutOfMemory:
            return StepCause::OutOfMemory;
        case End::ContainerNotCreatable:
            return StepCause::ContainerNotCreatable;
        case End::ProgramFailed:
            return StepCause::ProgramFailed;
        case End::OutputNotThisJobs:
            return StepCause::OutputNotThisJobs;
        case End::Interrupted:
            return StepCause::Interrupted;
        case End::Failed:
            break;
    }
    return StepCause::Other;
}

// The container's path in the folder of the containers.
std::string ContainerPathIn(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == kPathSeparator || dir.back() == '/') return dir + name;
    return dir + kPathSeparator + name;
}

// The check of a written container: decoded by a host that shows nothing,
// its output against the image's bit sequence.
void Check(const SeriesImage& image, const SeriesStep& step, const SeriesSettings& settings,
           JobHost& host, CoderRunner& runner, StepOutcome& out) {
    QuietHost quiet(host, true);
    const std::size_t offset = image.PixelDataOffset();
    const std::uint64_t expected =
        8 * std::uint64_t{image.file->Size() > offset ? image.file->Size() - offset : 0};
    const DecodeOutcome decoded = RunDecodeJob(
        {settings.place, out.containerPath, out.record.item.CurrentName, false, expected}, quiet,
        runner);
    DeleteTempFiles(settings.place.workDir, {kDecoderInput, kDecoderOutput});
    if (decoded.end == DecodeOutcome::End::Interrupted) {
        out.check = CheckResult::Interrupted;
        out.text = decoded.error;
        return;
    }
    if (!decoded.Done()) {
        out.check = CheckResult::CouldNotRun;
        out.text = CheckFailedText(OneLine(decoded.error));
    } else {
        try {
            const auto difference = CompareWithBitSequence(*image.file, image.PixelDataOffset(),
                                                           step.bitOrder, decoded.decoded);
            out.check = difference ? CheckResult::Mismatch : CheckResult::Passed;
            if (difference) {
                out.difference = *difference;
                out.text = CheckFailedText(DifferenceText(*difference));
            }
        } catch (const std::bad_alloc&) {
            // Not a mismatch: the comparison's block could not be had.
            out.check = CheckResult::CouldNotRun;
            out.text = CheckFailedText(OneLine(kOutOfMemoryMessage));
        }
    }
    out.record.check = out.check == CheckResult::Passed ? CheckState::Passed : CheckState::Failed;
}

}  // namespace

std::vector<SeriesStep> PlanSeries(std::size_t images, const std::vector<BitOrder>& bitOrders,
                                   const std::vector<int>& orders) {
    std::vector<int> ascending = orders;
    std::ranges::sort(ascending);
    ascending.erase(std::unique(ascending.begin(), ascending.end()), ascending.end());
    std::vector<SeriesStep> steps;
    for (std::size_t image = 0; image < images; ++image)
        for (const BitOrder bitOrder : {BitOrder::PixelMajor, BitOrder::PlaneMajor})
            if (std::ranges::find(bitOrders, bitOrder) != bitOrders.end())
                for (const int order : ascending)
                    steps.push_back({image, bitOrder, order});
    return steps;
}

std::string StepLabel(const std::string& image, const SeriesStep& step) {
    return image + " " + EncodeOpCode(step.bitOrder == BitOrder::PixelMajor) + "/" +
           std::to_string(step.order);
}

std::string StepTitle(const SeriesStep& step) {
    return "rząd " + std::to_string(step.order) + ", " +
           (step.bitOrder == BitOrder::PixelMajor ? "bez przeplotu" : "z przeplotem");
}

std::string SeriesImageText(const std::optional<SeriesImage>& image) {
    if (!image) return "najpierw wybierz obraz";
    return "obraz: " + FileNamePart(image->path) + ", " +
           DimensionsText(image->Width(), image->Height());
}

SeriesImage LoadSeriesImage(const std::string& path) {
    SeriesImage image;
    image.path = path;
    try {
        auto bytes = std::make_shared<ByteStream>();
        bytes->LoadUserFile(path);
        image.file = bytes;
        image.fileSize = static_cast<std::int64_t>(bytes->Size());
        image.header = ParsePgmHeader(*bytes, path);
        if (!image.header.Whole()) throw Error(image.header.error);
    } catch (const std::exception& e) {
        image.error = e.what();
    }
    return image;
}

AnalysisImage AnalysisImageOf(const SeriesImage& image) {
    return {image.file, image.PixelDataOffset(), image.Width(), image.Height(),
            FileNamePart(image.path)};
}

namespace {

// A step's outcome before it has run: the record knows the image, the
// operation and the order, nothing of the image's values or a container.
StepOutcome StepBefore(const std::string& imagePath, const SeriesStep& step) {
    StepOutcome out;
    ResultRecord& record = out.record;
    record.path = NormalPath(imagePath);
    record.item.CurrentName = FileNamePart(imagePath);
    record.item.OpCode = EncodeOpCode(step.bitOrder == BitOrder::PixelMajor);
    record.item.ResultOrder = static_cast<std::uint8_t>(step.order);
    record.hasImage = false;
    record.hasContainer = false;
    return out;
}

// The step's body; a failure leaves its cause and text in `out`.
void RunStep(const SeriesImage& image, const SeriesStep& step, const SeriesSettings& settings,
             JobHost& host, CoderRunner& runner, StepOutcome& out) {
    if (!image.error.empty() || !image.file) {
        out.cause = StepCause::ImageUnreadable;
        out.text = image.error;
        return;
    }
    const bool pixelMajor = step.bitOrder == BitOrder::PixelMajor;
    TItemRec& item = out.record.item;
    out.record.hasImage = true;
    item.ResultWidth = image.Width();
    item.ResultHeight = image.Height();
    item.SizeBefore = image.fileSize;
    out.containerPath =
        ContainerPathIn(settings.outDir, ContainerName(image.path, pixelMajor, step.order));

    EncodeRequest request;
    request.place = settings.place;
    request.containerPath = out.containerPath;
    request.rowName = item.CurrentName;
    request.sourceSize = image.fileSize;
    request.width = image.Width();
    request.height = image.Height();
    request.order = step.order;
    request.bitOrder = step.bitOrder;
    QuietHost quiet(host, settings.endWaitWithProgram);
    const EncodeOutcome encoded =
        RunEncodeJob(request, *image.file, image.PixelDataOffset(), quiet, runner);
    out.cause = CauseOf(encoded.end);
    if (!out.Written()) {
        out.text = OneLine(encoded.error);
        return;
    }
    out.record.hasContainer = true;
    item.SizeAfter = encoded.row.SizeAfter;
    if (settings.check) Check(image, step, settings, host, runner, out);
}

}  // namespace

StepOutcome StepNotRun(const std::string& imagePath, const SeriesStep& step) {
    StepOutcome out = StepBefore(imagePath, step);
    out.cause = StepCause::Interrupted;
    out.text = out.record.error = JobInterrupted().what();
    return out;
}

StepOutcome StepSkipped(const std::string& imagePath, const SeriesStep& step) {
    StepOutcome out = StepBefore(imagePath, step);
    out.cause = StepCause::Skipped;
    out.text = out.record.error =
        "pominięto: zabrakło pamięci przy wcześniejszym kroku tego obrazu";
    return out;
}

StepOutcome RunSeriesStep(const SeriesImage& image, const SeriesStep& step,
                          const SeriesSettings& settings, JobHost& host, CoderRunner& runner) {
    StepOutcome out;
    try {
        out = StepBefore(image.path, step);
        RunStep(image, step, settings, host, runner, out);
    } catch (const std::exception& e) {
        out.cause = StepCause::Other;
        out.text = OneLine(e.what());
    }
    // The record carries the step's text for the CSV.
    out.record.error = out.text;
    return out;
}

namespace {

// A count with the noun's form that Polish gives it: 1 krok, 2 kroki, 5 kroków.
std::string Counted(std::size_t n, const char* one, const char* few, const char* many) {
    const std::size_t tens = n % 100;
    const char* form = n == 1                                                     ? one
                       : (n % 10 >= 2 && n % 10 <= 4 && (tens < 12 || tens > 14)) ? few
                                                                                  : many;
    return std::to_string(n) + " " + form;
}

}  // namespace

std::string StepResultText(const StepOutcome& outcome, const Separators& seps) {
    if (!outcome.Succeeded()) return "błąd: " + StandardErrorText(outcome.text);
    const TItemRec& row = outcome.record.item;
    const std::string bitsAfter =
        BitsPerPixelText(row.SizeAfter, std::int64_t{row.ResultWidth} * row.ResultHeight,
                         kTablePrecision, seps.decimal);
    std::string text = FormatThousands(row.SizeAfter, seps.thousands) + " B";
    if (!bitsAfter.empty()) text += ", " + bitsAfter + " bit/piksel";
    if (outcome.check == CheckResult::Passed) text += ", sprawdzony";
    return text;
}

std::string SeriesEndText(std::size_t done, std::size_t total, std::size_t failed,
                          bool outOfMemory) {
    std::string text;
    if (done == total && !outOfMemory)
        text = "seria zakończona: " + Counted(total, "krok", "kroki", "kroków");
    else
        text = "seria przerwana po " + std::to_string(done) + " z " + std::to_string(total) +
               " krokach";
    if (outOfMemory) return text + ": brak pamięci";
    if (failed > 0) return text + ", " + Counted(failed, "błąd", "błędy", "błędów");
    return done == total ? text + ", bez błędów" : text;
}

std::optional<BitDifference> CompareWithBitSequence(const ByteStream& file, std::size_t offset,
                                                    BitOrder order, const ByteStream& decoded) {
    const std::size_t n = offset < file.Size() ? file.Size() - offset : 0;
    if (decoded.Size() != 8 * n) return BitDifference{decoded.Size(), 8 * n, 0};
    constexpr std::size_t kBlock = std::size_t{1} << 16;  // pixels per block
    std::vector<std::uint8_t> bits(8 * std::min(kBlock, n));
    const std::uint8_t* out = decoded.Data();
    std::optional<std::size_t> first;
    // A part of the bit sequence against the output from `at` on.
    const auto compare = [&](const std::uint8_t* expected, std::size_t count, std::size_t at) {
        const auto diff = std::mismatch(expected, expected + count, out + at);
        if (diff.first != expected + count) {
            const std::size_t pos = at + static_cast<std::size_t>(diff.first - expected);
            if (!first || pos < *first) first = pos;
        }
    };
    for (std::size_t j = 0; j < n; j += kBlock) {
        const std::size_t m = std::min(kBlock, n - j);
        ExpandBits(file.Data() + offset + j, m, order, bits.data());
        if (order == BitOrder::PixelMajor) {
            compare(bits.data(), 8 * m, 8 * j);
        } else {
            // Plane k of the block stands at k·m in `bits` and at k·n + j in the output.
            for (std::size_t k = 0; k < 8; ++k)
                compare(bits.data() + k * m, m, k * n + j);
        }
        if (first && order == BitOrder::PixelMajor) break;
    }
    if (!first) return std::nullopt;
    return BitDifference{decoded.Size(), 8 * n, *first};
}

}  // namespace eks
