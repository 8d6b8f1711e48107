#pragma once

// The page "Analiza": where the bits of the loaded image go. The sweep of
// orders 1 to 9 in both bit orders (the coder's model beside the reference
// figures of a plain order-N model), the cost map of one order and bit order
// as a false-colour picture, and its plane costs as bars. The work runs on
// the page's Worker; the window stays usable meanwhile.

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "analysis/Analysis.h"
#include "results/NumberFormat.h"
#include "ui/Worker.h"

class QChartView;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace eks {

class PictureBox;
class ScrollBox;
class SpinEdit;

// The false colours of a cost: a perceptually even scale (viridis) from 0 to
// `top` bits, anything above drawn as the top; NaN, a pixel without a raster
// byte, grey.
QRgb CostColour(float cost, float top);
inline const QColor kNoDataGrey(128, 128, 128);

// The map in false colours, one pixel per image pixel; `top` is 8 bits for
// all eight bits, 1 bit for one plane.
QImage CostMapImage(const CostMap& map);
// The map with its scale beside it, as "Zapisz mapę" saves it: at least the
// image's size.
QImage RenderCostMapImage(const QImage& map, int plane, const QString& title = {});

// The text under the pointer: "12, 34: wartość 137, koszt 3,42 bita", or
// "12, 34: brak danych" for a pixel without a raster byte.
QString CostHoverText(int x, int y, std::optional<int> value, float cost, const QString& decimal);

class AnalysisPage : public QWidget {
    Q_OBJECT
  public:
    explicit AnalysisPage(QWidget* parent = nullptr);
    ~AnalysisPage() override;

    // A newly loaded image with the coder controls' order and bit order, or
    // none: stops the running work and forgets what was shown. The page
    // keeps a share of the image's bytes, which nothing changes.
    void SetImage(std::optional<AnalysisImage> image, int order, BitOrder bitOrder);
    // Stops the running work and waits for its thread; nothing it computed
    // is shown.
    void Cancel();
    bool Running() const { return worker_.Running(); }

    // Called by the worker before it starts, with the flag that stops it:
    // tests hold the worker there. Returns the previous hook.
    using WorkerHook = std::function<void(const std::atomic<bool>& cancel)>;
    static WorkerHook SetWorkerHook(WorkerHook hook);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void btnAnalyseClick();
    void btnAnalysisStopClick();
    void ChoiceChanged();
    // The user changed the order or the bit order on the page.
    void OrderChosen();
    void btnSaveMapClick();
    void btnSaveTableClick();

    struct Result;
    // Starts the work on the page's thread: the sweep too, or the map alone.
    void Start(bool sweep);
    void Finish(const std::shared_ptr<Result>& result);
    void ClearResults();
    void ShowSweep();
    void ShowPlaneCosts();
    void ShowHoverAt(QPoint at);
    void CenterMap();
    void ApplyControls();
    int Plane() const;
    BitOrder ChosenBitOrder() const;

    QPushButton* btnAnalyse = nullptr;
    QPushButton* btnAnalysisStop = nullptr;
    // Set once the user changes the page's order or bit order.
    bool userChose_ = false;
    SpinEdit* seAnalysisOrder = nullptr;
    QComboBox* cbAnalysisBitOrder = nullptr;
    QComboBox* cbAnalysisPlane = nullptr;
    QProgressBar* AnalysisProgress = nullptr;
    QLabel* lbAnalysisState = nullptr;
    QLabel* lbAnalysisHover = nullptr;
    QLabel* lbAnalysisNote = nullptr;
    ScrollBox* AnalysisScroll = nullptr;
    PictureBox* AnalysisMap = nullptr;
    QWidget* AnalysisScale = nullptr;
    QTableWidget* AnalysisTable = nullptr;
    QChartView* PlaneChart = nullptr;
    QPushButton* btnSaveMap = nullptr;
    QPushButton* btnSaveTable = nullptr;

    std::optional<AnalysisImage> image_;
    std::optional<Sweep> sweep_;
    std::optional<CostMap> map_;
    QImage mapImage_;
    Separators seps_;
    Worker worker_;
    QString mapName_ = "mapa.png";
    QString tableName_ = "analiza.csv";
};

}  // namespace eks
