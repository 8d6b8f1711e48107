// The encode and decode jobs without a window: the real coder programs,
// a host that records what a window would show, and a clock that ends each
// wait as soon as the coder has finished.

#include "jobs/Jobs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <filesystem>

#include "core/Memory.h"
#include "core/TestFiles.h"
#include "tests/coder/PacedClock.h"

namespace eks {
namespace {

constexpr std::uint16_t kW = 37, kH = 23;

class RecordingHost : public JobHost {
  public:
    void ProcessEvents() override { ++events; }
    int TimeoutSeconds() override {
        ++timeoutReads;
        return 5;
    }
    void SetBusyCursor(bool busy) override { cursor.push_back(busy); }
    bool ConsoleVisible() override {
        ++consoleReads;
        return false;
    }
    bool EndWaitWhenProgramEnds() override { return endWait; }
    int PassPauseMs() override {
        ++pauseReads;
        return 1000;
    }
    void HeaderRead(const ContainerHeader& h, std::int64_t size) override {
        header = h;
        fileSize = size;
        log.push_back("header");
    }
    void ShowStep(const std::string& title) override { log.push_back("step " + title); }
    void StartProgress(int rows) override {
        progressRows = rows;
        ++progressStarts;
    }
    void StepProgress() override { ++progressSteps; }
    void ClearPicture() override { log.push_back("clear"); }
    void ShowPicture(const GreyPicture& picture) override {
        shown.push_back(picture);
        log.push_back("show");
    }

    bool endWait = false;
    int events = 0, timeoutReads = 0, consoleReads = 0, pauseReads = 0;
    int progressRows = -1, progressStarts = 0, progressSteps = 0;
    std::vector<bool> cursor;
    ContainerHeader header;
    std::int64_t fileSize = -1;
    std::vector<std::string> log;
    std::vector<GreyPicture> shown;
};

// The grey levels of a picture, row by row.
std::string Greys(const GreyPicture& picture) {
    std::string out;
    for (int r = 0; r < picture.Height(); ++r)
        out.append(reinterpret_cast<const char*>(picture.Row(r)), picture.Width());
    return out;
}

class JobsTest : public testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(programs_.File("p"));
        std::filesystem::copy_file(ARITH_N_EXE, programs_.File("p/arith-n.exe"));
        std::filesystem::copy_file(EARITH_N_EXE, programs_.File("p/earith-n.exe"));
        for (int i = 0; i < kW * kH; ++i)
            pixels_.push_back(static_cast<char>(i * 7 + i / kW));
        const std::string file = "P5\n37 23\n255\n" + pixels_;
        pgm_.Write(file.data(), file.size());
        clock_.Follow(runner_);
    }
    void TearDown() override { SetMemoryBudget(0); }

    JobPlace Place(const TempDir& work) const { return {programs_.File("p/"), work.Dir()}; }
    EncodeRequest Encode(const TempDir& work, BitOrder order) const {
        EncodeRequest r;
        r.place = Place(work);
        r.containerPath =
            work.File(order == BitOrder::PlaneMajor ? "obraz_P3.ybq" : "obraz_B3.ybq");
        r.rowName = "obraz.pgm";
        r.sourceSize = static_cast<std::int64_t>(pgm_.Size());
        r.width = kW;
        r.height = kH;
        r.order = 3;
        r.bitOrder = order;
        return r;
    }
    void Script(const char* name, const std::string& body) {
        WriteFile(programs_.File(std::string("p/") + name), "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(programs_.File(std::string("p/") + name),
                                     std::filesystem::perms::owner_all);
    }

    TempDir programs_, work_;
    std::string pixels_;
    ByteStream pgm_;
    RecordingHost host_;
    test::PacedClock clock_;
    CoderRunner runner_{host_, clock_};
};

