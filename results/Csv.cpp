#include "results/Csv.h"

namespace eks {

namespace {

__extension__ using Uint128 = unsigned __int128;

std::uint64_t Magnitude(std::int64_t v) {
    return v < 0 ? ~static_cast<std::uint64_t>(v) + 1 : static_cast<std::uint64_t>(v);
}

std::string DecimalText(Uint128 v) {
    std::string out;
    do {
        out.insert(out.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v != 0);
    return out;
}

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
    if (pixels == 0) return {};
    constexpr std::uint64_t kScale = 1000000;
    // |bytes| × 8 × 10^6 < 2^87: exact in 128 bits.
    const Uint128 num = Uint128{Magnitude(bytes)} * 8 * kScale;
    const Uint128 den = Magnitude(pixels);
    Uint128 scaled = num / den;
    if ((num % den) * 2 >= den) ++scaled;  // a half goes away from zero
    const bool negative = ((bytes < 0) != (pixels < 0)) && scaled != 0;
    std::string fraction = DecimalText(scaled % kScale);
    fraction.insert(0, 6 - fraction.size(), '0');
    return (negative ? "-" : "") + DecimalText(scaled / kScale) + "." + fraction;
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
