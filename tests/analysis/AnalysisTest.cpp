// The analysis against what it stands for: the coder's model against the streams the coder
// writes, the reference figures against values worked out by hand, the map and the plane costs
// against the totals.

#include "analysis/Analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <numeric>

#include "coder/arith/engine/BitCost.h"
#include "coder/arith/engine/Codec.h"
#include "core/PgmReader.h"

namespace eks {
namespace {

AnalysisImage ImageOf(const std::string& fileBytes) {
    auto file = std::make_shared<ByteStream>();
    file->Write(fileBytes.data(), fileBytes.size());
    const PgmHeader header = ParsePgmHeader(*file, "obraz.pgm");
    return {file, header.pixelDataOffset, *header.width, *header.height, "obraz.pgm"};
}

AnalysisImage SampleImage(const std::string& name) {
    auto file = std::make_shared<ByteStream>();
    file->LoadFromFile(std::string(SAMPLES_DIR) + "/" + name);
    const PgmHeader header = ParsePgmHeader(*file, name);
    return {file, header.pixelDataOffset, *header.width, *header.height, "obraz.pgm"};
}

// The model's total is the coder's payload but for the range coder's rounding and its last
// four bytes: on every sample, both bit orders, orders 1, 5 and 9 (2.0 to 3.9 bytes when
// measured).
TEST(Analysis, TheModelsCostIsWhatTheCoderWrites) {
    for (const auto& entry : std::filesystem::directory_iterator(SAMPLES_DIR)) {
        if (entry.path().extension() != ".pgm") continue;
        const AnalysisImage image = SampleImage(entry.path().filename().string());
        for (const BitOrder order : {BitOrder::PixelMajor, BitOrder::PlaneMajor}) {
            const ByteStream bits = *ExpandBitSequence(*image.file, image.pixelDataOffset, order);
            for (const int coderOrder : {1, 5, 9}) {
                const double payload =
                    static_cast<double>(
                        arith::EncodeBytes({bits.Data(), bits.Size()}, coderOrder).size()) -
                    arith::kHeaderSize;
                const ModelCost cost = ComputeModelCost(image, coderOrder, order);
                const double gap = payload - cost.totalBits / 8;
                EXPECT_GE(gap, 0) << entry.path() << " " << coderOrder;
                EXPECT_LE(gap, 0.0005 * payload + 16) << entry.path() << " " << coderOrder;
                // The planes share out the total.
                EXPECT_NEAR(std::accumulate(cost.planeBits.begin(), cost.planeBits.end(), 0.0),
                            cost.totalBits, 1e-6 * cost.totalBits);
            }
        }
    }
}

// 0 1 1 0 1, zeros before the start.
// Order 1: after 0 came 0, 1, 1 and after 1 came 1, 0.
//   kt: context 0 gives ½ · ¼ · ½ = 1/16 (4 bits), context 1 gives ½ · ¼ = 1/8 (3 bits): 7 bits.
//   conditional entropy: 1·log2 3 + 2·log2 1.5 for context 0, 1 + 1 for context 1: 4.75489 bits.
// Order 2: 00 saw 0, 1 (kt ½ · ¼: 3 bits), 01, 11 and 10 one bit each (1 bit each): 6 bits;
//   the entropy counts only 00's two different bits: 2 bits.
TEST(Analysis, ReferenceFiguresOfAShortSequence) {
    const std::uint8_t bits[] = {0, 1, 1, 0, 1};
    const ReferenceFigures figures = ComputeReferences(bits, 5);
    EXPECT_NEAR(figures.kt[1], 7.0, 1e-9);
    EXPECT_NEAR(figures.condEntropy[1], std::log2(3.0) + 2 * std::log2(1.5) + 2, 1e-9);
    EXPECT_NEAR(figures.kt[2], 6.0, 1e-9);
    EXPECT_NEAR(figures.condEntropy[2], 2.0, 1e-9);
    // Two pixel values, one twice: N · H0 = 3 · H(1/3, 2/3).
    const std::uint8_t raster[] = {7, 9, 7};
    EXPECT_NEAR(PixelEntropyBits(raster, 3), std::log2(3.0) + 2 * std::log2(1.5), 1e-9);

    // An image's figures, read off its raster, are those of its bit sequences laid out by
    // hand: 0xA5 0x0F pixel by pixel, and plane by plane.
    const std::uint8_t pixelMajor[] = {1, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1};
    const std::uint8_t planeMajor[] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 0, 1, 1, 1};
    const ImageReferences refs = ComputeImageReferences(ImageOf("P5\n2 1\n255\n\xA5\x0F"));
    for (const auto& [order, laidOut] : {std::pair{BitOrder::PixelMajor, pixelMajor},
                                         std::pair{BitOrder::PlaneMajor, planeMajor}}) {
        const ReferenceFigures expected = ComputeReferences(laidOut, 16);
        for (int n = 1; n <= kAnalysisMaxOrder; ++n) {
            EXPECT_DOUBLE_EQ(refs.Of(order).kt[n], expected.kt[n]) << n;
            EXPECT_DOUBLE_EQ(refs.Of(order).condEntropy[n], expected.condEntropy[n]) << n;
        }
    }
    EXPECT_NEAR(refs.h0Bits, 2.0, 1e-12);  // two different bytes
}

// The map of tiny images: every bit's cost lands on its pixel, the planes add up to all bits,
// a pixel without a raster byte has no cost, and a byte beyond the picture counts in the total.
TEST(Analysis, TheCostMapSharesOutTheTotal) {
    for (const BitOrder order : {BitOrder::PixelMajor, BitOrder::PlaneMajor}) {
        const AnalysisImage two = ImageOf(std::string("P5\n2 1\n255\n\xA5\x00", 13));
        const CostMap all = ComputeCostMap(two, 3, order, -1);
        ASSERT_EQ(all.pixels.size(), 2u);
        EXPECT_NEAR(all.pixels[0] + all.pixels[1], all.cost.totalBits, 1e-4);
        float planes[2] = {0, 0};
        for (int plane = 0; plane < 8; ++plane) {
            const CostMap one = ComputeCostMap(two, 3, order, plane);
            EXPECT_NEAR(one.pixels[0] + one.pixels[1], one.cost.planeBits[plane], 1e-4);
            planes[0] += one.pixels[0];
            planes[1] += one.pixels[1];
        }
        EXPECT_NEAR(planes[0], all.pixels[0], 1e-4);
        EXPECT_NEAR(planes[1], all.pixels[1], 1e-4);

        const CostMap shortRaster = ComputeCostMap(ImageOf("P5\n2 2\n255\nabc"), 2, order, -1);
        EXPECT_TRUE(std::isnan(shortRaster.pixels[3]));
        EXPECT_NEAR(shortRaster.pixels[0] + shortRaster.pixels[1] + shortRaster.pixels[2],
                    shortRaster.cost.totalBits, 1e-4);
        const CostMap longRaster = ComputeCostMap(ImageOf("P5\n1 1\n255\nab"), 2, order, -1);
        EXPECT_LT(longRaster.pixels[0], longRaster.cost.totalBits);
    }
    EXPECT_THROW(ComputeCostMap(ImageOf("P5\n0 0\n255\n"), 1, BitOrder::PlaneMajor, -1), Error);

    // A sweep stopped from outside ends with AnalysisCancelled.
    std::atomic<bool> cancel{true};
    AnalysisControl control;
    control.cancel = &cancel;
    EXPECT_THROW(ComputeSweep(SampleImage("text.pgm"), control), AnalysisCancelled);
    // For a caller that goes on, the same failures come typed.
    const auto stopped =
        TryAnalysis([&] { return ComputeImageReferences(ImageOf("P5\n1 1\n255\nx"), control); });
    EXPECT_FALSE(stopped.value);
    EXPECT_EQ(stopped.failure, AnalysisFailure::Cancelled);
    EXPECT_EQ(stopped.text, "przerwano");
    const auto empty = TryAnalysis(
        [] { return ComputeCostMap(ImageOf("P5\n0 0\n255\n"), 1, BitOrder::PlaneMajor, -1); });
    EXPECT_EQ(empty.failure, AnalysisFailure::Other);
    EXPECT_EQ(empty.text, NothingToAnalyseMessage());
}

}  // namespace
}  // namespace eks