TEST_F(JobsTest, EncodeThenDecodeInBothBitOrdersShowsWhatTheWindowShows) {
    const QString cwd = QDir::currentPath();
    for (const BitOrder order : {BitOrder::PlaneMajor, BitOrder::PixelMajor}) {
        host_ = RecordingHost();
        const bool plane = order == BitOrder::PlaneMajor;
        host_.endWait = !plane;  // either wait gives the same result
        const EncodeRequest request = Encode(work_, order);
        const EncodeOutcome encoded = RunEncodeJob(request, pgm_, 13, host_, runner_);
        ASSERT_EQ(encoded.end, EncodeOutcome::End::ContainerWritten) << encoded.error;
        const std::string container = ReadFile(request.containerPath);
        EXPECT_EQ(container.substr(0, 5),
                  std::string("\x25\x00\x17\x00", 4) + (plane ? '\x13' : '\x03'));
        const TItemRec& row = encoded.row;
        EXPECT_EQ(row.CurrentName, "obraz.pgm");
        EXPECT_EQ(row.SizeBefore, 864);
        EXPECT_EQ(row.SizeAfter, static_cast<std::int64_t>(container.size()));
        EXPECT_EQ(row.ResultWidth * row.ResultHeight, kW * kH);
        EXPECT_EQ(row.OpCode, plane ? 'P' : 'B');
        EXPECT_EQ(row.ResultOrder, 3);
        EXPECT_EQ(host_.cursor, (std::vector<bool>{true, true, false, false}));
        EXPECT_EQ(host_.consoleReads, 1);
        EXPECT_FALSE(std::filesystem::exists(work_.File("tmp1x.dat")));
        EXPECT_FALSE(std::filesystem::exists(work_.File("tmp2x.dat")));

        host_ = RecordingHost();
        const DecodeOutcome decoded =
            RunDecodeJob({Place(work_), request.containerPath, "kontener"}, host_, runner_);
        ASSERT_TRUE(decoded.done) << decoded.error;
        EXPECT_EQ(host_.header.width, kW);
        EXPECT_EQ(host_.header.mode, plane ? 0x13 : 0x03);
        EXPECT_EQ(host_.fileSize, static_cast<std::int64_t>(container.size()));
        EXPECT_EQ(decoded.row.CurrentName, "kontener");
        EXPECT_EQ(decoded.row.SizeBefore, static_cast<std::int64_t>(container.size()));
        EXPECT_EQ(decoded.row.SizeAfter, kW * kH);
        EXPECT_EQ(decoded.row.OpCode, 'D');
        EXPECT_EQ(decoded.row.ResultOrder, 3);
        EXPECT_EQ(decoded.decoded.Size(), 8u * kW * kH);
        EXPECT_TRUE(std::filesystem::exists(work_.File("tmp3x.dat")));
        EXPECT_TRUE(std::filesystem::exists(work_.File("tmp4x.dat")));
        ASSERT_FALSE(host_.shown.empty());
        EXPECT_EQ(Greys(host_.shown.back()), pixels_);
        EXPECT_EQ(host_.progressRows, kH);

        std::vector<std::string> expected = {"clear", "header", "step dekompresja", "step "};
        if (plane) {
            // Pass 1 shown at once; every later one after its pause, each
            // adding its plane to the one before.
            for (int k = 1; k <= 8; ++k) {
                expected.push_back("step pasaż " + std::to_string(k));
                if (k > 1) expected.push_back("clear");
                expected.push_back("show");
            }
            ASSERT_EQ(host_.shown.size(), 8u);
            for (int k = 1; k <= 8; ++k) {
                std::string masked = pixels_;
                for (char& c : masked)
                    c = static_cast<char>(static_cast<std::uint8_t>(c) & (0xFF00 >> k));
                EXPECT_EQ(Greys(host_.shown[k - 1]), masked) << "pass " << k;
            }
            EXPECT_EQ(host_.pauseReads, 7);
            EXPECT_EQ(host_.progressStarts, 8);
            EXPECT_EQ(host_.progressSteps, 8 * kH);
        } else {
            expected.insert(expected.end(), {"step dekodowanie", "clear", "show"});
            EXPECT_EQ(host_.pauseReads, 0);
            EXPECT_EQ(host_.progressSteps, kH);
        }
        EXPECT_EQ(host_.log, expected);
    }
    // The jobs ran in their working directory, not in the process's.
    EXPECT_EQ(QDir::currentPath(), cwd);
    EXPECT_FALSE(std::filesystem::exists(programs_.File("p/tmp3x.dat")));
}

