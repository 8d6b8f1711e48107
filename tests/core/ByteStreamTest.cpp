#include "core/ByteStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/Cp1250.h"
#include "core/Error.h"
#include "core/Files.h"
#include "core/TestFiles.h"

namespace eks {
namespace {

TEST(ByteStream, ReadsStopAtTheEndAndWritesGrowWithZeroFilledGaps) {
    ByteStream s;
    s.Write("abc", 3);
    s.Seek(1);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2u);
    EXPECT_EQ(std::string(buf, 2), "bc");
    std::uint8_t b = 0;
    EXPECT_FALSE(s.ReadByte(b));

    s.Seek(5);  // beyond the end: the gap reads as zeros
    s.WriteByte('x');
    ASSERT_EQ(s.Size(), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Data()), 6), std::string("abc\0\0x", 6));

    s.SetSize(2);
    EXPECT_EQ(s.Position(), 2u);
    s.SetSize(4);
    EXPECT_EQ(s.Data()[3], 0);
}

TEST(ByteStream, SaveAndLoadRoundTripAndReplace) {
    TempDir dir;
    ByteStream s;
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    s.Write(bytes.data(), bytes.size());
    s.SaveToFile(dir.File("a.bin"));
    WriteFile(dir.File("b.bin"), "old content that is longer");
    s.SetSize(3);
    s.SaveToFile(dir.File("b.bin"));

    ByteStream loaded;
    loaded.LoadFromFile(dir.File("a.bin"));
    EXPECT_EQ(loaded.Position(), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(loaded.Data()), loaded.Size()), bytes);
    EXPECT_EQ(ReadFile(dir.File("b.bin")), bytes.substr(0, 3));

    // Reads end at the size the file had when it was opened, however it
    // grows meanwhile.
    InputFile growing(dir.File("b.bin"));
    std::ofstream(dir.File("b.bin"), std::ios::app) << "and more";
    char buf[64];
    long long total = 0;
    for (long long n; (n = growing.Read(buf, sizeof buf)) > 0;)
        total += n;
    EXPECT_EQ(total, 3);
}

TEST(ByteStream, FailuresCarryTheUserTextsAndKeepTheContent) {
    TempDir dir;
    ByteStream s;
    s.Write("keep", 4);
    const std::string missing = dir.File("missing.pgm");
    try {
        s.LoadFromFile(missing);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
    }
    EXPECT_THROW(s.LoadFromFile(dir.Dir()), Error);
    EXPECT_EQ(s.Size(), 4u);

    const std::string uncreatable = dir.File("no-such-dir/out.ybq");
    try {
        s.SaveToFile(uncreatable);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + uncreatable);
    }
    // A failed save leaves nothing behind, not even a temporary file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()), {}), 0);
}

TEST(Cp1250, EveryDefinedByteSurvivesARoundTripThroughUtf8) {
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        if (Cp1250ToUnicode(static_cast<std::uint8_t>(b)) == 0) continue;
        EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(byte)), byte) << b;
    }
    EXPECT_EQ(Utf8ToCp1250("pasaż ×ąęł"), "pasa\xBF \xD7\xB9\xEA\xB3");
    EXPECT_EQ(Utf8ToCp1250("€ 日 \xFF"), "\x80 ? ?");
    EXPECT_EQ(Utf8ToCp1250("\xC5"), "?");  // a sequence cut short
}

}  // namespace
}  // namespace eks
