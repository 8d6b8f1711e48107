#include "coder/arith/cli/FileIo.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "core/IoText.h"

namespace eks::arith {
namespace {

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
    g_temp_armed = 0;
}

void OutputFile::Fail(const SafeSave::Failure& failure) {
    g_temp_armed = 0;
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
        // The complete file gets a name only here, where it has none until now.
        save_->Commit();
    } catch (const SafeSave::Failure& failure) {
        Fail(failure);
    }
    g_temp_armed = 0;
}

}  // namespace eks::arith
