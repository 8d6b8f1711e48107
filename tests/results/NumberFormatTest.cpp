#include "results/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "results/ResultRow.h"

namespace eks {
namespace {

ResultRecord RecordOf(const TItemRec& item) {
    ResultRecord record;
    record.item = item;
    return record;
}

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

TEST(NumberFormat, RatioRoundsExactHalvesAwayFromZero) {
    // 1,939,350 bytes on 800 × 600 pixels are exactly 32.3225 bits per pixel;
    // 9,120 bytes on 640 × 480 exactly 0.2375.
    for (const int precision : {kTablePrecision, kStatusPrecision}) {
        EXPECT_EQ(FormatFixedRatio(1939350, 8, 800 * 600, precision, "."), "32.323");
        EXPECT_EQ(FormatFixedRatio(9120, 8, 640 * 480, precision, "."), "0.238");
        EXPECT_EQ(FormatFixedRatio(-9120, 8, 640 * 480, precision, ","), "-0,238");
        EXPECT_EQ(FormatFixedRatio(9120, 8, -640 * 480, precision, "."), "-0.238");
        EXPECT_EQ(FormatFixedRatio(65551, 8, 65536, precision, "."), "8.002");
        EXPECT_EQ(FormatFixedRatio(30005, 8, 65536, precision, "."), "3.663");
        EXPECT_EQ(FormatFixedRatio(65536, 8, 65536, precision, "."), "8.000");
        EXPECT_EQ(FormatFixedRatio(0, 8, 65536, precision, "."), "0.000");
        EXPECT_EQ(FormatFixedRatio(1, 8, 65536, precision, "."), "0.000");
        EXPECT_EQ(FormatFixedRatio(-1, 8, 65536, precision, "."), "0.000");
        EXPECT_EQ(FormatFixedRatio(5, 8, 640, precision, "."), "0.063");
        EXPECT_EQ(FormatFixedRatio(1, 1, 2000, precision, "."), "0.001");
    }
    // Significant digits cut before the third decimal, and carries.
    EXPECT_EQ(FormatFixedRatio(1234567, 1, 10000, 5, "."), "123.460");
    EXPECT_EQ(FormatFixedRatio(1234565, 1, 10000, 6, "."), "123.457");
    EXPECT_EQ(FormatFixedRatio(99995, 1, 10000, 8, "."), "10.000");
    EXPECT_EQ(FormatFixedRatio(123455, 1, 10, 5, "."), "12346.000");
    EXPECT_EQ(FormatFixedRatio(1, 1, 0, 8, "."), "");
}

TEST(NumberFormat, RatioTurnsScientificAndStaysExactForAny64BitInput) {
    EXPECT_EQ(FormatFixedRatio(524408, 1, 1, 5, "."), "5.2441E+005");
    EXPECT_EQ(FormatFixedRatio(524415, 1, 1, 5, "."), "5.2442E+005");
    EXPECT_EQ(FormatFixedRatio(999999996, 1, 10000, 5, ","), "1,0000E+005");
    EXPECT_EQ(FormatFixedRatio(2147483647, 8, 1, 8, "."), "1.7179869E+010");
    EXPECT_EQ(FormatFixedRatio(INT64_MAX, 8, 1, 8, "."), "7.3786976E+019");
    EXPECT_EQ(FormatFixedRatio(INT64_MIN, 8, 1, 8, "."), "-7.3786976E+019");
    EXPECT_EQ(FormatFixedRatio(INT64_MIN, INT64_MIN, INT64_MIN, 8, "."), "-9.2233720E+018");
    EXPECT_EQ(FormatFixedRatio(INT64_MAX, 8, INT64_MAX, 8, "."), "8.000");
    EXPECT_EQ(FormatFixedRatio(INT64_MAX, 1, INT64_MIN, 8, "."), "-1.000");
    // 2^53 + 1 has no double; its half is 4503599627370496.5 exactly.
    EXPECT_EQ(FormatFixedRatio(9007199254740993, 1, 2, 20, "."), "4503599627370496.500");
    EXPECT_EQ(FormatFixedRatio(9007199254740993, 1, 2, 16, "."), "4503599627370497.000");
}

TEST(NumberFormat, RatioAgreesWithTheDoubleFormWhereTheDoubleIsExact) {
    // On 256 × 256 pixels every bit rate is a short binary fraction, which a
    // double holds exactly and prints exactly in 17 digits.
    for (std::int64_t bytes = 0; bytes < 700000; bytes += 37) {
        for (const int precision : {kTablePrecision, kStatusPrecision}) {
            const std::string exact = FormatFixedRatio(bytes, 8, 65536, precision, ".");
            ASSERT_EQ(exact, FormatFixed(bytes / 8192.0, precision, ".")) << bytes;
        }
    }
}

TEST(ResultRow, BitRatesOfExactHalvesRoundUpInTheTableAndTheStatusBar) {
    EXPECT_EQ(BitsPerPixelText(1939350, 800 * 600, kTablePrecision, "."), "32.323");
    EXPECT_EQ(BitsPerPixelText(9120, 640 * 480, kStatusPrecision, ","), "0,238");
    EXPECT_EQ(BitsPerPixelText(9120, 0, kStatusPrecision, ","), "");

    ExperimentState st;
    st.ImageWidth = 800;
    st.ImageHeight = 600;
    st.CopyImageSizeToResult();
    st.Item.CurrentName = "duzy.pgm";
    st.Item.OpCode = 'B';
    st.Item.ResultOrder = 9;
    st.Item.SizeBefore = 480015;
    st.Item.SizeAfter = 1939350;
    EXPECT_EQ(
        MakeResultRow(st.Item, 1, {",", "."}),
        (ResultRow{"1", "duzy.pgm", "B/9", "480,000", "8.000", "32.323", "480,015", "1,939,350"}));
    EXPECT_EQ(MakeJobStatusTexts(RecordOf(st.Item), {",", "."}).bitRates, "8.000/32.323");
}

TEST(ResultRow, DecodedImagesBeyondTwoGigapixelsKeepTheirSize) {
    ExperimentState st;
    st.ImageWidth = st.ImageHeight = 46341;
    st.CopyImageSizeToResult();
    st.Item.CurrentName = "duzy_P3.ybq";
    st.Item.OpCode = 'D';
    st.Item.ResultOrder = 3;
    st.Item.SizeBefore = 268435461;
    // What the decode job records: the image's pixel count.
    st.Item.SizeAfter = std::int64_t{st.ImageWidth} * st.ImageHeight;
    EXPECT_EQ(MakeResultRow(st.Item, 2, {",", "."}),
              (ResultRow{"2", "duzy_P3.ybq", "D/3", "2,147,488,281", "1.000", "8.000",
                         "268,435,461", "2,147,488,281"}));
    const JobStatusTexts texts = MakeJobStatusTexts(RecordOf(st.Item), {",", "."});
    EXPECT_EQ(texts.sizes, "268,435,461/2,147,488,281");
    EXPECT_EQ(texts.bitRates, "1.000/8.000");

    // The largest image there is, and a file of more than 4 GiB.
    st.Item.ResultWidth = st.Item.ResultHeight = 65535;
    st.Item.SizeBefore = std::int64_t{5} << 30;
    st.Item.SizeAfter = std::int64_t{st.Item.ResultWidth} * st.Item.ResultHeight;
    const ResultRow row = MakeResultRow(st.Item, 3, {",", "."});
    EXPECT_EQ(row[kColBitsBefore], "10.000");
    EXPECT_EQ(row[kColBitsAfter], "8.000");
    EXPECT_EQ(row[kColSizeBefore], "5,368,709,120");
    EXPECT_EQ(row[kColSizeAfter], "4,294,836,225");
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
    const JobStatusTexts texts = MakeJobStatusTexts(RecordOf(st.Item), {",", "."});
    EXPECT_EQ(texts.dimensions, "256×256");
    EXPECT_EQ(texts.sizes, "65,551/30,005");
    EXPECT_EQ(texts.bitRates, "8.002/3.663");
    st.Item.ResultWidth = 0;
    EXPECT_EQ(MakeJobStatusTexts(RecordOf(st.Item), {",", "."}).bitRates, "");
}

}  // namespace
}  // namespace eks
