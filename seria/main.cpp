// eksperymenty-seria: a series of encodes from the command line, with the
// coder programs beside this program, as the window finds them beside its own.

#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QThread>
#include <QTime>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ByteStream.h"
#include "core/Cp1250.h"
#include "core/Error.h"
#include "core/Files.h"
#include "core/Paths.h"
#include "results/Csv.h"
#include "results/Report.h"
#include "results/ResultRow.h"
#include "seria/Options.h"
#include "seria/Progress.h"
#include "seria/Shards.h"

using namespace eks;
using namespace eks::seria;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The lock file in the containers' folder, held by the run writing there.
constexpr const char* kLockName = "eksperymenty-seria.lock";

std::atomic<bool> stopRequested{false};
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void OnStopSignal(int signal) {
    stopSignal = signal;
    stopRequested = true;
}

void Say(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, text.c_str());
}

int UsageFailure(const std::string& why) {
    Say(why);
    std::fprintf(stderr, "Opis opcji: %s --help\n", kProgramName);
    return kExitUsage;
}

// The separators of the user's locale, as the window takes them.
Separators LocaleSeparators() {
    const QLocale locale;
    return {locale.groupSeparator().toStdString(), locale.decimalPoint().toStdString()};
}

// A file written a block at a time through SafeSave: it appears whole or
// not at all, however long it grows.
class OutputFile {
  public:
    explicit OutputFile(const std::string& path) : path_(path) {
        Guard([&] { save_.emplace(path); });
    }
    void Add(std::string_view bytes) {
        buffer_ += bytes;
        if (buffer_.size() >= kBlock) Flush();
    }
    void Commit() {
        Flush();
        Guard([&] { save_->Commit(); });
    }

  private:
    static constexpr std::size_t kBlock = std::size_t{1} << 16;

    void Flush() {
        Guard([&] { save_->Write(buffer_.data(), buffer_.size()); });
        buffer_.clear();
    }
    // The save's failures in the words of WriteWholeFile.
    template <class F>
    void Guard(F&& step) {
        try {
            step();
        } catch (const SafeSave::Failure& failure) {
            throw Error(SaveFailureMessage(path_, failure));
        }
    }

    std::string path_;
    std::optional<SafeSave> save_;
    std::string buffer_;
};

