// The encode and decode jobs without a window: the real coder programs,
// a host that records what a window would show, and a clock that ends each
// wait as soon as the coder has finished.

#include "jobs/Jobs.h"
#include "jobs/Series.h"
#include "jobs/SeriesRun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "coder/arith/engine/StreamFormat.h"
#include "core/Memory.h"
#include "core/TestFiles.h"
#include "tests/coder/PacedClock.h"

namespace eks {
namespace {

constexpr std::uint16_t kW = 37, kH = 23;

class RecordingHost : public JobHost {
  public:
    void ProcessEvents() override {
        ++events;
        if (onEvents) onEvents();
    }
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
    std::string TimeoutHint() override { return "więcej czasu"; }
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

    std::function<void()> onEvents;
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

// A clock whose time passes only in the runner's sleeps, a little real time
// each: a time-out of seconds passes in a fraction of one.
class StepClock : public Clock {
  public:
    std::int64_t NowMs() override { return now_; }
    void SleepMs(int ms) override {
        now_ += ms;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }

  private:
    std::int64_t now_ = 0;
};

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
    void TearDown() override {
        SetMemoryBudget(0);
        SetBitSequenceBudget(0);
    }

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
        ASSERT_TRUE(decoded.Done()) << decoded.error;
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
    ASSERT_TRUE(RunDecodeJob({Place(work_), first.containerPath, ""}, host_, runner_).Done());
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
    EXPECT_EQ(encoded.end, EncodeOutcome::End::ContainerNotCreatable);
    EXPECT_EQ(encoded.error, "Cannot create file " + request.containerPath);
    EXPECT_FALSE(std::filesystem::exists(work_.File("tmp2x.dat")));

