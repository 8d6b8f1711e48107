// eksperymenty-seria end to end: the program and the real coder programs in a
// folder of their own, small images, few orders. Every wait of a job ends when
// its coder ends, so a series of a few jobs takes a fraction of a second.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QCoreApplication>
#include <QLocale>
#include <QProcess>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <numeric>
#include <thread>

#include "analysis/Analysis.h"
#include "core/Error.h"
#include "core/Files.h"
#include "core/PgmReader.h"
#include "core/TestFiles.h"
#include "results/Csv.h"
#include "results/Report.h"
#include "results/ResultRow.h"

namespace eks {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;  // the exit code; -1 when ended by a signal
    std::string out, err;
};

// One image of the series: its path as given and the row values it yields.
struct Image {
    std::string path;  // relative to the test's folder, as given on the command line
    std::string name;
    int width, height;
    std::int64_t size;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> DirNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SeriaTest : public testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root_.File("bin"));
        fs::create_directories(root_.File("tmp"));
        fs::copy_file(SERIA_EXE, root_.File("bin/eksperymenty-seria"));
        fs::copy_file(ARITH_N_EXE, root_.File("bin/arith-n.exe"));
        fs::copy_file(EARITH_N_EXE, root_.File("bin/earith-n.exe"));
        obraz_ = MakeImage("a/obraz.pgm", "P5\n# próbka\n37 23\n255\n", 37, 23, 1);
        maly_ = MakeImage("b/maly.pgm", "P5\r\n8 5\r\n255\r\n", 8, 5, 2);
    }

    Image MakeImage(const std::string& path, const std::string& header, int w, int h, int seed) {
        std::string pixels;
        for (int i = 0; i < w * h; ++i)
            pixels += static_cast<char>((i * 7 + i / w) * seed);
        fs::create_directories(fs::path(root_.File(path)).parent_path());
        WriteFile(root_.File(path), header + pixels);
        return {path, fs::path(path).filename().string(), w, h,
                static_cast<std::int64_t>(header.size() + pixels.size())};
    }

    rlim_t fileSizeLimit_ = 0;

    // A stand-in for a coder program: a shell script beside the series.
    void Script(const char* name, const std::string& body) {
        const std::string path = root_.File(std::string("bin/") + name);
        fs::remove(path);
        WriteFile(path, "#!/bin/sh\n" + body + "\n");
        fs::permissions(path, fs::perms::owner_all);
    }

    // `errFd`, when given, becomes the program's standard error; a run
    // started while fileSizeLimit_ is set writes no file beyond that size.
    QProcess* Start(const std::vector<std::string>& args, int errFd = -1) {
        auto* process = new QProcess();
        QStringList list;
        for (const std::string& a : args)
            list << QString::fromStdString(a);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", QString::fromStdString(root_.File("tmp")));
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(QString::fromStdString(root_.Dir()));
        process->setChildProcessModifier([errFd, limit = fileSizeLimit_] {
            if (errFd >= 0) ::dup2(errFd, STDERR_FILENO);
            const rlimit size{limit, limit};
            if (limit > 0) ::setrlimit(RLIMIT_FSIZE, &size);
        });
        process->start(QString::fromStdString(root_.File("bin/eksperymenty-seria")), list);
        return process;
    }

    Outcome Series(const std::vector<std::string>& args, int errFd = -1) {
        std::unique_ptr<QProcess> process(Start(args, errFd));
        EXPECT_TRUE(process->waitForFinished(60000));
        Outcome run;
        if (process->exitStatus() == QProcess::NormalExit) run.status = process->exitCode();
        run.out = process->readAllStandardOutput().toStdString();
        run.err = process->readAllStandardError().toStdString();
        return run;
    }

    // The row that the window's table holds for the container written.
    TItemRec Row(const Image& image, char op, int order, const std::string& outDir) const {
        const std::string container =
            root_.File(outDir + "/" + fs::path(image.path).stem().string() + "_" + op +
                       std::to_string(order) + ".ybq");
        EXPECT_TRUE(fs::exists(container)) << container;
        const std::int64_t size = fs::exists(container) ? fs::file_size(container) : -1;
        const auto o = static_cast<std::uint8_t>(order);
        return {image.name, image.size, size, image.width, image.height, op, o};
    }

    // A CSV line of a written container; check "ok", "failed" or empty.
    static std::string Csv(const TItemRec& row, const std::string& image, CheckState check = {},
                           const std::string& error = "") {
        ResultRecord record;
        record.path = image;
        record.item = row;
        record.check = check;
        record.error = error;
        return CsvLine(record);
    }
    // A CSV line of a job that wrote nothing.
    static std::string FailedCsv(const std::string& image, char op, int order,
                                 const std::string& error) {
        const bool quoted = error.find(',') != std::string::npos;
        return image + "," + op + "," + std::to_string(order) + ",,,,,,,,," +
               (quoted ? '"' + error + '"' : error) + "\n";
    }

    static Separators LocaleSeparators() {
        const QLocale locale;
        return {locale.groupSeparator().toStdString(), locale.decimalPoint().toStdString()};
    }

    // The report as the window writes it for these rows, at the time the file names.
    static std::string ExpectedReport(const std::vector<TItemRec>& rows, const std::string& file) {
        const std::string time = file.substr(0, file.find("\r\n"));
        EXPECT_TRUE(time.size() == 8 && time[2] == ':' && time[5] == ':') << time;
        std::vector<ResultRow> texts;
        for (const TItemRec& row : rows)
            texts.push_back(
                MakeResultRow(row, static_cast<int>(texts.size()) + 1, LocaleSeparators()));
        return ReportBytes(texts, time);
    }

    void ExpectNoTemporaryFilesLeft() {
        EXPECT_TRUE(DirNames(root_.File("tmp")).empty()) << "working directories are removed";
        for (const auto& entry : fs::recursive_directory_iterator(root_.Dir()))
            EXPECT_FALSE(entry.path().filename().string().starts_with("tmp") &&
                         entry.path().extension() == ".dat")
                << entry.path();
    }

    TempDir root_;
    Image obraz_, maly_;
};

