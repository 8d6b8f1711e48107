#include "results/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "results/ResultRow.h"

namespace eks {
namespace {

TEST(NumberFormat, ThousandsForm) {
    EXPECT_EQ(FormatThousands(65536, ","), "65,536");
    EXPECT_EQ(FormatThousands(999, ","), "999");
    EXPECT_EQ(FormatThousands(0, ","), "0");
    EXPECT_EQ(FormatThousands(1000000, ","), "1,000,000");
    EXPECT_EQ(FormatThousands(-1234, ","), "-1,234");
    EXPECT_EQ(FormatThousands(65536, " "), "65 536");
    EXPECT_EQ(FormatThousands(INT64_MIN, ","), "-9,223,372,036,854,775,808");
}

TEST(NumberFormat, FixedFormRoundsOnceAndShowsThreeDecimals) {
    EXPECT_EQ(FormatFixed(8.0018310546875, 8, "."), "8.002");
    EXPECT_EQ(FormatFixed(8, 8, "."), "8.000");
    EXPECT_EQ(FormatFixed(3.66271, 8, "."), "3.663");
    EXPECT_EQ(FormatFixed(123.4567, 5, "."), "123.460");
    EXPECT_EQ(FormatFixed(4.88342, 5, "."), "4.883");
    EXPECT_EQ(FormatFixed(8.0018310546875, 8, ","), "8,002");
    EXPECT_EQ(FormatFixed(0, 8, "."), "0.000");
    EXPECT_EQ(FormatFixed(0.0004, 8, "."), "0.000");
    EXPECT_EQ(FormatFixed(0.5, 8, "."), "0.500");
    // A half is rounded away from zero: 5 bytes × 8 / 640 pixels.
    EXPECT_EQ(FormatFixed(0.0625, 8, "."), "0.063");
    EXPECT_EQ(FormatFixed(9.9996, 8, "."), "10.000");
    EXPECT_EQ(FormatFixed(12345.678, 5, "."), "12346.000");
    EXPECT_EQ(FormatFixed(-2.5, 8, "."), "-2.500");
}

TEST(NumberFormat, FixedFormTurnsScientificBeyondThePrecision) {
    EXPECT_EQ(FormatFixed(524408, 5, "."), "5.2441E+005");
    EXPECT_EQ(FormatFixed(99999.9996, 5, ","), "1,0000E+005");
    EXPECT_EQ(FormatFixed(17179869176.0, 8, "."), "1.7179869E+010");
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::infinity(), 8, "."), "");
    EXPECT_EQ(FormatFixed(std::nan(""), 8, "."), "");
}

TItemRec EncodeExample() {
    TItemRec item;
    item.CurrentName = "obraz.pgm";
    item.SizeBefore = 65551;
    item.SizeAfter = 30005;
    item.ResultWidth = 256;
    item.ResultHeight = 256;
    item.OpCode = 'P';
    item.ResultOrder = 3;
    return item;
}

TEST(ResultRow, EncodeAndDecodeRowsOfTheWorkedExample) {
    EXPECT_EQ(MakeResultRow(EncodeExample(), 1, {",", "."}),
              (ResultRow{"1", "obraz.pgm", "P/3", "65,536", "8.002", "3.663", "65,551", "30,005"}));

    TItemRec decode = EncodeExample();
    decode.CurrentName = "obraz_P3.ybq";
    decode.OpCode = 'D';
    decode.SizeBefore = 30005;
    decode.SizeAfter = 65536;
    EXPECT_EQ(
        MakeResultRow(decode, 2, {",", "."}),
        (ResultRow{"2", "obraz_P3.ybq", "D/3", "65,536", "3.663", "8.000", "30,005", "65,536"}));

    const ResultRow spaced = MakeResultRow(EncodeExample(), 1, {" ", ","});
    EXPECT_EQ(spaced[kColPixels], "65 536");
    EXPECT_EQ(spaced[kColBitsBefore], "8,002");
}

TEST(ResultRow, ImagesWithoutPixelsKeepTheRowWithEmptyRates) {
    TItemRec item = EncodeExample();
    item.ResultHeight = 0;
    const ResultRow row = MakeResultRow(item, 4, {",", "."});
    EXPECT_EQ(row[kColPixels], "0");
    EXPECT_EQ(row[kColBitsBefore], "");
    EXPECT_EQ(row[kColBitsAfter], "");
    EXPECT_EQ(row[kColSizeAfter], "30,005");

    // The largest image: its pixel count does not wrap negative.
    item.ResultWidth = item.ResultHeight = 65535;
    EXPECT_EQ(MakeResultRow(item, 1, {",", "."})[kColPixels], "4,294,836,225");
}

TEST(ResultRow, StatusBarSummaryAfterAJob) {
    ExperimentState st;
    st.Item = EncodeExample();
    st.ImageWidth = st.ImageHeight = 256;
    const JobStatusTexts texts = MakeJobStatusTexts(st, {",", "."});
    EXPECT_EQ(texts.dimensions, "256×256");
    EXPECT_EQ(texts.sizes, "65,551/30,005");
    EXPECT_EQ(texts.bitRates, "8.002/3.663");
    st.ImageWidth = 0;
    EXPECT_EQ(MakeJobStatusTexts(st, {",", "."}).bitRates, "");
}

}  // namespace
}  // namespace eks
