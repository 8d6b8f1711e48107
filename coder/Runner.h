#pragma once

// The machinery that the encode and decode jobs share: the temporary files,
// the start of the coder programs, the timed wait that keeps the window alive
// and the collection of a program's output file.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ByteStream.h"
#include "core/Error.h"
#include "core/Paths.h"

class QProcess;
class QString;

namespace eks {

// What the runner needs of the window while it waits.
class RunnerHost {
  public:
    virtual ~RunnerHost() = default;
    // Handles every pending window event and returns.
    virtual void ProcessEvents() = 0;
    // The coder time-out in seconds as the window shows it now.
    virtual int TimeoutSeconds() = 0;
    // The hourglass while a program is being started.
    virtual void SetBusyCursor(bool busy) = 0;
};

// A monotonic millisecond clock and a sleep; tests give a clock of their own.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::int64_t NowMs() = 0;
    virtual void SleepMs(int ms) = 0;
};
Clock& SteadyClock();

// The arguments of a program: input, output and, for an order above 0,
// "-o" and the order: {"tmp1x.dat", "tmp2x.dat", "-o", "3"}.
std::vector<std::string> ProgramArguments(const char* input, const char* output, int order);

// The last line a program writes to its standard error, kept as the bytes
// arrive: of each line only its beginning (enough for the characters shown),
// so that a program writing without end costs a few kilobytes.
class LastLineKeeper {
  public:
    void Feed(const char* bytes, std::size_t n);
    // The last line that holds more than blanks: the one being written, else
    // the last one ended; its first bytes only.
    std::string Line() const;

  private:
    std::string current_;
    std::string last_;
};

// How many characters of a program's error line are shown.
inline constexpr int kErrorLineChars = 300;

// A program's error line as the user sees it: decoded as UTF-8 (invalid
// bytes as U+FFFD), trimmed, control characters as "?", at most
// kErrorLineChars characters.
QString ShownErrorLine(const std::string& bytes);

// A program started by StartProgram, together with the programs that it
// starts in turn. Ending it ends all of them.
class StartedProgram {
  public:
    // group: the process group that the program leads, 0 when the platform
    // gives it none.
    StartedProgram(std::unique_ptr<QProcess> process, std::int64_t group);
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    // Whether the started program itself still runs. In a terminal window
    // that is the terminal, which lives exactly as long as the program in it.
    bool Running() const;
    // Why the program failed, once it has ended by itself with a status
    // other than 0 or by a signal: the last line of its standard error
    // (without the program's name in front), or its status. Empty while it
    // runs, after a success and after Stop.
    std::string Failure() const;
    // Ends the program and whatever it started that still runs, also when the
    // program itself has already ended, and waits for the program's own end.
    void Stop();

  private:
    std::string EndedFailure() const;
    void TakeStandardError() const;

    std::unique_ptr<QProcess> process_;
    mutable LastLineKeeper errorLine_;
    std::int64_t group_;
    bool stopped_ = false;
    mutable std::optional<std::string> failure_;
};

// Starts a program of programDir with workDir as its working directory (the
// process's own stays as it is) and the arguments as a list: hidden, with no shell in
// between, or in a terminal window when visible is set and a terminal that
// keeps the program as its child exists (xterm, urxvt, alacritty,
// xfce4-terminal; the user's $TERMINAL or x-terminal-emulator when it is one
// of them); without such a terminal the program runs hidden. In a terminal,
// whatever the program leaves running is ended as soon as it ends itself.
// Its standard error is kept for Failure(). Returns nullptr when the program
// could not be started, with the system's reason in `whyNot` when given.
std::unique_ptr<StartedProgram> StartProgram(const std::string& programDir,
                                             const std::string& workDir, const char* program,
                                             const std::vector<std::string>& args, bool visible,
                                             std::string* whyNot = nullptr);

// Deletes the named files of the application directory that exist; failures
// are ignored.
void DeleteTempFiles(const std::string& appDir, const std::vector<const char*>& names);

// How much of an output CollectOutput takes: never more than maxBytes, and
// an empty file is the whole output when emptyIsWhole is set (a stream that
// declared no bytes).
struct CollectLimit {
    std::uint64_t maxBytes = UINT64_MAX;
    bool emptyIsWhole = false;
};

class CoderRunner {
  public:
    explicit CoderRunner(RunnerHost& host, Clock& clock = SteadyClock());
    ~CoderRunner();

    // Start "arith-n.exe tmp1x.dat tmp2x.dat [-o order]" or "earith-n.exe
    // tmp3x.dat tmp4x.dat [-o order]". An output left by an earlier job is
    // deleted first, so that it can never be taken for this job's result.
    // The programs stand in programDir and run in workDir, where the
    // temporary files are; the window runs them both in the application
    // directory.
    void RunCoder(const std::string& programDir, const std::string& workDir, int order,
                  bool visible);
    void RunDecoder(const std::string& programDir, const std::string& workDir, int order,
                    bool visible);
    void RunCoder(const std::string& appDir, int order, bool visible) {
        RunCoder(appDir, appDir, order, visible);
    }
    void RunDecoder(const std::string& appDir, int order, bool visible) {
        RunDecoder(appDir, appDir, order, visible);
    }

    // Returns once ms milliseconds have passed, handling window events all
    // the while (at least once) and sleeping a little between rounds.
    void WaitMs(int ms);
    // The same, but it returns as soon as the program started last has failed
    // (ProgramFailure) and, when `endWithProgram` is set, as soon as it has
    // ended in any way (at once when none runs): the wait after a launch.
    void WaitForProgram(int ms, bool endWithProgram = true);

    // Loads the output file into the stream once it can be read and holds at
    // least one byte, and returns true; returns false at once when it does not
    // exist. While the program that writes it is still running the file counts
    // as unreadable: the runner then waits the time-out and tries again.
    // Throws Error when the file stays unreadable after three such waits, and
    // OutputStaysEmpty when it stays empty for more than a second.
    bool CollectOutput(const std::string& path, ByteStream& stream, CollectLimit limit = {});

    // Stops the program started last together with the programs it started,
    // also when it has ended itself but left some of them running.
    void StopProgram();
    // Whether the program started last still runs itself.
    bool ProgramRunning() const;
    // Why the program started last failed: it could not be started, or it
    // ended by itself with a status other than 0 (StartedProgram::Failure).
    // Empty while it runs and after a success.
    std::string ProgramFailure() const;

  private:
    void Launch(const std::string& programDir, const std::string& workDir, const char* program,
                const char* input, const char* output, int order, bool visible);

    RunnerHost& host_;
    Clock& clock_;
    std::unique_ptr<StartedProgram> program_;
    std::string startFailure_;  // why the program started last did not start
};

std::string OutputUnreadableMessage(const std::string& path);
std::string OutputEmptyMessage(const std::string& path);

// The output stayed empty (CollectOutput): a cause of its own, which a job
// names in its own words.
class OutputStaysEmpty : public Error {
  public:
    using Error::Error;
};

}  // namespace eks
