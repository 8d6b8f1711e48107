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
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/ExperimentState.h"
#include "core/Files.h"
#include "jobs/Jobs.h"
#include "jobs/Series.h"
#include "jobs/SeriesRun.h"
#include "jobs/WorkDir.h"
#include "results/NumberFormat.h"
#include "ui/ResultsModel.h"
#include "ui/Widgets.h"

namespace eks {

class AnalysisPage;
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
    QString PanelText(int index) const { return StatusBar->Text(index); }

    // What can be done next. Every control's state follows from the mode and
    // the results table (ApplyControls).
    enum class Mode { Idle, PgmReady, ContainerReady, Encoding, Decoding, Done, Series };

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Event handlers, named after the controls that raise them.
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
    void btnLoadClick();
    void btnSeriesRunClick();
    void btnSeriesStopClick() { seriesStop_ = true; }

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
    // Builds the decode request for the container chosen, runs the job and
    // shows its outcome.
    void DecodeChosenContainer();
    // Makes a page active as the program does (no page-change handler runs).
    void ShowPage(QWidget* page);

    // Controls, by the names the window gives them (also their object
    // names, by which tests find them).
    DriveComboBox* DriveComboBox1 = nullptr;
    DirectoryListBox* DLB = nullptr;
    FileListBox* FLB1 = nullptr;
    FileListBox* FLB2 = nullptr;
    Shape* Shape1 = nullptr;
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
    ReportList* ListView = nullptr;
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
    QPushButton* btnLoad = nullptr;
    QPushButton* btnQuit = nullptr;
    QProgressBar* ProgressBar = nullptr;
    // The page "Seria".
    QWidget* tabSeries = nullptr;
    QLabel* lbSeriesImage = nullptr;
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
    // The page "Analiza".
    QWidget* tabAnalysis = nullptr;
    AnalysisPage* Analysis = nullptr;
    PanelStatusBar* StatusBar = nullptr;

    void BuildWindow();
    QWidget* BuildFileColumn();
    QWidget* BuildButtonPanel();
    void BuildPictureTab();
    void BuildResultsTab();
    void BuildOptionsTab();
    void BuildDescriptionTab();
    void BuildSeriesTab();
    void BuildChartTab();
    void BuildAnalysisTab();
    void BuildStatusBar();

    // What a job reads from the window and shows in it.
    void ProcessEvents() override;
    int TimeoutSeconds() override { return seTimeout->Value(); }
    std::string TimeoutHint() override { return "można wydłużyć czas na stronie „Opcje”"; }
    void SetBusyCursor(bool busy) override;
    bool ConsoleVisible() override { return cbVisual->isChecked(); }
    int PassPauseMs() override { return seStepTime->Value(); }
    bool EndWaitWhenProgramEnds() override { return cbEndWait->isChecked(); }
    void HeaderRead(const ContainerHeader& header, std::int64_t fileSize) override;
    void ShowStep(const std::string& title) override {
        lbStep->setText(QString::fromStdString(title));
    }
    void StartProgress(int rows) override;
    void StepProgress() override { ProgressBar->setValue(ProgressBar->value() + 1); }
    void ClearPicture() override { Image->ClearPicture(); }
    void ShowPicture(const GreyPicture& picture) override;
    // Where the jobs run and the containers go.
    SeriesSettings JobSettings(bool check, bool endWaitWithProgram) const;
    JobPlace WorkPlace() const { return {state_.AppDir, workDir_.Path()}; }
    // Chooses the working files' folder, telling once why it is not the
    // application directory.
    void ChooseWorkDir();
    // What an encode step leaves in the window whether or not it succeeded:
    // the container list, the record, the image forgotten for want of memory.
    void KeepEncodeOutcome(const StepOutcome& outcome);
    // Gives the page "Analiza" a share of the loaded image, or none.
    void ShowImageToAnalysis();

    // The mode, and every control set from it and from the results table.
    void Enter(Mode mode);
    void ApplyControls();
    bool Working() const;
    // What "Koniec" and closing the window ask for: the end now, or once the
    // job that runs has ended (a series after its running step).
    void EndNow();
    void EndAfterJob();
    // Whether the window may end: true without unsaved results, else the
    // user's answer to the question (saving first when asked to).
    bool MayEnd();
    // Asks for a name and saves the results as report or CSV; whether they
    // were saved.
    bool SaveResults();

    // A job's record joins the results, unsaved, and the status bar shows
    // it; the records of a CSV read back join them as saved.
    void AddRecord(const ResultRecord& record);
    void AppendRecords(std::vector<ResultRecord> records);
    void ShowJobSummary(const ResultRecord& record);
    void ClearJobPanels();

    ExperimentState state_;
    Separators seps_;
    QString initialAppDir_;
    Mode mode_ = Mode::Idle;
    // The image chosen last, while it can be coded.
    std::optional<SeriesImage> image_;
    // The results: the records behind the table, and their files.
    ResultsModel* results_ = nullptr;
    ResultFiles files_;
    // The controls of the results page: shown while the user is on it;
    // "Zapisz wyniki" offered after a change of the table, "Usuń wpis" after
    // a click on a row.
    bool resultControlsShown_ = false;
    bool saveOffered_ = true;
    bool deleteOffered_ = false;
    std::atomic<bool> seriesStop_{false};
    // A row added or deleted since the last successful save.
    bool unsaved_ = false;
    bool endAfterJob_ = false;
    bool endRequested_ = false;
    CoderRunner runner_;
    // The working files' folder: the application directory while this
    // window holds its lock, else a private one.
    WindowWorkDir workDir_;
};

}  // namespace eks
