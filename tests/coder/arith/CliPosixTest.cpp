// The programs among links, pipes, device nodes, modes, other users and signals.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "coder/arith/cli/Cli.h"
#include "tests/coder/arith/ArithPrograms.h"
#include "tests/core/Unprivileged.h"

namespace eks::arith {
namespace {

// Causes that only links and permissions give.
TEST_F(ArithPrograms, FileErrorsNameTheCausesOfLinksAndPermissions) {
    Write("in", {0, 1});
    // A loop of links names its own cause, not one left over from before.
    fs::create_symlink("loop-b", dir_ / "loop-a");
    fs::create_symlink("loop-a", dir_ / "loop-b");
    EXPECT_EQ(Run(arith_, "in loop-a"), 1);
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

TEST_F(ArithPrograms, OutputGetsOrdinaryPermissions) {
    Write("in", {1, 1, 0});
    ASSERT_EQ(Run(arith_, "in out"), 0);
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

    ASSERT_EQ(Run(arith_, "in link -o 3"), 0) << err_;
    EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
    EXPECT_EQ(Run(earith_, "target back"), 0) << err_;
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

}  // namespace
}  // namespace eks::arith
