#include "core/Files.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/Error.h"
#include "core/IoText.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <vector>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace eks {

std::string NotRegularFileMessage(const std::string& path) {
    return "Plik " + path +
           " nie jest zwykłym plikiem (to katalog, potok albo urządzenie) - nie został otwarty";
}

std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8String(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

// ------------------------------------------------------------------ inputs

std::string OpenFailureMessage(InputFile::Status status, const std::string& path) {
    return status == InputFile::Status::NotRegular ? NotRegularFileMessage(path)
                                                   : CannotOpenFileMessage(path);
}

#ifdef _WIN32

namespace {

std::wstring Wide(const std::string& utf8) {
    return FsPath(utf8).wstring();
}

// The errno value of a system error, for the one table of causes (IoCauseText).
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_PRIVILEGE_NOT_HELD:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        default:
            return EIO;
    }
}

bool AsciiEqualNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != b[i]) return false;
    }
    return i == a.size() && b[i] == '\0';
}

// Whether a name leads to one of the system's devices rather than to a file, judged by the
// name alone so that nothing is opened: the device namespace ("\\.\pipe\x", "\\.\COM1";
// but before a drive's or a server's path) and the reserved names (NUL, CON, AUX, PRN,
// COM1–COM9, LPT1–LPT9, CONIN$, CONOUT$), devices in every folder and with any extension.
bool IsDeviceName(const std::string& path) {
    const auto sep = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 4 && sep(path[0]) && sep(path[1]) && (path[2] == '.' || path[2] == '?') &&
        sep(path[3])) {
        // "\\?\C:\...", "\\.\C:\..." and "\\?\UNC\server\..." are names of files.
        const bool drive = path.size() >= 6 && path[5] == ':';
        const bool unc =
            path.size() >= 8 && AsciiEqualNoCase(path.substr(4, 3), "UNC") && sep(path[7]);
        if (!drive && !unc) return true;
    }
    const std::size_t cut = path.find_last_of("\\/:");
    std::string name = path.substr(cut == std::string::npos ? 0 : cut + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    for (const char* reserved : {"NUL", "CON", "AUX", "PRN", "CONIN$", "CONOUT$"})
        if (AsciiEqualNoCase(name, reserved)) return true;
    if (name.size() == 4 && name[3] >= '1' && name[3] <= '9') {
        const std::string stem = name.substr(0, 3);
        if (AsciiEqualNoCase(stem, "COM") || AsciiEqualNoCase(stem, "LPT")) return true;
    }
    return false;
}

// What stands at a name, looked at without reading or writing it.
struct Existing {
    enum class Kind { Missing, Regular, Folder, Special } kind = Kind::Missing;
    bool readOnly = false;
    int error = 0;  // why it could not be looked at
};

Existing Inspect(const std::string& path) {
    Existing found;
    if (IsDeviceName(path)) {
        found.kind = Existing::Kind::Special;
        return found;
    }
    const HANDLE h = ::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) found.error = ErrnoOf(error);
        return found;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        found.kind = Existing::Kind::Special;
    } else if (!::GetFileInformationByHandle(h, &info)) {
        found.error = ErrnoOf(::GetLastError());
    } else {
        found.kind = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? Existing::Kind::Folder
                                                                      : Existing::Kind::Regular;
        found.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    ::CloseHandle(h);
    return found;
}

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

}  // namespace

InputFile::Status InputFile::Open(const std::string& path) {
    Close();
    read_ = size_ = 0;
    error_ = 0;
    // Devices and folders are refused before they are opened: reading "CON" would wait for
    // the keyboard.
    const Existing found = Inspect(path);
    if (found.kind == Existing::Kind::Special || found.kind == Existing::Kind::Folder)
        return status_ = Status::NotRegular;
    const HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_ = ErrnoOf(::GetLastError());
        return status_ = error_ == ENOENT ? Status::Missing : Status::Failed;
    }
    LARGE_INTEGER size{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileSizeEx(h, &size)) {
        ::CloseHandle(h);
        return status_ = Status::NotRegular;
    }
    fd_ = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd_ < 0) {
        error_ = errno;
        ::CloseHandle(h);
        return status_ = Status::Failed;
    }
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return status_ = Status::Open;
}