TEST_F(SeriaTest, CheckedSeriesGivesTheWindowsReportAndTheCsvInTheSameOrderWhateverJOrStderr) {
    // Order 1 is held back a little, so that with two jobs at a time the jobs
    // end in another order than their rows.
    fs::rename(root_.File("bin/arith-n.exe"), root_.File("bin/arith-real"));
    Script("arith-n.exe", "[ \"$4\" = 1 ] && sleep 0.1\nexec \"${0%/*}/arith-real\" \"$@\"");
    const Outcome run = Series({"-j", "2", "--orders", "3,1", "--check", "--report", "r.txt",
                                "--csv", "c.csv", "--out", "out", obraz_.path, maly_.path});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");

    // Images as given, B before P, orders ascending.
    std::vector<TItemRec> rows;
    std::string csv = CsvHeaderLine();
    for (const Image* image : {&obraz_, &maly_})
        for (const char op : {'B', 'P'})
            for (const int order : {1, 3}) {
                rows.push_back(Row(*image, op, order, "out"));
                csv += Csv(rows.back(), image->path, CheckState::Passed);
            }
    const std::vector<std::string> containers = DirNames(root_.File("out"));
    EXPECT_EQ(containers.size(), 8u);
    const std::string report = ReadFile(root_.File("r.txt"));
    EXPECT_EQ(report, ExpectedReport(rows, report));
    EXPECT_EQ(ReadFile(root_.File("c.csv")), csv);
    // A container's header: 37 × 23, order 3 in plane order.
    EXPECT_EQ(ReadFile(root_.File("out/obraz_P3.ybq")).substr(0, 5),
              std::string("\x25\x00\x17\x00\x13", 5));

    // Progress: a line per job, each checked.
    const std::vector<std::string> progress = Lines(run.err);
    ASSERT_EQ(progress.size(), 8u) << run.err;
    for (const std::string& line : progress)
        EXPECT_TRUE(line.starts_with("[") && Contains(line, "/8] ") &&
                    line.ends_with(" bit/piksel, sprawdzony"))
            << line;
    ExpectNoTemporaryFilesLeft();

    // One job at a time, into wyniki/ beside the program: the same rows in
    // the same order, the same containers.
    const Outcome serial = Series({"-j", "1", "--orders", "1,3", "--check", "--report", "r1.txt",
                                   "--csv", "c1.csv", obraz_.path, maly_.path});
    ASSERT_EQ(serial.status, 0) << serial.err;
    EXPECT_EQ(ReadFile(root_.File("c1.csv")), csv);
    const std::string report1 = ReadFile(root_.File("r1.txt"));
    EXPECT_EQ(report1.substr(report1.find("\r\n")), report.substr(report.find("\r\n")));
    for (const std::string& name : containers)
        EXPECT_EQ(ReadFile(root_.File("bin/wyniki/" + name)), ReadFile(root_.File("out/" + name)))
            << name;
    ExpectNoTemporaryFilesLeft();

    // Standard error into a pipe that no one reads: the progress is lost, the
    // series and its CSV are not.
    int unread[2];
    ASSERT_EQ(::pipe2(unread, O_CLOEXEC), 0);
    ::close(unread[0]);
    const Outcome deaf = Series(
        {"--orders", "1,3", "--check", "--csv", "c2.csv", obraz_.path, maly_.path}, unread[1]);
    ::close(unread[1]);
    EXPECT_EQ(deaf.status, 0);
    EXPECT_EQ(ReadFile(root_.File("c2.csv")), csv);
    ExpectNoTemporaryFilesLeft();

    // With the figures the same rows go on with each job's references and
    // the model's cost per plane as the analysis gives them; a failed job's
    // are empty.
    WriteFile(root_.File("zly.pgm"), "P5\n 4 2\n255\n12345678");  // no width
    const Outcome figures =
        Series({"--orders", "1,3", "--check", "--references", "--plane-costs", "--csv", "c3.csv",
                "--out", "out3", obraz_.path, maly_.path, "zly.pgm"});
    EXPECT_EQ(figures.status, 1) << figures.err;
    std::string withFigures = CsvHeaderLine({true, true});
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Image& image = i < 4 ? obraz_ : maly_;
        const BitOrder bitOrder =
            rows[i].OpCode == 'B' ? BitOrder::PixelMajor : BitOrder::PlaneMajor;
        const int order = rows[i].ResultOrder;
        auto file = std::make_shared<ByteStream>();
        file->LoadFromFile(root_.File(image.path));
        const std::size_t offset = ParsePgmHeader(*file, image.path).pixelDataOffset;
        const std::optional<ByteStream> bits = ExpandBitSequence(*file, offset, bitOrder);
        const ReferenceFigures refs = ComputeReferences(bits->Data(), bits->Size());
        const ModelCost cost =
            ComputeModelCost({file, offset, static_cast<std::uint16_t>(image.width),
                              static_cast<std::uint16_t>(image.height), image.name},
                             order, bitOrder);
        ResultRecord record;
        record.path = image.path;
        record.item = rows[i];
        record.check = CheckState::Passed;
        record.references =
            ReferenceBits{refs.kt[order], refs.condEntropy[order],
                          PixelEntropyBits(file->Data() + offset, file->Size() - offset)};
        record.planeBits = cost.planeBits;
        withFigures += CsvLine(record, {true, true});
        // The planes make up the coded stream but for its headers (5 + 24
        // bytes) and the range coder's last four bytes.
        const double rest = 8.0 * (rows[i].SizeAfter - 29) -
                            std::accumulate(cost.planeBits.begin(), cost.planeBits.end(), 0.0);
        EXPECT_TRUE(rest >= 0 && rest <= 40) << rest << " bits, " << record.path;
    }
    for (const char op : {'B', 'P'})
        for (const int order : {1, 3}) {
            std::string failed = FailedCsv("zly.pgm", op, order, "'' is not a valid integer value");
            withFigures += failed.insert(failed.size() - 1, 11, ',');
        }
    EXPECT_EQ(ReadFile(root_.File("c3.csv")), withFigures);
}

