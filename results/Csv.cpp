#include "results/Csv.h"

#include "results/NumberFormat.h"

namespace eks {

namespace {

// A field as it stands, or in double quotes with its quotes doubled when a
// reader would otherwise split it.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

}  // namespace

std::string CsvBitsPerPixel(std::int64_t bytes, std::int64_t pixels) {
    return pixels == 0 ? std::string() : RatioWithDecimals(bytes, 8, pixels, 6);
}

std::string CsvHeaderLine() {
    return "image,bit_order,order,width,height,pixels,size_before,size_after,bpp_before,bpp_after,"
           "check\n";
}

std::string CsvLine(const TItemRec& row, const std::string& image, const std::string& check) {
    const std::int64_t pixels = std::int64_t{row.ResultWidth} * row.ResultHeight;
    std::string line = CsvField(image);
    line += ',';
    if (row.OpCode != 0) line += row.OpCode;
    for (const std::int64_t n :
         {std::int64_t{row.ResultOrder}, std::int64_t{row.ResultWidth},
          std::int64_t{row.ResultHeight}, pixels, row.SizeBefore, row.SizeAfter})
        line += ',' + std::to_string(n);
    line += ',' + CsvBitsPerPixel(row.SizeBefore, pixels);
    line += ',' + CsvBitsPerPixel(row.SizeAfter, pixels);
    line += ',' + CsvField(check);
    return line + '\n';
}

}  // namespace eks
