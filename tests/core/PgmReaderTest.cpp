#include "core/PgmReader.h"

#include <gtest/gtest.h>

#include <cctype>

#include "core/Error.h"
#include "core/TestFiles.h"

namespace eks {
namespace {

void Load(ExperimentState& st, const std::string& bytes) {
    auto file = std::make_shared<ByteStream>();
    file->Write(bytes.data(), bytes.size());
    st.SourceStream = file;
}

std::string ScanError(const std::string& bytes) {
    ExperimentState st;
    Load(st, bytes);
    try {
        ScanPgmHeader(st);
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

struct HeaderCase {
    const char* remark;
    std::string bytes;
    int width, height, offset;
};

class PgmHeaderExamples : public testing::TestWithParam<HeaderCase> {};

TEST_P(PgmHeaderExamples, GiveSizeAndRasterOffset) {
    const HeaderCase& c = GetParam();
    ExperimentState st;
    Load(st, c.bytes + "\x01\x02\x03\x04\x05\x06\x07\x08");
    ScanPgmHeader(st);
    EXPECT_EQ(st.ImageWidth, c.width);
    EXPECT_EQ(st.ImageHeight, c.height);
    EXPECT_EQ(st.Item.ResultWidth, c.width);
    EXPECT_EQ(st.Item.ResultHeight, c.height);
    EXPECT_EQ(st.PixelDataOffset, c.offset);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PgmHeaderExamples,
    testing::Values(HeaderCase{"one comment", "P5\n# c\n4 2\n255\n", 4, 2, 15},
                    HeaderCase{"CR LF", "P5\r\n4 2\r\n255\r\n", 4, 2, 14},
                    HeaderCase{"raster starts with 10", "P5\n4 2\n255\n\n\x14", 4, 2, 11},
                    HeaderCase{"separate lines", "P5\n4\n2\n255\n", 4, 2, 11},
                    HeaderCase{"letter separator", "P5\n4x2\n255\n", 4, 2, 11},
                    HeaderCase{"comments and empty line", "P5\n#a\n#b\n\n4 2\n255\n", 4, 2, 18},
                    HeaderCase{"maximum on size line", "P5\n4 2 255\n", 4, 2, 6},
                    HeaderCase{"comment after size", "P5\n4 2\n# c\n255\n", 4, 2, 7},
                    HeaderCase{"maximum ended by space", "P5\n4 2\n255 ", 4, 2, 10},
                    HeaderCase{"text magic", "P2\n4 2\n255\n", 4, 2, 11},
                    HeaderCase{"largest sides", "P5\n65535 65535\n255\n", 65535, 65535, 19},
                    HeaderCase{"lone CR before raster", "P5\n4 2\n255\r", 4, 2, 11},
                    HeaderCase{"maximum after empty lines", "P5\n4 2\n\n\n7", 4, 2, 10}),
    [](const testing::TestParamInfo<HeaderCase>& info) {
        std::string name;
        for (const char* p = info.param.remark; *p; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
        return name;
    });

TEST(PgmHeader, BadNumbersGiveTheIntegerConversionText) {
    EXPECT_EQ(ScanError("P5\n 4 2\n255\n"), "'' is not a valid integer value");
    EXPECT_EQ(ScanError("P5\n2147483648 2\n255\n"), "'2147483648' is not a valid integer value");
    // A side the container cannot hold is refused, not wrapped to 16 bits.
    EXPECT_EQ(ScanError("P5\n1 100000\n255\n"),
              "Obraz 1×100000 jest za duży: szerokość i wysokość mogą mieć najwyżej 65535 pikseli");
    EXPECT_EQ(ScanError("P5\n70000 2\n255\n"),
              "Obraz 70000×2 jest za duży: szerokość i wysokość mogą mieć najwyżej 65535 pikseli");

    // After a bad height the width already holds the new value.
    ExperimentState st;
    Load(st, "P5\n77 99999999999\n255\n");
    EXPECT_THROW(ScanPgmHeader(st), Error);
    EXPECT_EQ(st.ImageWidth, 77);
    EXPECT_EQ(st.Item.ResultWidth, 77);
    EXPECT_EQ(st.ImageHeight, 200);
}

TEST(PgmHeader, EveryCutInsideTheHeaderFailsWithoutReadingPastTheEnd) {
    const std::string header = "P5\n#a\n4 2\n255\r\n";
    for (std::size_t len = 0; len < header.size() - 1; ++len) {
        SCOPED_TRACE(len);
        EXPECT_EQ(ScanError(header.substr(0, len)), TruncatedPgmHeaderMessage(""));
    }
    // A lone CR at the very end still ends the header; the raster is empty.
    EXPECT_EQ(ScanError(header.substr(0, header.size() - 1)), "no error");
}

TEST(PgmHeader, LineBreaksAreOnlyCrAndLf) {
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(IsLineBreak(static_cast<std::uint8_t>(b)), b == 10 || b == 13) << b;
    EXPECT_TRUE(IsNotLineBreak(' '));
    EXPECT_TRUE(IsNotLineBreak('\t'));
}

}  // namespace
}  // namespace eks
