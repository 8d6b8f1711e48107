#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "coder/arith/cli/Cli.h"
#include "tests/core/Unprivileged.h"

namespace fs = std::filesystem;

namespace eks::arith {
namespace {

using Bytes = std::vector<uint8_t>;

class ArithPrograms : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("arith_cli_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    // Runs a program in the test directory as the workbench does; returns its exit status.
    int Run(const std::string& exe, const std::string& params) {
        const std::string cmd =
            "cd '" + dir_.string() + "' && '" + exe + "' " + params + " >stdout.txt 2>stderr.txt";
        const int status = std::system(cmd.c_str());
        err_ = Read("stderr.txt");
        out_ = Read("stdout.txt");
        fs::remove(dir_ / "stderr.txt");
        fs::remove(dir_ / "stdout.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void Write(const std::string& name, const Bytes& data) {
        std::ofstream f(dir_ / name, std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
    }
    std::string Read(const std::string& name) {
        std::ifstream f(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
    bool Exists(const std::string& name) { return fs::exists(dir_ / name); }

    // Only the given names remain in the directory: no temporary file was left behind.
    void ExpectOnly(std::vector<std::string> names) {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(dir_))
            found.push_back(e.path().filename());
        std::sort(found.begin(), found.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(found, names);
    }

    static Bytes SampleBits() {
        Bytes bits;
        for (int i = 0; i < 40000; ++i)
            bits.push_back(static_cast<uint8_t>((i / 3 + i / 17) % 2));
        return bits;
    }

    fs::path dir_;
    std::string err_, out_;
};

TEST_F(ArithPrograms, RoundTripAsTheWorkbenchCallsThem) {
    const Bytes bits = SampleBits();
    Write("tmp1x.dat", bits);
    ASSERT_EQ(Run(ARITH_N_EXE, "tmp1x.dat tmp2x.dat -o 3"), 0) << err_;
    EXPECT_EQ(err_, "");
    EXPECT_EQ(out_, "");  // standard output is not a terminal here
    fs::copy_file(dir_ / "tmp2x.dat", dir_ / "tmp3x.dat");
    ASSERT_EQ(Run(EARITH_N_EXE, "tmp3x.dat tmp4x.dat -o 3"), 0) << err_;
    EXPECT_EQ(err_, "");
    EXPECT_EQ(Read("tmp4x.dat"), Read("tmp1x.dat"));
    ExpectOnly({"tmp1x.dat", "tmp2x.dat", "tmp3x.dat", "tmp4x.dat"});

    // Order 0 is given by leaving the option out.
    ASSERT_EQ(Run(ARITH_N_EXE, "tmp1x.dat tmp2x.dat"), 0) << err_;
    ASSERT_EQ(Run(EARITH_N_EXE, "tmp2x.dat tmp5x.dat"), 0) << err_;
    EXPECT_EQ(Read("tmp5x.dat"), Read("tmp1x.dat"));
}

TEST_F(ArithPrograms, DecoderUsesTheRecordedOrderAndWarnsAboutAnother) {
    Write("in", SampleBits());
    ASSERT_EQ(Run(ARITH_N_EXE, "in packed -o 5"), 0);
    ASSERT_EQ(Run(EARITH_N_EXE, "packed out -o 2"), 0);
    EXPECT_NE(err_.find("uwaga"), std::string::npos) << err_;
    EXPECT_NE(err_.find("5"), std::string::npos) << err_;
    EXPECT_EQ(Read("out"), Read("in"));
    ASSERT_EQ(Run(EARITH_N_EXE, "packed out2"), 0);
    EXPECT_EQ(err_, "");
    EXPECT_EQ(Read("out2"), Read("in"));
}

TEST_F(ArithPrograms, WrongArgumentsGiveUsageAndStatusTwo) {
    Write("in", {1, 0, 1});
    for (const char* exe : {ARITH_N_EXE, EARITH_N_EXE}) {
        for (const char* params :
             {"", "in", "in out extra", "in out -o", "in out -o 16", "in out -o -1", "in out -o x",
              "in out -o 3 -o 3", "in out -x", "in out -o 3x"}) {
            EXPECT_EQ(Run(exe, params), 2) << exe << " " << params;
            EXPECT_NE(err_.find("Użycie"), std::string::npos) << params;
        }
    }
    ExpectOnly({"in"});
}

TEST_F(ArithPrograms, MissingInputOrUnwritableOutputGiveStatusOne) {
    EXPECT_EQ(Run(ARITH_N_EXE, "nothing.dat out.dat -o 2"), 1);
    EXPECT_NE(err_.find("nothing.dat"), std::string::npos) << err_;
    EXPECT_EQ(Run(EARITH_N_EXE, "nothing.dat out.dat"), 1);
    EXPECT_NE(err_.find("nothing.dat"), std::string::npos) << err_;
    Write("in", {0, 1});
    EXPECT_EQ(Run(ARITH_N_EXE, "in no/such/dir/out.dat"), 1);
    EXPECT_NE(err_.find("no/such/dir/out.dat"), std::string::npos) << err_;
    fs::create_directory(dir_ / "sub");
    EXPECT_EQ(Run(ARITH_N_EXE, "sub out"), 1);  // a directory is not a readable file
    ExpectOnly({"in", "sub"});
}

// The causes come from the one table of errno texts that the window uses too.
TEST_F(ArithPrograms, FileErrorsNameTheirCause) {
    Write("in", {0, 1});
    EXPECT_EQ(Run(ARITH_N_EXE, "nothing.dat out.dat"), 1);
    EXPECT_EQ(err_,
              "arith-n.exe: nie można otworzyć pliku wejściowego \u201Enothing.dat\u201D: nie ma "
              "takiego pliku ani katalogu\n");
    EXPECT_EQ(Run(ARITH_N_EXE, "in in/out.dat"), 1);
    EXPECT_NE(err_.find("\u201Ein/out.dat\u201D: składnik ścieżki nie jest katalogiem"),
              std::string::npos)
        << err_;
    // A loop of links names its own cause, not one left over from before.
    fs::create_symlink("loop-b", dir_ / "loop-a");
    fs::create_symlink("loop-a", dir_ / "loop-b");
    EXPECT_EQ(Run(ARITH_N_EXE, "in loop-a"), 1);
    EXPECT_NE(err_.find("\u201Eloop-a\u201D: pętla dowiązań symbolicznych\n"), std::string::npos)
        << err_;
    fs::remove(dir_ / "loop-a");
    fs::remove(dir_ / "loop-b");

    // A file that may not be read; as a user without privileges, since root may read anything.
    Write("secret", {0, 1});
    fs::permissions(dir_ / "secret", fs::perms::none);
    const std::string secret = (dir_ / "secret").string(), out = (dir_ / "out").string();
    const int status = RunUnprivileged([&] {
        std::ostringstream err;
        const int code = RunCompressor({secret, out}, err, nullptr);
        return code == kExitFailure && err.str().find("\u201D: brak dostępu\n") != std::string::npos
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0) << UnprivilegedStatusText(status);
    ExpectOnly({"in", "secret"});
}

// A stream of another format version is refused under that name, not as a damaged file.
TEST_F(ArithPrograms, UnknownFormatVersionIsNamed) {
    Write("in", SampleBits());
    ASSERT_EQ(Run(ARITH_N_EXE, "in packed -o 4"), 0);
    std::string packed = Read("packed");
    packed[4] = 7;
    Write("later", Bytes(packed.begin(), packed.end()));
    EXPECT_EQ(Run(EARITH_N_EXE, "later out -o 4"), 1);
    EXPECT_EQ(err_,
              "earith-n.exe: pliku \u201Elater\u201D nie można odtworzyć: nieznana wersja formatu "
              "7\n");
    ExpectOnly({"in", "packed", "later"});
}

TEST_F(ArithPrograms, CorruptInputLeavesNoOutputAndKeepsAnOldOne) {
    Write("in", SampleBits());
    ASSERT_EQ(Run(ARITH_N_EXE, "in packed -o 4"), 0);
    std::string packed = Read("packed");
    packed[packed.size() / 2] ^= 0x10;
    Write("bad", Bytes(packed.begin(), packed.end()));
    Write("truncated", Bytes(packed.begin(), packed.begin() + 30));
    Write("garbage", Bytes(1000, 0x41));

    for (const char* input : {"bad", "truncated", "garbage", "in"}) {
        EXPECT_EQ(Run(EARITH_N_EXE, std::string(input) + " new.dat -o 4"), 1) << input;
        EXPECT_NE(err_.find(input), std::string::npos) << err_;
        EXPECT_FALSE(Exists("new.dat"));
    }
    // An existing output stays as it was after a failure and is replaced after a success.
    Write("old.dat", {'o', 'l', 'd'});
    EXPECT_EQ(Run(EARITH_N_EXE, "bad old.dat"), 1);
    EXPECT_EQ(Read("old.dat"), "old");
    EXPECT_EQ(Run(EARITH_N_EXE, "packed old.dat"), 0);
    EXPECT_EQ(Read("old.dat"), Read("in"));
    ExpectOnly({"in", "packed", "bad", "truncated", "garbage", "old.dat"});
}

TEST_F(ArithPrograms, OutputGetsOrdinaryPermissions) {
    Write("in", {1, 1, 0});
    ASSERT_EQ(Run(ARITH_N_EXE, "in out"), 0);
    struct stat st {};
    ASSERT_EQ(::stat((dir_ / "out").c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

// The output is saved as the workbench saves its files: a link is followed, and what the
// user could not have overwritten in place (a device, a pipe, a file without write access) is
// refused and kept. Inputs that are not regular files are refused at once, not waited for.
TEST_F(ArithPrograms, OutputsAndInputsThatAreNotPlainFilesAreNeverReplacedOrWaitedFor) {
    Write("in", SampleBits());
    Write("target", {'o', 'l', 'd'});
    fs::create_symlink("target", dir_ / "link");
    ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
    const bool devices = ::mknod((dir_ / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;

    ASSERT_EQ(Run(ARITH_N_EXE, "in link -o 3"), 0) << err_;
    EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
    EXPECT_EQ(Run(EARITH_N_EXE, "target back"), 0) << err_;
    EXPECT_EQ(Read("back"), Read("in"));
    // `timeout` ends a program that waits for the pipe's other end.
    for (const char* args : {"in pipe", "pipe out", "in null", "null out"}) {
        if (!devices && std::string(args).find("null") != std::string::npos) continue;
        EXPECT_EQ(Run("timeout", std::string("10 ") + ARITH_N_EXE + " " + args), 1) << args;
        EXPECT_NE(err_.find("to nie jest zwykły plik"), std::string::npos) << args << ": " << err_;
    }
    EXPECT_EQ(fs::status(dir_ / "pipe").type(), fs::file_type::fifo);
    if (devices) {
        EXPECT_EQ(fs::status(dir_ / "null").type(), fs::file_type::character);
    }

    // A read-only file of a user who may write in the folder keeps its bytes and its mode.
    fs::permissions(dir_, fs::perms::all);
    Write("mine", {'k', 'e', 'e', 'p'});
    ::chmod((dir_ / "mine").c_str(), 0400);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((dir_ / "mine").c_str(), kNobodyUid, kNobodyGid), 0);
    }
    const std::string in = (dir_ / "in").string(), mine = (dir_ / "mine").string();
    const int status = RunUnprivileged([&] {
        std::ostringstream err;
        return RunCompressor({in, mine}, err, nullptr) == kExitFailure &&
                       err.str().find("brak dostępu") != std::string::npos
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0) << UnprivilegedStatusText(status);
    EXPECT_EQ(Read("mine"), "keep");
    struct stat st {};
    ASSERT_EQ(::stat(mine.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0400u);
    std::vector<std::string> names = {"in", "target", "link", "back", "pipe", "mine"};
    if (devices) names.push_back("null");
    ExpectOnly(names);
}

// The workbench ends a coder that overruns its time with SIGKILL, which no handler sees: its
// unfinished output must not be left behind under any name.
TEST_F(ArithPrograms, AKilledCoderLeavesNoFileBehind) {
    Write("in", Bytes(64u << 20, 1));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::chdir(dir_.c_str()) != 0) ::_exit(127);
        ::execl(ARITH_N_EXE, ARITH_N_EXE, "in", "out.dat", "-o", "2", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Killed once it has its output open: a descriptor of it that leads into the folder.
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    bool writing = false;
    for (int i = 0; i < 2000 && !writing; ++i) {
        std::error_code ec;
        for (fs::directory_iterator it(fds, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string target = fs::read_symlink(it->path(), ec).string();
            writing = writing || (target.rfind(dir_.string() + "/", 0) == 0 &&
                                  target != (dir_ / "in").string());
        }
        if (!writing) ::usleep(1000);
    }
    EXPECT_TRUE(writing);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ExpectOnly({"in"});
}

TEST(ArithCliSummary, OneLineWithSizesRateOrderAndTime) {
    const fs::path dir = fs::temp_directory_path() / ("arith_sum_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream f(dir / "in", std::ios::binary);
        for (int i = 0; i < 8000; ++i)
            f.put(static_cast<char>(i % 5 == 0));
    }
    std::ostringstream err, out;
    const std::string in = (dir / "in").string(), packed = (dir / "packed").string();
    ASSERT_EQ(RunCompressor({in, packed, "-o", "3"}, err, &out), 0) << err.str();
    const std::string line = out.str();
    EXPECT_NE(line.find("8000 B"), std::string::npos) << line;
    EXPECT_NE(line.find("rząd 3"), std::string::npos) << line;
    EXPECT_NE(line.find("bit/B"), std::string::npos) << line;
    EXPECT_NE(line.find(" s\n"), std::string::npos) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    std::ostringstream out2;
    ASSERT_EQ(RunDecompressor({packed, (dir / "out").string()}, err, &out2), 0) << err.str();
    EXPECT_NE(out2.str().find("rząd 3"), std::string::npos) << out2.str();
    fs::remove_all(dir);
}

TEST(ArithCliArgs, AcceptsTheOptionAnywhere) {
    auto a = ParseCliArgs({"-o", "9", "x", "y"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->input, "x");
    EXPECT_EQ(a->output, "y");
    EXPECT_EQ(a->order, 9);
    EXPECT_TRUE(a->order_given);
    auto b = ParseCliArgs({"x", "y"});
    ASSERT_TRUE(b);
    EXPECT_EQ(b->order, 0);
    EXPECT_FALSE(b->order_given);
    EXPECT_TRUE(ParseCliArgs({"x", "y", "-o", "15"}));
    EXPECT_FALSE(ParseCliArgs({"x", "", "-o", "1"}));
}

}  // namespace
}  // namespace eks::arith