TEST_F(SeriaTest, BadInputFailsItsOwnJobsWithTheWindowsMessagesAndTheOthersGoOn) {
    WriteFile(root_.File("zly.pgm"), "P5\n 4 2\n255\n12345678");  // no width
    WriteFile(root_.File("krotki.pgm"), "P5\n4");                 // ends in the header
    // A pipe without a writer is not waited for: its jobs fail at once.
    ASSERT_EQ(::mkfifo(root_.File("potok.pgm").c_str(), 0666), 0);
    // A size its container cannot hold; a file larger than the memory budget
    // (an eighth of the machine's memory), refused before it is read.
    WriteFile(root_.File("duzy.pgm"), "P5\n1 100000\n255\n");
    WriteFile(root_.File("rzadki.pgm"), "P5\n16 16\n255\n");
    ASSERT_EQ(::truncate(root_.File("rzadki.pgm").c_str(), off_t{1} << 40), 0);
    const std::string tooLarge =
        "Obraz 1×100000 jest za duży: szerokość i wysokość mogą mieć najwyżej 65535 pikseli";
    const std::uint64_t budget =
        std::uint64_t(::sysconf(_SC_PHYS_PAGES)) * std::uint64_t(::sysconf(_SC_PAGESIZE)) / 8;
    const std::string sparse = "Plik rzadki.pgm ma 1099511627776 bajtów, więcej niż dopuszczalne " +
                               std::to_string(budget) + " bajtów pamięci - nie został wczytany";
    // The plane-order container cannot be written: a folder stands in its place.
    fs::create_directories(root_.File("out/obraz_P1.ybq"));
    const Outcome run =
        Series({"--orders", "1", "--report", "r.txt", "--csv", "c.csv", "--out", "out", "zly.pgm",
                obraz_.path, "krotki.pgm", "potok.pgm", "duzy.pgm", "rzadki.pgm", maly_.path});
    ASSERT_EQ(run.status, 1) << run.err;

    const std::vector<TItemRec> rows = {Row(obraz_, 'B', 1, "out"), Row(maly_, 'B', 1, "out"),
                                        Row(maly_, 'P', 1, "out")};
    const std::string report = ReadFile(root_.File("r.txt"));
    EXPECT_EQ(report, ExpectedReport(rows, report));
    // The CSV has a row for every job, the failed ones with their text.
    ResultRecord notWritten;  // its image's values, no size after
    notWritten.path = obraz_.path;
    notWritten.item = {obraz_.name, obraz_.size, 0, obraz_.width, obraz_.height, 'P', 1};
    notWritten.hasContainer = false;
    notWritten.error = CannotCreateFileMessage("out/obraz_P1.ybq");
    const std::string obrazRow = CsvLine(notWritten);
    const std::string intError = "'' is not a valid integer value";
    EXPECT_EQ(
        ReadFile(root_.File("c.csv")),
        CsvHeaderLine() + FailedCsv("zly.pgm", 'B', 1, intError) +
            FailedCsv("zly.pgm", 'P', 1, intError) + Csv(rows[0], obraz_.path) + obrazRow +
            FailedCsv("krotki.pgm", 'B', 1, TruncatedPgmHeaderMessage("krotki.pgm")) +
            FailedCsv("krotki.pgm", 'P', 1, TruncatedPgmHeaderMessage("krotki.pgm")) +
            FailedCsv("potok.pgm", 'B', 1, NotRegularFileMessage("potok.pgm")) +
            FailedCsv("potok.pgm", 'P', 1, NotRegularFileMessage("potok.pgm")) +
            FailedCsv("duzy.pgm", 'B', 1, tooLarge) + FailedCsv("duzy.pgm", 'P', 1, tooLarge) +
            FailedCsv("rzadki.pgm", 'B', 1, sparse) + FailedCsv("rzadki.pgm", 'P', 1, sparse) +
            Csv(rows[1], maly_.path) + Csv(rows[2], maly_.path));

    // Each failure named with its job, in the words of the window's message
    // box (a full stop added after a letter).
    EXPECT_EQ(intError, NotValidIntegerMessage(""));
    for (const std::string& failure :
         {"zly.pgm B/1: " + intError + ".", "zly.pgm P/1: " + intError + ".",
          "a/obraz.pgm P/1: " + CannotCreateFileMessage("out/obraz_P1.ybq") + ".",
          "krotki.pgm P/1: " + TruncatedPgmHeaderMessage("krotki.pgm") + ".",
          "potok.pgm P/1: " + NotRegularFileMessage("potok.pgm") + "."}) {
        EXPECT_TRUE(Contains(run.err, "  " + failure + "\n")) << failure << "\n" << run.err;
    }
    EXPECT_TRUE(Contains(run.err, "] zly.pgm B/1: błąd: " + intError + ".\n")) << run.err;
    EXPECT_TRUE(Contains(run.err, "nie udało się 11 z 14 zadań:")) << run.err;
    ExpectNoTemporaryFilesLeft();

    // A file-size limit fails the job whose files pass it, with its own
    // text, and the series still writes its CSV.
    fileSizeLimit_ = 1000;
    const Outcome limited = Series(
        {"--orders", "1", "--bit-orders", "B", "--csv", "l.csv", "--out", "out2", obraz_.path});
    fileSizeLimit_ = 0;
    EXPECT_EQ(limited.status, 1) << limited.err;
    EXPECT_TRUE(Contains(ReadFile(root_.File("l.csv")), "(plik przekracza dozwolony rozmiar)\n"))
        << ReadFile(root_.File("l.csv"));
}

