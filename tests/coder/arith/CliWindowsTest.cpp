// What only Windows has: names beyond the code page, devices by name, read-only files and a
// program ended from outside while its output is open.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/coder/arith/ArithPrograms.h"

namespace eks::arith {
namespace {

// The outputs a program must refuse before it codes anything: the decoder gets a damaged
// stream, so a refusal that came only after decoding would name the damage instead.
TEST_F(ArithPrograms, NamesAreUtf8AndDevicesFoldersAndReadOnlyFilesAreRefusedFirst) {
    Write("wej_żółw.dat", SampleBits());
    ASSERT_EQ(Run(arith_, "wej_żółw.dat wyj_żółw.arn -o 4"), 0) << err_;
    ASSERT_EQ(Run(earith_, "wyj_żółw.arn odtw_żółw.dat"), 0) << err_;
    EXPECT_EQ(Read("odtw_żółw.dat"), Read("wej_żółw.dat"));
    ExpectOnly({"wej_żółw.dat", "wyj_żółw.arn", "odtw_żółw.dat"});
    EXPECT_EQ(Run(arith_, "brak_łódź.dat x"), 1);
    EXPECT_NE(err_.find("\u201Ebrak_łódź.dat\u201D: nie ma takiego pliku"), std::string::npos)
        << err_;

    Write("damaged", Bytes(1000, 0x41));
    Write("readonly.dat", {'k', 'e', 'e', 'p'});
    fs::permissions(dir_ / "readonly.dat",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directory(dir_ / "folder");
    const struct {
        const char* output;
        const char* cause;
    } refused[] = {
        {"NUL", "to nie jest zwykły plik"},
        {"con", "to nie jest zwykły plik"},
        {"nul.arn", "to nie jest zwykły plik"},
        {"COM1", "to nie jest zwykły plik"},
        {"\\\\.\\pipe\\eksperymenty-test", "to nie jest zwykły plik"},
        {"folder", "to jest katalog"},
        {"readonly.dat", "brak dostępu"},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(Run(earith_, std::string("damaged ") + c.output), 1) << c.output;
        EXPECT_EQ(err_, std::string("earith-n.exe: nie można utworzyć pliku wyjściowego \u201E") +
                            c.output + "\u201D: " + c.cause + "\n")
            << c.output;
    }
    EXPECT_EQ(Read("readonly.dat"), "keep");
    EXPECT_EQ(fs::status(dir_ / "readonly.dat").permissions() & fs::perms::owner_write,
              fs::perms::none);
    fs::permissions(dir_ / "readonly.dat", fs::perms::owner_write, fs::perm_options::add);
    ExpectOnly(
        {"wej_żółw.dat", "wyj_żółw.arn", "odtw_żółw.dat", "damaged", "readonly.dat", "folder"});
}

// A coder ended from outside (as the workbench ends one that overruns its time) leaves no
// file behind: its unfinished output is marked for deletion while it is open.
TEST_F(ArithPrograms, ACoderEndedFromOutsideLeavesNoFileBehind) {
    Write("in", Bytes(64u << 20, 1));
    std::wstring line = L"\"" + FsPath(arith_).wstring() + L"\" in out.dat -o 2";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 dir_.wstring().c_str(), &startup, &process));
    // Ended once its output is open: a temporary name beside the input.
    bool writing = false;
    for (int i = 0; i < 5000 && !writing; ++i) {
        for (const auto& e : fs::directory_iterator(dir_))
            writing = writing || Utf8String(e.path().filename()).rfind(".out.dat.~", 0) == 0;
        if (!writing) ::Sleep(1);
    }
    EXPECT_TRUE(writing);
    ::TerminateProcess(process.hProcess, 9);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ExpectOnly({"in"});
}

}  // namespace
}  // namespace eks::arith
