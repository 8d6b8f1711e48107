#include "core/Reconstruction.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/BitSequence.h"
#include "core/Error.h"
#include "core/Memory.h"

namespace eks {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Image {
    int w, h;
    Bytes px;
    Image(int w_, int h_) : w(w_), h(h_), px(static_cast<std::size_t>(w_) * h_, 0xEE) {}
    RowOf Rows() {
        return [this](int r) { return px.data() + static_cast<std::size_t>(r) * w; };
    }
    ConstRowOf ConstRows() const {
        return [this](int r) { return px.data() + static_cast<std::size_t>(r) * w; };
    }
};

ByteStream StreamOf(const Bytes& bytes) {
    ByteStream s;
    s.Write(bytes.data(), bytes.size());
    s.Seek(0);
    return s;
}

// All eight passes, each written into a fresh image and reading the one
// before, as the window does with its display bitmap and the picture shown.
std::vector<Bytes> AllPasses(ByteStream& decoded, int w, int h) {
    std::vector<Bytes> passes;
    Image shown(w, h);
    decoded.Seek(0);
    for (int k = 1; k <= 8; ++k) {
        Image next(w, h);
        int rows = 0;
        ReconstructPass(decoded, k, w, h, next.Rows(), shown.ConstRows(), [&] { ++rows; });
        EXPECT_EQ(rows, h);
        shown = next;
        passes.push_back(shown.px);
    }
    return passes;
}

TEST(Reconstruction, PixelOrderTakesBytesWithTheirFullValue) {
    ByteStream s = StreamOf({1, 0, 1, 0, 0, 1, 0, 1, 2, 0, 0, 0, 0, 0, 0, 3,
                             1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0});
    Image img(2, 2);
    s.Seek(17);  // the reconstruction starts from the front whatever the position
    ReconstructPixelMajor(s, 2, 2, img.Rows());
    EXPECT_EQ(img.px, (Bytes{165, 3, 255, 0}));
}

TEST(Reconstruction, PassesOfOnePixelFollowTheWorkedExample) {
    ByteStream s = StreamOf({1, 0, 1, 0, 0, 1, 0, 1});
    const auto passes = AllPasses(s, 1, 1);
    const int expected[8] = {128, 128, 160, 160, 160, 164, 164, 165};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(passes[k][0], expected[k]) << "pass " << k + 1;

    ByteStream white = StreamOf(Bytes(8, 1));
    const int whiteExpected[8] = {128, 192, 224, 240, 248, 252, 254, 255};
    const auto whitePasses = AllPasses(white, 1, 1);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(whitePasses[k][0], whiteExpected[k]);

    ByteStream two = StreamOf({2});
    EXPECT_EQ(AllPasses(two, 1, 1)[0][0], 0);  // 2 × 128 wraps to 0
    EXPECT_EQ(PassTitle(1), "pasaż 1");
    EXPECT_EQ(PassTitle(8), "pasaż 8");
}

TEST(Reconstruction, ShortStreamsStillBuildEveryRowWithZeros) {
    ByteStream empty;
    Image img(3, 2);
    int rows = 0;
    ReconstructPixelMajor(empty, 3, 2, img.Rows(), [&] { ++rows; });
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(img.px, Bytes(6, 0));

    ByteStream half = StreamOf(Bytes(3, 1));  // plane 7 of the first row only
    const auto passes = AllPasses(half, 3, 2);
    EXPECT_EQ(passes[7], (Bytes{128, 128, 128, 0, 0, 0}));
}

TEST(Reconstruction, RandomImagesSurviveBothOrders) {
    std::mt19937 rng(99);
    for (int trial = 0; trial < 20; ++trial) {
        const int w = static_cast<int>(rng() % 40), h = static_cast<int>(rng() % 30);
        Bytes pixels(static_cast<std::size_t>(w) * h);
        for (auto& p : pixels)
            p = static_cast<std::uint8_t>(rng());
        Bytes seq(8 * pixels.size() + 5, 1);  // trailing bytes are never read
        ExpandBits(pixels.data(), pixels.size(), BitOrder::PixelMajor, seq.data());
        ByteStream pixelOrder = StreamOf(seq);
        Image img(w, h);
        ReconstructPixelMajor(pixelOrder, static_cast<std::uint16_t>(w),
                              static_cast<std::uint16_t>(h), img.Rows());
        ASSERT_EQ(img.px, pixels);

        ExpandBits(pixels.data(), pixels.size(), BitOrder::PlaneMajor, seq.data());
        ByteStream planeOrder = StreamOf(seq);
        const auto passes = AllPasses(planeOrder, w, h);
        for (int k = 1; k <= 8; ++k) {
            Bytes top(pixels);
            for (auto& p : top)
                p &= static_cast<std::uint8_t>(0xFF00 >> k);
            ASSERT_EQ(passes[k - 1], top) << "pass " << k;
        }
        EXPECT_EQ(planeOrder.Position(), 8 * pixels.size());
    }
}

}  // namespace
}  // namespace eks

namespace eks {
namespace {

// Restores the default memory budget at the end of a test.
struct BudgetScope {
    explicit BudgetScope(std::uint64_t bytes) { SetMemoryBudget(bytes); }
    ~BudgetScope() { SetMemoryBudget(0); }
};

TEST(ReconstructionBudget, AHeaderThatAsksForTooMuchIsRefusedBeforeAnythingIsMade) {
    // Rows start on 4-byte boundaries; plane order holds the pass on show too.
    EXPECT_EQ(DecodeMemoryNeed(37, 23, false), 40u * 23 + 8 * 37);
    EXPECT_EQ(DecodeMemoryNeed(37, 23, true), 2u * 40 * 23 + 37);
    EXPECT_EQ(DecodeMemoryNeed(65535, 65535, true), 2ull * 65536 * 65535 + 65535);

    BudgetScope budget(DecodeMemoryNeed(512, 512, true));
    EXPECT_NO_THROW(CheckDecodeMemory(512, 512, true));
    EXPECT_NO_THROW(CheckDecodeMemory(512, 513, false));
    try {
        CheckDecodeMemory(512, 513, true);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), PictureTooLargeMessage(512, 513));
        EXPECT_EQ(std::string(e.what()),
                  "Zbyt mała ilość dopuszczalnej pamięci RAM na obraz 512×513 pikseli");
    }

    // The row buffer of a reconstruction is checked too: nothing is read.
    SetMemoryBudget(7);
    ByteStream decoded;
    decoded.Write("\x01\x01\x01\x01\x01\x01\x01\x01", 8);
    Image image(1, 1);
    EXPECT_THROW(ReconstructPixelMajor(decoded, 1, 1, image.Rows()), Error);
    EXPECT_EQ(image.px[0], 0xEE);
    EXPECT_NO_THROW(ReconstructPass(decoded, 1, 1, 1, image.Rows(), image.ConstRows()));
}

}  // namespace
}  // namespace eks