TEST_F(SeriaTest, FailedChecksAreNamedAndMarkedAndEndWithOne) {
    // A decoder that turns every bit over for order 1, hands back its input
    // for order 2 and writes nothing for order 3.
    fs::rename(root_.File("bin/earith-n.exe"), root_.File("bin/earith-real"));
    Script("earith-n.exe",
           "case \"$4\" in\n"
           "1) \"${0%/*}/earith-real\" \"$1\" bity \"$3\" \"$4\" && tr '\\000\\001' '\\001\\000' "
           "<bity >\"$2\" ;;\n"
           "2) cat \"$1\" >\"$2\" ;;\n"
           "*) exit 3 ;;\n"
           "esac");
    const Outcome run = Series({"--orders", "1-3", "--bit-orders", "P", "--check", "--timeout", "5",
                                "--csv", "c.csv", "--out", "out", maly_.path});
    ASSERT_EQ(run.status, 1) << run.err;

    const auto payload = fs::file_size(root_.File("out/maly_P2.ybq")) - 5;
    const std::string whys[] = {
        "zdekodowany ciąg różni się od ciągu bitów obrazu od bajtu 0.",
        "dekoder dał " + std::to_string(payload) + " bajtów zamiast 320.",
        "Dekoder earith-n.exe nie utworzył pliku tmp4x.dat: zakończył się z kodem 3."};
    // Every row as worked out by hand: 8 × 5 pixels, 54 bytes of file (10.8
    // bits a pixel), the container's size S at S × 8 / 40 bits a pixel, the
    // check "failed" and its reason without the full stop.
    std::string csv =
        "image,bit_order,order,width,height,pixels,size_before,size_after,bpp_before,bpp_after,"
        "check,error\n";
    for (int order = 1; order <= 3; ++order) {
        const std::string why = "Sprawdzenie kontenera nie powiodło się: " + whys[order - 1];
        const std::string failure = "b/maly.pgm P/" + std::to_string(order) + ": " + why;
        EXPECT_TRUE(Contains(run.err, "  " + failure + "\n")) << failure << "\n" << run.err;
        const auto size = fs::file_size(root_.File("out/maly_P" + std::to_string(order) + ".ybq"));
        csv += "b/maly.pgm,P," + std::to_string(order) + ",8,5,40,54," + std::to_string(size) +
               ",10.800000," + std::to_string(size / 5) + "." + std::to_string(size % 5 * 2) +
               "00000,failed," + why.substr(0, why.size() - 1) + "\n";
    }
    EXPECT_EQ(ReadFile(root_.File("c.csv")), csv);
    ExpectNoTemporaryFilesLeft();
}

