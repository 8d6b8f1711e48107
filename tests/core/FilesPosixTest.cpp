// Saves and locks where the system has links, pipes, device nodes, modes and
// other users: what a save may replace and what it must leave alone.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "core/ByteStream.h"
#include "core/Error.h"
#include "core/Files.h"
#include "core/TestFiles.h"
#include "core/Unprivileged.h"

namespace eks {
namespace {

// ---------------------------------------------------------------- saving

namespace fs = std::filesystem;

// The names in a folder, sorted: a leftover temporary file shows up here.
std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Saves `bytes` to `path`; "" when saved, else the error's text.
std::string SaveText(const std::string& path, const std::string& bytes) {
    ByteStream s;
    s.Write(bytes.data(), bytes.size());
    try {
        s.SaveToFile(path);
        return "";
    } catch (const Error& e) {
        return e.what();
    }
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

// Sets the umask for one test and gives the old one back.
class UmaskGuard {
  public:
    explicit UmaskGuard(mode_t mask) : old_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(old_); }
    void Set(mode_t mask) { ::umask(mask); }

  private:
    mode_t old_;
};

TEST(ByteStreamSave, FollowsSymbolicLinksToTheirFinalTargetAndKeepsThemLinks) {
    TempDir dir;
    fs::create_directory(dir.File("sub"));
    WriteFile(dir.File("real.bin"), "old content, longer than the new");
    // A chain: link2 (absolute) -> sub/link1 (relative) -> real.bin.
    fs::create_symlink("../real.bin", dir.File("sub/link1"));
    fs::create_symlink(dir.File("sub/link1"), dir.File("link2"));

    EXPECT_EQ(SaveText(dir.File("link2"), "new"), "");
    EXPECT_EQ(ReadFile(dir.File("real.bin")), "new");
    ASSERT_TRUE(fs::is_symlink(dir.File("link2")));
    ASSERT_TRUE(fs::is_symlink(dir.File("sub/link1")));
    EXPECT_EQ(fs::read_symlink(dir.File("link2")).string(), dir.File("sub/link1"));
    EXPECT_EQ(fs::read_symlink(dir.File("sub/link1")).string(), "../real.bin");

    // A link to a file not yet made: the file is made where the link points.
    fs::create_symlink("made.bin", dir.File("dangling"));
    EXPECT_EQ(SaveText(dir.File("dangling"), "made"), "");
    EXPECT_TRUE(fs::is_symlink(dir.File("dangling")));
    EXPECT_EQ(ReadFile(dir.File("made.bin")), "made");

    // Links in a loop lead nowhere: refused, the links stay as they were.
    fs::create_symlink("loopB", dir.File("loopA"));
    fs::create_symlink("loopA", dir.File("loopB"));
    EXPECT_EQ(SaveText(dir.File("loopA"), "x"), "Cannot create file " + dir.File("loopA"));
    EXPECT_TRUE(fs::is_symlink(dir.File("loopA")));

    const std::vector<std::string> names = {"dangling", "link2",    "loopA", "loopB",
                                            "made.bin", "real.bin", "sub"};
    EXPECT_EQ(Entries(dir.Dir()), names);
    EXPECT_EQ(Entries(dir.File("sub")), std::vector<std::string>{"link1"});
}

TEST(ByteStreamSave, RefusesWhatIsNotARegularFileAndLeavesItAlone) {
    TempDir dir;
    const std::string pipe = dir.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0) << "cannot make a FIFO in " << dir.Dir();
    // A reader that never waits: should a save open the pipe for writing, the
    // test sees the bytes instead of hanging.
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    fs::create_symlink("pipe", dir.File("pipe-link"));
    // A device of the test's own, with the null device's numbers: a save that
    // wrongly went through would replace this node, never the system's.
    const bool device = ::mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    fs::create_symlink("null", dir.File("null-link"));
    fs::create_directory(dir.File("folder"));
    WriteFile(dir.File("folder/inside.txt"), "inside");
    WriteFile(dir.File("file.txt"), "text");

    for (const char* name : {"pipe", "pipe-link", "null-link", "folder", "file.txt/x"})
        EXPECT_EQ(SaveText(dir.File(name), "bytes"), "Cannot create file " + dir.File(name))
            << name;

