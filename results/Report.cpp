#include "results/Report.h"

#include <cstdio>

#include "core/ByteStream.h"
#include "core/Cp1250.h"
#include "results/ResultTable.h"

namespace eks {

namespace {

// Counts characters, not bytes, so that Polish letters take one column.
std::size_t Utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

// The text right-aligned in a field of `width` characters, never cut.
std::string RightAligned(const std::string& text, std::size_t width) {
    const std::size_t len = Utf8Length(text);
    return len >= width ? text : std::string(width - len, ' ') + text;
}

// A control character (a line break, a tab, ...) in a name would break the
// row's line: each is shown as "?".
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

const std::string kHyphenLine = " " + std::string(80, '-');

}  // namespace

std::string TimeOfDayText(const std::tm& local) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return buf;
}

std::string TimeOfDayNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return TimeOfDayText(local);
}

std::vector<ResultRow> ReportRows(const std::vector<ResultRecord>& records,
                                  const Separators& seps) {
    std::vector<ResultRow> rows;
    for (const ResultRecord& record : records)
        if (ShownInTable(record))
            rows.push_back(MakeResultRow(record.item, static_cast<int>(rows.size()) + 1, seps));
    return rows;
}

std::string ReportRowLine(const ResultRow& row) {
    return " " + RightAligned(row[kColPosition], 4) + " " +
           RightAligned(Printable(row[kColFileName]), 15) + "  " +
           RightAligned(row[kColOperation], 5) + " " + RightAligned(row[kColPixels], 12) + "    " +
           RightAligned(row[kColBitsBefore], 5) + "    " + RightAligned(row[kColBitsAfter], 5) +
           " " + RightAligned(row[kColSizeBefore], 9) + "  " + RightAligned(row[kColSizeAfter], 9);
}

std::string ReportBytes(const std::vector<ResultRow>& rows, std::string_view timeText) {
    std::string text;
    const auto line = [&text](std::string_view s) {
        text += s;
        text += "\r\n";
    };
    line(timeText);
    line(kHyphenLine);
    line(kReportHeader);
    line(kHyphenLine);
    for (const ResultRow& row : rows)
        line(ReportRowLine(row));
    line(kHyphenLine);
    line("");
    return Utf8ToCp1250(text);
}

void WriteReport(const std::string& path, const std::vector<ResultRow>& rows,
                 std::string_view timeText) {
    const std::string bytes = ReportBytes(rows, timeText);
    WriteWholeFile(path, bytes.data(), bytes.size());
}

}  // namespace eks
