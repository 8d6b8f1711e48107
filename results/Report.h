#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "results/ResultRow.h"

namespace eks {

// The report's header line, between two lines of one space and 80 hyphens.
inline constexpr std::string_view kReportHeader =
    "| Lp. |  Nazwa pliku  | Op/R | L. pikseli |  BR In | BR Out | Size In | Size Out |";

// The time of day as hours:minutes:seconds, 24-hour: "14:05:09".
std::string TimeOfDayText(const std::tm& local);

// The local time of day now, in that form.
std::string TimeOfDayNow();

// The table's rows of the written records, numbered from 1, with the
// locale's separators: what the report holds.
std::vector<ResultRow> ReportRows(const std::vector<ResultRecord>& records, const Separators& seps);

// One row line in the report's fixed-width layout (UTF-8, no line end). A
// text longer than its field is written whole and pushes the rest right; a
// control character in the file name (0x00 to 0x1F, 0x7F) is shown as "?".
std::string ReportRowLine(const ResultRow& row);

// The whole report as file bytes: Windows-1250, every line ended by CR LF.
// The time line, a hyphen line, the header, a hyphen line, one line per row,
// a hyphen line and an empty line.
std::string ReportBytes(const std::vector<ResultRow>& rows, std::string_view timeText);

// Writes the report to `path`, replacing any file of that name; an earlier
// file of that name survives a failed write. Throws Error on failure.
void WriteReport(const std::string& path, const std::vector<ResultRow>& rows,
                 std::string_view timeText);

}  // namespace eks