    char buf[8];
    EXPECT_LE(::read(reader, buf, sizeof buf), 0) << "the pipe was written to";
    ::close(reader);
    EXPECT_TRUE(S_ISFIFO(ModeOf(pipe)));
    EXPECT_TRUE(S_ISLNK(ModeOf(dir.File("pipe-link"))));
    EXPECT_TRUE(S_ISLNK(ModeOf(dir.File("null-link"))));
    if (device) {
        EXPECT_TRUE(S_ISCHR(ModeOf(dir.File("null"))));
    }
    EXPECT_EQ(ReadFile(dir.File("folder/inside.txt")), "inside");
    EXPECT_EQ(ReadFile(dir.File("file.txt")), "text");
    std::vector<std::string> names = {"file.txt", "folder", "null-link", "pipe", "pipe-link"};
    if (device) names.insert(names.begin() + 2, "null");
    EXPECT_EQ(Entries(dir.Dir()), names);
    EXPECT_EQ(Entries(dir.File("folder")), std::vector<std::string>{"inside.txt"});
}

TEST(ByteStreamSave, AFileTheUserMayNotWriteIsRefusedAndKeepsItsBytes) {
    TempDir dir;
    // Open to everybody, so that only the file's own mode can refuse.
    fs::permissions(dir.Dir(), fs::perms::all);
    const std::string locked = dir.File("locked.ybq");
    const std::string open = dir.File("open.ybq");
    WriteFile(locked, "original");
    WriteFile(open, "original");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0666), 0);

    // 0 refused as expected, 1 saved, 2 another text, 3 the file out of reach.
    const int refused = RunUnprivileged([&] {
        if (::access(locked.c_str(), R_OK) != 0) return 3;
        const std::string text = SaveText(locked, "replaced");
        return text.empty() ? 1 : text == "Cannot create file " + locked ? 0 : 2;
    });
    EXPECT_EQ(refused, 0) << UnprivilegedStatusText(refused)
                          << " (1 saved, 2 another text, 3 the test folder is out of reach)";
    EXPECT_EQ(ReadFile(locked), "original");
    EXPECT_EQ(ModeOf(locked) & 07777, 0444u);

    // The refusal is the file's own: a file open to everybody is saved.
    const int saved = RunUnprivileged([&] { return SaveText(open, "replaced").empty() ? 0 : 1; });
    EXPECT_EQ(saved, 0) << UnprivilegedStatusText(saved);
    EXPECT_EQ(ReadFile(open), "replaced");
    EXPECT_EQ(ModeOf(open) & 07777, 0666u);

    EXPECT_EQ(Entries(dir.Dir()), (std::vector<std::string>{"locked.ybq", "open.ybq"}));
}

TEST(ByteStreamSave, NewFilesFollowTheUmaskAndReplacedFilesKeepModeAndOwner) {
    TempDir dir;
    UmaskGuard umask(022);
    EXPECT_EQ(SaveText(dir.File("new644"), "a"), "");
    EXPECT_EQ(ModeOf(dir.File("new644")) & 07777, 0644u);
    umask.Set(077);
    EXPECT_EQ(SaveText(dir.File("new600"), "b"), "");
    EXPECT_EQ(ModeOf(dir.File("new600")) & 07777, 0600u);

    umask.Set(022);
    for (const mode_t mode : {0600u, 0755u, 0664u}) {
        const std::string path = dir.File("kept" + std::to_string(mode));
        WriteFile(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        EXPECT_EQ(SaveText(path, "new"), "");
        EXPECT_EQ(ReadFile(path), "new");
        EXPECT_EQ(ModeOf(path) & 07777, mode) << std::oct << mode;
    }

    // Owner and group survive where the system lets the saver keep them,
    // which is always the case for root (as in CI).
    const std::string owned = dir.File("owned");
    WriteFile(owned, "old");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(owned.c_str(), kNobodyUid, kNobodyGid), 0);
        EXPECT_EQ(SaveText(owned, "new"), "");
        struct stat st {};
        ASSERT_EQ(::stat(owned.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kNobodyUid);
        EXPECT_EQ(st.st_gid, kNobodyGid);
    }

    const std::vector<std::string> names = {"kept384", "kept436", "kept493",
                                            "new600",  "new644",  "owned"};
    EXPECT_EQ(Entries(dir.Dir()), names);
}