void InputFile::Close() {
    if (fd_ >= 0) ::_close(fd_);
    fd_ = -1;
}

long long InputFile::Read(void* dst, std::size_t n) {
    const std::uint64_t left = size_ - read_;
    if (n > left) n = static_cast<std::size_t>(left);
    if (n > (1u << 30)) n = 1u << 30;
    if (n == 0) return 0;
    const int got = ::_read(fd_, dst, static_cast<unsigned>(n));
    if (got < 0) {
        error_ = errno;
        return -1;
    }
    read_ += static_cast<std::uint64_t>(got);
    return got;
}

bool InputFile::Rewind() {
    if (::_lseeki64(fd_, 0, SEEK_SET) != 0) {
        error_ = errno;
        return false;
    }
    read_ = 0;
    return true;
}

bool IsSpecialFile(const std::string& path) {
    const Existing::Kind kind = Inspect(path).kind;
    return kind == Existing::Kind::Special || kind == Existing::Kind::Folder;
}

#else

InputFile::Status InputFile::Open(const std::string& path) {
    Close();
    read_ = size_ = 0;
    error_ = 0;
    // O_NONBLOCK: opening a pipe without a writer returns at once instead of
    // waiting for one; the type is then seen before anything is read.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        error_ = errno;
        return status_ = error_ == ENOENT ? Status::Missing : Status::Failed;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        error_ = errno;
        Close();
        return status_ = Status::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        Close();
        return status_ = Status::NotRegular;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    size_ = static_cast<std::uint64_t>(st.st_size);
    return status_ = Status::Open;
}

void InputFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

long long InputFile::Read(void* dst, std::size_t n) {
    const std::uint64_t left = size_ - read_;
    if (n > left) n = static_cast<std::size_t>(left);
    if (n > (std::size_t{1} << 30)) n = std::size_t{1} << 30;
    for (;;) {
        if (n == 0) return 0;
        const ssize_t got = ::read(fd_, dst, n);
        if (got < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return -1;
        }
        read_ += static_cast<std::uint64_t>(got);
        return got;
    }
}

bool InputFile::Rewind() {
    if (::lseek(fd_, 0, SEEK_SET) != 0) {
        error_ = errno;
        return false;
    }
    read_ = 0;
    return true;
}

bool IsSpecialFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

#endif

// ------------------------------------------------------------------- saves

namespace {

std::atomic<unsigned> g_tempCounter{0};

int ProcessId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

// The folder part of a path, separator included, and the name part.
void SplitPath(const std::string& path, std::string& dir, std::string& base) {
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\:");
#else
    const std::size_t slash = path.rfind('/');
#endif
    dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    base = slash == std::string::npos ? path : path.substr(slash + 1);
}

#ifndef _WIN32

// More hops than this between a name and a file is taken for a loop, as the
// kernel does (its limit is 40).
constexpr int kMaxLinkHops = 40;

// Where a save really lands: the name with every symbolic link on it followed
// to the final target, which need not exist yet (a link may point at a file
// still to be made). `st` is valid when `exists` is true; it never describes a
// link.
struct SaveTarget {
    std::string path;
    bool exists = false;
    struct stat st {};
};

// The content of the symbolic link `link`; false when it cannot be read.
bool ReadLink(const std::string& link, std::size_t sizeHint, std::string& target) {
    std::string buf(sizeHint < 256 ? 256 : sizeHint + 1, '\0');
    for (;;) {
        const ssize_t n = ::readlink(link.c_str(), buf.data(), buf.size());
        if (n < 0) return false;
        if (static_cast<std::size_t>(n) < buf.size()) {
            target.assign(buf.data(), static_cast<std::size_t>(n));
            return !target.empty();
        }
        buf.resize(buf.size() * 2);  // possibly cut: try again with more room
    }
}

// Follows the links on `path`; false when the name cannot lead to a file that
// a save may write: a loop of links, an unreadable link, a component that is
// not a directory ("file.txt/x"), a name too long.
bool ResolveSaveTarget(const std::string& path, SaveTarget& out) {
    std::string p = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            // A missing name is a new file; a missing folder on the way shows
            // itself when the temporary file cannot be made there.
            if (errno != ENOENT) return false;
            out.path = p;
            out.exists = false;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            out.path = p;
            out.exists = true;
            out.st = st;
            return true;
        }
        std::string target;
        if (hops == kMaxLinkHops) {
            errno = ELOOP;
            return false;
        }
        if (!ReadLink(p, static_cast<std::size_t>(st.st_size), target)) return false;
        // A relative link counts from the folder the link stands in. The
        // folder part is kept as written, so that the kernel, not a textual
        // clean-up, decides what ".." in it means.
        const std::size_t slash = p.rfind('/');
        p = target.front() == '/' || slash == std::string::npos ? target
                                                                : p.substr(0, slash + 1) + target;
    }
}

