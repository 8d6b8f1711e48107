#include "jobs/WorkDir.h"

#include "coder/Runner.h"
#include "core/Error.h"
#include "core/IoText.h"
#include "core/Paths.h"

namespace eks {

WindowWorkDir::Choice WindowWorkDir::Choose(const std::string& appDir,
                                            const std::string& tempRoot) {
    Release();
    // What killed windows and series left behind; running ones hold their
    // folders' locks and keep them.
    for (const char* prefix : {kWindowFolderPrefix, kSeriesFolderPrefix})
        SweepWorkFolders(tempRoot, prefix);
    const FileLock::Result lock = lock_.TryTake(appDir + kWorkLockFile, ThisProcessText());
    if (lock == FileLock::Result::Taken) {
        path_ = appDir;
        return Choice::Own;
    }
    // Without the lock, "tmp1x.dat" there may be another window's: this
    // window's files go to a folder of its own.
    const std::string why = lock == FileLock::Result::Held
                                ? "pracuje już w nim inne okno programu (" + lock_.Holder() + ")"
                                : LockProblemText(lock, lock_);
    private_ = std::make_unique<WorkFolder>();
    if (!private_->Make(tempRoot, kWindowFolderPrefix)) {
        text_ = "Okno nie może pracować w katalogu " + appDir + ": " + why +
                ". Nie można też utworzyć własnego katalogu roboczego w " + tempRoot + " (" +
                IoCauseText(private_->ErrorCode()) + ") - kodowanie i dekodowanie nie są możliwe";
        private_.reset();
        return Choice::None;
    }
    path_ = private_->Path();
    text_ = "Okno nie pracuje w katalogu " + appDir + ": " + why +
            ".\r\n\r\nTo okno zapisuje swoje pliki robocze w katalogu " + path_ +
            ", usuwanym przy zakończeniu.";
    return Choice::Private;
}

void WindowWorkDir::Require() const {
    if (path_.empty()) throw Error(text_.empty() ? std::string("Brak katalogu roboczego") : text_);
}

void WindowWorkDir::Release() {
    if (!path_.empty()) DeleteTempFiles(path_, {std::begin(kTempFiles), std::end(kTempFiles)});
    path_.clear();
    text_.clear();
    private_.reset();
    lock_.Release();
}

}  // namespace eks