TEST_F(JobsTest, JobsInTwoWorkingDirectoriesKeepToTheirOwnFiles) {
    TempDir other;
    const EncodeRequest first = Encode(work_, BitOrder::PlaneMajor);
    const EncodeRequest second = Encode(other, BitOrder::PlaneMajor);
    ASSERT_EQ(RunEncodeJob(first, pgm_, 13, host_, runner_).end,
              EncodeOutcome::End::ContainerWritten);
    ASSERT_TRUE(RunDecodeJob({Place(work_), first.containerPath, ""}, host_, runner_).done);
    ASSERT_EQ(RunEncodeJob(second, pgm_, 13, host_, runner_).end,
              EncodeOutcome::End::ContainerWritten);
    EXPECT_EQ(ReadFile(first.containerPath), ReadFile(second.containerPath));
    EXPECT_TRUE(std::filesystem::exists(work_.File("tmp4x.dat")));
    EXPECT_FALSE(std::filesystem::exists(other.File("tmp4x.dat")));
    EXPECT_FALSE(std::filesystem::exists(other.File("tmp1x.dat")));
}

TEST_F(JobsTest, FailuresEndWithTheirTextAndLeaveNothingBehind) {
    // A container that cannot be created.
    EncodeRequest request = Encode(work_, BitOrder::PixelMajor);
    request.containerPath = work_.File("brak/obraz_B3.ybq");
    EncodeOutcome encoded = RunEncodeJob(request, pgm_, 13, host_, runner_);
    EXPECT_EQ(encoded.end, EncodeOutcome::End::Failed);
    EXPECT_EQ(encoded.error, "Cannot create file " + request.containerPath);
    EXPECT_FALSE(std::filesystem::exists(work_.File("tmp2x.dat")));

    // Containers that cannot be read, or ask for too much: nothing is started.
    const auto decodeError = [&](const std::string& path) {
        const DecodeOutcome outcome = RunDecodeJob({Place(work_), path, ""}, host_, runner_);
        EXPECT_FALSE(outcome.done);
        return outcome.error;
    };
    EXPECT_EQ(decodeError(work_.File("brak.ybq")), "Cannot open file " + work_.File("brak.ybq"));
    WriteFile(work_.File("krotki.ybq"), "\x01\x00");
    EXPECT_EQ(decodeError(work_.File("krotki.ybq")),
              ShortContainerMessage(work_.File("krotki.ybq")));
    SetMemoryBudget(1 << 20);
    WriteFile(work_.File("duzy.ybq"), std::string("\xFF\xFF\xFF\xFF\x13xyz", 8));
    EXPECT_EQ(decodeError(work_.File("duzy.ybq")), PictureTooLargeMessage(65535, 65535));
    EXPECT_FALSE(std::filesystem::exists(work_.File("tmp3x.dat")));

    // Programs that write nothing.
    Script("arith-n.exe", "exit 3");
    Script("earith-n.exe", "exit 3");
    encoded = RunEncodeJob(Encode(work_, BitOrder::PlaneMajor), pgm_, 13, host_, runner_);
    EXPECT_EQ(encoded.end, EncodeOutcome::End::NoOutput);
    EXPECT_EQ(encoded.error, "");
    EXPECT_FALSE(std::filesystem::exists(work_.File("tmp1x.dat")));
    WriteFile(work_.File("maly.ybq"), std::string("\x25\x00\x17\x00\x13xyz", 8));
    EXPECT_EQ(decodeError(work_.File("maly.ybq")), DecoderGaveNoOutputMessage(5));
    EXPECT_EQ(ReadFile(work_.File("tmp3x.dat")), "xyz");
}

}  // namespace
}  // namespace eks
