#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "coder/arith/cli/Cli.h"
#include "tests/coder/arith/ArithPrograms.h"

namespace eks::arith {
namespace {

TEST_F(ArithPrograms, RoundTripAsTheWorkbenchCallsThem) {
    const Bytes bits = SampleBits();
    Write("tmp1x.dat", bits);
    ASSERT_EQ(Run(arith_, "tmp1x.dat tmp2x.dat -o 3"), 0) << err_;
    EXPECT_EQ(err_, "");
    EXPECT_EQ(out_, "");  // standard output is not a terminal here
    fs::copy_file(dir_ / "tmp2x.dat", dir_ / "tmp3x.dat");
    ASSERT_EQ(Run(earith_, "tmp3x.dat tmp4x.dat -o 3"), 0) << err_;
    EXPECT_EQ(err_, "");
    EXPECT_EQ(Read("tmp4x.dat"), Read("tmp1x.dat"));
    ExpectOnly({"tmp1x.dat", "tmp2x.dat", "tmp3x.dat", "tmp4x.dat"});

    // Order 0 is given by leaving the option out.
    ASSERT_EQ(Run(arith_, "tmp1x.dat tmp2x.dat"), 0) << err_;
    ASSERT_EQ(Run(earith_, "tmp2x.dat tmp5x.dat"), 0) << err_;
    EXPECT_EQ(Read("tmp5x.dat"), Read("tmp1x.dat"));
}

TEST_F(ArithPrograms, DecoderUsesTheRecordedOrderAndWarnsAboutAnother) {
    Write("in", SampleBits());
    ASSERT_EQ(Run(arith_, "in packed -o 5"), 0);
    ASSERT_EQ(Run(earith_, "packed out -o 2"), 0);
    EXPECT_NE(err_.find("uwaga"), std::string::npos) << err_;
    EXPECT_NE(err_.find("5"), std::string::npos) << err_;
    EXPECT_EQ(Read("out"), Read("in"));
    ASSERT_EQ(Run(earith_, "packed out2"), 0);
    EXPECT_EQ(err_, "");
    EXPECT_EQ(Read("out2"), Read("in"));
}

TEST_F(ArithPrograms, WrongArgumentsGiveUsageAndStatusTwo) {
    Write("in", {1, 0, 1});
    for (const std::string& exe : {arith_, earith_}) {
        for (const char* params :
             {"", "in", "in out extra", "in out -o", "in out -o 16", "in out -o -1", "in out -o x",
              "in out -o 3 -o 3", "in out -x", "in out -o 3x"}) {
            EXPECT_EQ(Run(exe, params), 2) << exe << " " << params;
            EXPECT_NE(err_.find("Użycie"), std::string::npos) << params;
        }
    }
    ExpectOnly({"in"});
}

TEST_F(ArithPrograms, MissingInputOrUnwritableOutputGiveStatusOne) {
    EXPECT_EQ(Run(arith_, "nothing.dat out.dat -o 2"), 1);
    EXPECT_NE(err_.find("nothing.dat"), std::string::npos) << err_;
    EXPECT_EQ(Run(earith_, "nothing.dat out.dat"), 1);
    EXPECT_NE(err_.find("nothing.dat"), std::string::npos) << err_;
    Write("in", {0, 1});
    EXPECT_EQ(Run(arith_, "in no/such/dir/out.dat"), 1);
    EXPECT_NE(err_.find("no/such/dir/out.dat"), std::string::npos) << err_;
    fs::create_directory(dir_ / "sub");
    EXPECT_EQ(Run(arith_, "sub out"), 1);  // a directory is not a readable file
    ExpectOnly({"in", "sub"});
}

// The causes come from the one table of errno texts that the window uses too.
TEST_F(ArithPrograms, FileErrorsNameTheirCause) {
    Write("in", {0, 1});
    EXPECT_EQ(Run(arith_, "nothing.dat out.dat"), 1);
    EXPECT_EQ(err_,
              "arith-n.exe: nie można otworzyć pliku wejściowego \u201Enothing.dat\u201D: nie ma "
              "takiego pliku ani katalogu\n");
    EXPECT_EQ(Run(arith_, "in in/out.dat"), 1);
#ifdef _WIN32
    // Windows does not tell a file on the way from a missing folder.
    const char* cause = "\u201Ein/out.dat\u201D: nie ma takiego pliku ani katalogu";
#else
    const char* cause = "\u201Ein/out.dat\u201D: składnik ścieżki nie jest katalogiem";
#endif
    EXPECT_NE(err_.find(cause), std::string::npos) << err_;
    ExpectOnly({"in"});
}

// A stream of another format version is refused under that name, not as a damaged file.
TEST_F(ArithPrograms, UnknownFormatVersionIsNamed) {
    Write("in", SampleBits());
    ASSERT_EQ(Run(arith_, "in packed -o 4"), 0);
    std::string packed = Read("packed");
    packed[4] = 7;
    Write("later", Bytes(packed.begin(), packed.end()));
    EXPECT_EQ(Run(earith_, "later out -o 4"), 1);
    EXPECT_EQ(err_,
              "earith-n.exe: pliku \u201Elater\u201D nie można odtworzyć: nieznana wersja formatu "
              "7\n");
    ExpectOnly({"in", "packed", "later"});
}

TEST_F(ArithPrograms, CorruptInputLeavesNoOutputAndKeepsAnOldOne) {
    Write("in", SampleBits());
    ASSERT_EQ(Run(arith_, "in packed -o 4"), 0);
    std::string packed = Read("packed");
    packed[packed.size() / 2] ^= 0x10;
    Write("bad", Bytes(packed.begin(), packed.end()));
    Write("truncated", Bytes(packed.begin(), packed.begin() + 30));
    Write("garbage", Bytes(1000, 0x41));

    for (const char* input : {"bad", "truncated", "garbage", "in"}) {
        EXPECT_EQ(Run(earith_, std::string(input) + " new.dat -o 4"), 1) << input;
        EXPECT_NE(err_.find(input), std::string::npos) << err_;
        EXPECT_FALSE(Exists("new.dat"));
    }
    // An existing output stays as it was after a failure and is replaced after a success.
    Write("old.dat", {'o', 'l', 'd'});
    EXPECT_EQ(Run(earith_, "bad old.dat"), 1);
    EXPECT_EQ(Read("old.dat"), "old");
    EXPECT_EQ(Run(earith_, "packed old.dat"), 0);
    EXPECT_EQ(Read("old.dat"), Read("in"));
    ExpectOnly({"in", "packed", "bad", "truncated", "garbage", "old.dat"});
}

TEST(ArithCliSummary, OneLineWithSizesRateOrderAndTime) {
    const fs::path dir =
        fs::temp_directory_path() / ("arith_sum_" + std::to_string(TempDir::ProcessId()));
    fs::create_directories(dir);
    {
        std::ofstream f(dir / "in", std::ios::binary);
        for (int i = 0; i < 8000; ++i)
            f.put(static_cast<char>(i % 5 == 0));
    }
    std::ostringstream err, out;
    const std::string in = (dir / "in").string(), packed = (dir / "packed").string();
    ASSERT_EQ(RunCompressor({in, packed, "-o", "3"}, err, &out), 0) << err.str();
    const std::string line = out.str();
    EXPECT_NE(line.find("8000 B"), std::string::npos) << line;
    EXPECT_NE(line.find("rząd 3"), std::string::npos) << line;
    EXPECT_NE(line.find("bit/B"), std::string::npos) << line;
    EXPECT_NE(line.find(" s\n"), std::string::npos) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    std::ostringstream out2;
    ASSERT_EQ(RunDecompressor({packed, (dir / "out").string()}, err, &out2), 0) << err.str();
    EXPECT_NE(out2.str().find("rząd 3"), std::string::npos) << out2.str();
    fs::remove_all(dir);
}

TEST(ArithCliArgs, AcceptsTheOptionAnywhere) {
    auto a = ParseCliArgs({"-o", "9", "x", "y"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->input, "x");
    EXPECT_EQ(a->output, "y");
    EXPECT_EQ(a->order, 9);
    EXPECT_TRUE(a->order_given);
    auto b = ParseCliArgs({"x", "y"});
    ASSERT_TRUE(b);
    EXPECT_EQ(b->order, 0);
    EXPECT_FALSE(b->order_given);
    EXPECT_TRUE(ParseCliArgs({"x", "y", "-o", "15"}));
    EXPECT_FALSE(ParseCliArgs({"x", "", "-o", "1"}));
}

}  // namespace
}  // namespace eks::arith
