#include "coder/arith/cli/FileIo.h"

#include <cerrno>
#include <cstring>

#include "core/IoText.h"

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#else
#include <unistd.h>

#include <csignal>
#endif

namespace eks::arith {
namespace {

#ifdef _WIN32

// The output's temporary file is marked for deletion while it is open (core/Files), so the
// system removes it however the program ends. Ctrl-C, Ctrl-Break or a closed console end the
// program from a thread of their own: the handler lets that happen only outside the commit,
// so that the end never falls between the mark taken back and the rename.
enum CommitState : int { kIdle, kCommitting, kEnding };
std::atomic<int> g_commit_state{kIdle};

BOOL WINAPI EndOutsideCommit(DWORD) {
    for (int idle = kIdle; !g_commit_state.compare_exchange_weak(idle, kEnding); idle = kIdle) {
        if (idle == kEnding) break;
        ::Sleep(1);
    }
    return FALSE;  // and the system's own handler ends the program
}

void ArmFor(const SafeSave&) {
    static const bool installed = ::SetConsoleCtrlHandler(EndOutsideCommit, TRUE) != 0;
    (void)installed;
}

void Disarm() {}

// Holds off the console's end while the output is put in place.
class CommitWindow {
  public:
    CommitWindow() {
        int idle = kIdle;
        // The program is ending already: it ends here, leaving nothing behind.
        if (!g_commit_state.compare_exchange_strong(idle, kCommitting)) ::Sleep(INFINITE);
    }
    ~CommitWindow() { g_commit_state.store(kIdle); }
};

#else

// The named temporary file of the one OutputFile alive, for the signal handler to remove.
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

// Arms the signal handler with a save's temporary name, or disarms it when there is none.
void ArmFor(const SafeSave& save) {
    g_temp_armed = 0;
    const std::string& temp = save.TempPath();
    if (temp.empty() || temp.size() >= sizeof g_temp_path) return;
    InstallSignalHandlers();
    std::memcpy(g_temp_path, temp.c_str(), temp.size() + 1);
    g_temp_armed = 1;
}

void Disarm() {
    g_temp_armed = 0;
}

// The rename is one call, which a signal does not split.
class CommitWindow {};

#endif

std::string Quote(const std::string& path) {
    return "\u201E" + path + "\u201D";
}

// "what „path”: cause"; a refusal without a system cause is a name that is not a regular file.
[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
    throw FileError(std::string(what) + " " + Quote(path) + ": " +
                    (error == 0 ? "to nie jest zwykły plik" : IoCauseText(error)));
}

}  // namespace

FileSource::FileSource(std::string path) : path_(std::move(path)) {
    switch (file_.Open(path_)) {
        case InputFile::Status::Open:
            return;
        case InputFile::Status::NotRegular:
            Fail("nie można otworzyć pliku wejściowego", path_, 0);
        default:
            Fail("nie można otworzyć pliku wejściowego", path_, file_.ErrorCode());
    }
}

size_t FileSource::Read(uint8_t* dst, size_t size) {
    size_t got = 0;
    while (got < size) {
        const long long n = file_.Read(dst + got, size - got);
        if (n < 0) Fail("błąd odczytu pliku", path_, file_.ErrorCode());
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    bytes_read_ += got;
    return got;
}

void FileSource::Rewind() {
    if (!file_.Rewind()) Fail("nie można ponownie odczytać pliku", path_, file_.ErrorCode());
    bytes_read_ = 0;
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    try {
        save_ = std::make_unique<SafeSave>(path_);
    } catch (const SafeSave::Failure& failure) {
        Fail(failure);
    }
    ArmFor(*save_);
}

OutputFile::~OutputFile() {
    Disarm();
}

void OutputFile::Fail(const SafeSave::Failure& failure) {
    Disarm();
    switch (failure.stage) {
        case SafeSave::Stage::Create:
            arith::Fail("nie można utworzyć pliku wyjściowego", path_, failure.error);
        case SafeSave::Stage::Write:
            arith::Fail("błąd zapisu pliku", path_, failure.error);
        case SafeSave::Stage::Commit:
            break;
    }
    arith::Fail("nie można zapisać pliku wyjściowego", path_, failure.error);
}

void OutputFile::Write(const uint8_t* src, size_t size) {
    try {
        save_->Write(src, size);
    } catch (const SafeSave::Failure& failure) {
        Fail(failure);
    }
}

void OutputFile::Commit() {
    try {
        // The complete file gets its name only here.
        [[maybe_unused]] const CommitWindow window;
        save_->Commit();
    } catch (const SafeSave::Failure& failure) {
        Fail(failure);
    }
    Disarm();
}

}  // namespace eks::arith
