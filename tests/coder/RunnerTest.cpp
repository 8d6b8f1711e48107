#include "coder/Runner.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/types.h>

#include <QCoreApplication>
#include <QProcess>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "core/Error.h"
#include "core/TestFiles.h"

namespace eks {
namespace {

// A clock that only moves when the runner sleeps.
class FakeClock : public Clock {
  public:
    std::int64_t NowMs() override { return now; }
    void SleepMs(int ms) override {
        now += ms;
        if (onSleep) onSleep();
    }
    std::int64_t now = 1000;
    std::function<void()> onSleep;
};

class FakeHost : public RunnerHost {
  public:
    void ProcessEvents() override {
        ++events;
        if (onEvents) onEvents();
    }
    int TimeoutSeconds() override { return 5; }
    void SetBusyCursor(bool busy) override { cursorChanges.push_back(busy); }
    int events = 0;
    std::vector<bool> cursorChanges;
    std::function<void()> onEvents;
};

TEST(Runner, ArgumentsCarryTheOrderOnlyAboveZero) {
    EXPECT_EQ(ProgramArguments(kCoderInput, kCoderOutput, 3),
              (std::vector<std::string>{"tmp1x.dat", "tmp2x.dat", "-o", "3"}));
    EXPECT_EQ(ProgramArguments(kDecoderInput, kDecoderOutput, 0),
              (std::vector<std::string>{"tmp3x.dat", "tmp4x.dat"}));
}

TEST(Runner, WaitKeepsTheWindowAliveUntilTheTimeHasPassed) {
    FakeHost host;
    FakeClock clock;
    CoderRunner runner(host, clock);
    runner.WaitMs(0);
    EXPECT_EQ(host.events, 1);
    runner.WaitMs(-5);
    EXPECT_EQ(host.events, 2);
    const std::int64_t start = clock.now;
    runner.WaitMs(100);
    EXPECT_GE(clock.now - start, 100);
    EXPECT_LE(clock.now - start, 105);
    EXPECT_GT(host.events, 10);
}

class Collect : public testing::Test {
  protected:
    TempDir dir;
    FakeHost host;
    FakeClock clock;
    CoderRunner runner{host, clock};
    ByteStream stream;
    std::string path = dir.File("tmp2x.dat");
};

TEST_F(Collect, MissingOutputReturnsAtOnceAndKeepsTheStream) {
    stream.Write("old", 3);
    EXPECT_FALSE(runner.CollectOutput(path, stream));
    EXPECT_EQ(stream.Size(), 3u);
    EXPECT_EQ(host.events, 0);
}

TEST_F(Collect, AnEmptyOutputIsReadAgainUntilItFillsOrASecondHasPassed) {
    WriteFile(path, "");
    int sleeps = 0;
    clock.onSleep = [&] {
        if (++sleeps == 50) WriteFile(path, "done");
    };
    ASSERT_TRUE(runner.CollectOutput(path, stream));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Data()), stream.Size()), "done");
    EXPECT_EQ(host.events, 0);

    WriteFile(path, "");
    clock.onSleep = nullptr;
    try {
        runner.CollectOutput(path, stream);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), OutputEmptyMessage(path));
    }
}

TEST_F(Collect, AnUnreadableOutputIsRetriedAfterTheTimeoutThreeTimes) {
    std::filesystem::create_directory(path);  // exists, but cannot be loaded
    const std::int64_t start = clock.now;
    EXPECT_THROW(runner.CollectOutput(path, stream), Error);
    EXPECT_GE(clock.now - start, 3 * 5000);
    EXPECT_LT(clock.now - start, 4 * 5000);

    // Readable after the second wait: collected.
    int waits = 0;
    host.onEvents = [&] {
        if (clock.now - start > 3 * 5000 + 2 * 5000 && ++waits == 1) {
            std::filesystem::remove(path);
            WriteFile(path, "late");
        }
    };
    EXPECT_TRUE(runner.CollectOutput(path, stream));
    EXPECT_EQ(stream.Size(), 4u);
}