// The pieces with rows stay open while the merge is written: as many open
// files as the system lets this process have.
void RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// Joins the shards' CSVs into the CSV and the report one run of the plan
// would have written, both written as the pieces are read again, a job at a
// time.
int Merge(const Options& options) {
    RaiseOpenFileLimit();
    try {
        ShardMerge merge(options.images);
        // The report laid out as WriteReport lays it out: four lines (the
        // time, hyphens, the header, hyphens), a line per written container,
        // then the closing lines.
        std::optional<OutputFile> report;
        std::string reportEnd;
        if (!options.reportPath.empty()) {
            const std::string empty = ReportBytes({}, TimeOfDayNow());
            std::size_t head = 0;
            for (int line = 0; line < 4; ++line)
                head = empty.find("\r\n", head) + 2;
            report.emplace(options.reportPath);
            report->Add(std::string_view(empty).substr(0, head));
            reportEnd = empty.substr(head);
        }
        OutputFile csv(options.csvPath);
        const Separators seps = LocaleSeparators();
        int written = 0;
        std::size_t rows = 0, failed = 0;
        merge.Write([&](std::string_view line, const ResultRecord* record) {
            csv.Add(line);
            if (!record) return;
            ++rows;
            if (!record->error.empty() || record->check == CheckState::Failed) ++failed;
            if (report && record->Written())
                report->Add(Utf8ToCp1250(
                    ReportRowLine(MakeResultRow(record->item, ++written, seps)) + "\r\n"));
        });
        if (report) {
            report->Add(reportEnd);
            report->Commit();
        }
        csv.Commit();
        Say("połączono wierszy: " + std::to_string(rows) +
            ", w tym nieudanych zadań: " + std::to_string(failed));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    } catch (const std::exception& e) {
        Say(StandardErrorText(e.what()));
        return kExitUsage;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Standard error may be a pipe whose reader has gone ("2>&1 | head -1"):
    // the progress and the messages are then lost, but the series goes on and
    // writes its report and CSV. The coder programs get SIGPIPE back.
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit fails the write that passes it, which then says so,
    // instead of ending the series before its CSV is written.
    IgnoreFileSizeSignal();
    QCoreApplication app(argc, argv);
    Options options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(HelpText().c_str(), stdout);
            return 0;
        }
        if (!options.merge) {
            CheckImagesExist(options.images);
            CheckContainerNames(options.images);
        }
        CheckOutputPaths(options);
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
    if (options.merge) return Merge(options);

    const std::string programDir = QCoreApplication::applicationDirPath().toStdString() + "/";
    std::vector<const char*> programs = {kCoderProgram};
    if (options.check) programs.push_back(kDecoderProgram);
    for (const char* program : programs) {
        if (!QFileInfo(QString::fromStdString(programDir + program)).isFile()) {
            Say(std::string("Brak pliku ") + program + " w katalogu programu " + programDir);
            return kExitFailed;
        }
    }
    SeriesRunSettings run;
    run.outDir = options.outDir.empty() ? ResultsDirPath(programDir) : options.outDir;
    run.check = options.check;
    // The figures go into the CSV only: without one they are not worked out.
    run.references = options.references && !options.csvPath.empty();
    run.planeCosts = options.planeCosts && !options.csvPath.empty();
    const int workers = options.jobs > 0 ? options.jobs : QThread::idealThreadCount();
    if (!QDir().mkpath(QString::fromStdString(run.outDir))) {
        Say(StandardErrorText("Nie można utworzyć katalogu " + run.outDir));
        return kExitFailed;
    }
    // Two runs into one folder would mix their containers: the second one
    // refuses to start. The lock file goes with the run, also on a stop signal.
    // Shards of one plan write different containers and may share the folder.
    // A shard runs the jobs K, K+N, … of the plan; plan.jobs[i] is step i's number.
    const SeriesPlan plan =
        PlanSeries(options.images.size(), options.bitOrders, options.orders, options.shard);
    const std::vector<SeriesStep>& steps = plan.steps;
    const std::string fingerprint = PlanFingerprint(options, plan.planned);
    const bool sharded = options.shard.n > 0;
    FileLock outLock;
    const std::string lockPath = run.outDir + "/" + kLockName;
    const FileLock::Result taken = sharded
                                       ? outLock.TryShare(lockPath, fingerprint, ThisProcessText())
                                       : outLock.TryTake(lockPath, ThisProcessText());
    switch (taken) {
        case FileLock::Result::Taken:
            break;
        case FileLock::Result::Held:
            Say("Katalog " + run.outDir + " jest zajęty przez inną serię" +
                (outLock.Holder().empty() ? "" : ": " + outLock.Holder()));
            return kExitFailed;
        default:
            // A link, a folder, a pipe or a hard link at the lock's name is
            // never written through.
            Say("Nie można założyć blokady " + lockPath + ": " + LockProblemText(taken, outLock));
            return kExitFailed;
    }

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);

    const Separators seps = LocaleSeparators();
    Progress progress(stderr, steps.size(), isatty(STDERR_FILENO) != 0, seps);
    SeriesEvents events;
    events.ended = [&](std::size_t i, const StepOutcome& outcome, const SeriesCounts& counts) {
        progress.JobDone(StepLabel(options.images[steps[i].image], steps[i]), outcome, counts);
    };
    SeriesResult result;
    try {
        result = RunSeriesOnWorkers({options.images, steps, {}}, run, programDir, workers,
                                    options.timeoutSeconds, stopRequested, events);
    } catch (const std::exception& e) {
        progress.Finish();
        Say(StandardErrorText(e.what()));
        return kExitFailed;
    }
    progress.Finish();

    // The CSV has a row per step, the report one per written container, as
    // the window's table would hold them. After a stop signal both are
    // written with what had finished, the rest marked as cut off.
    const std::vector<StepOutcome>& outcomes = result.outcomes;
    std::vector<ResultRecord> records;
    for (const StepOutcome& outcome : outcomes)
        records.push_back(outcome.record);
    const std::size_t failures = result.counts.failed + result.NotRun();
    int status = failures == 0 ? 0 : kExitFailed;
    if (failures > 0 && stopSignal == 0) {
        Say("nie udało się " + std::to_string(failures) + " z " + std::to_string(steps.size()) +
            " zadań:");
        for (std::size_t i = 0; i < steps.size(); ++i)
            if (!outcomes[i].Succeeded())
                std::fprintf(stderr, "  %s: %s\n",
                             StepLabel(options.images[steps[i].image], steps[i]).c_str(),
                             StandardErrorText(outcomes[i].text).c_str());
    }
    try {
        if (!options.reportPath.empty())
            WriteReport(options.reportPath, ReportRows(records, seps), TimeOfDayNow());
    } catch (const std::exception& e) {
        Say(StandardErrorText(e.what()));
        status = kExitFailed;
    }
    try {
        const CsvExtraColumns extra{options.references, options.planeCosts};
        std::string csv = CsvText(records, extra);
        if (sharded) {
            // Each line with the job's number, its shard and the plan, so
            // that the shards can be joined and checked.
            csv = CsvHeaderLine(extra);
            csv.insert(csv.size() - 1, kCsvShardColumns);
            for (std::size_t i = 0; i < records.size(); ++i)
                csv += CsvShardLine(records[i], extra, plan.jobs[i], options.shard.k,
                                    options.shard.n, fingerprint);
        }
        if (!options.csvPath.empty()) WriteWholeFile(options.csvPath, csv.data(), csv.size());
    } catch (const std::exception& e) {
        Say(StandardErrorText(e.what()));
        status = kExitFailed;
    }
    if (stopSignal != 0) {
        // The programs are stopped, the working directories gone and what
        // had finished written: end as the signal would have ended us.
        Say("przerwano");
        outLock.Release();
        std::signal(stopSignal, SIG_DFL);
        std::raise(stopSignal);
    }
    return status;
}
