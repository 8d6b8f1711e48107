#pragma once

// The one place that knows how this platform opens, saves and locks files
// for us: the window, the command line and the coder programs all go
// through it.
//
// - Inputs are opened without blocking and only when they are regular files:
//   a pipe, a device or a folder put in a file list must not freeze a job
//   waiting for a writer or read without end.
// - Outputs appear whole or not at all, and only where the user could have
//   written in place (SafeSave).
// - A lock file tells runs of ours which of them owns a folder (FileLock).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace eks {

// File names are UTF-8 everywhere in this program; these are the same names
// as the system's own paths (wide on Windows) and back.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8String(const std::filesystem::path& path);

// The text for a name that is not a regular file (a folder, a pipe, a
// device), which is never opened.
std::string NotRegularFileMessage(const std::string& path);

// An input file opened for reading. Only a regular file is opened, and a
// pipe is not waited for: the open itself does not block. Reads end at the
// size the file had when it was opened, however it grows meanwhile.
class InputFile {
  public:
    enum class Status { Open, Missing, NotRegular, Failed };

    InputFile() = default;
    explicit InputFile(const std::string& path) { Open(path); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() { Close(); }

    Status Open(const std::string& path);
    void Close();
    // The outcome of the last Open; ErrorCode gives the system's cause of a
    // failure (0 for NotRegular).
    Status State() const { return status_; }
    int ErrorCode() const { return error_; }
    // The file's size when it was opened.
    std::uint64_t Size() const { return size_; }
    // Reads up to n bytes from the current position, never beyond Size();
    // returns how many were read, 0 at the end. Returns -1 on a read error,
    // with ErrorCode() set.
    long long Read(void* dst, std::size_t n);
    // Back to the start.
    bool Rewind();

  private:
    int fd_ = -1;
    Status status_ = Status::Failed;
    int error_ = 0;
    std::uint64_t size_ = 0;
    std::uint64_t read_ = 0;
};

// The text for an input that did not open, as the window shows it: "Cannot
// open file <path>", or NotRegularFileMessage.
std::string OpenFailureMessage(InputFile::Status status, const std::string& path);

// Whether the name leads (through links) to something that is not a regular
// file: a folder, a pipe, a device. A missing name is not.
bool IsSpecialFile(const std::string& path);

// A save that appears complete or not at all, written piece by piece.
//
// A save may replace only what the user could have overwritten in place:
// - a symbolic link is followed to its final target, which is replaced; the
//   link stays a link;
// - a name that is not a regular file (a folder, a device, a pipe) and an
//   existing file the user may not write are refused and left untouched;
// - a new file gets mode 0666 less the umask; a replaced file keeps its mode,
//   and its owner and group where the system allows.
// The bytes go to a file beside the target that the system removes however
// the process ends before Commit: on Linux it has no name until Commit where
// the file system allows it; on Windows it has a temporary name and is marked
// for deletion while open until Commit. Elsewhere they go to an exclusive
// hidden temporary name (".<name>.~<pid>-<n>.tmp"), removed on every failure
// and by Abandon.
class SafeSave {
  public:
    // What a link standing at the name's last component means: a name the
    // user gave leads where its links lead (Follow); a name the program makes
    // itself (a working file, a container, a lock) is ours alone (Replace): a
    // link or a stale file standing there is replaced, never written
    // through, and the new file gets the mode of a new file.
    enum class Links { Follow, Replace };

    // Where a failure happened: the target refused or the temporary file not
    // made (Create), the bytes not written (Write), the file not put in place
    // (Commit).
    enum class Stage { Create, Write, Commit };
    struct Failure {
        Stage stage;
        int error;  // the system's cause; 0 for a refused target
    };

    // Opens the temporary file for `path`; throws Failure.
    explicit SafeSave(const std::string& path, Links links = Links::Follow);
    SafeSave(const SafeSave&) = delete;
    SafeSave& operator=(const SafeSave&) = delete;
    // Abandons a save that was not committed.
    ~SafeSave();

    // Throws Failure{Write, ...}; the temporary file is then gone.
    void Write(const void* data, std::size_t size);
    // Puts the file in place; throws Failure, the temporary file gone.
    void Commit();
    // Drops the temporary file; the target stays as it was.
    void Abandon() noexcept;

    std::uint64_t BytesWritten() const { return written_; }
    // The temporary file's name, empty while it has none.
    const std::string& TempPath() const { return temp_; }

  private:
    [[noreturn]] void Fail(Stage stage, int error);

