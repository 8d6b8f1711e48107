#include "core/BitSequence.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace eks {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The expansion written out byte by byte: the pixel-order sequence first,
// then regrouped through eight plane buffers.
Bytes ReferenceSequence(const Bytes& pixels, BitOrder order) {
    Bytes seq;
    for (std::uint8_t v : pixels)
        for (int n = 7; n >= 0; --n)
            seq.push_back(BitIsSet(v, static_cast<std::uint8_t>(n)));
    if (order == BitOrder::PixelMajor) return seq;
    std::vector<Bytes> planes(8);
    for (std::size_t g = 0; g < seq.size() / 8; ++g)
        for (int k = 0; k < 8; ++k)
            planes[k].push_back(seq[8 * g + k]);
    Bytes out;
    for (const Bytes& plane : planes)
        out.insert(out.end(), plane.begin(), plane.end());
    return out;
}

ExperimentState StateWithRaster(const Bytes& pixels, const std::string& header = "P5\nx\n") {
    ExperimentState st;
    auto file = std::make_shared<ByteStream>();
    file->Write(header.data(), header.size());
    file->Write(pixels.data(), pixels.size());
    st.SourceStream = file;
    st.PixelDataOffset = static_cast<std::int32_t>(header.size());
    return st;
}

Bytes Build(const Bytes& pixels, BitOrder order) {
    ExperimentState st = StateWithRaster(pixels);
    std::optional<ByteStream> seq =
        ExpandBitSequence(*st.SourceStream, static_cast<std::size_t>(st.PixelDataOffset), order);
    EXPECT_TRUE(seq.has_value());
    EXPECT_EQ(seq->Position(), seq->Size());
    return Bytes(seq->Data(), seq->Data() + seq->Size());
}

TEST(BitSequence, WorkedExampleInBothOrders) {
    const Bytes pixels = {0xA5, 0x0F};
    EXPECT_EQ(Build(pixels, BitOrder::PixelMajor),
              (Bytes{1, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(Build(pixels, BitOrder::PlaneMajor),
              (Bytes{1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 0, 1, 1, 1}));
}

TEST(BitSequence, SinglePixelsAndEmptyRasters) {
    for (BitOrder order : {BitOrder::PixelMajor, BitOrder::PlaneMajor}) {
        EXPECT_EQ(Build({0x00}, order), Bytes(8, 0));
        EXPECT_EQ(Build({0xFF}, order), Bytes(8, 1));
        EXPECT_EQ(Build({0xA5}, order), (Bytes{1, 0, 1, 0, 0, 1, 0, 1}));
        EXPECT_TRUE(Build({}, order).empty());
    }
}

TEST(BitSequence, MatchesTheByteByByteExpansionOnRandomRasters) {
    std::mt19937 rng(1234);
    for (int trial = 0; trial < 60; ++trial) {
        Bytes pixels(rng() % 300);
        for (auto& p : pixels)
            p = static_cast<std::uint8_t>(rng());
        for (BitOrder order : {BitOrder::PixelMajor, BitOrder::PlaneMajor})
            ASSERT_EQ(Build(pixels, order), ReferenceSequence(pixels, order)) << pixels.size();
    }
}

TEST(BitSequence, WhenMemoryRunsOutNothingHalfBuiltComesBack) {
    ExperimentState st = StateWithRaster(Bytes(1000, 0x55));
    st.ImageWidth = 40;
    st.ImageHeight = 25;
    EXPECT_FALSE(ExpandBitSequence(*st.SourceStream, 5, BitOrder::PlaneMajor, 7999).has_value());
    // Only the state's share is let go: another holder keeps the bytes.
    const std::shared_ptr<const ByteStream> other = st.SourceStream;
    ForgetImageForWantOfMemory(st);
    EXPECT_FALSE(st.SourceStream);
    EXPECT_EQ(other->Size(), 1005u);
    EXPECT_EQ(st.ImageWidth, 1);
    EXPECT_EQ(st.ImageHeight, 1);

    ExperimentState fits = StateWithRaster(Bytes(1000, 0x55));
    EXPECT_TRUE(ExpandBitSequence(*fits.SourceStream, 5, BitOrder::PlaneMajor, 8000).has_value());
}

}  // namespace
}  // namespace eks
