#include "core/Container.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/Error.h"
#include "core/Paths.h"
#include "core/TestFiles.h"

namespace eks {
namespace {

TEST(ContainerName, CutsTheBaseAtTheFirstDotOfTheFileName) {
    EXPECT_EQ(ContainerName("/home/u/obraz.pgm", false, 3), "obraz_P3.ybq");
    EXPECT_EQ(ContainerName("/home/u/obraz.pgm", true, 3), "obraz_B3.ybq");
    EXPECT_EQ(ContainerName("/dane/skan.stary.pgm", true, 9), "skan_B9.ybq");
    EXPECT_EQ(ContainerName("/a.b/c.d/zdjęcie.PGM", false, 1), "zdjęcie_P1.ybq");
#ifdef _WIN32
    EXPECT_EQ(ContainerPath("C:\\prog\\", "obraz_P3.ybq"), "C:\\prog\\\\wyniki\\obraz_P3.ybq");
#else
    EXPECT_EQ(ContainerPath("/prog/", "obraz_P3.ybq"), "/prog//wyniki/obraz_P3.ybq");
#endif
}

TEST(ContainerHeader, WorkedExampleBytes) {
    ByteStream payload;
    payload.Write("xyz", 3);
    ByteStream plane = MakeContainer(512, 512, ContainerModeByte(3, false), payload);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(plane.Data()), plane.Size()),
              std::string("\x00\x02\x00\x02\x13xyz", 8));
    EXPECT_EQ(MakeContainer(512, 512, ContainerModeByte(3, true), payload).Data()[4], 0x03);
}

class ContainerFiles : public testing::Test {
  protected:
    void SetUp() override {
        st.AppDir = dir.Dir();
        std::filesystem::create_directory(ResultsDirPath(st.AppDir));
    }
    // The container of the coder's output "tmp2x.dat" for a 512 × 512 image.
    std::optional<std::int64_t> Write(const std::string& name, bool pixelMajor,
                                      std::uint8_t order) {
        return WriteContainerFile(st.AppDir + kCoderOutput, ContainerPath(st.AppDir, name),
                                  {512, 512, ContainerModeByte(order, pixelMajor)});
    }
    // Loads a container and applies its header to the state, as a decode does.
    ContainerHeader Read(ExperimentState& state) {
        ByteStream file;
        file.LoadFromFile(state.CurrentPath);
        const ContainerHeader header = ParseContainerHeader(file, state.CurrentPath);
        state.ContainerStream = std::move(file);
        state.ContainerStream.Seek(kContainerHeaderSize);
        ApplyContainerHeader(state, header,
                             static_cast<std::int64_t>(state.ContainerStream.Size()));
        return header;
    }
    TempDir dir;
    ExperimentState st;
};

TEST_F(ContainerFiles, WriteThenReadBackEveryHeaderField) {
    WriteFile(dir.File("tmp2x.dat"), std::string(10000, 'c'));
    EXPECT_EQ(Write("obraz_P3.ybq", false, 3), 10005);

    ExperimentState rd;
    rd.CurrentPath = dir.File("wyniki/obraz_P3.ybq");
    const ContainerHeader header = Read(rd);
    EXPECT_EQ(rd.ImageWidth, 512);
    EXPECT_EQ(rd.ImageHeight, 512);
    EXPECT_EQ(header.mode, 19);
    EXPECT_TRUE(ModeIsPlaneMajor(header.mode));
    EXPECT_EQ(rd.Item.SizeBefore, 10005);
    EXPECT_EQ(rd.Item.ResultWidth, 512);
    EXPECT_EQ(rd.Item.ResultHeight, 512);
    EXPECT_EQ(rd.Item.ResultOrder, 3);
    EXPECT_EQ(rd.Item.OpCode, 'D');
    EXPECT_EQ(rd.ContainerStream.Position(), 5u);
    EXPECT_EQ(rd.ContainerStream.Size(), 10005u);
}

TEST_F(ContainerFiles, EmptyCoderOutputWritesNothing) {
    WriteFile(dir.File("tmp2x.dat"), "");
    EXPECT_EQ(Write("obraz_B2.ybq", true, 2), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(dir.File("wyniki/obraz_B2.ybq")));
}

TEST_F(ContainerFiles, FailuresNameTheFileAndLeaveNoContainer) {
    try {
        Write("a_P1.ybq", false, 1);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + st.AppDir + "tmp2x.dat");
    }
    WriteFile(dir.File("tmp2x.dat"), "abc");
    std::filesystem::remove(ResultsDirPath(st.AppDir));
    try {
        Write("a_P1.ybq", false, 1);
        FAIL();
    } catch (const Error& e) {
#ifdef _WIN32
        const std::string path = st.AppDir + "\\wyniki\\a_P1.ybq";
#else
        const std::string path = st.AppDir + "/wyniki/a_P1.ybq";
#endif
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + path);
    }
}

TEST_F(ContainerFiles, ReaderTakesAnyModeAndRejectsFilesShorterThanTheHeader) {
    st.CurrentPath = dir.File("x.ybq");
    WriteFile(st.CurrentPath, std::string("\x05\x00\x03\x00\x20", 5));
    EXPECT_TRUE(ModeIsPlaneMajor(Read(st).mode));
    EXPECT_EQ(st.Item.ResultOrder, 0);
    EXPECT_EQ(st.ContainerStream.Remaining(), 0u);

    WriteFile(st.CurrentPath, std::string("\x05\x00\x03\x00\x0C", 5));
    EXPECT_FALSE(ModeIsPlaneMajor(Read(st).mode));
    EXPECT_EQ(st.Item.ResultOrder, 12);

    WriteFile(st.CurrentPath, std::string("\x01\x01\x01\x01", 4));
    try {
        Read(st);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), ShortContainerMessage(st.CurrentPath));
    }
    EXPECT_EQ(st.ImageWidth, 5);  // the state is left as it was
    EXPECT_EQ(st.ContainerStream.Size(), 5u);
    st.CurrentPath = dir.File("brak.ybq");
    EXPECT_THROW(Read(st), Error);
}

}  // namespace
}  // namespace eks
