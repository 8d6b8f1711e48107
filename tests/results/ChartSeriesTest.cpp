#include "results/ChartRecords.h"
#include "results/ChartSeries.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace eks {
namespace {

using test::Record;
using test::Steps;
using test::StepsOf;

TEST(ChartSeriesTest, FollowsTheTableThroughAddedAndDeletedRows) {
    // Both bit orders, the orders out of sequence, a decode, an empty image
    // and a job that wrote no container between them; order 2 in pixel order
    // coded twice.
    std::vector<ResultRecord> rows = {
        Record("/img/obraz.pgm", 'B', 3, 32768),
        Record("/img/obraz.pgm", 'P', 3, 30005),
        Record("/img/obraz_P3.ybq", 'D', 3, 65536),
        Record("/img/pusty.pgm", 'B', 1, 5, 0, 0),
        Record("/img/obraz.pgm", 'B', 4, 0, 256, 256, false),
        Record("/img/obraz.pgm", 'B', 1, 49152),
        Record("/img/obraz.pgm", 'B', 2, 40960),
        Record("/img/obraz.pgm", 'B', 2, 36864),
    };
    std::vector<ChartSeries> lines = BuildChartSeries(rows);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].name, "obraz.pgm — bez przeplotu (B)");
    EXPECT_EQ(StepsOf(lines[0]), (Steps{{1, 6.0}, {2, 4.5}, {3, 4.0}}));
    EXPECT_EQ(lines[1].name, "obraz.pgm — z przeplotem (P)");
    EXPECT_EQ(StepsOf(lines[1]), (Steps{{3, 30005.0 * 8 / 65536}}));

    // The later order-2 row deleted: the earlier one shows again.
    rows.pop_back();
    EXPECT_EQ(StepsOf(BuildChartSeries(rows)[0]), (Steps{{1, 6.0}, {2, 5.0}, {3, 4.0}}));

    // The only plane-order row deleted, a row added: one line, in order.
    rows.erase(rows.begin() + 1);
    rows.push_back(Record("/img/obraz.pgm", 'B', 9, 16384));
    lines = BuildChartSeries(rows);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(StepsOf(lines[0]), (Steps{{1, 6.0}, {2, 5.0}, {3, 4.0}, {9, 2.0}}));
}

TEST(ChartSeriesTest, MeansEachOrderOverTheImagesThatHaveIt) {
    // 256×256 pixels: 8192 bytes are a bit per pixel. Three images in plane
    // order, one of them also in pixel order; c has no row at order 2, b's
    // order-2 row is repeated (the later counts), a failed job and a decode
    // count for nothing.
    const std::vector<ChartSeries> lines = BuildChartSeries({
        Record("/k/a.pgm", 'P', 1, 6 * 8192),
        Record("/k/b.pgm", 'P', 1, 3 * 8192),
        Record("/k/c.pgm", 'P', 1, 4 * 8192),
        Record("/k/a.pgm", 'P', 2, 5 * 8192),
        Record("/k/b.pgm", 'P', 2, 7 * 8192),
        Record("/k/b.pgm", 'P', 2, 2 * 8192),
        Record("/k/c.pgm", 'P', 2, 1, 256, 256, false),
        Record("/k/c_P2.ybq", 'D', 2, 65536),
        Record("/k/a.pgm", 'B', 2, 8192),
    });
    const std::vector<ChartMeanLine> means = BuildChartMeans(lines);
    // (order, mean, lowest, highest, images) of each order.
    using Mean = std::tuple<int, double, double, double, int>;
    const auto points = [](const ChartMeanLine& line) {
        std::vector<Mean> all;
        for (const ChartMeanPoint& p : line.points)
            all.emplace_back(p.order, p.mean, p.lowest, p.highest, p.images);
        return all;
    };
    ASSERT_EQ(means.size(), 2u);
    // B first: one image at one order.
    EXPECT_EQ(means[0].opCode, 'B');
    EXPECT_EQ(points(means[0]), (std::vector<Mean>{{2, 1.0, 1.0, 1.0, 1}}));
    EXPECT_EQ(ChartMeanName(means[0]), "bez przeplotu (B): średnia z 1 obrazu");
    // P: order 1 of (6 + 3 + 4) / 3, order 2 of (5 + 2) / 2 without c.
    EXPECT_EQ(means[1].images, 3);
    EXPECT_EQ(points(means[1]), (std::vector<Mean>{{1, 13.0 / 3, 3, 6, 3}, {2, 3.5, 2, 5, 2}}));
    EXPECT_EQ(ChartMeanName(means[1]),
              "z przeplotem (P): średnia z 3 obrazów (rząd 2: 2; obrazy bez wyniku pominięte)");
    EXPECT_EQ(ChartImageCount(lines), 3);
    EXPECT_TRUE(BuildChartMeans({}).empty());
    std::string counted;
    for (int n : {1, 3, 5, 12, 22, 112})
        counted += ChartImagesCounted(n) + ",";
    EXPECT_EQ(counted, "1 obraz,3 obrazy,5 obrazów,12 obrazów,22 obrazy,112 obrazów,");
}

}  // namespace
}  // namespace eks