    std::string target_;
    std::string dir_;
    std::string base_;
    std::string temp_;
    int fd_ = -1;
    bool selfRemoving_ = false;  // removed by the system if the process ends first
    bool done_ = false;
    std::uint64_t written_ = 0;
};

// Where a save of `path` (following links) lands: the name with every
// symbolic link on it followed to its final target, which need not exist yet
// (a dangling link names the file a save would create). The path itself when
// the links cannot be followed (a loop).
std::string SaveTargetPath(const std::string& path);

// The prefix of the temporary names SafeSave gives an output called `name`
// in its folder, for removing what a killed program left there.
std::string SafeSaveTempPrefix(const std::string& name);
// Removes the temporary files a killed save of `name` left in `dir` (which
// ends in a separator). Returns how many were removed.
int RemoveSaveLeftovers(const std::string& dir, const std::string& name);

// An advisory lock on a file, held as long as the object lives: runs of ours
// take it before they use a folder that another run may be using. The file
// holds a text naming its holder (the process id, the host), which a run
// that cannot take the lock shows.
//
// A lock is taken only on a regular file with one link, opened without
// following links and left as it is until it is locked: a folder, a link, a
// pipe or a hard link standing at the lock's name is never written through.
class FileLock {
  public:
    enum class Result {
        Taken,
        Held,        // another run holds it
        NotRegular,  // the name is a folder, a link, a pipe or a device
        Linked,      // the file has more than one link
        Failed,      // it could not be made or locked (ErrorCode())
    };

    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() { Release(); }

    // Tries once, without waiting. Taken: the file now holds `owner`. Held:
    // another run holds it; Holder() is what the file says of that run.
    // Failed: the file could not be made or locked (ErrorCode()).
    Result TryTake(const std::string& path, const std::string& owner);
    // The same for runs that may share the folder: runs that give the same
    // `key` hold the lock together (the first writes "plan KEY" and its
    // owner), a run with another key or a run that holds it alone gets Held.
    Result TryShare(const std::string& path, const std::string& key, const std::string& owner);
    // Removes the lock file (the last of the runs sharing it) and lets the
    // lock go.
    void Release();
    bool Held() const { return fd_ >= 0; }
    const std::string& Holder() const { return holder_; }
    int ErrorCode() const { return error_; }

  private:
    Result Open(const std::string& path, int& fd);

    std::string path_;
    std::string holder_;
    int fd_ = -1;
    int error_ = 0;
    bool shared_ = false;
};

// Why a lock was not taken, in Polish, for a result other than Taken: the
// holder for Held ("zajęty przez proces 12 na komputerze x"), the reason
// otherwise ("plik blokady jest katalogiem, dowiązaniem, potokiem albo
// urządzeniem").
std::string LockProblemText(FileLock::Result result, const FileLock& lock);

// A working folder of our own under `root` (the system's temporary folder):
// "<root>/<prefix>XXXXXX", holding a lock file for as long as the object
// lives, so that a run that sweeps leftovers (SweepWorkFolders) never takes
// it for one. Removed with all in it when the object goes.
class WorkFolder {
  public:
    WorkFolder() = default;
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    ~WorkFolder() { Remove(); }

    // Makes the folder; false with ErrorCode() when it cannot be made.
    bool Make(const std::string& root, const std::string& prefix);
    // The folder's path, ending in a separator; empty before Make.
    const std::string& Path() const { return path_; }
    int ErrorCode() const { return error_; }
    void Remove();

  private:
    std::string path_;
    FileLock lock_;
    int error_ = 0;
};

// The name of the lock file inside a working folder.
inline constexpr const char* kWorkFolderLock = ".eksperymenty-folder.lock";

// Removes the folders "<root>/<prefix>*" that a run of this user left
// behind (a killed window or series): only real folders of this user, never
// through links, and only those whose lock file can be taken, so that a
// running window's or series' folder stays. Returns how many were removed.
int SweepWorkFolders(const std::string& root, const std::string& prefix);

// A file-size limit (ulimit -f) then fails the write that passes it with
// EFBIG ("plik przekracza dozwolony rozmiar") instead of ending the process
// with SIGXFSZ, so that a window keeps its table and a series writes its
// CSV. Where the signal does not exist, nothing is done.
void IgnoreFileSizeSignal();

// This process's id and the host's name, for a lock's owner text:
// "proces 1234 na komputerze nazwa".
std::string ThisProcessText();

}  // namespace eks
