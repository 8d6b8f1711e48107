#pragma once

// The window's results: the table as a model over the records, and the
// files the records are saved to and read back from.

#include <QAbstractTableModel>
#include <QString>
#include <optional>
#include <vector>

#include "results/NumberFormat.h"
#include "results/ResultTable.h"

namespace eks {

// The rows of the results table over the window's records. A cell's text is
// made when the view asks for it, from the record and the row's place, so a
// large table costs nothing to show and its positions follow deletions.
class ResultsModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit ResultsModel(Separators seps, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Every record, those without a row too, in their order.
    const std::vector<ResultRecord>& Records() const { return table_.Records(); }
    // Appends the records; their rows come in one insertion.
    void Append(std::vector<ResultRecord> records);
    // Deletes a row with its record; false when there is no such row.
    bool DeleteRow(int row);

    // The least width of each column, in column order.
    static std::vector<int> MinimumWidths();

  private:
    ResultTable table_;
    Separators seps_;
};

// The files of the results, with the name, type and folder chosen last in
// this run.
class ResultFiles {
  public:
    // Asks for a name and saves the records as the report or as CSV, by the
    // type chosen; false when the user cancels. Throws Error when the file
    // cannot be written.
    bool Save(const std::vector<ResultRecord>& records, const Separators& seps);
    // Asks for a CSV and reads all its records; nothing when the user
    // cancels. Throws Error for a file that is no CSV of results.
    std::optional<std::vector<ResultRecord>> Load();

  private:
    QString reportName_ = "wyniki.txt";
    QString loadDir_;
    int reportType_ = 0;  // 0 the report, 1 the CSV
};

}  // namespace eks
