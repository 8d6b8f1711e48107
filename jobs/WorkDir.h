#pragma once

// Where a window keeps its working files ("tmp1x.dat" ...): its application
// directory while it holds that directory's lock, else a private folder in
// the system's temporary folder, removed when the window ends. Without
// either nothing may be coded, and the reason says why.

#include <memory>
#include <string>

#include "core/Files.h"

namespace eks {

class WindowWorkDir {
  public:
    enum class Choice {
        Own,      // the application directory, under its lock
        Private,  // a private folder; `Text()` says why
        None,     // neither; `Text()` says why
    };

    // Sweeps what killed windows and series left in `tempRoot`, then takes
    // the lock of `appDir` (which ends in a separator) or makes a private
    // folder in `tempRoot`.
    Choice Choose(const std::string& appDir, const std::string& tempRoot);

    // The folder of the working files; empty when there is none.
    const std::string& Path() const { return path_; }
    // With a private folder, the notice told once at start; with none, the
    // reason that nothing can be coded.
    const std::string& Text() const { return text_; }
    // Throws the reason when there is no working folder.
    void Require() const;
    // Deletes this window's working files (never another window's), then
    // lets the folder and the lock go.
    void Release();

  private:
    FileLock lock_;
    std::unique_ptr<WorkFolder> private_;
    std::string path_;
    std::string text_;
};

}  // namespace eks