TEST(Runner, AWaitForTheProgramEndsWithItOrWithTheTimeOut) {
    TempDir dir;
    FakeHost host;
    FakeClock clock;
    // Each slice of the wait also lets a little real time pass, for the
    // program to get on.
    clock.onSleep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    CoderRunner runner(host, clock);
    WriteFile(dir.File("arith-n.exe"), "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(dir.File("arith-n.exe"), std::filesystem::perms::owner_all);
    runner.RunCoder(dir.Dir(), 1, false);
    std::int64_t start = clock.now;
    runner.WaitForProgram(60000);
    EXPECT_FALSE(runner.ProgramRunning());
    EXPECT_LT(clock.now - start, 60000);

    // One that fails ends the wait at once, also where the wait would
    // otherwise last the whole time-out; of its standard error only the end
    // of its last line is kept and shown: 300 characters, invalid UTF-8 as
    // U+FFFD, control characters as "?".
    WriteFile(dir.File("arith-n.exe"),
              "#!/bin/sh\nprintf 'arith-n.exe: pierwsza\\n' >&2\n"
              "printf 'arith-n.exe: \\001z\\305\\202a\\377' >&2\n"
              "head -c 1000000 /dev/zero | tr '\\000' y >&2\nexit 3\n");
    runner.RunCoder(dir.Dir(), 1, false);
    start = clock.now;
    runner.WaitForProgram(60000, false);
    EXPECT_LT(clock.now - start, 60000);
    EXPECT_EQ(runner.ProgramFailure(), "?zła\uFFFD" + std::string(295, 'y'));

    // One that never ends: the whole time-out, and it still runs.
    WriteFile(dir.File("arith-n.exe"), "#!/bin/sh\nexec sleep 30\n");
    runner.RunCoder(dir.Dir(), 1, false);
    start = clock.now;
    runner.WaitForProgram(200);
    EXPECT_GE(clock.now - start, 200);
    EXPECT_TRUE(runner.ProgramRunning());
    runner.StopProgram();
}

TEST(Runner, StartsTheProgramInTheApplicationDirectoryAndStopsIt) {
    TempDir dir;
    FakeHost host;
    FakeClock clock;
    CoderRunner runner(host, clock);
    // A stand-in for the coder that records its arguments and then lingers.
    WriteFile(dir.File("arith-n.exe"), "#!/bin/sh\necho \"$@\" > args.txt\nexec sleep 30\n");
    std::filesystem::permissions(dir.File("arith-n.exe"), std::filesystem::perms::owner_all);
    WriteFile(dir.File("tmp2x.dat"), "stale output of an earlier job");

    runner.RunCoder(dir.Dir(), 3, false);
    EXPECT_EQ(host.cursorChanges, (std::vector<bool>{true, false}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("tmp2x.dat")));
    for (int i = 0; i < 200 && ReadFile(dir.File("args.txt")).empty(); ++i)
        SteadyClock().SleepMs(10);
    EXPECT_EQ(ReadFile(dir.File("args.txt")), "tmp1x.dat tmp2x.dat -o 3\n");
    EXPECT_TRUE(runner.ProgramRunning());

    // While the program runs, its output counts as still being written.
    WriteFile(dir.File("tmp2x.dat"), "partial");
    ByteStream stream;
    try {
        runner.CollectOutput(dir.File("tmp2x.dat"), stream);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), OutputUnreadableMessage(dir.File("tmp2x.dat")));
    }
    runner.StopProgram();
    EXPECT_FALSE(runner.ProgramRunning());

    // A program that cannot be started leaves nothing running.
    runner.RunDecoder(dir.Dir(), 0, false);
    EXPECT_FALSE(runner.ProgramRunning());
}

// Whether a process has ended: gone, or a zombie that nobody has reaped yet.
bool Ended(pid_t pid) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
    // A zombie still answers kill(); its state letter follows its name.
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const std::size_t name = stat.rfind(')');
    if (name == std::string::npos || name + 2 >= stat.size()) return false;
    return stat[name + 2] == 'Z' || stat[name + 2] == 'X';
}

