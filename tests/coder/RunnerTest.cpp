#include "coder/Runner.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <filesystem>
#include <functional>

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

}  // namespace
}  // namespace eks

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