// Gives the new file the owner and group of the one it replaces where the
// system allows it: root may, other users may keep the group when they belong
// to it. Otherwise the file becomes the saver's, as any new file would; that
// is no reason to refuse the save.
void KeepOwnerAndGroup(int fd, const struct stat& old) {
    struct stat made {};
    if (::fstat(fd, &made) != 0) return;
    if (made.st_uid == old.st_uid && made.st_gid == old.st_gid) return;
    if (::fchown(fd, old.st_uid, old.st_gid) == 0 || errno != EPERM) return;
    if (made.st_gid == old.st_gid) return;
    const int groupKept = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    static_cast<void>(groupKept);  // fails when the user is not a member of it
}

#endif  // !_WIN32

std::string TempName(const std::string& dir, const std::string& base) {
    return dir + SafeSaveTempPrefix(base) + std::to_string(ProcessId()) + "-" +
           std::to_string(++g_tempCounter) + ".tmp";
}

}  // namespace

std::string SaveTargetPath(const std::string& path) {
#ifdef _WIN32
    return path;
#else
    SaveTarget target;
    return ResolveSaveTarget(path, target) ? target.path : path;
#endif
}

std::string SafeSaveTempPrefix(const std::string& name) {
    return "." + name.substr(0, 64) + ".~";
}

void SafeSave::Fail(Stage stage, int error) {
    Abandon();
    throw Failure{stage, error};
}

#ifdef _WIN32

namespace {

// Marks an open file for deletion when its last handle closes, or takes the mark back.
bool MarkForDeletion(HANDLE h, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) !=
           0;
}

// Gives an open file another name, replacing a file that has it.
bool RenameOpenFile(HANDLE h, const std::wstring& name) {
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    return ::SetFileInformationByHandle(h, FileRenameInfo, info,
                                        static_cast<DWORD>(buffer.size())) != 0;
}

}  // namespace

SafeSave::SafeSave(const std::string& path, Links links) {
    // Devices ("NUL", "CON", "\\.\pipe\x") and folders are refused before anything is made,
    // so that a program learns it before it has done its work; so is a file the user may not
    // write (read-only), which a rename would otherwise replace. A name of our own may hold
    // a stale file of any kind but a folder or a device.
    const Existing found = Inspect(path);
    if (found.error != 0) throw Failure{Stage::Create, found.error};
    if (found.kind == Existing::Kind::Folder) throw Failure{Stage::Create, EISDIR};
    if (found.kind == Existing::Kind::Special) throw Failure{Stage::Create, 0};
    if (links == Links::Follow && found.kind == Existing::Kind::Regular && found.readOnly)
        throw Failure{Stage::Create, EACCES};
    target_ = path;
    SplitPath(path, dir_, base_);
    if (base_.empty()) throw Failure{Stage::Create, EISDIR};
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temp_ = TempName(dir_, base_);
        h = ::CreateFileW(Wide(temp_).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        const int err = ErrnoOf(::GetLastError());
        temp_.clear();
        throw Failure{Stage::Create, err};
    }
    // Marked for deletion while it is open: the system removes it however the process ends
    // (a kill, Ctrl-C, a crash) unless Commit takes the mark back.
    selfRemoving_ = MarkForDeletion(h, true);
    fd_ = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd_ < 0) {
        const int err = errno;
        MarkForDeletion(h, true);
        ::CloseHandle(h);
        temp_.clear();
        throw Failure{Stage::Create, err};
    }
}

