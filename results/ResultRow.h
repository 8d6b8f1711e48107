#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/ExperimentState.h"
#include "results/NumberFormat.h"

namespace eks {

// Column indices of a results row.
enum ResultColumn {
    kColPosition,    // "Pos."
    kColFileName,    // "File Name"
    kColOperation,   // "Op/R"
    kColPixels,      // "Pixels"
    kColBitsBefore,  // "S BitRatio"
    kColBitsAfter,   // "F BitRatio"
    kColSizeBefore,  // "FS Before"
    kColSizeAfter,   // "FS After"
    kResultColumns
};

// The eight display texts of one row of the results table, in column order.
using ResultRow = std::array<std::string, kResultColumns>;

// Precision of the bits-per-pixel figures in the table and in the status bar.
inline constexpr int kTablePrecision = 8;
inline constexpr int kStatusPrecision = 5;

// bytes × 8 / pixels in fixed form, rounded exactly; empty when there are no
// pixels, so that an empty image never shows "inf" or "nan".
std::string BitsPerPixelText(std::int64_t bytes, std::int64_t pixels, int precision,
                             std::string_view decimalSep);

// The row that a finished job adds as row number `position`. The pixel count
// is ResultWidth × ResultHeight.
ResultRow MakeResultRow(const TItemRec& item, int position, const Separators& seps);

// The job summary of the status bar after a row is added: panel 1 "256×256",
// panel 3 "65,551/30,005" and panel 5 "8.002/3.663" (bits per pixel of
// ImageWidth × ImageHeight, precision 5; empty for an image without pixels).
struct JobStatusTexts {
    std::string dimensions;  // panel 1
    std::string sizes;       // panel 3
    std::string bitRates;    // panel 5
};
JobStatusTexts MakeJobStatusTexts(const ExperimentState& state, const Separators& seps);

}  // namespace eks
