#include "coder/arith/cli/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/IoText.h"

namespace eks::arith {
namespace {

// The temporary file of the one AtomicFileSink alive, for the signal handler to remove.
char g_temp_path[4096];
volatile std::sig_atomic_t g_temp_armed = 0;

extern "C" void RemoveTempAndDie(int sig) {
    if (g_temp_armed) unlink(g_temp_path);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void InstallSignalHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction sa {};
        sa.sa_handler = RemoveTempAndDie;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
}

std::string Quote(const std::string& path) {
    return "\u201E" + path + "\u201D";
}

// "what „path”: cause". Nothing that may touch errno runs before `error` has been read.
[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
    throw FileError(std::string(what) + " " + Quote(path) + ": " + IoCauseText(error));
}

}  // namespace

FileSource::FileSource(std::string path) : path_(std::move(path)) {
    fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) Fail("nie można otworzyć pliku wejściowego", path_, errno);
}

FileSource::~FileSource() {
    if (fd_ >= 0) close(fd_);
}

size_t FileSource::Read(uint8_t* dst, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd_, dst + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("błąd odczytu pliku", path_, errno);
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    bytes_read_ += got;
    return got;
}

void FileSource::Rewind() {
    if (lseek(fd_, 0, SEEK_SET) != 0) Fail("nie można ponownie odczytać pliku", path_, errno);
    bytes_read_ = 0;
}

AtomicFileSink::AtomicFileSink(std::string path) : path_(std::move(path)) {
    const size_t slash = path_.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::vector<char> name(dir.begin(), dir.end());
    const std::string suffix = "." + base + ".XXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    if (base.empty() || name.size() > sizeof g_temp_path) {
        Fail("nie można utworzyć pliku wyjściowego", path_, base.empty() ? EISDIR : ENAMETOOLONG);
    }
    InstallSignalHandlers();
    g_temp_armed = 0;
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) Fail("nie można utworzyć pliku wyjściowego", path_, errno);
    temp_path_ = name.data();
    std::memcpy(g_temp_path, name.data(), name.size());
    g_temp_armed = 1;
}

AtomicFileSink::~AtomicFileSink() {
    if (!committed_) Discard();
}

void AtomicFileSink::Discard() {
    g_temp_armed = 0;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temp_path_.empty()) unlink(temp_path_.c_str());
}

void AtomicFileSink::Write(const uint8_t* src, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd_, src, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("błąd zapisu pliku", path_, errno);
        }
        src += n;
        size -= static_cast<size_t>(n);
        bytes_written_ += static_cast<uint64_t>(n);
    }
}

void AtomicFileSink::Commit() {
    // The temporary file was created with mode 0600; the output gets the usual 0666 less
    // the umask, as a plainly created file would.
    const mode_t mask = umask(0);
    umask(mask);
    int error = 0;
    if (fchmod(fd_, 0666 & ~mask) != 0) error = errno;
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temp_path_.c_str(), path_.c_str()) != 0) error = errno;
    if (error != 0) {
        Discard();
        Fail("nie można zapisać pliku wyjściowego", path_, error);
    }
    g_temp_armed = 0;
    committed_ = true;
}

}  // namespace eks::arith
