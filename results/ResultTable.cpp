#include "results/ResultTable.h"

#include <algorithm>
#include <iterator>

namespace eks {

std::size_t ResultTable::RowsOf(const std::vector<ResultRecord>& records) {
    return static_cast<std::size_t>(std::count_if(records.begin(), records.end(), ShownInTable));
}

void ResultTable::Append(std::vector<ResultRecord> records) {
    const std::size_t first = records_.size();
    // A whole file read into an empty table is taken as it is, not moved
    // record by record.
    if (first == 0)
        records_ = std::move(records);
    else
        records_.insert(records_.end(), std::make_move_iterator(records.begin()),
                        std::make_move_iterator(records.end()));
    for (std::size_t i = first; i < records_.size(); ++i)
        if (ShownInTable(records_[i])) rows_.push_back(i);
}

bool ResultTable::DeleteRow(std::size_t row) {
    if (row >= rows_.size()) return false;
    const std::size_t record = rows_[row];
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(record));
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
    for (std::size_t r = row; r < rows_.size(); ++r)
        --rows_[r];
    return true;
}

std::string ResultTable::CellText(std::size_t row, ResultColumn column,
                                  const Separators& seps) const {
    return ResultCellText(RecordOfRow(row).item, static_cast<int>(row) + 1, column, seps);
}

}  // namespace eks
