#include "results/Csv.h"

#include <charconv>

#include "results/NumberFormat.h"

namespace eks {

namespace {

// Where the UTF-8 character at s[i] ends, and whether it is well formed.
// When it is not, s[i] up to that end is one maximal invalid part: the lead
// byte and the bytes after it that could still have continued it.
struct Utf8Step {
    std::size_t end;
    bool valid;
};
Utf8Step Utf8StepAt(const std::string& s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return {i + 1, true};
    const std::size_t length = b0 >= 0xC2 && b0 <= 0xDF   ? 2
                               : b0 >= 0xE0 && b0 <= 0xEF ? 3
                               : b0 >= 0xF0 && b0 <= 0xF4 ? 4
                                                          : 0;
    if (length == 0) return {i + 1, false};
    // The second byte's range leaves out overlong forms, surrogates and
    // everything beyond U+10FFFF.
    unsigned lo = b0 == 0xE0 ? 0xA0 : b0 == 0xF0 ? 0x90 : 0x80;
    unsigned hi = b0 == 0xED ? 0x9F : b0 == 0xF4 ? 0x8F : 0xBF;
    for (std::size_t k = 1; k < length; ++k, lo = 0x80, hi = 0xBF) {
        if (i + k >= s.size()) return {i + k, false};
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < lo || b > hi) return {i + k, false};
    }
    return {i + length, true};
}

// bits / pixels with six decimals after a '.', whatever the locale; empty
// without the figure or without pixels.
std::string CsvRate(const std::optional<double>& bits, std::int64_t pixels) {
    if (!bits || pixels <= 0) return {};
    double rate = *bits / static_cast<double>(pixels);
    if (rate > -5e-7 && rate < 5e-7) rate = 0;  // no "-0.000000" from a sum's rounding
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, rate, std::chars_format::fixed, 6);
    return std::string(text, end.ptr);
}

}  // namespace

std::string CsvField(const std::string& raw) {
    const std::string text = ValidUtf8(raw);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

std::string ValidUtf8(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Step step = Utf8StepAt(text, i);
        if (step.valid)
            out.append(text, i, step.end - i);
        else
            out += "\xEF\xBF\xBD";
        i = step.end;
    }
    return out;
}

std::string CsvBitsPerPixel(std::int64_t bytes, std::int64_t pixels) {
    return pixels == 0 ? std::string() : RatioWithDecimals(bytes, 8, pixels, 6);
}

std::string CsvHeaderLine(CsvExtraColumns extra) {
    std::string line =
        "image,bit_order,order,width,height,pixels,size_before,size_after,bpp_before,bpp_after,"
        "check,error";
    if (extra.references) line += ",kt_bpp,cond_entropy_bpp,h0_bpp";
    if (extra.planeCosts)
        for (int plane = 7; plane >= 0; --plane)
            line += ",plane" + std::to_string(plane) + "_bpp";
    return line + '\n';
}

std::string CsvLine(const ResultRecord& record, CsvExtraColumns extra) {
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
    if (extra.references) {
        const auto& refs = record.references;
        line += ',' + CsvRate(refs ? std::optional(refs->kt) : std::nullopt, pixels);
        line += ',' + CsvRate(refs ? std::optional(refs->condEntropy) : std::nullopt, pixels);
        line += ',' + CsvRate(refs ? std::optional(refs->h0) : std::nullopt, pixels);
    }
    if (extra.planeCosts)
        for (int plane = 7; plane >= 0; --plane)
            line += ',' + CsvRate(record.planeBits ? std::optional((*record.planeBits)[plane])
                                                   : std::nullopt,
                                  pixels);
    return line + '\n';
}

std::string CsvText(const std::vector<ResultRecord>& records, CsvExtraColumns extra) {
    std::string text = CsvHeaderLine(extra);
    for (const ResultRecord& record : records)
        text += CsvLine(record, extra);
    return text;
}

}  // namespace eks
