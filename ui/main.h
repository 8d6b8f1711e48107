#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

#include "core/ExperimentState.h"
#include "jobs/Jobs.h"
#include "results/NumberFormat.h"
#include "ui/Widgets.h"

namespace eks {

class ChartPage;

// The workbench's one window. It owns the experiment state, the results
// table and the picture on show; its handlers bear the names of the controls
// that raise them.
class TForm1 : public QWidget, private JobHost {
    Q_OBJECT
  public:
    // appDir: the application directory with a trailing separator; empty for
    // the executable's own directory.
    // clock: what the waits for the coder programs measure time with; tests
    // give one of their own.
    explicit TForm1(const QString& appDir = {}, Clock& clock = SteadyClock(),
                    QWidget* parent = nullptr);
    ~TForm1() override;

    ExperimentState& State() { return state_; }
    const CoderRunner& Runner() const { return runner_; }
    bool EndRequested() const { return endRequested_; }
    QString PanelText(int index) const;

    // Event handlers.
    void FormCreate();
    void FormDestroy();
    void FormResize();
    void Splitter1Moved();
    void Shape1MouseDown();
    void FLB1Click(const QString& path);
    void FLB2Click(const QString& path);
    void PageControl1Change();
    void ListViewClick();
    void btnQuitClick();
    void btnDelItemClick();
    void btnCodeClick();
    void btnDecodeClick();
    void btnSaveClick();
    void seOrderChange();
    void seTimeoutChange();
    void btnSeriesRunClick();
    void btnSeriesStopClick();

    // Steps that the handlers share.
    void LoadSelectedFile(const QString& path);
    void LoadPgm();
    void ReadPgmHeader();
    void ShowPgmImage();
    void CenterImage();
    void UpdateStatusBar();
    void ShowDimensions();
    void ShowFileSize();
    void ShowBitrate();
    void AddResultRow();
    // Builds the decode request for the container chosen, runs the job and
    // shows its outcome.
    void DecodeChosenContainer();
    // Makes a page active as the program does (no page-change handler runs).
    void ShowPage(QWidget* page);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Controls, by the names the window gives them (also their object
    // names, by which tests find them).
    DriveComboBox* DriveComboBox1 = nullptr;
    DirectoryListBox* DLB = nullptr;
    FileListBox* FLB1 = nullptr;
    FileListBox* FLB2 = nullptr;
    QFrame* Shape1 = nullptr;
    QWidget* Panel1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* tabPicture = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* tabResults = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* tabDescr = nullptr;
    ScrollBox* ScrollBox1 = nullptr;
    PictureBox* Image = nullptr;
    QTreeWidget* ListView = nullptr;
    QCheckBox* cbVisual = nullptr;
    QCheckBox* cbEndWait = nullptr;
    SpinEdit* seTimeout = nullptr;
    SpinEdit* seStepTime = nullptr;
    QTextEdit* REdit = nullptr;
    QLabel* Zlabel = nullptr;
    SpinEdit* seOrder = nullptr;
    QPushButton* btnCode = nullptr;
    QCheckBox* cbDict = nullptr;
    QPushButton* btnDecode = nullptr;
    QLabel* lbStep = nullptr;
    QFrame* ZBevel = nullptr;
    QPushButton* btnDelItem = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnQuit = nullptr;
    QProgressBar* ProgressBar = nullptr;
    // The page "Seria".
    QWidget* tabSeries = nullptr;
    SpinEdit* seFrom = nullptr;
    SpinEdit* seTo = nullptr;
    QRadioButton* rbSeriesB = nullptr;
    QRadioButton* rbSeriesP = nullptr;
    QRadioButton* rbSeriesBoth = nullptr;
    QCheckBox* cbSeriesCheck = nullptr;
    QPushButton* btnSeriesRun = nullptr;
    QPushButton* btnSeriesStop = nullptr;
    QProgressBar* SeriesProgress = nullptr;
    QLabel* lbSeriesStep = nullptr;
    QListWidget* lstSeries = nullptr;
    // The page "Wykres".
    QWidget* tabChart = nullptr;
    ChartPage* Chart = nullptr;
    QStatusBar* StatusBar = nullptr;

    void BuildWindow();
    QWidget* BuildFileColumn();
    QWidget* BuildButtonPanel();
    void BuildPictureTab();
    void BuildResultsTab();
    void BuildOptionsTab();
    void BuildDescriptionTab();
    void BuildSeriesTab();
    void BuildChartTab();
    // The chart follows the rows of the results table.
    void UpdateChart();
    void BuildStatusBar();
    void ShareOutColumns();

    // What a job reads from the window and shows in it.
    void ProcessEvents() override;
    int TimeoutSeconds() override;
    void SetBusyCursor(bool busy) override;
    bool ConsoleVisible() override;
    int PassPauseMs() override;
    bool EndWaitWhenProgramEnds() override;
    void HeaderRead(const ContainerHeader& header, std::int64_t fileSize) override;
    void ShowStep(const std::string& title) override;
    void StartProgress(int rows) override;
    void StepProgress() override;
    void ClearPicture() override;
    void ShowPicture(const GreyPicture& picture) override;
    JobPlace JobDirectories() const;
    // The encode of the image loaded now, with the choices read at the press.
    EncodeRequest EncodeRequestFor(bool pixelMajor, int order) const;
    // Applies an encode's outcome: the state, the container list, the row.
    // Throws the error of a failed job.
    void TakeEncodeOutcome(const EncodeOutcome& outcome, int order);
    // The raw values a results row was made from, and the full path of its file.
    struct RowRecord {
        std::string path;
        TItemRec item;
    };
    static constexpr int kRowRecordRole = Qt::UserRole + 1;
    RowRecord RecordOfRow(int row) const;
    // One step of a series; its result or error for the list of steps.
    QString RunSeriesStep(bool pixelMajor, int order, bool check, bool& imageKept);
    class SeriesScope;
    class JobScope;

    void SetCoderControls(bool on);
    void SetFileLists(bool on);
    void SetResultControlsVisible(bool visible);
    void SetPanel(int index, const QString& text);
    // Runs a handler's body; an error that escapes it goes to the standard
    // error report and the window stays usable.
    void Guard(const std::function<void()>& body);

    ExperimentState state_;
    Separators seps_;
    QString initialAppDir_;
    bool endRequested_ = false;
    bool seriesRunning_ = false;
    bool seriesStopRequested_ = false;
    bool quitAfterSeries_ = false;
    bool programPageChange_ = false;
    QLabel* panels_[8] = {};
    CoderRunner runner_;
    QString reportName_ = "wyniki.txt";
};

// The standard error report: the error's message, with a full stop appended
// when its last character sorts after ".", in a box with a stop icon.
QString ErrorReportText(const QString& message);

}  // namespace eks