// Three shards of one plan run side by side into one folder, then merged: the same CSV, report
// (but for its time) and containers as one run of the plan. Pieces that do not make the plan
// whole are refused by name.
TEST_F(SeriaTest, ShardsOfAPlanMergeIntoWhatOneRunWrites) {
    const std::vector<std::string> plan = {"--sort",  "--orders", "1-2",
                                           "--check", maly_.path, obraz_.path};
    const auto with = [&](std::vector<std::string> extra) {
        extra.insert(extra.end(), plan.begin(), plan.end());
        return extra;
    };
    ASSERT_EQ(Series(with({"--out", "one", "--csv", "one.csv", "--report", "one.txt"})).status, 0);
    std::vector<std::unique_ptr<QProcess>> shards;
    for (int k = 1; k <= 3; ++k)
        shards.emplace_back(Start(with({"--out", "parts", "--shard", std::to_string(k) + "/3",
                                        "--csv", "part" + std::to_string(k) + ".csv", "-j", "1"})));
    for (const auto& shard : shards) {
        ASSERT_TRUE(shard->waitForFinished(60000));
        EXPECT_EQ(shard->exitCode(), 0) << shard->readAllStandardError().toStdString();
    }
    const std::vector<std::string> part2 = Lines(ReadFile(root_.File("part2.csv")));
    ASSERT_EQ(part2.size(), 4u);  // jobs 2, 5 and 8 of the eight
    EXPECT_TRUE(part2[0].ends_with(",check,error,job,shard,plan")) << part2[0];
    EXPECT_NE(part2[2].find(",5,2/3,"), std::string::npos) << part2[2];
    EXPECT_TRUE(part2[2].ends_with("-8")) << part2[2];

    const Outcome merged = Series({"--merge", "--csv", "all.csv", "--report", "all.txt",
                                   "part3.csv", "part1.csv", "part2.csv"});
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(merged.err, "eksperymenty-seria: połączono wierszy: 8, w tym nieudanych zadań: 0\n");
    EXPECT_EQ(ReadFile(root_.File("all.csv")), ReadFile(root_.File("one.csv")));
    const std::string oneReport = ReadFile(root_.File("one.txt"));
    const std::string allReport = ReadFile(root_.File("all.txt"));
    EXPECT_EQ(allReport.substr(8), oneReport.substr(8));  // after the time of day
    EXPECT_EQ(DirNames(root_.File("parts")), DirNames(root_.File("one")));
    for (const std::string& name : DirNames(root_.File("one")))
        EXPECT_EQ(ReadFile(root_.File("parts/" + name)), ReadFile(root_.File("one/" + name)));

    // The folder's lock admits shards of one plan only.
    FileLock held;
    ASSERT_EQ(held.TryShare(root_.File("parts/eksperymenty-seria.lock"), "0-1", "proces 1 na x"),
              FileLock::Result::Taken);
    const Outcome locked = Series(with({"--out", "parts", "--shard", "1/3", "--csv", "x.csv"}));
    EXPECT_EQ(locked.status, 1);
    EXPECT_TRUE(Contains(locked.err, "proces 1 na x")) << locked.err;
    held.Release();

    // Bytes that are not UTF-8 become U+FFFD, as in a run's own CSV: job 5's
    // error "błąd" in Windows-1250 and a cut sequence.
    std::string piece2 = ReadFile(root_.File("part2.csv"));
    const std::string job5 = ",ok,,5,2/3,";
    ASSERT_TRUE(Contains(piece2, job5)) << piece2;
    WriteFile(root_.File("cp1250.csv"),
              piece2.replace(piece2.find(job5), job5.size(), ",ok,b\xB3\xB9\x64\xC5,5,2/3,"));
    ASSERT_EQ(
        Series({"--merge", "--csv", "fixed.csv", "part1.csv", "cp1250.csv", "part3.csv"}).status,
        0);
    std::vector<std::string> lines = Lines(ReadFile(root_.File("one.csv")));
    ASSERT_EQ(lines.size(), 9u);
    ASSERT_TRUE(lines[5].ends_with(",ok,")) << lines[5];  // job 5, no error
    lines[5] += "b\xEF\xBF\xBD\xEF\xBF\xBD\x64\xEF\xBF\xBD";
    std::string fixed;
    for (const std::string& line : lines)
        fixed += line + "\n";
    EXPECT_EQ(ReadFile(root_.File("fixed.csv")), fixed);

    // A shard missing, one given twice, a piece of another plan (also one
    // run without --check), pieces that lost rows, and pieces with no row at
    // all: a plan of one job cut in five, its shards 4 and 5.
    ASSERT_EQ(Series({"--out", "other", "--shard", "1/3", "--csv", "other1.csv", "--orders", "1",
                      maly_.path})
                  .status,
              0);
    ASSERT_EQ(Series({"--out", "nocheck", "--shard", "2/3", "--csv", "nocheck2.csv", "--sort",
                      "--orders", "1-2", maly_.path, obraz_.path})
                  .status,
              0);
    for (const char* k : {"4", "5"}) {
        ASSERT_EQ(Series({"--out", "other", "--shard", std::string(k) + "/5", "--csv",
                          "few" + std::string(k) + ".csv", "--orders", "1", "--bit-orders", "B",
                          maly_.path})
                      .status,
                  0);
        EXPECT_EQ(ReadFile(root_.File("few" + std::string(k) + ".csv")),
                  "image,bit_order,order,width,height,pixels,size_before,size_after,bpp_before,"
                  "bpp_after,check,error,job,shard,plan\n");
    }
    WriteFile(root_.File("lost-end.csv"), part2[0] + "\n" + part2[1] + "\n" + part2[2] + "\n");
    WriteFile(root_.File("lost-middle.csv"), part2[0] + "\n" + part2[1] + "\n" + part2[3] + "\n");
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"part1.csv", "part3.csv"}, "brak części 2/3"},
        {{"part1.csv", "part2.csv", "part3.csv", "part2.csv"}, "część 2/3 podana dwa razy"},
        {{"part1.csv", "part2.csv", "other1.csv"}, "są częściami różnych planów"},
        {{"part1.csv", "nocheck2.csv", "part3.csv"}, "są częściami różnych planów"},
        {{"part1.csv", "lost-end.csv", "part3.csv"}, "brak zadania 8 w części „lost-end.csv”"},
        {{"part1.csv", "lost-middle.csv", "part3.csv"},
         "brak zadania 5 w części „lost-middle.csv”"},
        {{"few4.csv", "few5.csv"}, "nie da się poznać planu"},
    };
    for (const auto& [pieces, why] : refusals) {
        std::vector<std::string> args = {"--merge", "--csv", "refused.csv"};
        args.insert(args.end(), pieces.begin(), pieces.end());
        const Outcome refused = Series(args);
        EXPECT_EQ(refused.status, 2) << why;
        EXPECT_TRUE(Contains(refused.err, why)) << refused.err;
        EXPECT_FALSE(fs::exists(root_.File("refused.csv")));
    }
}

