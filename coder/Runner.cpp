#include "coder/Runner.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "core/Error.h"
#include "core/ScopeExit.h"

namespace eks {

namespace {

class SteadyClockImpl : public Clock {
  public:
    std::int64_t NowMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

constexpr int kRetryWaits = 3;        // waits for an unreadable output before giving up
constexpr int kEmptyOutputMs = 1000;  // how long an empty output is read again
constexpr int kWaitSliceMs = 5;       // sleep between rounds of event handling

}  // namespace

namespace {

// Of each line, the bytes that kErrorLineChars characters can take.
constexpr std::size_t kLineBytes = 4 * kErrorLineChars;

bool Blank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

}  // namespace

void LastLineKeeper::Feed(const char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] == '\n') {
            if (!Blank(current_)) last_ = current_;
            current_.clear();
        } else if (current_.size() < kLineBytes) {
            current_.push_back(bytes[i]);
        }
    }
}

std::string LastLineKeeper::Line() const {
    return Blank(current_) ? last_ : current_;
}

Clock& SteadyClock() {
    static SteadyClockImpl clock;
    return clock;
}

std::vector<std::string> ProgramArguments(const char* input, const char* output, int order) {
    std::vector<std::string> args = {input, output};
    if (order > 0) {
        args.push_back("-o");
        args.push_back(std::to_string(order));
    }
    return args;
}

void DeleteTempFiles(const std::string& appDir, const std::vector<const char*>& names) {
    for (const char* name : names) {
        std::error_code ec;
        std::filesystem::remove(appDir + name, ec);
    }
}

std::string OutputUnreadableMessage(const std::string& path) {
    return "Nie można odczytać pliku wynikowego " + path +
           " - program wciąż go zapisuje albo plik jest zablokowany";
}

std::string OutputEmptyMessage(const std::string& path) {
    return "Plik wynikowy " + path + " pozostaje pusty";
}

CoderRunner::CoderRunner(RunnerHost& host, Clock& clock) : host_(host), clock_(clock) {}

CoderRunner::~CoderRunner() {
    StopProgram();
}

void CoderRunner::Launch(const std::string& programDir, const std::string& workDir,
                         const char* program, const char* input, const char* output, int order,
                         bool visible) {
    StopProgram();
    DeleteTempFiles(workDir, {output});
    // The hourglass while the program is being started, shown at once.
    host_.SetBusyCursor(true);
    ScopeExit cursor{[this] { host_.SetBusyCursor(false); }};
    host_.ProcessEvents();
    startFailure_.clear();
    std::string whyNot;
    program_ = StartProgram(programDir, workDir, program, ProgramArguments(input, output, order),
                            visible, &whyNot);
    if (!program_) startFailure_ = "nie można go uruchomić (" + whyNot + ")";
}

void CoderRunner::RunCoder(const std::string& programDir, const std::string& workDir, int order,
                           bool visible) {
    Launch(programDir, workDir, kCoderProgram, kCoderInput, kCoderOutput, order, visible);
}

void CoderRunner::RunDecoder(const std::string& programDir, const std::string& workDir, int order,
                             bool visible) {
    Launch(programDir, workDir, kDecoderProgram, kDecoderInput, kDecoderOutput, order, visible);
}

void CoderRunner::WaitMs(int ms) {
    const std::int64_t start = clock_.NowMs();
    for (;;) {
        const std::int64_t elapsed = clock_.NowMs() - start;
        host_.ProcessEvents();
        if (elapsed >= ms) return;
        clock_.SleepMs(static_cast<int>(std::min<std::int64_t>(kWaitSliceMs, ms - elapsed)));
    }
}

void CoderRunner::WaitForProgram(int ms, bool endWithProgram) {
    const std::int64_t start = clock_.NowMs();
    for (;;) {
        const std::int64_t elapsed = clock_.NowMs() - start;
        host_.ProcessEvents();
        if (elapsed >= ms || !ProgramFailure().empty()) return;
        if (endWithProgram && !ProgramRunning()) return;
        clock_.SleepMs(static_cast<int>(std::min<std::int64_t>(kWaitSliceMs, ms - elapsed)));
    }
}

bool CoderRunner::ProgramRunning() const {
    return program_ && program_->Running();
}

std::string CoderRunner::ProgramFailure() const {
    if (!startFailure_.empty()) return startFailure_;
    return program_ ? program_->Failure() : std::string();
}

void CoderRunner::StopProgram() {
    if (!program_) return;
    program_->Stop();
    program_.reset();
}

bool CoderRunner::CollectOutput(const std::string& path, ByteStream& stream, CollectLimit limit) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return false;
    int failedLoads = 0;
    std::int64_t emptySince = -1;
    for (;;) {
        stream.Clear();
        bool loaded = false;
        if (!ProgramRunning()) {
            try {
                stream.LoadFromFile(path, limit.maxBytes);
                loaded = true;
            } catch (const Error&) {
            }
        }
        if (!loaded) {
            if (++failedLoads > kRetryWaits) throw Error(OutputUnreadableMessage(path));
            host_.ProcessEvents();
            WaitMs(host_.TimeoutSeconds() * 1000);
            continue;
        }
        if (stream.Size() > 0 || limit.emptyIsWhole) return true;
        // An empty output is read again at once, for a limited time.
        if (emptySince < 0) emptySince = clock_.NowMs();
        if (clock_.NowMs() - emptySince > kEmptyOutputMs)
            throw OutputStaysEmpty(OutputEmptyMessage(path));
        clock_.SleepMs(1);
    }
}

}  // namespace eks
