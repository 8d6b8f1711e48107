#include "core/ByteStream.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <random>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/Error.h"
#include "core/IoText.h"

namespace eks {

ByteStream::ByteStream(ByteStream&& other) noexcept
    : data_(std::move(other.data_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      pos_(std::exchange(other.pos_, 0)) {}

ByteStream& ByteStream::operator=(ByteStream&& other) noexcept {
    if (this != &other) {
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        pos_ = std::exchange(other.pos_, 0);
    }
    return *this;
}

void ByteStream::Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    // Grow geometrically so that byte-by-byte writes stay linear overall.
    std::size_t grown = capacity_ + capacity_ / 2;
    if (grown < capacity) grown = capacity;
    Block fresh = AllocateBlock(grown);
    if (size_ > 0) std::memcpy(fresh.get(), data_.get(), size_);
    data_ = std::move(fresh);
    capacity_ = grown;
}

void ByteStream::SetSizeForOverwrite(std::size_t size) {
    if (size > capacity_) {
        // An exact allocation: the caller knows the final size.
        Block fresh = AllocateBlock(size);
        if (size_ > 0) std::memcpy(fresh.get(), data_.get(), size_);
        data_ = std::move(fresh);
        capacity_ = size;
    }
    size_ = size;
    if (pos_ > size_) pos_ = size_;
}

void ByteStream::SetSize(std::size_t size) {
    const std::size_t old = size_;
    SetSizeForOverwrite(size);
    if (size > old) std::memset(data_.get() + old, 0, size - old);
}

void ByteStream::Clear() {
    data_.reset();
    size_ = capacity_ = pos_ = 0;
}

std::size_t ByteStream::Read(void* dst, std::size_t n) {
    const std::size_t count = n < Remaining() ? n : Remaining();
    if (count > 0) std::memcpy(dst, data_.get() + pos_, count);
    pos_ += count;
    return count;
}

bool ByteStream::ReadByte(std::uint8_t& b) {
    if (pos_ >= size_) return false;
    b = data_.get()[pos_++];
    return true;
}

void ByteStream::Write(const void* src, std::size_t n) {
    if (n == 0) return;
    const std::size_t end = pos_ + n;
    if (end > capacity_) Reserve(end);
    if (pos_ > size_) std::memset(data_.get() + size_, 0, pos_ - size_);
    std::memcpy(data_.get() + pos_, src, n);
    pos_ = end;
    if (end > size_) size_ = end;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void ByteStream::LoadFromFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw Error(CannotOpenFileMessage(path));
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) throw Error(CannotOpenFileMessage(path));

    ByteStream loaded;
    const auto expected = std::filesystem::file_size(path, ec);
    if (!ec) loaded.Reserve(static_cast<std::size_t>(expected) + 1);
    std::uint8_t chunk[1 << 16];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        loaded.Write(chunk, got);
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get())) throw Error(ReadErrorMessage(path, errno));
    loaded.pos_ = 0;
    *this = std::move(loaded);
}

void ByteStream::SaveToFile(const std::string& path) const {
    WriteWholeFile(path, data_.get(), size_);
}

#ifdef _WIN32

void WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(path, ec) && !fs::is_regular_file(path, ec))
        throw Error(CannotCreateFileMessage(path));

    std::random_device rd;
    const std::string temp = path + ".~" + std::to_string(rd() % 1000000u) + ".tmp";
    FilePtr file(std::fopen(temp.c_str(), "wb"));
    if (!file) throw Error(CannotCreateFileMessage(path));

    bool ok = size == 0 || std::fwrite(data, 1, size, file.get()) == size;
    int err = ok ? 0 : errno;
    if (ok && std::fflush(file.get()) != 0) {
        ok = false;
        err = errno;
    }
    if (std::fclose(file.release()) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        fs::remove(temp, ec);
        throw Error(WriteErrorMessage(path, err));
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw Error(CannotCreateFileMessage(path));
    }
}

#else

namespace {

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
        if (hops == kMaxLinkHops || !ReadLink(p, static_cast<std::size_t>(st.st_size), target))
            return false;
        // A relative link counts from the folder the link stands in. The
        // folder part is kept as written, so that the kernel, not a textual
        // clean-up, decides what ".." in it means.
        const std::size_t slash = p.rfind('/');
        p = target.front() == '/' || slash == std::string::npos ? target
                                                                : p.substr(0, slash + 1) + target;
    }
}

// A file descriptor closed on every way out.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    // Closes now and reports the outcome: 0, or the system's error code.
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        // After EINTR the descriptor is gone on Linux and the data handed
        // over; there is nothing to retry.
        return rc == 0 || errno == EINTR ? 0 : errno;
    }

  private:
    int fd_;
};

// Writes all of `size` bytes; 0, or the system's error code.
int WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const std::size_t chunk = size < (std::size_t{1} << 30) ? size : (std::size_t{1} << 30);
        const ssize_t n = ::write(fd, p, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
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

}  // namespace

void WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
    // A save replaces a file the user could have overwritten in place, and
    // nothing else: links are followed and stay links, devices, folders and
    // pipes are refused before anything is opened (opening a pipe for writing
    // would wait for a reader), and a file the user may not write keeps its
    // bytes even where the folder would allow the rename.
    SaveTarget target;
    if (!ResolveSaveTarget(path, target)) throw Error(CannotCreateFileMessage(path));
    if (target.exists && (!S_ISREG(target.st.st_mode) ||
                          ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0))
        throw Error(CannotCreateFileMessage(path));

    const std::size_t slash = target.path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.path.substr(0, slash + 1);
    const std::string base =
        slash == std::string::npos ? target.path : target.path.substr(slash + 1);
    if (base.empty()) throw Error(CannotCreateFileMessage(path));

    // The temporary file is made exclusively, beside the real target so that
    // the rename stays within one file system. A new file is created with
    // 0666 and the kernel applies the umask (and a folder's default ACL); a
    // replacement starts private and takes the old file's mode below.
    static std::atomic<unsigned> counter{0};
    const mode_t createMode = target.exists ? S_IRUSR | S_IWUSR : 0666;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = dir + "." + base.substr(0, 64) + ".~" + std::to_string(::getpid()) + "-" +
               std::to_string(++counter) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw Error(CannotCreateFileMessage(path));
    Descriptor file(fd);
    const auto discard = [&temp] { ::unlink(temp.c_str()); };

    if (target.exists) {
        KeepOwnerAndGroup(fd, target.st);
        // After fchown, which may clear the set-id bits.
        if (::fchmod(fd, target.st.st_mode & 07777) != 0) {
            discard();
            throw Error(CannotCreateFileMessage(path));
        }
    }

    int err = WriteAll(fd, data, size);
    const int closeErr = file.Close();
    if (err == 0) err = closeErr;
    if (err != 0) {
        discard();
        throw Error(WriteErrorMessage(path, err));
    }
    if (::rename(temp.c_str(), target.path.c_str()) != 0) {
        discard();
        throw Error(CannotCreateFileMessage(path));
    }
}

#endif

}  // namespace eks