TEST_F(SeriaTest, UsageErrorsEndWithTwoBeforeAnyJob) {
    fs::create_directories(root_.File("c"));
    fs::copy_file(root_.File(obraz_.path), root_.File("c/obraz.pgm"));
    const Outcome clash = Series({"--out", "out", obraz_.path, maly_.path, "c/obraz.pgm"});
    EXPECT_EQ(clash.status, 2);
    EXPECT_TRUE(Contains(clash.err, "„a/obraz.pgm” i „c/obraz.pgm”")) << clash.err;
    EXPECT_FALSE(fs::exists(root_.File("out"))) << "no job has run";

    const Outcome badOrders = Series({"--orders", "0", obraz_.path});
    EXPECT_EQ(badOrders.status, 2);
    EXPECT_TRUE(badOrders.err.starts_with("eksperymenty-seria: nieprawidłowe rzędy „0”"))
        << badOrders.err;
    EXPECT_TRUE(Contains(badOrders.err, "--help")) << badOrders.err;
    EXPECT_FALSE(fs::exists(root_.File("bin/wyniki")));

    const Outcome help = Series({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"Użycie: eksperymenty-seria", "--orders", "--bit-orders",
                               "--timeout", "--check", "-j N", "--report", "--csv", "--out"})
        EXPECT_TRUE(Contains(help.out, option)) << option;

    // Outputs that must not or cannot be written are refused before any job,
    // the check leaving nothing behind: no container, report or CSV, and the
    // image as it was.
    const std::string image = ReadFile(root_.File(obraz_.path));
    fs::create_symlink("a/obraz.pgm", root_.File("link.txt"));
    // Links to names not made yet, counted from the link's folder.
    fs::create_symlink("../nowy.csv", root_.File("c/nowy-link.csv"));
    fs::create_symlink("../brak/x.csv", root_.File("c/brak-link.csv"));
    ASSERT_EQ(::mkfifo(root_.File("potok").c_str(), 0666), 0);
    const std::pair<std::vector<std::string>, std::string> badOutputs[] = {
        {{"--csv", "./a/obraz.pgm"}, "--csv „./a/obraz.pgm”: to obraz wejściowy „a/obraz.pgm”"},
        {{"--report", "link.txt"}, "--report „link.txt”: to obraz wejściowy „a/obraz.pgm”"},
        {{"--report", "brak/r.txt"}, "--report „brak/r.txt”: nie ma katalogu „brak”"},
        {{"--csv", "potok"}, "--csv „potok”: to nie jest zwykły plik"},
        {{"--csv", "c"}, "--csv „c”: to katalog"},
        {{"--csv", "./r.txt"}, "--report „r.txt” i --csv „./r.txt” to ten sam plik"},
        {{"--csv", "nowy.csv", "--report", "c/nowy-link.csv"},
         "--report „c/nowy-link.csv” i --csv „nowy.csv” to ten sam plik"},
        {{"--csv", "c/brak-link.csv"}, "--csv „c/brak-link.csv”: nie ma katalogu „c/../brak”"},
        {{"--out", "a/obraz.pgm/k"}, "--out „a/obraz.pgm/k”: „a/obraz.pgm” nie jest katalogiem"},
        // An image that does not exist: once, not a failed job per step.
        {{"brak.pgm"}, "obraz „brak.pgm” nie istnieje"}};
    for (const auto& [args, why] : badOutputs) {
        // The case's own options come last, and the last of an option counts.
        std::vector<std::string> all = {"--orders=1",     "--bit-orders=B", "--out=out",
                                        "--report=r.txt", "--csv=c.csv",    obraz_.path};
        all.insert(all.end(), args.begin(), args.end());
        const Outcome bad = Series(all);
        EXPECT_EQ(bad.status, 2) << why;
        EXPECT_TRUE(Contains(bad.err, "eksperymenty-seria: " + why)) << bad.err;
        for (const char* left : {"out", "r.txt", "c.csv", "nowy.csv"})
            EXPECT_FALSE(fs::exists(root_.File(left))) << why << ": " << left;
        EXPECT_EQ(ReadFile(root_.File(obraz_.path)), image) << why;
    }

    // A folder that another run holds is refused with that run named; once
    // let go it is free again, and a run leaves no lock behind.
    fs::create_directories(root_.File("out"));
    const std::vector<std::string> small = {"--orders=1", "--bit-orders=B", "--out=out",
                                            maly_.path};
    {
        FileLock held;
        ASSERT_EQ(held.TryTake(root_.File("out/eksperymenty-seria.lock"), ThisProcessText()),
                  FileLock::Result::Taken);
        const Outcome busy = Series(small);
        EXPECT_EQ(busy.status, 1);
        EXPECT_TRUE(Contains(busy.err, ThisProcessText())) << busy.err;
        EXPECT_EQ(DirNames(root_.File("out")), std::vector<std::string>{"eksperymenty-seria.lock"});
    }
    EXPECT_EQ(Series(small).status, 0);
    EXPECT_EQ(DirNames(root_.File("out")), std::vector<std::string>{"maly_B1.ybq"});
    // A link or a folder at the lock's name: refused with the reason, never
    // written through.
    WriteFile(root_.File("cel"), "cel");
    for (const bool folder : {false, true}) {
        const std::string lock = root_.File("out/eksperymenty-seria.lock");
        if (folder)
            fs::create_directory(lock);
        else
            fs::create_symlink(root_.File("cel"), lock);
        const Outcome refused = Series(small);
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(Contains(refused.err,
                             "eksperymenty-seria.lock: plik blokady nie jest zwykłym "
                             "plikiem (to katalog, dowiązanie symboliczne, potok "
                             "albo urządzenie)\n"))
            << refused.err;
        fs::remove(lock);
    }
    EXPECT_EQ(ReadFile(root_.File("cel")), "cel");

    // No coder beside the program: the series cannot start.
    fs::remove(root_.File("bin/arith-n.exe"));
    const Outcome noCoder = Series({obraz_.path});
    EXPECT_EQ(noCoder.status, 1);
    EXPECT_TRUE(Contains(noCoder.err, "arith-n.exe")) << noCoder.err;
}