// The program's own names (working files, containers, locks) never lead
// elsewhere, whatever stands there.
TEST(OwnNames, LocksAndSavesNeverWriteThroughWhatStandsAtTheName) {
    TempDir dir;
    fs::permissions(dir.Dir(), fs::perms::all);
    const std::string victim = dir.File("victim");
    WriteFile(victim, "victim");
    const std::string notRegular =
        "plik blokady nie jest zwykłym plikiem (to katalog, dowiązanie symboliczne, potok albo "
        "urządzenie)";
    struct Planted {
        const char* name;
        std::function<void(const std::string&)> plant;
        FileLock::Result result;
        std::string text;
    };
    const Planted cases[] = {
        {"folder", [](const std::string& p) { fs::create_directory(p); },
         FileLock::Result::NotRegular, notRegular},
        {"link", [&](const std::string& p) { fs::create_symlink(victim, p); },
         FileLock::Result::NotRegular, notRegular},
        {"pipe", [](const std::string& p) { ::mkfifo(p.c_str(), 0666); },
         FileLock::Result::NotRegular, notRegular},
        {"hard link", [&](const std::string& p) { fs::create_hard_link(victim, p); },
         FileLock::Result::Linked, "plik blokady ma więcej niż jedno dowiązanie (twarde)"},
        // What a killed run left: its text names a holder, but nobody holds it.
        {"stale", [](const std::string& p) { WriteFile(p, "proces 1 na komputerze x"); },
         FileLock::Result::Taken, ""},
    };
    for (const Planted& c : cases) {
        const std::string path = dir.File(std::string("lock ") + c.name);
        c.plant(path);
        FileLock lock;
        const FileLock::Result result = lock.TryTake(path, "ja");
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(LockProblemText(result, lock), c.text) << c.name;
        FileLock shared;
        EXPECT_EQ(shared.TryShare(path, "plan", "ja") == FileLock::Result::Taken,
                  c.result == FileLock::Result::Taken && !lock.Held())
            << c.name;
    }
    EXPECT_EQ(ReadFile(victim), "victim");

    // Another user's lock file (a shared lab folder after a crash) is not this
    // user's to take: a reason, never a folder shared without a lock.
    if (::geteuid() == 0) {
        const std::string other = dir.File("lock other");
        WriteFile(other, "proces 2 na komputerze y");
        const int status = RunUnprivileged([&] {
            FileLock lock;
            return static_cast<int>(lock.TryTake(other, "ja"));
        });
        EXPECT_EQ(status, static_cast<int>(FileLock::Result::Failed))
            << UnprivilegedStatusText(status);
    }

    // Saves of the program's own names replace a link or a hard link standing
    // there; the file it led to keeps its bytes.
    fs::create_symlink(victim, dir.File("tmp1x.dat"));
    fs::create_hard_link(victim, dir.File("tmp3x.dat"));
    for (const char* name : {"tmp1x.dat", "tmp3x.dat"}) {
        WriteWholeFile(dir.File(name), "bits", 4, SafeSave::Links::Replace);
        EXPECT_FALSE(fs::is_symlink(dir.File(name))) << name;
        EXPECT_EQ(ReadFile(dir.File(name)), "bits") << name;
    }
    EXPECT_EQ(ReadFile(victim), "victim");
    EXPECT_EQ(fs::hard_link_count(victim), 2u);  // its other name is the lock's, left alone
}

// A sweep removes the working folders killed runs left, and only those.
TEST(OwnNames, ASweepRemovesOnlyTheFoldersNoRunHolds) {
    TempDir root, elsewhere;
    auto running = std::make_unique<WorkFolder>();
    ASSERT_TRUE(running->Make(root.Dir(), "eks-"));
    WriteFile(running->Path() + "tmp1x.dat", "bits");
    // A killed run's folder: its lock file stays, nobody holds it.
    fs::create_directory(root.File("eks-left"));
    WriteFile(root.File("eks-left/.eksperymenty-folder.lock"), "proces 1 na komputerze x");
    WriteFile(root.File("eks-left/tmp1x.dat"), std::string(1000, 'x'));
    // A folder just made, its lock not yet taken; a link that looks like a
    // left folder; a folder of another name.
    fs::create_directory(root.File("eks-new"));
    WriteFile(elsewhere.File(".eksperymenty-folder.lock"), "");
    WriteFile(elsewhere.File("keep"), "keep");
    fs::create_directory_symlink(elsewhere.Dir(), root.File("eks-link"));
    fs::create_directory(root.File("other-left"));
    WriteFile(root.File("other-left/.eksperymenty-folder.lock"), "");

    EXPECT_EQ(SweepWorkFolders(root.Dir(), "eks-"), 1);
    const std::string kept = fs::path(running->Path()).parent_path().filename().string();
    std::vector<std::string> left = {"eks-link", "eks-new", kept, "other-left"};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(Entries(root.Dir()), left);
    EXPECT_EQ(ReadFile(running->Path() + "tmp1x.dat"), "bits");
    EXPECT_EQ(ReadFile(elsewhere.File("keep")), "keep");
    running.reset();  // a run's own folder goes with it
    EXPECT_FALSE(fs::exists(root.File(kept)));
}

}  // namespace
}  // namespace eks
