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
           "check,error\n";
}

std::string CsvLine(const ResultRecord& record) {
    const TItemRec& row = record.item;
    const std::int64_t pixels = record.Pixels();
    const auto number = [](bool known, std::int64_t n) {
        return known ? std::to_string(n) : std::string();
    };
    std::string line = CsvField(record.path);
    line += ',';
    if (row.OpCode != 0) line += row.OpCode;
    line += ',' + std::to_string(row.ResultOrder);
    line += ',' + number(record.hasImage, row.ResultWidth);
    line += ',' + number(record.hasImage, row.ResultHeight);
    line += ',' + number(record.hasImage, pixels);
    line += ',' + number(record.hasImage, row.SizeBefore);
    line += ',' + number(record.hasContainer, row.SizeAfter);
    line += ',' + (record.hasImage ? CsvBitsPerPixel(row.SizeBefore, pixels) : std::string());
    line += ',' + (record.hasContainer ? CsvBitsPerPixel(row.SizeAfter, pixels) : std::string());
    line += ',';
    if (record.check == CheckState::Passed) line += "ok";
    if (record.check == CheckState::Failed) line += "failed";
    line += ',' + CsvField(record.error);
    return line + '\n';
}

std::string CsvText(const std::vector<ResultRecord>& records) {
    std::string text = CsvHeaderLine();
    for (const ResultRecord& record : records)
        text += CsvLine(record);
    return text;
}

}  // namespace eks
