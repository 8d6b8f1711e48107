#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "coder/arith/engine/Crc32c.h"
#include "coder/arith/engine/ModelTables.h"

namespace eks::arith {
namespace {

// The formulas of ModelTables.h, in the platform's own floating point: the frozen values may
// differ from them by the rounding of one maths library, never by more than one unit.
long StretchFormula(int i) {
    const double p = (i + 0.5) / 4096.0;
    return std::lround(std::log(p / (1.0 - p)) * 256.0);
}

long SquashFormula(int x) {
    const long v = std::lround(65536.0 / (1.0 + std::exp(-x / 256.0)));
    return v < 1 ? 1 : (v > 65535 ? 65535 : v);
}

TEST(ArithModelTables, EveryEntryIsItsFormulaWithinOneUnit) {
    for (int i = 0; i < kStretchSize; ++i)
        EXPECT_LE(std::labs(kStretch[i] - StretchFormula(i)), 1) << "stretch " << i;
    for (int x = -kSquashRange; x <= kSquashRange; ++x)
        EXPECT_LE(std::labs(kSquash[x + kSquashRange] - SquashFormula(x)), 1) << "squash " << x;
}

// What the model relies on: neither table falls, are symmetric about the middle, stay within
// their bounds (the model's range arithmetic assumes |stretch| <= 2307) and meet in the middle.
TEST(ArithModelTables, ShapesTheModelRelies) {
    EXPECT_EQ(kStretch[0], -2307);
    EXPECT_EQ(kStretch[kStretchSize - 1], 2307);
    for (int i = 0; i < kStretchSize; ++i) {
        EXPECT_EQ(kStretch[kStretchSize - 1 - i], -kStretch[i]) << i;
        if (i > 0) {
            EXPECT_LE(kStretch[i - 1], kStretch[i]) << i;
        }
    }
    EXPECT_EQ(kSquash[0], 1);
    EXPECT_EQ(kSquash[kSquashRange], 32768);
    EXPECT_EQ(kSquash[2 * kSquashRange], 65535);
    for (int x = 1; x <= kSquashRange; ++x) {
        EXPECT_EQ(kSquash[kSquashRange + x] + kSquash[kSquashRange - x], 65536) << x;
        EXPECT_LE(kSquash[kSquashRange + x - 1], kSquash[kSquashRange + x]) << x;
    }
}

// The tables are part of the stream format of version 2: an edit of any entry, even one that
// the golden streams happen not to reach, changes the fingerprint.
TEST(ArithModelTables, AreTheFrozenOnes) {
    std::vector<uint8_t> bytes;
    for (int16_t v : kStretch) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    for (uint16_t v : kSquash) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    EXPECT_EQ(Crc32c::Of(bytes.data(), bytes.size()), 0x64A7E447u);
}

}  // namespace
}  // namespace eks::arith
