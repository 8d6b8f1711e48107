#include "results/ResultRow.h"

#include <filesystem>

namespace eks {

std::string BitsPerPixelText(std::int64_t bytes, std::int64_t pixels, int precision,
                             std::string_view decimalSep) {
    return FormatFixedRatio(bytes, 8, pixels, precision, decimalSep);
}

ResultRow MakeResultRow(const TItemRec& item, int position, const Separators& seps) {
    // The product is taken in 64 bits: 65535 × 65535 does not fit 32.
    const std::int64_t pixels = std::int64_t{item.ResultWidth} * item.ResultHeight;
    ResultRow row;
    row[kColPosition] = std::to_string(position);
    row[kColFileName] = item.CurrentName;
    if (item.OpCode != 0) row[kColOperation] += item.OpCode;
    row[kColOperation] += "/" + std::to_string(item.ResultOrder);
    row[kColPixels] = FormatThousands(pixels, seps.thousands);
    row[kColBitsBefore] = BitsPerPixelText(item.SizeBefore, pixels, kTablePrecision, seps.decimal);
    row[kColBitsAfter] = BitsPerPixelText(item.SizeAfter, pixels, kTablePrecision, seps.decimal);
    row[kColSizeBefore] = FormatThousands(item.SizeBefore, seps.thousands);
    row[kColSizeAfter] = FormatThousands(item.SizeAfter, seps.thousands);
    return row;
}

std::string DimensionsText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "×" + std::to_string(height);
}

std::string NormalPath(const std::string& path) {
    if (path.empty()) return path;
    return std::filesystem::path(path).lexically_normal().string();
}

JobStatusTexts MakeJobStatusTexts(const ResultRecord& record, const Separators& seps) {
    // After either job the image on show has the row's pixels.
    const TItemRec& item = record.item;
    const std::int64_t pixels = record.Pixels();
    JobStatusTexts texts;
    texts.dimensions = DimensionsText(item.ResultWidth, item.ResultHeight);
    texts.sizes = FormatThousands(item.SizeBefore, seps.thousands) + "/" +
                  FormatThousands(item.SizeAfter, seps.thousands);
    if (pixels != 0)
        texts.bitRates = BitsPerPixelText(item.SizeBefore, pixels, kStatusPrecision, seps.decimal) +
                         "/" +
                         BitsPerPixelText(item.SizeAfter, pixels, kStatusPrecision, seps.decimal);
    return texts;
}

}  // namespace eks
