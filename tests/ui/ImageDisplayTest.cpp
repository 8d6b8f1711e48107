#include "ui/ImageDisplay.h"

#include <gtest/gtest.h>

#include <set>

namespace eks {
namespace {

TEST(ImageDisplay, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(6, 235, 255), 6);  // 5.53
    EXPECT_EQ(MulDiv(1, 3, 2), 2);
    EXPECT_EQ(MulDiv(-1, 3, 2), -2);
    EXPECT_EQ(MulDiv(2000000000, 2000000000, 2000000000), 2000000000);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

TEST(ImageDisplay, PgmValuesThroughTheViewPalette) {
    const auto palette = CreateViewPalette();
    const auto& table = PgmIndexTable();
    const int rows[][3] = {{0, 10, 0},      {1, 11, 1},      {6, 16, 7},      {7, 16, 7},
                           {64, 69, 64},    {127, 127, 127}, {128, 128, 128}, {200, 194, 200},
                           {254, 244, 254}, {255, 245, 255}};
    for (const auto& r : rows) {
        EXPECT_EQ(table[r[0]], r[1]) << r[0];
        EXPECT_EQ(qGray(palette[table[r[0]]]), r[2]) << r[0];
    }
    // 256 values meet in 236 indices: 20 pairs share one.
    std::set<int> used(table.begin(), table.end());
    EXPECT_EQ(used.size(), 236u);
    EXPECT_EQ(qGray(CreateLinearPalette()[77]), 77);
}

TEST(ImageDisplay, CenteringOnThePictureTab) {
    const QSize page(349, 357);
    EXPECT_EQ(CenterPosition(page, 256, 256), QPoint(46, 50));
    EXPECT_EQ(CenterPosition(page, 200, 200), QPoint(74, 78));
    EXPECT_EQ(CenterPosition(page, 349, 100), QPoint(4, 4));
    EXPECT_EQ(CenterPosition(page, 100, 357), QPoint(4, 4));
    EXPECT_EQ(CenterPosition(page, 512, 512), QPoint(4, 4));
}

TEST(ImageDisplay, ShortRastersShowBlackForMissingPixels) {
    ByteStream s;
    s.Write("P5\x07\xFF\x80", 5);
    int rows = 0;
    const QImage img = BuildPgmPicture(s, 2, 2, 2, [&] { ++rows; });
    EXPECT_EQ(rows, 2);
    ASSERT_EQ(img.format(), QImage::Format_Indexed8);
    EXPECT_EQ(qGray(img.pixel(0, 0)), 7);
    EXPECT_EQ(qGray(img.pixel(1, 0)), 255);
    EXPECT_EQ(qGray(img.pixel(0, 1)), 128);
    EXPECT_EQ(qGray(img.pixel(1, 1)), 0);
    EXPECT_TRUE(BuildPgmPicture(s, 2, 0, 5).isNull());
    EXPECT_EQ(TitlePicture().size(), QSize(200, 200));
    EXPECT_LE(TitlePicture().colorCount(), 16);
}

}  // namespace
}  // namespace eks
