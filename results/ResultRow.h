#pragma once

#include <array>
#include <cstdint>
#include <optional>
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
// One text of that row.
std::string ResultCellText(const TItemRec& item, int position, ResultColumn column,
                           const Separators& seps);

// Whether a container was checked by decoding it again, and how that went.
enum class CheckState { None, Passed, Failed };

// What plain models would need for a job's bits: a KT model and the
// conditional entropy of the job's order over its bit sequence, and N · H0 of
// the image's pixel bytes.
struct ReferenceBits {
    double kt = 0;
    double condEntropy = 0;
    double h0 = 0;
};

// One result, with its raw values: what a job measured. The window keeps a
// list of them beside its table and makes the table's texts, the report, the
// CSV, the chart and the status bar from them; eksperymenty-seria makes its
// report and CSV from the same records.
struct ResultRecord {
    std::string path;  // the file's path, normalised (NormalPath)
    // The file's name, the sizes, width and height as the header gives them,
    // the operation letter ('B', 'P' or 'D') and the order.
    TItemRec item;
    CheckState check = CheckState::None;
    // A job of a series that failed keeps its record too, for the CSV: what
    // it does not have is left out, and `error` says why it failed.
    bool hasImage = true;      // width, height and size before are known
    bool hasContainer = true;  // size after is known: a container was written
    std::string error;
    // Figures of the bit sequence the job coded, in bits, when
    // eksperymenty-seria is asked for them; nothing for a job that failed.
    std::optional<ReferenceBits> references;
    std::optional<std::array<double, 8>> planeBits;  // the coder's model; index = bit plane

    std::int64_t Pixels() const { return std::int64_t{item.ResultWidth} * item.ResultHeight; }
    bool Written() const { return hasContainer; }
};

// The dimension form: width, the multiplication sign, height, no blanks: "512×384".
std::string DimensionsText(std::int64_t width, std::int64_t height);

// A path with "." and ".." parts resolved and separators that follow each
// other joined into one: "/a//wyniki/x.ybq" → "/a/wyniki/x.ybq". A relative
// path stays relative.
std::string NormalPath(const std::string& path);

// The job summary of the status bar after a row is added: panel 1 "256×256",
// panel 3 "65,551/30,005" and panel 5 "8.002/3.663" (bits per pixel,
// precision 5; empty for an image without pixels).
struct JobStatusTexts {
    std::string dimensions;  // panel 1
    std::string sizes;       // panel 3
    std::string bitRates;    // panel 5
};
JobStatusTexts MakeJobStatusTexts(const ResultRecord& record, const Separators& seps);

}  // namespace eks
