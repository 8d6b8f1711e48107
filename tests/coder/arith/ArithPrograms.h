// The coder programs run as the workbench runs them: in a folder of their own, with their
// standard output and error caught in files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/Files.h"
#include "tests/core/TestFiles.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace eks::arith {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A program of the build as a full path of this system (Wine's drive letter included).
inline std::string ProgramPath(const char* built) {
    return Utf8String(fs::absolute(FsPath(built)).make_preferred());
}

class ArithPrograms : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("arith_cli_" + std::to_string(TempDir::ProcessId()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    // Runs a program (a UTF-8 command line) in the test directory as the workbench does;
    // returns its exit status.
    int Run(const std::string& exe, const std::string& params) {
        const std::string dir = Utf8String(dir_);
#ifdef _WIN32
        const std::string cmd =
            "cd /d \"" + dir + "\" && \"" + exe + "\" " + params + " >stdout.txt 2>stderr.txt";
        const int status = ::_wsystem(FsPath(cmd).c_str());
#else
        const std::string cmd =
            "cd '" + dir + "' && '" + exe + "' " + params + " >stdout.txt 2>stderr.txt";
        const int raw = std::system(cmd.c_str());
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
        err_ = Read("stderr.txt");
        out_ = Read("stdout.txt");
        fs::remove(dir_ / "stderr.txt");
        fs::remove(dir_ / "stdout.txt");
        return status;
    }

    void Write(const std::string& name, const Bytes& data) {
        std::ofstream f(dir_ / FsPath(name), std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
    }
    std::string Read(const std::string& name) {
        std::ifstream f(dir_ / FsPath(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
    bool Exists(const std::string& name) {
        return fs::exists(dir_ / FsPath(name));
    }

    // Only the given names remain in the directory: no temporary file was left behind.
    void ExpectOnly(std::vector<std::string> names) {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(dir_))
            found.push_back(Utf8String(e.path().filename()));
        std::sort(found.begin(), found.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(found, names);
    }

    static Bytes SampleBits() {
        Bytes bits;
        for (int i = 0; i < 40000; ++i)
            bits.push_back(static_cast<uint8_t>((i / 3 + i / 17) % 2));
        return bits;
    }

    const std::string arith_ = ProgramPath(ARITH_N_EXE);
    const std::string earith_ = ProgramPath(EARITH_N_EXE);
    fs::path dir_;
    std::string err_, out_;
};

}  // namespace eks::arith