void SafeSave::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const unsigned chunk = size < (1u << 30) ? static_cast<unsigned>(size) : 1u << 30;
        const int n = ::_write(fd_, p, chunk);
        if (n <= 0) Fail(Stage::Write, n < 0 ? errno : EIO);
        p += n;
        size -= static_cast<std::size_t>(n);
        written_ += static_cast<std::uint64_t>(n);
    }
}

void SafeSave::Commit() {
    // The file keeps its temporary name only between taking the mark back and the rename,
    // which both go through the open handle.
    const HANDLE h = HandleOf(fd_);
    if (selfRemoving_ && !MarkForDeletion(h, false)) Fail(Stage::Commit, ErrnoOf(::GetLastError()));
    if (!RenameOpenFile(h, Wide(target_))) Fail(Stage::Commit, ErrnoOf(::GetLastError()));
    temp_.clear();
    done_ = true;
    // The bytes were handed to the system by each write; closing the handle loses none.
    ::_close(fd_);
    fd_ = -1;
}

void SafeSave::Abandon() noexcept {
    if (fd_ >= 0) {
        MarkForDeletion(HandleOf(fd_), true);
        ::_close(fd_);
    }
    fd_ = -1;
    if (!temp_.empty()) ::DeleteFileW(Wide(temp_).c_str());
    temp_.clear();
    done_ = true;
}

#else

SafeSave::SafeSave(const std::string& path, Links links) {
    SaveTarget target;
    if (links == Links::Replace) {
        // A name of our own: whatever stands there (a link planted to lead our
        // bytes elsewhere, a hard link, a file left by an earlier run) loses
        // the name to the new file and is never opened. Only a folder stays.
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) throw Failure{Stage::Create, EISDIR};
        } else if (errno != ENOENT) {
            throw Failure{Stage::Create, errno};
        }
        target.path = path;
    } else {
        // A save replaces a file the user could have overwritten in place,
        // and nothing else: links are followed and stay links, devices,
        // folders and pipes are refused before anything is opened (opening a
        // pipe for writing would wait for a reader), and a file the user may
        // not write keeps its bytes even where the folder would allow the
        // rename.
        errno = 0;
        if (!ResolveSaveTarget(path, target))
            throw Failure{Stage::Create, errno == 0 ? ELOOP : errno};
        if (target.exists && !S_ISREG(target.st.st_mode))
            throw Failure{Stage::Create, S_ISDIR(target.st.st_mode) ? EISDIR : 0};
        if (target.exists && ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0)
            throw Failure{Stage::Create, errno};
    }
    target_ = target.path;
    SplitPath(target_, dir_, base_);
    if (base_.empty()) throw Failure{Stage::Create, EISDIR};

    // A new file is created with 0666 and the kernel applies the umask (and a
    // folder's default ACL); a replacement starts private and takes the old
    // file's mode below.
    const mode_t createMode = target.exists ? S_IRUSR | S_IWUSR : 0666;
#ifdef O_TMPFILE
    // A file without a name in the target's folder (so that the final link
    // stays within one file system): whatever ends the process before the
    // commit leaves nothing behind.
    fd_ = ::open(dir_.empty() ? "." : dir_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode);
    selfRemoving_ = fd_ >= 0;
#endif
    // Elsewhere an exclusive name beside the target.
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temp_ = TempName(dir_, base_);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        const int err = errno;
        temp_.clear();
        throw Failure{Stage::Create, err};
    }
    if (target.exists) {
        KeepOwnerAndGroup(fd_, target.st);
        // After fchown, which may clear the set-id bits.
        if (::fchmod(fd_, target.st.st_mode & 07777) != 0) Fail(Stage::Create, errno);
    }
}

