#include "ui/ResultsModel.h"

#include <QFileInfo>

#include "core/ByteStream.h"
#include "results/Csv.h"
#include "results/CsvReader.h"
#include "results/Report.h"
#include "ui/Platform.h"

namespace eks {

namespace {

struct Column {
    const char* caption;
    Qt::Alignment alignment;
    int minimumWidth;
};

// In the order of ResultColumn.
const Column kColumns[kResultColumns] = {
    {"Pos.", Qt::AlignLeft, 35},        {"File Name", Qt::AlignLeft, 70},
    {"Op/R", Qt::AlignHCenter, 40},     {"Pixels", Qt::AlignHCenter, 55},
    {"S BitRatio", Qt::AlignRight, 50}, {"F BitRatio", Qt::AlignRight, 50},
    {"FS Before", Qt::AlignRight, 50},  {"FS After", Qt::AlignRight, 50},
};

}  // namespace

ResultsModel::ResultsModel(Separators seps, QObject* parent)
    : QAbstractTableModel(parent), seps_(std::move(seps)) {}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.RowCount());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kResultColumns;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto column = static_cast<ResultColumn>(index.column());
    if (role == Qt::DisplayRole)
        return QString::fromStdString(
            table_.CellText(static_cast<std::size_t>(index.row()), column, seps_));
    if (role == Qt::TextAlignmentRole)
        return static_cast<int>(kColumns[column].alignment | Qt::AlignVCenter);
    return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kResultColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kColumns[section].caption);
    if (role == Qt::TextAlignmentRole)
        return static_cast<int>(kColumns[section].alignment | Qt::AlignVCenter);
    return {};
}

void ResultsModel::Append(std::vector<ResultRecord> records) {
    const int added = static_cast<int>(ResultTable::RowsOf(records));
    if (added == 0) {
        table_.Append(std::move(records));
        return;
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + added - 1);
    table_.Append(std::move(records));
    endInsertRows();
}

bool ResultsModel::DeleteRow(int row) {
    if (row < 0 || row >= rowCount()) return false;
    beginRemoveRows({}, row, row);
    table_.DeleteRow(static_cast<std::size_t>(row));
    endRemoveRows();
    // The rows after it are numbered anew.
    if (row < rowCount())
        emit dataChanged(index(row, kColPosition), index(rowCount() - 1, kColPosition));
    return true;
}

std::vector<int> ResultsModel::MinimumWidths() {
    std::vector<int> widths;
    for (const Column& column : kColumns)
        widths.push_back(column.minimumWidth);
    return widths;
}

bool ResultFiles::Save(const std::vector<ResultRecord>& records, const Separators& seps) {
    const SaveChoice chosen =
        AskSaveFileName({"Podaj nazwę pliku raportu", "Pliki tekstowe (*.txt)", "txt", reportName_,
                         "Pliki CSV (*.csv)", "csv", reportType_});
    if (chosen.path.isEmpty()) return false;
    reportName_ = chosen.path;
    reportType_ = chosen.type;
    if (chosen.type == 1) {
        // The same rows for spreadsheets and plotting tools.
        const std::string text = CsvText(records);
        WriteWholeFile(chosen.path.toStdString(), text.data(), text.size());
    } else {
        WriteReport(chosen.path.toStdString(), ReportRows(records, seps), TimeOfDayNow());
    }
    return true;
}

std::optional<std::vector<ResultRecord>> ResultFiles::Load() {
    const QString path = AskOpenFileName(
        {QString::fromUtf8("Wczytaj wyniki"), QString::fromUtf8("Pliki CSV (*.csv)"), loadDir_});
    if (path.isEmpty()) return std::nullopt;
    loadDir_ = QFileInfo(path).absolutePath();
    return ReadResultsCsv(path.toStdString());
}

}  // namespace eks
