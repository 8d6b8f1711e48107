#pragma once

// The page "Wykres": the bits per pixel after coding against the coder order,
// drawn from the window's result records: one line per image and bit order,
// or for a corpus the mean of each bit order with the band of its images.

#include <QPointF>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "analysis/Analysis.h"
#include "results/ChartSeries.h"
#include "results/ResultRow.h"
#include "ui/ChartPlot.h"
#include "ui/Worker.h"

class QCheckBox;
class QChartView;
class QLabel;
class QLineSeries;
class QPushButton;
class QRadioButton;

namespace eks {

// The figures of the PGM file at `path`, computed from its bits as the
// encode job would expand them; Gone when it cannot be read or has no pixels.
// Throws AnalysisCancelled.
ChartReferences ComputeChartReferences(const std::string& path, const AnalysisControl& control);

class ChartPage : public QWidget {
    Q_OBJECT
  public:
    explicit ChartPage(QWidget* parent = nullptr);
    ~ChartPage() override;

    // Draws the chart anew from the window's records, in table order, with
    // the separators of the default locale. When the records come to more
    // than kChartManyImages images the mean view is shown, and when they
    // come to fewer again the view of each image, unless the user has chosen
    // a view since.
    void SetRecords(const std::vector<ResultRecord>& records);

    // The text shown last for the point under the pointer, empty before any.
    QString LastHoverText() const { return lastHoverText_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void btnSaveChartClick();
    // "każdy obraz" or "średnia" chosen.
    void rbChartViewClick();
    // A click on an image's legend entry hides or shows its lines.
    void ImageEntryClick(const std::string& path);

    void ShowHoverAt(const QPointF& pointer);
    void HideHover();
    // The value of a reference line near the pointer, when no line of the
    // coder is near it.
    void ShowReferenceAt(const QPointF& pointer);
    void ShowHoverText(const QPointF& where);
    // Draws the lines and, when ticked, the references known so far; starts
    // the computation of those still missing.
    void Redraw();

    // A file as it was: its size and modification time, or none.
    struct FileStamp {
        bool exists = false;
        qint64 size = 0;
        qint64 modified = 0;
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp StampOf(const std::string& path);
    // Computes the references of these files off the window's thread.
    void StartReferences(std::vector<std::pair<std::string, FileStamp>> missing);

    QChartView* ChartView = nullptr;
    QLabel* ChartHover = nullptr;
    QPushButton* btnSaveChart = nullptr;
    QCheckBox* cbReferences = nullptr;
    QRadioButton* rbChartEach = nullptr;
    QRadioButton* rbChartMean = nullptr;
    ChartContent content_;   // what is drawn
    bool autoMean_ = false;  // the mean view chosen by the page, not the user
    FilledChart filled_;
    // Each image's file as it was when first plotted, and the figures
    // computed, with the file as it was then.
    std::map<std::string, FileStamp> firstSeen_;
    std::map<std::string, std::pair<FileStamp, ChartReferences>> cache_;
    Worker referenceWorker_;
    QString lastHoverText_;
    QString chartName_ = "wykres.png";
};

}  // namespace eks