void SafeSave::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const std::size_t chunk = size < (std::size_t{1} << 30) ? size : (std::size_t{1} << 30);
        const ssize_t n = ::write(fd_, p, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(Stage::Write, errno);
        }
        if (n == 0) Fail(Stage::Write, EIO);
        p += n;
        size -= static_cast<std::size_t>(n);
        written_ += static_cast<std::uint64_t>(n);
    }
}

void SafeSave::Commit() {
    if (selfRemoving_) {
        // The file gets its temporary name only now, complete; a name cannot
        // be linked over an existing one, so the rename below still follows.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 100; ++attempt) {
            temp_ = TempName(dir_, base_);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp_.c_str(), AT_SYMLINK_FOLLOW) == 0)
                break;
            const int err = errno;
            temp_.clear();
            if (err != EEXIST) Fail(Stage::Commit, err);
        }
        if (temp_.empty()) Fail(Stage::Commit, EEXIST);
    }
    const int fd = fd_;
    fd_ = -1;
    // After EINTR the descriptor is gone on Linux and the data handed over;
    // there is nothing to retry.
    if (::close(fd) != 0 && errno != EINTR) Fail(Stage::Write, errno);
    if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail(Stage::Commit, errno);
    temp_.clear();
    done_ = true;
}

void SafeSave::Abandon() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    done_ = true;
}

#endif

SafeSave::~SafeSave() {
    if (!done_) Abandon();
}

int RemoveSaveLeftovers(const std::string& dir, const std::string& name) {
    namespace fs = std::filesystem;
    const std::string prefix = SafeSaveTempPrefix(name);
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(FsPath(dir.empty() ? "." : dir), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string file = Utf8String(it->path().filename());
        std::error_code removeEc;
        if (file.rfind(prefix, 0) == 0 && fs::remove(it->path(), removeEc)) ++removed;
    }
    return removed;
}

// -------------------------------------------------------------------- locks

#ifdef _WIN32

FileLock::Result FileLock::TryTake(const std::string& path, const std::string& owner) {
    Release();
    // A file opened without sharing for writing is the lock on Windows.
    fd_ = ::_wsopen(Wide(path).c_str(), _O_RDWR | _O_CREAT | _O_BINARY, _SH_DENYWR,
                    _S_IREAD | _S_IWRITE);
    if (fd_ < 0) {
        error_ = errno;
        InputFile file(path);
        char text[256] = {};
        const long long n = file.Read(text, sizeof text - 1);
        holder_.assign(text, n > 0 ? static_cast<std::size_t>(n) : 0);
        return error_ == EACCES ? Result::Held : Result::Failed;
    }
    path_ = path;
    ::_chsize(fd_, 0);
    ::_write(fd_, owner.data(), static_cast<unsigned>(owner.size()));
    return Result::Taken;
}

// Shared locks are not made here: runs of one plan each need a folder of
// their own.
FileLock::Result FileLock::TryShare(const std::string& path, const std::string&,
                                    const std::string& owner) {
    return TryTake(path, owner);
}

void FileLock::Release() {
    if (fd_ < 0) return;
    ::_close(fd_);
    ::_wunlink(Wide(path_).c_str());
    fd_ = -1;
}

std::string ThisProcessText() {
    wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = L"?";
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ::GetComputerNameW(host, &size);
    return "proces " + std::to_string(ProcessId()) + " na komputerze " + Utf8String(host);
}

#else

