#pragma once

// The machinery that the encode and decode jobs share: the temporary files,
// the start of the coder programs, the timed wait that keeps the window alive
// and the collection of a program's output file.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ByteStream.h"
#include "core/Paths.h"

class QProcess;

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
    // Ends the program and whatever it started that still runs, also when the
    // program itself has already ended, and waits for the program's own end.
    void Stop();

  private:
    std::unique_ptr<QProcess> process_;
    std::int64_t group_;
};

// Starts a program of programDir with workDir as its working directory (the
// process's own stays as it is) and the arguments as a list: hidden, with no shell in
// between, or in a terminal window when visible is set and a terminal that
// keeps the program as its child exists (xterm, urxvt, alacritty,
// xfce4-terminal; the user's $TERMINAL or x-terminal-emulator when it is one
// of them); without such a terminal the program runs hidden. In a terminal,
// whatever the program leaves running is ended as soon as it ends itself.
// Returns nullptr when the program could not be started.
std::unique_ptr<StartedProgram> StartProgram(const std::string& programDir,
                                             const std::string& workDir, const char* program,
                                             const std::vector<std::string>& args, bool visible);

// Deletes the named files of the application directory that exist; failures
// are ignored.
void DeleteTempFiles(const std::string& appDir, const std::vector<const char*>& names);

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
    // The same, but it returns as soon as the program started last has ended
    // (at once when none runs): the wait of a job whose user asked for it.
    void WaitForProgram(int ms);

    // Loads the output file into the stream once it can be read and holds at
    // least one byte, and returns true; returns false at once when it does not
    // exist. While the program that writes it is still running the file counts
    // as unreadable: the runner then waits the time-out and tries again.
    // Throws Error when the file stays unreadable after three such waits, or
    // stays empty for more than a second.
    bool CollectOutput(const std::string& path, ByteStream& stream);

    // Stops the program started last together with the programs it started,
    // also when it has ended itself but left some of them running.
    void StopProgram();
    // Whether the program started last still runs itself.
    bool ProgramRunning() const;

  private:
    void Launch(const std::string& programDir, const std::string& workDir, const char* program,
                const char* input, const char* output, int order, bool visible);

    RunnerHost& host_;
    Clock& clock_;
    std::unique_ptr<StartedProgram> program_;
};

std::string OutputUnreadableMessage(const std::string& path);
std::string OutputEmptyMessage(const std::string& path);

}  // namespace eks