TEST_F(SeriaTest, AStopSignalEndsTheCoderKeepsWhatHadFinishedAndRemovesTheWorkingDirectories) {
    // Order 1 is coded, order 2 never ends, order 3 never starts.
    const std::string pidFile = root_.File("coder.pid");
    fs::rename(root_.File("bin/arith-n.exe"), root_.File("bin/arith-real"));
    Script("arith-n.exe", "[ \"$4\" = 2 ] && echo $$ >" + pidFile + ".part && mv " + pidFile +
                              ".part " + pidFile +
                              " && exec sleep 60\nexec \"${0%/*}/arith-real\" \"$@\"");
    // Starts a series and gives its coder's process id once order 2 runs (0
    // when it never does).
    const auto startStuck = [&](const std::vector<std::string>& args,
                                std::unique_ptr<QProcess>& process) -> pid_t {
        fs::remove(pidFile);
        process.reset(Start(args));
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!fs::exists(pidFile) && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return fs::exists(pidFile) ? std::stoi(ReadFile(pidFile)) : 0;
    };
    // Ctrl-C in a terminal as much as a stop from a batch system.
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        for (const char* left : {"coder.pid", "c.csv", "r.txt", "out"})
            fs::remove_all(root_.File(left));
        std::unique_ptr<QProcess> process;
        const pid_t coder =
            startStuck({"-j", "1", "--orders", "1-3", "--bit-orders", "B", "--report", "r.txt",
                        "--csv", "c.csv", "--out", "out", obraz_.path},
                       process);
        ASSERT_NE(coder, 0);
        ::kill(static_cast<pid_t>(process->processId()), signal);
        ASSERT_TRUE(process->waitForFinished(30000));
        EXPECT_EQ(process->exitStatus(), QProcess::CrashExit) << "ended by the signal";
        EXPECT_EQ(::kill(coder, 0), -1) << "the coder was ended too";
        EXPECT_EQ(errno, ESRCH);
        EXPECT_TRUE(DirNames(root_.File("tmp")).empty());
        // The finished job is in both files, the others are marked as cut off.
        const TItemRec first = Row(obraz_, 'B', 1, "out");
        ResultRecord cut;  // had its image, wrote nothing
        cut.path = obraz_.path;
        cut.item = {obraz_.name, obraz_.size, 0, obraz_.width, obraz_.height, 'B', 2};
        cut.hasContainer = false;
        cut.error = "przerwano";
        EXPECT_EQ(ReadFile(root_.File("c.csv")), CsvHeaderLine() + Csv(first, obraz_.path) +
                                                     CsvLine(cut) +
                                                     FailedCsv(obraz_.path, 'B', 3, "przerwano"));
        const std::string report = ReadFile(root_.File("r.txt"));
        EXPECT_EQ(report, ExpectedReport({first}, report));
        // No lock left in the folder.
        EXPECT_EQ(DirNames(root_.File("out")), std::vector<std::string>{"obraz_B1.ybq"});
    }

    // Killed outright, the series writes nothing, but its coder ends with it,
    // and the working folder it leaves is swept by the next run.
    std::unique_ptr<QProcess> killed;
    const pid_t orphan = startStuck(
        {"-j", "1", "--orders", "2", "--bit-orders", "B", "--out", "out", obraz_.path}, killed);
    ASSERT_NE(orphan, 0);
    ::kill(static_cast<pid_t>(killed->processId()), SIGKILL);
    ASSERT_TRUE(killed->waitForFinished(30000));
    // Ended: gone, or a zombie that nobody has reaped yet (its state letter
    // follows its name in /proc).
    const auto gone = [orphan] {
        std::string stat = ReadFile("/proc/" + std::to_string(orphan) + "/stat");
        const std::size_t name = stat.rfind(')');
        return stat.empty() || (name != std::string::npos && name + 2 < stat.size() &&
                                (stat[name + 2] == 'Z' || stat[name + 2] == 'X'));
    };
    bool ended = false;
    for (int i = 0; i < 1000 && !ended; ++i) {
        ended = gone();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(ended) << "the coder outlived the series";
    EXPECT_EQ(DirNames(root_.File("tmp")).size(), 1u);
    EXPECT_EQ(Series({"--orders", "1", "--bit-orders", "B", "--out", "out", obraz_.path}).status,
              0);
    EXPECT_TRUE(DirNames(root_.File("tmp")).empty());
}

}  // namespace
}  // namespace eks