namespace {

// The file's text, without trailing line ends.
std::string LockText(int fd) {
    char text[512];
    const ssize_t n = ::pread(fd, text, sizeof text, 0);
    std::string holder(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\0'))
        holder.pop_back();
    return holder;
}

// Who holds a lock, from the file's text: runs sharing it write their plan
// first, then the owner.
std::string OwnerIn(const std::string& text) {
    return text.rfind("plan ", 0) == 0 ? text.substr(text.find('\n') + 1) : text;
}

// Whether the descriptor's file still has the name: a holder removes it
// while still holding the lock.
bool StillNamed(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

FileLock::Result FileLock::Open(const std::string& path, int& fd) {
    // Not followed, not blocking on a pipe, not truncated: what stands at the
    // name is looked at before anything is written to it.
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                0644);
    struct stat st {};
    if (fd < 0) {
        error_ = errno;
        // A link gives ELOOP, a folder EISDIR.
        if (error_ == EISDIR || (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)))
            return Result::NotRegular;
        return Result::Failed;
    }
    Result result = Result::Taken;
    if (::fstat(fd, &st) != 0) {
        error_ = errno;
        result = Result::Failed;
    } else if (!S_ISREG(st.st_mode)) {
        result = Result::NotRegular;
    } else if (st.st_nlink != 1) {
        // Writing the owner would change the file behind the other name.
        result = Result::Linked;
    }
    if (result != Result::Taken) {
        ::close(fd);
        fd = -1;
    }
    return result;
}

FileLock::Result FileLock::TryTake(const std::string& path, const std::string& owner) {
    Release();
    holder_.clear();
    error_ = 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        int fd = -1;
        if (const Result opened = Open(path, fd); opened != Result::Taken) return opened;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error_ = errno;
            holder_ = OwnerIn(LockText(fd));
            ::close(fd);
            return error_ == EWOULDBLOCK ? Result::Held : Result::Failed;
        }
        // A lock taken on a file that has lost its name is no lock.
        if (StillNamed(fd, path)) {
            if (::ftruncate(fd, 0) == 0) {
                const ssize_t written = ::pwrite(fd, owner.data(), owner.size(), 0);
                static_cast<void>(written);  // the text is a courtesy; the lock holds without it
            }
            fd_ = fd;
            path_ = path;
            return Result::Taken;
        }
        ::close(fd);
    }
    error_ = EAGAIN;
    return Result::Failed;
}

void FileLock::Release() {
    if (fd_ < 0) return;
    // Removed while still held, so that no one takes a lock on a file that is
    // about to lose its name; of runs sharing it, by the last one only.
    if (!shared_ || ::flock(fd_, LOCK_EX | LOCK_NB) == 0) ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
    shared_ = false;
}

FileLock::Result FileLock::TryShare(const std::string& path, const std::string& key,
                                    const std::string& owner) {
    Release();
    holder_.clear();
    error_ = 0;
    const std::string keyLine = "plan " + key;
    for (int attempt = 0; attempt < 50; ++attempt) {
        int fd = -1;
        if (const Result opened = Open(path, fd); opened != Result::Taken) return opened;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The first: it names the plan, then lets others of it in.
            if (StillNamed(fd, path) && ::ftruncate(fd, 0) == 0) {
                const std::string text = keyLine + "\n" + owner;
                const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
                if (written == static_cast<ssize_t>(text.size()) &&
                    ::flock(fd, LOCK_SH | LOCK_NB) == 0) {
                    fd_ = fd;
                    path_ = path;
                    shared_ = true;
                    return Result::Taken;
                }
            }
        } else if (::flock(fd, LOCK_SH | LOCK_NB) == 0 && StillNamed(fd, path)) {
            const std::string text = LockText(fd);
            if (text.rfind(keyLine + "\n", 0) == 0) {
                fd_ = fd;
                path_ = path;
                shared_ = true;
                return Result::Taken;
            }
            if (text.rfind("plan ", 0) == 0) {  // a run of another plan
                holder_ = OwnerIn(text);
                ::close(fd);
                return Result::Held;
            }
        } else {
            holder_ = LockText(fd);
        }
        ::close(fd);
        // A run that holds it alone, or the first of a plan still naming it.
        ::usleep(10000);
    }
    holder_ = OwnerIn(holder_);
    return Result::Held;
}

std::string ThisProcessText() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "?");
    return "proces " + std::to_string(ProcessId()) + " na komputerze " + host;
}

#endif

