// The command line of eksperymenty-seria.

#include "seria/Options.h"
#include "seria/Shards.h"

#include <gtest/gtest.h>

namespace eks::seria {
namespace {

using V = std::vector<int>;
using Args = std::vector<std::string>;

TEST(SeriaOptions, OrdersBitOrdersAndEveryOptionForm) {
    EXPECT_EQ(ParseOrders("1-9"), (V{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(ParseOrders("9,3,5,3"), (V{3, 5, 9}));
    EXPECT_EQ(ParseOrders("7,1-3"), (V{1, 2, 3, 7}));
    for (const char* bad : {"", "0", "10", "3-1", "1-", "-3", "1,,2", "1,", "a", "1-3-5", "1-10"})
        EXPECT_THROW(ParseOrders(bad), UsageError) << bad;
    // Pixel order first, whatever the spelling.
    EXPECT_EQ(ParseBitOrders("PB"), (std::vector{BitOrder::PixelMajor, BitOrder::PlaneMajor}));
    EXPECT_EQ(ParseBitOrders("P"), std::vector{BitOrder::PlaneMajor});
    for (const char* bad : {"", "X", "BPX", "b"})
        EXPECT_THROW(ParseBitOrders(bad), UsageError) << bad;

    const Options o =
        ParseOptions({"x.pgm", "--orders=2,4", "--bit-orders", "P", "-j3", "--timeout", "7",
                      "--check", "--report", "r.txt", "--csv=c.csv", "--references",
                      "--plane-costs", "--out", "k", "-", "--", "--check", "-j"});
    EXPECT_EQ(o.images, (Args{"x.pgm", "-", "--check", "-j"}));
    EXPECT_EQ(o.orders, (V{2, 4}));
    EXPECT_EQ(o.bitOrders, std::vector{BitOrder::PlaneMajor});
    EXPECT_EQ(o.jobs, 3);
    EXPECT_EQ(o.timeoutSeconds, 7);
    EXPECT_TRUE(o.check && o.references && o.planeCosts);
    EXPECT_EQ(o.reportPath + " " + o.csvPath + " " + o.outDir, "r.txt c.csv k");
    const Options defaults = ParseOptions({"-j", "2", "a.pgm"});
    EXPECT_EQ(defaults.jobs, 2);
    EXPECT_EQ(defaults.orders.size(), 9u);
    EXPECT_EQ(defaults.bitOrders.size(), 2u);
    EXPECT_EQ(defaults.timeoutSeconds, 120);
    EXPECT_FALSE(defaults.check || defaults.references || defaults.planeCosts);
    EXPECT_TRUE(ParseOptions({"--help"}).help);  // no image needed
    // Shards of a plan sorted bytewise, and the merge of their CSVs.
    const Options shard = ParseOptions({"--sort", "--shard", "2/3", "b.pgm", "B.pgm", "a.pgm"});
    EXPECT_EQ(shard.images, (Args{"B.pgm", "a.pgm", "b.pgm"}));
    EXPECT_EQ(shard.shard, (Shard{2, 3}));
    EXPECT_TRUE(ParseOptions({"--merge", "--csv", "c.csv", "p1.csv"}).merge);
    // The plan's fingerprint as the shards of tests/results/data/shard*.csv
    // carry it: a plan's pieces written by earlier builds still merge.
    EXPECT_EQ(PlanFingerprint(ParseOptions({"--orders", "1-2", "--check", "--shard", "1/2",
                                            "text.pgm", "coins.pgm"}),
                              8),
              "8262dfe7817b9091-8");

    for (const Args& bad :
         {Args{}, Args{"--check"}, Args{"a.pgm", "--orders"}, Args{"a.pgm", "--orders="},
          Args{"a.pgm", "-j", "0"}, Args{"a.pgm", "-jx"}, Args{"a.pgm", "--timeout", "0"},
          Args{"a.pgm", "--timeout", "99999999"}, Args{"a.pgm", "--report"},
          Args{"a.pgm", "--check=yes"}, Args{"a.pgm", "--references=1"},
          Args{"a.pgm", "--plane-costs="}, Args{"a.pgm", "--order", "3"},
          Args{"a.pgm", "--shard", "0/3"}, Args{"a.pgm", "--shard", "4/3"},
          Args{"a.pgm", "--shard", "3"}, Args{"--merge", "p.csv"},
          Args{"--merge", "--csv", "c.csv", "--shard", "1/2", "p.csv"}})
        EXPECT_THROW(ParseOptions(bad), UsageError) << (bad.empty() ? "" : bad.back());
}

TEST(SeriaOptions, ImagesWhoseContainersWouldShareNamesAreBothNamed) {
    EXPECT_NO_THROW(CheckContainerNames({"a/obraz.pgm", "a/obraz2.pgm", "b/inny.pgm"}));
    // The name up to its first "." makes the container's name.
    for (const auto& [first, second] :
         {std::pair{"a/obraz.pgm", "b/obraz.pgm"}, std::pair{"skan.stary.pgm", "inne/skan.pgm"},
          std::pair{"obraz.pgm", "obraz.pgm"}}) {
        try {
            CheckContainerNames({"x.pgm", first, second});
            ADD_FAILURE() << first << " " << second;
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("„") + first + "” i „" + second),
                      std::string::npos)
                << e.what();
        }
    }
}

}  // namespace
}  // namespace eks::seria
