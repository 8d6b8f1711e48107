#pragma once
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// A fresh directory under the system's temporary directory, removed with all
// its content at the end of the test.
class TempDir {
  public:
    static int ProcessId() {
#ifdef _WIN32
        return ::_getpid();
#else
        return static_cast<int>(::getpid());
#endif
    }

    TempDir() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("eks-test-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // The directory with a trailing separator, as the window's AppDir.
    std::string Dir() const {
        return path_.string() + "/";
    }
    std::string File(const std::string& name) const {
        return (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