// Ending a process is asynchronous: its end is awaited for up to two seconds.
bool EndsSoon(pid_t pid) {
    for (int i = 0; i < 200; ++i) {
        if (Ended(pid)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Ended(pid);
}

// The contents of a file that a started program writes, once it is complete
// (a line end), waited for in real time.
std::string AwaitLine(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        const std::string text = ReadFile(path);
        if (!text.empty() && text.back() == '\n') return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

void WriteScript(const std::string& path, const std::string& text) {
    WriteFile(path, text);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// A coder that leaves children of its own: whatever a stop misses is ended
// here, so that a failed test leaves nothing behind.
class ProgramGroup : public testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (Visible()) {
            if (std::system("command -v script > /dev/null 2>&1") != 0)
                GTEST_SKIP() << "no script(1) to stand in for a terminal";
            // A stand-in for xterm: it runs the command in a session of its own on a
            // pseudo-terminal that it holds, as a terminal does.
            WriteScript(dir.File("xterm"), R"(#!/bin/sh
[ "$1" = -e ] || exit 1
shift
cmd=
for a in "$@"; do
    cmd="$cmd '$(printf '%s' "$a" | sed "s/'/'\\\\''/g")'"
done
exec script -qec "$cmd" /dev/null
)");
            terminal.emplace("TERMINAL", dir.File("xterm"));
        }
    }
    void TearDown() override {
        if (leftover > 0 && !Ended(leftover)) ::kill(leftover, SIGKILL);
    }
    bool Visible() const { return GetParam(); }

    // Starts a coder made of the script body; returns the pid that it writes to
    // child.pid.
    pid_t StartCoder(const std::string& body) {
        WriteScript(dir.File("arith-n.exe"), "#!/bin/sh\n" + body);
        runner.RunCoder(dir.Dir(), 3, Visible());
        const std::string pid = AwaitLine(dir.File("child.pid"));
        leftover = pid.empty() ? 0 : static_cast<pid_t>(std::stol(pid));
        return leftover;
    }

    TempDir dir;
    FakeHost host;
    FakeClock clock;
    CoderRunner runner{host, clock};
    pid_t leftover = 0;
    std::optional<ScopedEnv> terminal;
};

TEST_P(ProgramGroup, StoppingARunningCoderEndsTheProgramsItStarted) {
    // The child ignores a hang-up, as a program started with nohup does.
    const pid_t child = StartCoder(
        "echo \"$@\" > args.txt\npwd >> args.txt\n"
        "trap '' HUP\nsleep 30 &\necho $! > child.pid\nwait\n");
    ASSERT_GT(child, 0) << "the coder did not start";
    EXPECT_EQ(ReadFile(dir.File("args.txt")),
              "tmp1x.dat tmp2x.dat -o 3\n" + std::filesystem::canonical(dir.Dir()).string() + "\n");
    EXPECT_TRUE(runner.ProgramRunning());
    EXPECT_FALSE(Ended(child));

    runner.StopProgram();
    EXPECT_FALSE(runner.ProgramRunning());
    EXPECT_TRUE(EndsSoon(child)) << "the coder's child still runs";
}

TEST_P(ProgramGroup, StoppingACoderThatHasEndedEndsWhatItLeftRunning) {
    const pid_t child = StartCoder("trap '' HUP\nsleep 30 &\necho $! > child.pid\n");
    ASSERT_GT(child, 0) << "the coder did not start";
    for (int i = 0; i < 500 && runner.ProgramRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(runner.ProgramRunning());

    runner.StopProgram();
    EXPECT_TRUE(EndsSoon(child)) << "the coder's child still runs";

    // A second stop, and the stop at the runner's end, find nothing left to end.
    runner.StopProgram();
    EXPECT_FALSE(runner.ProgramRunning());
}

TEST(Runner, ATerminalThatLetsGoOfTheProgramIsNotUsed) {
    // gnome-terminal hands the program to a server and returns at once: the
    // runner could neither follow nor stop the program. Without a terminal
    // that keeps it, the program runs hidden.
    TempDir dir;
    WriteScript(dir.File("gnome-terminal"), "#!/bin/sh\necho used > used.txt\n");
    WriteScript(dir.File("arith-n.exe"), "#!/bin/sh\necho \"$@\" > args.txt\n");
    const ScopedEnv terminal("TERMINAL", dir.File("gnome-terminal"));
    const ScopedEnv path("PATH", dir.Dir());  // and no other terminal to be found
    FakeHost host;
    FakeClock clock;
    CoderRunner runner(host, clock);
    runner.RunCoder(dir.Dir(), 5, true);
    EXPECT_EQ(AwaitLine(dir.File("args.txt")), "tmp1x.dat tmp2x.dat -o 5\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("used.txt")));
}

INSTANTIATE_TEST_SUITE_P(Runner, ProgramGroup, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "InATerminal" : "Hidden");
                         });

}  // namespace
}  // namespace eks
