#pragma once

// The results of a run as the window's table shows them: every record in the
// order it came, and the rows made of them. A failed job's record (loaded from
// a series' CSV) is kept for the CSV but is no row.

#include <cstddef>
#include <string>
#include <vector>

#include "results/NumberFormat.h"
#include "results/ResultRow.h"

namespace eks {

// Whether a record is a row of the table and of the report: a written
// container or a decode, never a job that failed.
inline bool ShownInTable(const ResultRecord& record) {
    return record.Written();
}

class ResultTable {
  public:
    // Every record, rows and hidden ones, in their order: what a CSV holds.
    const std::vector<ResultRecord>& Records() const { return records_; }
    std::size_t RowCount() const { return rows_.size(); }
    // The record behind a row; the row must exist.
    const ResultRecord& RecordOfRow(std::size_t row) const { return records_[rows_[row]]; }
    // How many rows these records would add.
    static std::size_t RowsOf(const std::vector<ResultRecord>& records);
    // Appends the records after those there; their rows follow the rows there.
    void Append(std::vector<ResultRecord> records);
    // Deletes a row's record; the rows after it move up one place. False when
    // there is no such row.
    bool DeleteRow(std::size_t row);
    // A cell's text as MakeResultRow writes it; the position is the row's
    // place in the table, counted from 1.
    std::string CellText(std::size_t row, ResultColumn column, const Separators& seps) const;

  private:
    std::vector<ResultRecord> records_;
    std::vector<std::size_t> rows_;  // the index of each row's record
};

}  // namespace eks