    // Containers that cannot be read, or ask for too much: nothing is started.
    const auto decodeError = [&](const std::string& path) {
        const DecodeOutcome outcome = RunDecodeJob({Place(work_), path, ""}, host_, runner_);
        EXPECT_FALSE(outcome.Done());
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

    // A stream that declares more than the budget: refused before the decoder runs.
    std::filesystem::copy_file(programs_.File("p/arith-n.exe"), programs_.File("p/real-arith"));
    const std::string real = programs_.File("p/real-arith");
    // A 37 × 23 container whose stream declares `length` bytes.
    const auto declaring = [](std::uint64_t length) {
        const auto h = arith::SerializeHeader({3, arith::CodingPath::kBits, length, 0});
        return std::string("\x25\x00\x17\x00\x13", 5) + std::string(h.begin(), h.end()) + "xyz";
    };
    WriteFile(work_.File("zapowiada.ybq"), declaring(1u << 30));
    EXPECT_EQ(decodeError(work_.File("zapowiada.ybq")),
              DecodedTooLargeMessage(work_.File("zapowiada.ybq"), 1u << 30));
    SetMemoryBudget(0);
    EXPECT_FALSE(std::filesystem::exists(work_.File("tmp3x.dat")));

    // Programs that fail say why: a full disk (a file-size limit), a plain exit status. One that
    // ends without output is not taken for a time-out. What a killed program's save left under
    // a temporary name of its output is removed.
    Script("arith-n.exe", "trap '' XFSZ; ulimit -f 0; exec '" + real + "' \"$@\"");
    encoded = RunEncodeJob(Encode(work_, BitOrder::PlaneMajor), pgm_, 13, host_, runner_);
    EXPECT_EQ(encoded.end, EncodeOutcome::End::ProgramFailed);
    EXPECT_EQ(encoded.error, CoderFailedMessage("błąd zapisu pliku „tmp2x.dat”: plik przekracza "
                                                "dozwolony rozmiar"));
    Script("arith-n.exe", "echo x > \".$2.~999-1.tmp\"");
    encoded = RunEncodeJob(Encode(work_, BitOrder::PlaneMajor), pgm_, 13, host_, runner_);
    EXPECT_EQ(encoded.end, EncodeOutcome::End::NoOutput);
    EXPECT_EQ(encoded.error, CoderEndedWithoutOutputMessage());
    Script("earith-n.exe", "echo x > \".$2.~999-1.tmp\"; exit 3");
    WriteFile(work_.File("maly.ybq"), std::string("\x25\x00\x17\x00\x13xyz", 8));
    EXPECT_EQ(decodeError(work_.File("maly.ybq")), DecoderFailedMessage("zakończył się z kodem 3"));
    EXPECT_EQ(ReadFile(work_.File("tmp3x.dat")), "xyz");
    for (const auto& entry : std::filesystem::directory_iterator(work_.Dir()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    EXPECT_FALSE(std::filesystem::exists(work_.File("tmp1x.dat")));

    // An output is this job's only when it declares this job's input; a
    // stream of another image (a coder left running by a killed window) is
    // refused naming what differs, and no container is written. An output
    // that is not our stream (a coder program of the user's own) is taken.
    std::string other(6808, '\0');
    for (std::size_t i = 0; i < other.size(); ++i)
        other[i] = static_cast<char>((i * 13 / 7) & 1);
    WriteFile(work_.File("inny.bin"), other);
    WriteFile(work_.File("krotki.bin"), std::string(8, '\x01'));
    const std::string refused = " - kontener nie został zapisany";
    const std::pair<std::string, std::string> outputs[] = {
        {"exec '" + real + "' inny.bin \"$2\" -o 3",
         "strumień opisuje inny obraz tej samej wielkości (suma CRC-32C się nie zgadza)"},
        {"exec '" + real + "' krotki.bin \"$2\" -o 3",
         "strumień opisuje 8 bajtów, a ciąg bitów obrazu ma 6808"},
        {"exec '" + real + "' \"$1\" \"$2\" -o 5", "strumień ma rząd 5 zamiast 3"},
        {"printf '\\212ARN\\002xxxxxxxxxxxxxxxxxxxxxxx' > \"$2\"",
         "nagłówek strumienia jest błędny (nagłówek jest uszkodzony (zła suma kontrolna))"},
        {"printf '\\212ARN\\011xx' > \"$2\"",
         "nagłówek strumienia jest błędny (nieznana wersja formatu 9)"},
    };
    request = Encode(work_, BitOrder::PlaneMajor);
    for (const auto& [script, what] : outputs) {
        Script("arith-n.exe", script);
        encoded = RunEncodeJob(request, pgm_, 13, host_, runner_);
        EXPECT_EQ(encoded.end, EncodeOutcome::End::OutputNotThisJobs) << script;
        EXPECT_EQ(encoded.error,
                  "Wynik kodera arith-n.exe nie pochodzi z tego zadania: " + what + refused);
        EXPECT_FALSE(std::filesystem::exists(request.containerPath)) << script;
    }
    Script("arith-n.exe", ": > \"$2\"");
    encoded = RunEncodeJob(request, pgm_, 13, host_, runner_);
    EXPECT_EQ(encoded.end, EncodeOutcome::End::OutputEmpty);
    EXPECT_EQ(encoded.error, "Koder arith-n.exe zostawił pusty plik tmp2x.dat" + refused);
    // ... also when it then exits with an error: its output stands.
    Script("arith-n.exe", "printf abc > \"$2\"; exit 3");
    encoded = RunEncodeJob(request, pgm_, 13, host_, runner_);
    EXPECT_EQ(encoded.end, EncodeOutcome::End::ContainerWritten) << encoded.error;
    EXPECT_EQ(ReadFile(request.containerPath), std::string("\x25\x00\x17\x00\x13", 5) + "abc");

    // Names the job makes are its own: links planted at the working file and
    // at the container's name are replaced, never written through.
    std::filesystem::remove(programs_.File("p/arith-n.exe"));
    std::filesystem::copy_file(real, programs_.File("p/arith-n.exe"));
    WriteFile(programs_.File("tajny"), "tajne");
    ::chmod(programs_.File("tajny").c_str(), 0600);
    std::filesystem::remove(request.containerPath);
    for (const std::string& planted : {work_.File("tmp1x.dat"), request.containerPath})
        std::filesystem::create_symlink(programs_.File("tajny"), planted);
    encoded = RunEncodeJob(request, pgm_, 13, host_, runner_);
    EXPECT_EQ(encoded.end, EncodeOutcome::End::ContainerWritten) << encoded.error;
    EXPECT_EQ(ReadFile(programs_.File("tajny")), "tajne");
    EXPECT_FALSE(std::filesystem::is_symlink(request.containerPath));
    EXPECT_GT(std::filesystem::file_size(request.containerPath), 5u);

    // A decoder that ends without output, and one that is still running when
    // its time is up, each say so in their own words.
    Script("earith-n.exe", "exit 0");
    EXPECT_EQ(decodeError(work_.File("maly.ybq")),
              "Dekoder earith-n.exe nie utworzył pliku tmp4x.dat: zakończył pracę bez wyniku");
    Script("earith-n.exe", "exec sleep 30");
    StepClock steps;
    CoderRunner stepped(host_, steps);
    host_.endWait = true;
    const DecodeOutcome late =
        RunDecodeJob({Place(work_), work_.File("maly.ybq"), ""}, host_, stepped);
    host_.endWait = false;
    EXPECT_EQ(late.end, DecodeOutcome::End::NoOutput);
    EXPECT_EQ(late.error,
              "Dekoder earith-n.exe nie utworzył pliku tmp4x.dat w ciągu 5 s - obraz "
              "nie został zdekodowany (więcej czasu)");

    // A decoder that writes more than its stream declared is read only as far as declared.
    Script("earith-n.exe", "head -c 100000 /dev/zero > \"$2\"");
    WriteFile(work_.File("dlugi.ybq"), declaring(6808));
    const DecodeOutcome bounded =
        RunDecodeJob({Place(work_), work_.File("dlugi.ybq"), ""}, host_, runner_);
    EXPECT_TRUE(bounded.Done()) << bounded.error;
    EXPECT_EQ(bounded.decoded.Size(), 6808u);
}

TEST_F(JobsTest, ASeriesPlansCodesChecksAndNamesEveryFailureByItsCause) {
    // One order of the steps: the images as given, B before P, orders
    // ascending, each once.
    std::vector<std::string> planned;
    for (const SeriesStep& step :
         PlanSeries(2, {BitOrder::PlaneMajor, BitOrder::PixelMajor}, {3, 1, 3}))
        planned.push_back(StepLabel(step.image == 0 ? "a" : "b", step));
    EXPECT_EQ(planned, (std::vector<std::string>{"a B/1", "a B/3", "a P/1", "a P/3", "b B/1",
                                                 "b B/3", "b P/1", "b P/3"}));
    // Shard 2 of 3 takes the jobs 2, 5 and 8 of the same plan: a B/3, b B/1, b P/3.
    const SeriesPlan shard =
        PlanSeries(2, {BitOrder::PlaneMajor, BitOrder::PixelMajor}, {3, 1}, Shard{2, 3});
    EXPECT_EQ(shard.planned, 8u);
    EXPECT_EQ(shard.jobs, (std::vector<std::size_t>{2, 5, 8}));
    ASSERT_EQ(shard.steps.size(), 3u);
    EXPECT_EQ(StepLabel("b", shard.steps[2]), "b P/3");
    EXPECT_EQ(shard.steps[2].image, 1u);

    // Steps written and checked in both bit orders.
    WriteFile(work_.File("obraz.pgm"), "P5\n37 23\n255\n" + pixels_);
    const SeriesImage image = LoadSeriesImage(work_.File("obraz.pgm"));
    ASSERT_EQ(image.error, "");
    std::filesystem::create_directory(work_.File("out"));
    SeriesSettings settings{Place(work_), work_.File("out"), true};
    for (const BitOrder order : {BitOrder::PixelMajor, BitOrder::PlaneMajor}) {
        const StepOutcome step = RunSeriesStep(image, {0, order, 2}, settings, host_, runner_);
        ASSERT_TRUE(step.Succeeded()) << step.text;
        EXPECT_EQ(step.record.check, CheckState::Passed);
        EXPECT_EQ(step.record.path, work_.File("obraz.pgm"));
        EXPECT_EQ(step.record.item.SizeAfter,
                  static_cast<std::int64_t>(std::filesystem::file_size(step.containerPath)));
        EXPECT_TRUE(StepResultText(step, {",", "."}).ends_with(" bit/piksel, sprawdzony"));
    }
    EXPECT_FALSE(std::filesystem::exists(work_.File("tmp4x.dat")));

    // An image over the memory budget for pictures is checked without any.
    SetMemoryBudget(1000);
    const StepOutcome overBudget =
        RunSeriesStep(image, {0, BitOrder::PlaneMajor, 2}, settings, host_, runner_);
    EXPECT_TRUE(overBudget.Succeeded()) << overBudget.text;
    SetMemoryBudget(0);

    // An image without pixels is coded, checked and decoded, and says so instead of a rate.
    WriteFile(work_.File("pusty.pgm"), "P5\n600 0\n255\n");
    const StepOutcome empty = RunSeriesStep(LoadSeriesImage(work_.File("pusty.pgm")),
                                            {0, BitOrder::PixelMajor, 1}, settings, host_, runner_);
    ASSERT_TRUE(empty.Succeeded()) << empty.text;
    EXPECT_TRUE(RunDecodeJob({Place(work_), empty.containerPath, ""}, host_, runner_).Done());
    EXPECT_EQ(empty.record.item.ResultWidth, 600);  // as the header gives it
    EXPECT_EQ(ReadFile(empty.containerPath).substr(0, 5), std::string("\0\0\0\0\x01", 5));
    EXPECT_EQ(StepResultText(empty, {",", "."}),
              std::to_string(empty.record.item.SizeAfter) + " B, sprawdzony");

    // Failures by cause, each with its text in the record for the CSV.
    const auto step = [&](const SeriesImage& of, const SeriesSettings& with) {
        return RunSeriesStep(of, {0, BitOrder::PixelMajor, 1}, with, host_, runner_);
    };
    const SeriesImage missing = LoadSeriesImage(work_.File("brak.pgm"));
    EXPECT_FALSE(missing.file);
    const StepOutcome unreadable = step(missing, settings);
    EXPECT_EQ(unreadable.cause, StepCause::ImageUnreadable);
    EXPECT_EQ(unreadable.record.error, "Cannot open file " + work_.File("brak.pgm"));
    EXPECT_EQ(StepResultText(unreadable, {",", "."}),
              "błąd: Cannot open file " + work_.File("brak.pgm") + ".");
    EXPECT_FALSE(unreadable.record.hasImage);
    // A broken header keeps the bytes and what it gave before the break; a
    // file larger than the memory budget is refused from its size, unread.
    WriteFile(work_.File("zly.pgm"), "P5\n77 99999999999\n255\n");
    const SeriesImage broken = LoadSeriesImage(work_.File("zly.pgm"));
    EXPECT_EQ(broken.error, "'99999999999' is not a valid integer value");
    EXPECT_EQ(broken.file->Size(), 22u);
    EXPECT_EQ(broken.header.width, 77);
    SetMemoryBudget(100);
    const SeriesImage large = LoadSeriesImage(work_.File("obraz.pgm"));
    SetMemoryBudget(0);
    EXPECT_FALSE(large.file);
    EXPECT_EQ(large.error, "Plik " + work_.File("obraz.pgm") +
                               " ma 864 bajtów, więcej niż dopuszczalne 100 bajtów pamięci - nie "
                               "został wczytany");
    SeriesSettings nowhere = settings;
    nowhere.outDir = work_.File("brak");
    const StepOutcome uncreatable = step(image, nowhere);
    EXPECT_EQ(uncreatable.cause, StepCause::ContainerNotCreatable);
    EXPECT_EQ(uncreatable.text, "Cannot create file " + work_.File("brak/obraz_B1.ybq"));
    EXPECT_TRUE(uncreatable.record.hasImage);
    EXPECT_FALSE(uncreatable.record.hasContainer);

    // A decoder that hands back its input: the check names both sizes.
    Script("earith-n.exe", "cat \"$1\" > \"$2\"");
    const StepOutcome mismatch = step(image, settings);
    EXPECT_EQ(mismatch.check, CheckResult::Mismatch);
    EXPECT_EQ(mismatch.record.check, CheckState::Failed);
    EXPECT_TRUE(mismatch.text.ends_with(" bajtów zamiast 6808")) << mismatch.text;
    // A check stopped while its decoder runs is neither passed nor failed.
    Script("earith-n.exe", "exec sleep 30");
    host_.onEvents = [&] {
        if (runner_.ProgramRunning() && std::filesystem::exists(work_.File("tmp3x.dat")))
            throw JobInterrupted();
    };
    const StepOutcome stopped = step(image, settings);
    host_.onEvents = nullptr;
    EXPECT_TRUE(stopped.Written());
    EXPECT_EQ(stopped.check, CheckResult::Interrupted);
    EXPECT_EQ(stopped.record.check, CheckState::None);
    Script("earith-n.exe", "exit 3");
    const StepOutcome cannotCheck = step(image, settings);
    EXPECT_EQ(cannotCheck.check, CheckResult::CouldNotRun);
    EXPECT_EQ(cannotCheck.text, "Sprawdzenie kontenera nie powiodło się: " +
                                    DecoderFailedMessage("zakończył się z kodem 3"));
    Script("arith-n.exe", "exit 3");
    const StepOutcome failed = step(image, settings);
    EXPECT_EQ(failed.cause, StepCause::ProgramFailed);
    EXPECT_EQ(failed.text, CoderFailedMessage("zakończył się z kodem 3"));

    EXPECT_EQ(SeriesEndText(18, 18, 2, false), "seria zakończona: 18 kroków, 2 błędy");
    EXPECT_EQ(SeriesEndText(22, 22, 0, false), "seria zakończona: 22 kroki, bez błędów");
    EXPECT_EQ(SeriesEndText(7, 18, 1, false), "seria przerwana po 7 z 18 krokach, 1 błąd");
    EXPECT_EQ(SeriesEndText(7, 18, 1, true), "seria przerwana po 7 z 18 krokach: brak pamięci");
}

TEST_F(JobsTest, ASeriesRunSkipsTheRestOfAnImageThatRanOutOfMemoryCountsAndStops) {
    // Two images at orders 1 and 2 in both bit orders: the bit sequence of
    // the first (6,808 bytes) does not fit, that of the second (320) does.
    WriteFile(work_.File("a.pgm"), "P5\n37 23\n255\n" + pixels_);
    WriteFile(work_.File("b.pgm"), "P5\n8 5\n255\n" + pixels_.substr(0, 40));
    std::filesystem::create_directory(work_.File("out"));
    const SeriesInput input{{work_.File("a.pgm"), work_.File("b.pgm")},
                            PlanSeries(2, {BitOrder::PixelMajor, BitOrder::PlaneMajor}, {1, 2}),
                            {}};
    const SeriesRunSettings settings{work_.File("out"), true, true, false};
    std::vector<std::string> heard;
    SeriesEvents events;
    events.started = [&](std::size_t i) { heard.push_back("start " + std::to_string(i)); };
    events.ended = [&](std::size_t i, const StepOutcome& outcome, const SeriesCounts& counts) {
        heard.push_back(std::to_string(i) + " " + std::to_string(counts.ended) + "/" +
                        std::to_string(counts.failed) + " " +
                        (outcome.Succeeded() ? "ok" : StepResultText(outcome, {",", "."})));
    };
    std::atomic<bool> stop{false};
    SetBitSequenceBudget(1000);
    const SeriesResult run =
        RunSeries(input, settings, Place(work_), host_, runner_, true, stop, events);
    SetBitSequenceBudget(0);
    // The first step runs out of memory; the rest of its image's steps are
    // skipped without starting, the other image's run, are checked and get
    // their references.
    const std::string skipped =
        "błąd: pominięto: zabrakło pamięci przy wcześniejszym kroku tego obrazu.";
    EXPECT_EQ(heard,
              (std::vector<std::string>{
                  "start 0", "0 1/1 błąd: Zbyt mała ilość dopuszczalnej pamięci RAM - ERROR :(",
                  "1 2/2 " + skipped, "2 3/3 " + skipped, "3 4/4 " + skipped, "start 4", "4 5/4 ok",
                  "start 5", "5 6/4 ok", "start 6", "6 7/4 ok", "start 7", "7 8/4 ok"}));
    ASSERT_EQ(run.outcomes.size(), 8u);
    EXPECT_EQ(run.outcomes[0].cause, StepCause::OutOfMemory);
    EXPECT_EQ(run.outcomes[0].text, OneLine(kOutOfMemoryMessage));
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(run.outcomes[i].cause, StepCause::Skipped);
        EXPECT_EQ(run.outcomes[i].record.error,
                  "pominięto: zabrakło pamięci przy wcześniejszym kroku tego obrazu");
        EXPECT_EQ(run.outcomes[i].record.item.OpCode, i < 2 ? 'B' : 'P');
    }
    for (std::size_t i = 4; i < 8; ++i) {
        EXPECT_TRUE(run.outcomes[i].Succeeded()) << run.outcomes[i].text;
        EXPECT_EQ(run.outcomes[i].check, CheckResult::Passed);
        EXPECT_TRUE(run.outcomes[i].record.references);
    }
    EXPECT_EQ(run.counts.ended, 8u);
    EXPECT_EQ(run.counts.ran, 5u);
    EXPECT_EQ(run.counts.failed, 4u);
    EXPECT_TRUE(run.counts.outOfMemory);
    EXPECT_EQ(run.NotRun(), 0u);

    // A stop after the second step: the steps not run say so, and count as
    // neither run nor failed.
    events.started = nullptr;
    events.ended = [&](std::size_t i, const StepOutcome&, const SeriesCounts&) {
        if (i == 1) stop = true;
    };
    const SeriesResult stopped =
        RunSeries(input, settings, Place(work_), host_, runner_, true, stop, events);
    EXPECT_TRUE(stopped.outcomes[1].Succeeded());
    for (std::size_t i = 2; i < 8; ++i) {
        EXPECT_EQ(stopped.outcomes[i].cause, StepCause::Interrupted);
        EXPECT_EQ(stopped.outcomes[i].record.error, "przerwano");
    }
    EXPECT_EQ(stopped.counts.ran, 2u);
    EXPECT_EQ(stopped.counts.failed, 0u);
    EXPECT_EQ(stopped.NotRun(), 6u);
}

TEST(CompareWithBitSequence, FindsTheFirstDifferenceBeyondTheFirstBlockInBothOrders) {
    // 75,000 pixels: more than one block of 65,536.
    const std::string header = "P5\n300 250\n255\n";
    std::string raster(75000, '\0');
    for (std::size_t i = 0; i < raster.size(); ++i)
        raster[i] = static_cast<char>(i * 37 + i / 300);
    ByteStream file;
    file.Write((header + raster).data(), header.size() + raster.size());
    for (const BitOrder order : {BitOrder::PixelMajor, BitOrder::PlaneMajor}) {
        std::optional<ByteStream> decoded = ExpandBitSequence(file, header.size(), order);
        ASSERT_TRUE(decoded);
        EXPECT_FALSE(CompareWithBitSequence(file, header.size(), order, *decoded));
        // Plane 3 of pixel 70,000, or bit 5 of it in pixel order.
        const std::size_t at = order == BitOrder::PlaneMajor ? 3 * 75000 + 70000 : 8 * 70000 + 5;
        decoded->Data()[at] ^= 1;
        decoded->Data()[at + 4000] ^= 1;
        // In plane order a difference of the first block can stand later in
        // the output than one of the second: plane 6 of pixel 100.
        if (order == BitOrder::PlaneMajor) decoded->Data()[6 * 75000 + 100] ^= 1;
        const auto difference = CompareWithBitSequence(file, header.size(), order, *decoded);
        ASSERT_TRUE(difference);
        EXPECT_EQ(difference->position, at);
    }
}

}  // namespace
}  // namespace eks
