#pragma once

// Reading back the CSV that CsvLine writes (the window's, eksperymenty-seria's
// with its figure and shard columns, and a merge's): row by row, never the
// whole file, its header checked, every row it cannot read named by its line.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/Files.h"
#include "results/Csv.h"
#include "results/ResultRow.h"

namespace eks {

// One row as read: its fields (a quoted field without its quotes, doubled
// quotes as one), its text without the line end, and the line it starts on.
struct CsvRow {
    std::vector<std::string> fields;
    std::string text;
    std::size_t line = 0;
};

// No row CsvLine writes comes near this: a longer one (a quote left open, say)
// is not read on to the end of a large file.
inline constexpr std::size_t kMaxCsvRowBytes = std::size_t{1} << 20;

// A CSV file read a row at a time through a buffer of its own. Rows are read
// as CsvLine writes them: a field in double quotes may hold commas, doubled
// quotes and line breaks.
class CsvReader {
  public:
    // Opens the file (a regular file only); throws Error with the window's
    // texts when it cannot be opened.
    explicit CsvReader(const std::string& path, std::size_t bufferSize = 65536);

    const std::string& Path() const { return path_; }
    // The next row; false at the end of the file. Throws Error naming the file
    // and the line for a quote left open and a row longer than
    // kMaxCsvRowBytes, and for a file that cannot be read.
    bool Next(CsvRow& row);
    // Back to the first row.
    void Rewind();

  private:
    bool More();
    void Take(CsvRow& row, std::size_t n);
    [[noreturn]] void Unreadable(std::size_t line) const;

    std::string path_;
    InputFile file_;
    std::vector<char> buffer_;
    std::size_t next_ = 0, end_ = 0;
    std::size_t line_ = 1;  // of the next byte
};

// The columns of a CSV of ours, known from its header.
struct CsvColumns {
    CsvExtraColumns extra;  // the figure columns after "error"
    bool shard = false;     // ",job,shard,plan" last
    std::size_t count = 0;  // fields in every row
};

// The columns a header names, or nothing with `problem` naming what is
// missing or out of place ("brak kolumny size_after", "nieznana kolumna x").
std::optional<CsvColumns> CsvHeaderColumns(const std::vector<std::string>& header,
                                           std::string& problem);

// The record a row of ours stands for: its path, operation, order, the
// image's values and the size after where they are given, the check and the
// error. The figure and shard columns are not kept.
ResultRecord CsvRecord(const std::vector<std::string>& fields);

// The records of a CSV written by the window, by eksperymenty-seria or by a
// merge, in its order, failed jobs included. Throws Error naming the file and
// what is missing for a CSV of another layout ("Plik x.csv nie jest plikiem
// wyników: brak kolumny height"), the line of a row it cannot read, and the
// reader's errors.
std::vector<ResultRecord> ReadResultsCsv(const std::string& path);

// The three columns a shard's run adds to each row: the job's number, "K/N"
// and the plan's fingerprint ("3fa2c9e01b7d44a2-108": 16 hexadecimal digits,
// "-" and the plan's number of jobs).
inline constexpr const char* kCsvShardColumns = ",job,shard,plan";
struct CsvShard {
    std::size_t job = 0;
    int k = 0;
    int n = 0;
    std::string plan;
    std::size_t jobs = 0;  // the plan's, from its fingerprint
};
// ",7,2/3,3fa2c9e01b7d44a2-108".
std::string CsvShardValues(std::size_t job, int k, int n, const std::string& plan);
// The shard values of a row of `columns`, when they hold what CsvShardValues
// writes for a job of that shard.
std::optional<CsvShard> CsvShardOf(const std::vector<std::string>& fields);
// CsvLine with the shard's values before the line end.
std::string CsvShardLine(const ResultRecord& record, CsvExtraColumns extra, std::size_t job, int k,
                         int n, const std::string& plan);

}  // namespace eks
