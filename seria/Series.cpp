#include "seria/Series.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

#include "core/ByteStream.h"
#include "core/Container.h"
#include "core/Error.h"
#include "core/Paths.h"
#include "core/PgmReader.h"

namespace eks::seria {

namespace {

constexpr const char* kInterruptedMessage = "Przerwano";

std::string OneLine(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.replace(at, 2, " ");
    return text;
}

std::string CoderGaveNoOutputMessage(int seconds) {
    return std::string("Koder ") + kCoderProgram + " nie utworzył pliku " + kCoderOutput +
           " - zakończył się bez wyniku albo nie zdążył w ciągu " + std::to_string(seconds) +
           " s (czas można wydłużyć opcją --timeout)";
}

std::string CoderOutputEmptyMessage() {
    return std::string("Koder ") + kCoderProgram + " zostawił pusty plik " + kCoderOutput +
           " - kontener nie został zapisany";
}

// The decode job's own text points at the window's page "Opcje"; here the
// time-out is an option.
std::string CheckDecodeError(const std::string& error, int seconds) {
    if (error != DecoderGaveNoOutputMessage(seconds)) return error;
    return std::string("Dekoder ") + kDecoderProgram + " nie utworzył pliku " + kDecoderOutput +
           " w ciągu " + std::to_string(seconds) +
           " s - obraz nie został zdekodowany (czas można wydłużyć opcją --timeout)";
}

std::string CheckFailedMessage(const std::string& why) {
    return "Sprawdzenie kontenera nie powiodło się: " + why;
}

// Compares the decoder's output with the bit sequence of the pixel bytes from
// `offset` on, block by block, so that the whole sequence is never held
// twice. Returns why they differ, or nothing when they are the same.
std::optional<std::string> CompareWithBitSequence(const ByteStream& file, std::size_t offset,
                                                  BitOrder order, const ByteStream& decoded) {
    const std::size_t n = offset < file.Size() ? file.Size() - offset : 0;
    if (decoded.Size() != 8 * n)
        return "dekoder dał " + std::to_string(decoded.Size()) + " bajtów zamiast " +
               std::to_string(8 * n);
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
    return "zdekodowany ciąg różni się od ciągu bitów obrazu od bajtu " + std::to_string(*first);
}

}  // namespace

void HeadlessHost::ProcessEvents() {
    if (stop_) throw Error(kInterruptedMessage);
}

std::vector<SeriesJob> PlanSeries(const Options& options) {
    std::vector<SeriesJob> jobs;
    for (std::size_t image = 0; image < options.images.size(); ++image)
        for (const BitOrder bitOrder : {BitOrder::PixelMajor, BitOrder::PlaneMajor})
            if (std::ranges::find(options.bitOrders, bitOrder) != options.bitOrders.end())
                for (const int order : options.orders)
                    jobs.push_back({image, bitOrder, order});
    return jobs;
}

std::string JobLabel(const std::string& image, const SeriesJob& job) {
    return image + " " + EncodeOpCode(job.bitOrder == BitOrder::PixelMajor) + "/" +
           std::to_string(job.order);
}

SeriesJobResult RunSeriesJob(const std::string& image, const SeriesJob& job,
                             const SeriesSettings& settings, const std::string& workDir,
                             JobHost& host, CoderRunner& runner) {
    SeriesJobResult result;
    try {
        // What choosing the file in the window does: the whole file loaded,
        // its header scanned, a broken header reported with the same text.
        ByteStream file;
        file.LoadFromFile(image);
        const PgmHeader header = ParsePgmHeader(file, image);
        if (!header.Whole()) throw Error(header.error);
        // The window codes the size of the picture it shows, and shows none
        // for an image without pixels: 0 × 0 then, whatever the header says.
        const bool hasPixels = *header.width != 0 && *header.height != 0;

        const bool pixelMajor = job.bitOrder == BitOrder::PixelMajor;
        const std::string& out = settings.outDir;
        EncodeRequest request;
        request.place = {settings.programDir, workDir};
        request.containerPath = out + (out.ends_with(kPathSeparator) ? "" : "/") +
                                ContainerName(image, pixelMajor, job.order);
        request.rowName = FileNamePart(image);
        request.sourceSize = static_cast<std::int64_t>(file.Size());
        request.width = hasPixels ? *header.width : std::uint16_t{0};
        request.height = hasPixels ? *header.height : std::uint16_t{0};
        request.order = job.order;
        request.bitOrder = job.bitOrder;
        const EncodeOutcome encoded =
            RunEncodeJob(request, file, header.pixelDataOffset, host, runner);
        using End = EncodeOutcome::End;
        switch (encoded.end) {
            case End::ContainerWritten:
                break;
            case End::Failed:
                throw Error(encoded.error);
            case End::OutOfMemory:
                throw Error(OneLine(kOutOfMemoryMessage));
            case End::NoOutput:
                throw Error(CoderGaveNoOutputMessage(settings.timeoutSeconds));
            case End::OutputEmpty:
                throw Error(CoderOutputEmptyMessage());
        }
        result.encoded = true;
        result.row = encoded.row;
        if (!settings.check) return result;

        result.check = CheckResult::Failed;
        const DecodeOutcome decoded =
            RunDecodeJob({request.place, request.containerPath, request.rowName}, host, runner);
        DeleteTempFiles(workDir, {kDecoderInput, kDecoderOutput});
        if (!decoded.done)
            throw Error(
                CheckFailedMessage(CheckDecodeError(decoded.error, settings.timeoutSeconds)));
        if (const auto why =
                CompareWithBitSequence(file, header.pixelDataOffset, job.bitOrder, decoded.decoded))
            throw Error(CheckFailedMessage(*why));
        result.check = CheckResult::Passed;
    } catch (const std::exception& e) {
        result.error = StandardErrorText(e.what());
    } catch (...) {
        result.error = StandardErrorText("Nieznany błąd");
    }
    return result;
}

std::vector<SeriesJobResult> RunSeries(
    const std::vector<std::string>& images, const std::vector<SeriesJob>& jobs,
    const SeriesSettings& settings, int workers, const std::atomic<bool>& stop,
    const std::function<void(std::size_t, const SeriesJobResult&)>& done) {
    std::vector<SeriesJobResult> results(jobs.size());
    for (SeriesJobResult& result : results)
        result.error = kInterruptedMessage;  // until the job has run
    const std::size_t count =
        std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(jobs.size(), 1));

