#include "results/Report.h"

#include <gtest/gtest.h>

#include "core/Error.h"
#include "core/TestFiles.h"
#include "results/ResultTable.h"

namespace eks {
namespace {

const ResultRow kExampleRow = {"1",     "obraz.pgm", "P/3",    "65,536",
                               "8.002", "3.663",     "65,551", "30,005"};

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t crlf; (crlf = bytes.find("\r\n", start)) != std::string::npos;
         start = crlf + 2)
        lines.push_back(bytes.substr(start, crlf - start));
    EXPECT_EQ(start, bytes.size()) << "every line ends with CR LF";
    return lines;
}

TEST(Report, WorkedExampleLineByLine) {
    const auto lines = Lines(ReportBytes({kExampleRow}, "14:05:09"));
    const std::string hyphens = " " + std::string(80, '-');
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "14:05:09");
    EXPECT_EQ(lines[1], hyphens);
    EXPECT_EQ(lines[2], kReportHeader);
    EXPECT_EQ(lines[3], hyphens);
    EXPECT_EQ(lines[4],
              "    1       obraz.pgm    P/3       65,536    8.002    3.663    65,551     30,005");
    EXPECT_EQ(lines[4].size(), 80u);
    EXPECT_EQ(lines[5], hyphens);
    EXPECT_EQ(lines[6], "");

    ASSERT_EQ(kReportHeader.size(), 82u);
    std::string bars;
    for (std::size_t i = 0; i < kReportHeader.size(); ++i)
        if (kReportHeader[i] == '|') bars += std::to_string(i + 1) + " ";
    EXPECT_EQ(bars, "1 7 23 30 43 52 61 71 82 ");
}

TEST(Report, LongTextsPushTheLineAndEmptyTablesKeepTheFrame) {
    ResultRow row = kExampleRow;
    row[kColFileName] = std::string(24, 'a') + ".pgm";
    const auto lines = Lines(ReportBytes({kExampleRow, row}, "09:00:00"));
    EXPECT_EQ(lines[4].size(), 80u);
    EXPECT_EQ(lines[5].size(), 93u);
    EXPECT_EQ(lines[5].substr(6, 28), row[kColFileName]);

    const auto empty = Lines(ReportBytes({}, "09:00:00"));
    ASSERT_EQ(empty.size(), 6u);
    EXPECT_EQ(empty[3], empty[4]);
    EXPECT_EQ(empty[5], "");
}

TEST(Report, PolishTextsBecomeWindows1250AndTakeOneColumnEach) {
    ResultRow row = kExampleRow;
    row[kColFileName] = "źdźbło.pgm";
    row[kColPixels] = "65 536";
    const auto lines = Lines(ReportBytes({row}, "07:08:09"));
    EXPECT_EQ(lines[4].size(), 80u);
    EXPECT_EQ(lines[4].substr(11, 10), "\x9F\x64\x9F\x62\xB3o.pgm");
    EXPECT_EQ(lines[4].substr(29, 12), "      65 536");

    // A control character in a name would break the line: each shows as "?".
    row[kColFileName] = std::string("a\r\nb\tc\x7f\0.pgm", 12);
    const auto controls = Lines(ReportBytes({row}, "07:08:09"));
    ASSERT_EQ(controls.size(), 7u);
    EXPECT_EQ(controls[4].substr(6, 15), "   a??b?c??.pgm");
    EXPECT_EQ(controls[4].size(), 80u);
}

// The table over records: three written jobs with two failed ones between
// and after them. The failed stay among the records (a CSV keeps them) but
// are no rows; a row deleted takes its own record, and the rows after it
// move up and are numbered anew; the report's rows are the table's.
TEST(Report, TheTableShowsWrittenRecordsAndDeletesARowsOwnRecord) {
    const auto record = [](const char* name, bool written) {
        ResultRecord r;
        r.item = {name, 65551, 30005, 256, 256, 'P', 3};
        r.hasContainer = written;
        return r;
    };
    ResultTable table;
    table.Append({record("a.pgm", true), record("x.pgm", false), record("b.pgm", true)});
    table.Append({record("y.pgm", false), record("c.pgm", true)});
    ASSERT_EQ(table.RowCount(), 3u);
    ASSERT_EQ(table.Records().size(), 5u);
    EXPECT_EQ(table.RecordOfRow(2).item.CurrentName, "c.pgm");
    EXPECT_EQ(table.CellText(2, kColPosition, {}), "3");

    EXPECT_FALSE(table.DeleteRow(3));
    ASSERT_TRUE(table.DeleteRow(1));
    std::vector<std::string> names;
    for (const ResultRecord& r : table.Records())
        names.push_back(r.item.CurrentName);
    EXPECT_EQ(names, (std::vector<std::string>{"a.pgm", "x.pgm", "y.pgm", "c.pgm"}));
    ASSERT_EQ(table.RowCount(), 2u);
    EXPECT_EQ(table.RecordOfRow(1).item.CurrentName, "c.pgm");
    EXPECT_EQ(table.CellText(1, kColPosition, {}), "2");
    const std::vector<ResultRow> report = ReportRows(table.Records(), {",", "."});
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[1],
              (ResultRow{"2", "c.pgm", "P/3", "65,536", "8.002", "3.663", "65,551", "30,005"}));
}

TEST(Report, TimeOfDayIsTwentyFourHour) {
    std::tm t{};
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    EXPECT_EQ(TimeOfDayText(t), "14:05:09");
}

TEST(Report, WritingReplacesTheFileOrFailsWithItsName) {
    TempDir dir;
    const std::string path = dir.File("wyniki.txt");
    WriteReport(path, {kExampleRow, kExampleRow}, "10:00:00");
    WriteReport(path, {kExampleRow}, "11:00:00");
    EXPECT_EQ(ReadFile(path), ReportBytes({kExampleRow}, "11:00:00"));

    const std::string bad = dir.File("brak/raport.txt");
    try {
        WriteReport(bad, {kExampleRow}, "11:00:00");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + bad);
    }
}

}  // namespace
}  // namespace eks