void IgnoreFileSizeSignal() {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

// ------------------------------------------------------- working folders

std::string LockProblemText(FileLock::Result result, const FileLock& lock) {
    switch (result) {
        case FileLock::Result::Taken:
            return {};
        case FileLock::Result::Held:
            return "blokadę trzyma " +
                   (lock.Holder().empty() ? std::string("inny proces") : lock.Holder());
        case FileLock::Result::NotRegular:
            return "plik blokady nie jest zwykłym plikiem (to katalog, dowiązanie symboliczne, "
                   "potok albo urządzenie)";
        case FileLock::Result::Linked:
            return "plik blokady ma więcej niż jedno dowiązanie (twarde)";
        case FileLock::Result::Failed:
            break;
    }
    return "nie można założyć blokady (" + IoCauseText(lock.ErrorCode()) + ")";
}

namespace {

std::string FolderPath(const std::string& root, const std::string& name) {
    if (root.empty()) return name;
    const char last = root.back();
    return last == '/' || last == '\\' ? root + name : root + "/" + name;
}

}  // namespace

bool WorkFolder::Make(const std::string& root, const std::string& prefix) {
    Remove();
    error_ = 0;
    namespace fs = std::filesystem;
    for (int attempt = 0; attempt < 10; ++attempt) {
#ifdef _WIN32
        std::string dir = FolderPath(
            root, prefix + std::to_string(ProcessId()) + "-" + std::to_string(++g_tempCounter));
        std::error_code made;
        if (!fs::create_directory(FsPath(dir), made)) {
            if (made && made != std::errc::file_exists) {
                error_ = made.default_error_condition().value();
                return false;
            }
            continue;
        }
#else
        std::string dir = FolderPath(root, prefix + "XXXXXX");
        if (::mkdtemp(dir.data()) == nullptr) {
            error_ = errno;
            return false;
        }
#endif
        // A sweep that finds the folder before its lock is taken leaves it
        // (no lock file yet) or takes the lock first, and the folder goes:
        // then another one is made.
        const FileLock::Result taken =
            lock_.TryTake(FolderPath(dir, kWorkFolderLock), ThisProcessText());
        if (taken == FileLock::Result::Taken) {
            path_ = FolderPath(dir, "");
            return true;
        }
        error_ = lock_.ErrorCode();
        std::error_code ec;
        fs::remove_all(FsPath(dir), ec);
    }
    if (error_ == 0) error_ = EAGAIN;
    return false;
}

void WorkFolder::Remove() {
    if (path_.empty()) return;
    lock_.Release();
    std::error_code ec;
    std::filesystem::remove_all(FsPath(path_), ec);  // links inside are removed, never followed
    path_.clear();
}

int SweepWorkFolders(const std::string& root, const std::string& prefix) {
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(FsPath(root.empty() ? "." : root), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = Utf8String(it->path().filename());
        if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size()) continue;
        const std::string dir = Utf8String(it->path());
#ifndef _WIN32
        // A real folder of this user: a link or another user's folder stays.
        struct stat st {};
        if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            continue;
        // Only a folder with a lock file: one just made has none yet.
        const std::string lockPath = FolderPath(dir, kWorkFolderLock);
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat lockSt {};
        const bool free = ::fstat(fd, &lockSt) == 0 && S_ISREG(lockSt.st_mode) &&
                          ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (free) {
            // Removed while the lock is held, the lock file last but one.
            std::error_code removeEc;
            if (fs::remove_all(FsPath(dir), removeEc) > 0 && !removeEc) ++removed;
        }
        ::close(fd);
#else
        std::error_code statusEc;
        if (!fs::is_directory(fs::symlink_status(FsPath(dir), statusEc))) continue;
        FileLock probe;
        if (probe.TryTake(FolderPath(dir, kWorkFolderLock), ThisProcessText()) !=
            FileLock::Result::Taken)
            continue;
        probe.Release();
        std::error_code removeEc;
        if (fs::remove_all(FsPath(dir), removeEc) > 0 && !removeEc) ++removed;
#endif
    }
    return removed;
}

}  // namespace eks
