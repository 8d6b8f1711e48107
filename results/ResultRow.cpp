#include "results/ResultRow.h"

#include <filesystem>

#include "core/Files.h"

namespace eks {

std::string BitsPerPixelText(std::int64_t bytes, std::int64_t pixels, int precision,
                             std::string_view decimalSep) {
    return FormatFixedRatio(bytes, 8, pixels, precision, decimalSep);
}

ResultRow MakeResultRow(const TItemRec& item, int position, const Separators& seps) {
    ResultRow row;
    for (int column = 0; column < kResultColumns; ++column)
        row[column] = ResultCellText(item, position, static_cast<ResultColumn>(column), seps);
    return row;
}

std::string ResultCellText(const TItemRec& item, int position, ResultColumn column,
                           const Separators& seps) {
    // The product is taken in 64 bits: 65535 × 65535 does not fit 32.
    const std::int64_t pixels = std::int64_t{item.ResultWidth} * item.ResultHeight;
    switch (column) {
        case kColPosition:
            return std::to_string(position);
        case kColFileName:
            return item.CurrentName;
        case kColOperation:
            return (item.OpCode != 0 ? std::string(1, item.OpCode) : std::string()) + "/" +
                   std::to_string(item.ResultOrder);
        case kColPixels:
            return FormatThousands(pixels, seps.thousands);
        case kColBitsBefore:
            return BitsPerPixelText(item.SizeBefore, pixels, kTablePrecision, seps.decimal);
        case kColBitsAfter:
            return BitsPerPixelText(item.SizeAfter, pixels, kTablePrecision, seps.decimal);
        case kColSizeBefore:
            return FormatThousands(item.SizeBefore, seps.thousands);
        case kColSizeAfter:
            return FormatThousands(item.SizeAfter, seps.thousands);
        default:
            return {};
    }
}

std::string DimensionsText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "×" + std::to_string(height);
}

std::string NormalPath(const std::string& path) {
    if (path.empty()) return path;
    return Utf8String(FsPath(path).lexically_normal());
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