    // A fresh working directory per worker, removed with all in it at the end.
    std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    for (std::size_t w = 0; w < count; ++w) {
        auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/eksperymenty-seria-XXXXXX");
        if (!dir->isValid())
            throw Error("Nie można utworzyć katalogu roboczego w " +
                        QDir::tempPath().toStdString() + " - " + dir->errorString().toStdString());
        dirs.push_back(std::move(dir));
    }

    std::atomic<std::size_t> next{0};
    std::mutex doneMutex;
    std::vector<std::unique_ptr<QThread>> threads;
    for (std::size_t w = 0; w < count; ++w) {
        const std::string workDir = dirs[w]->path().toStdString() + "/";
        // A QThread rather than a bare thread: the coder's QProcess wants the
        // event dispatcher that a QThread has.
        threads.emplace_back(QThread::create([&, workDir] {
            HeadlessHost host(settings.timeoutSeconds, stop);
            CoderRunner runner(host);
            for (;;) {
                if (stop) return;
                const std::size_t i = next++;
                if (i >= jobs.size()) return;
                const SeriesJob& job = jobs[i];
                results[i] = RunSeriesJob(images[job.image], job, settings, workDir, host, runner);
                const std::lock_guard lock(doneMutex);
                done(i, results[i]);
            }
        }));
        threads.back()->start();
    }
    for (const auto& thread : threads)
        thread->wait();
    return results;
}

}  // namespace eks::seria
