// eksperymenty-seria: a series of encodes from the command line, with the
// coder programs beside this program, as the window finds them beside its own.

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
#include <string>
#include <vector>

#include "core/ByteStream.h"
#include "core/Error.h"
#include "core/Paths.h"
#include "results/Csv.h"
#include "results/Report.h"
#include "results/ResultRow.h"
#include "seria/Options.h"
#include "seria/Progress.h"
#include "seria/Series.h"

using namespace eks;
using namespace eks::seria;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

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

std::string TimeOfDayNow() {
    const QTime now = QTime::currentTime();
    std::tm local{};
    local.tm_hour = now.hour();
    local.tm_min = now.minute();
    local.tm_sec = now.second();
    return TimeOfDayText(local);
}

const char* CheckText(const SeriesJobResult& result) {
    switch (result.check) {
        case CheckResult::Passed:
            return "ok";
        case CheckResult::Failed:
            return "failed";
        case CheckResult::NotRun:
            break;
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(HelpText().c_str(), stdout);
            return 0;
        }
        CheckContainerNames(options.images);
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }

    const std::string programDir = QCoreApplication::applicationDirPath().toStdString() + "/";
    std::vector<const char*> programs = {kCoderProgram};
    if (options.check) programs.push_back(kDecoderProgram);
    for (const char* program : programs) {
        if (!QFileInfo(QString::fromStdString(programDir + program)).isFile()) {
            Say(std::string("Brak pliku ") + program + " w katalogu programu " + programDir);
            return kExitFailed;
        }
    }
    SeriesSettings settings;
    settings.programDir = programDir;
    settings.outDir = options.outDir.empty() ? ResultsDirPath(programDir) : options.outDir;
    settings.timeoutSeconds = options.timeoutSeconds;
    settings.check = options.check;
    if (!QDir().mkpath(QString::fromStdString(settings.outDir))) {
        Say(StandardErrorText("Nie można utworzyć katalogu " + settings.outDir));
        return kExitFailed;
    }

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);

    const Separators seps = LocaleSeparators();
    const std::vector<SeriesJob> jobs = PlanSeries(options);
    const int workers = options.jobs > 0 ? options.jobs : QThread::idealThreadCount();
    Progress progress(stderr, jobs.size(), isatty(STDERR_FILENO) != 0, seps);
    std::vector<SeriesJobResult> results;
    try {
        results = RunSeries(options.images, jobs, settings, workers, stopRequested,
                            [&](std::size_t i, const SeriesJobResult& result) {
                                progress.JobDone(JobLabel(options.images[jobs[i].image], jobs[i]),
                                                 result);
                            });
    } catch (const std::exception& e) {
        progress.Finish();
        Say(StandardErrorText(e.what()));
        return kExitFailed;
    }
    progress.Finish();
    if (stopSignal != 0) {
        // The programs are stopped and the working directories gone: end as
        // the signal would have ended us.
        Say("przerwano");
        std::signal(stopSignal, SIG_DFL);
        std::raise(stopSignal);
        return kExitFailed;
    }

    // One row per written container, as the window's table would hold them.
    std::vector<ResultRow> rows;
    std::string csv = CsvHeaderLine();
    std::size_t failures = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const SeriesJobResult& result = results[i];
        if (!result.Succeeded()) ++failures;
        if (!result.encoded) continue;
        rows.push_back(MakeResultRow(result.row, static_cast<int>(rows.size()) + 1, seps));
        csv += CsvLine(result.row, options.images[jobs[i].image], CheckText(result));
    }
    int status = failures == 0 ? 0 : kExitFailed;
    if (failures > 0) {
        Say("nie udało się " + std::to_string(failures) + " z " + std::to_string(jobs.size()) +
            " zadań:");
        for (std::size_t i = 0; i < jobs.size(); ++i)
            if (!results[i].Succeeded())
                std::fprintf(stderr, "  %s: %s\n",
                             JobLabel(options.images[jobs[i].image], jobs[i]).c_str(),
                             results[i].error.c_str());
    }
    try {
        if (!options.reportPath.empty()) WriteReport(options.reportPath, rows, TimeOfDayNow());
    } catch (const std::exception& e) {
        Say(StandardErrorText(e.what()));
        status = kExitFailed;
    }
    try {
        if (!options.csvPath.empty()) WriteWholeFile(options.csvPath, csv.data(), csv.size());
    } catch (const std::exception& e) {
        Say(StandardErrorText(e.what()));
        status = kExitFailed;
    }
    return status;
}
