// The window's layout: every control with its place, caption and start
// state, and the wiring of events to handlers. The handlers are in main.cpp.
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "core/Paths.h"
#include "ui/AnalysisPage.h"
#include "ui/ChartPage.h"
#include "ui/ImageDisplay.h"
#include "ui/Platform.h"
#include "ui/ResultsModel.h"
#include "ui/main.h"

namespace eks {

namespace {

const std::vector<PanelStatusBar::Panel> kPanels = {
    {" W × H =", 45, false, Qt::AlignLeft},
    {"", 70, true, Qt::AlignHCenter},
    {" FileSize =", 52, false, Qt::AlignLeft},
    {"", 100, true, Qt::AlignLeft},
    {" Bitrate =", 47, false, Qt::AlignLeft},
    {"", 80, true, Qt::AlignHCenter},
    {"", 25, false, Qt::AlignLeft},
    {"", 50, false, Qt::AlignLeft},
};

template <class W, class... Args>
W* Place(QWidget* parent, const char* name, QRect geometry, Args&&... args) {
    W* w = new W(std::forward<Args>(args)..., parent);
    if (name) w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    return w;
}

QFrame* Frame(QWidget* parent, QRect geometry, const char* name = nullptr) {
    auto* f = Place<QFrame>(parent, name, geometry);
    f->setFrameStyle(QFrame::Box | QFrame::Sunken);
    return f;
}

void SetBackground(QWidget* w, QColor colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::Base, colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

}  // namespace

TForm1::TForm1(const QString& appDir, Clock& clock, QWidget* parent)
    : QWidget(parent), initialAppDir_(appDir), runner_(*this, clock) {
    setObjectName("Form1");
    setWindowTitle("Eksperymenty z arytmetycznym koderem binarnym");
    QFont font;
    font.setFamilies({"Liberation Sans", "Arial", "DejaVu Sans"});
    font.setPointSize(8);
    setFont(font);
    const QLocale locale;
    seps_.thousands = locale.groupSeparator().toStdString();
    seps_.decimal = locale.decimalPoint().toStdString();

    BuildWindow();
    resize(632, 413);
    setMinimumSize(632, 413);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), QSize(640, 440));
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

// ------------------------------------------------------------------ layout

void TForm1::BuildWindow() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    root->addLayout(row, 1);

    auto* spacer = new QWidget(this);
    spacer->setFixedWidth(9);
    row->addWidget(spacer);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setHandleWidth(3);
    Splitter1->setOpaqueResize(false);
    Splitter1->setChildrenCollapsible(false);
    row->addWidget(Splitter1, 1);

    Panel1 = BuildFileColumn();
    Splitter1->addWidget(Panel1);

    auto* mainPanel = new QFrame;
    mainPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    mainPanel->setLineWidth(1);
    mainPanel->setMinimumWidth(145);
    auto* mainLayout = new QHBoxLayout(mainPanel);
    mainLayout->setContentsMargins(1, 1, 1, 1);
    mainLayout->setSpacing(0);
    auto* work = new QWidget;
    auto* workLayout = new QVBoxLayout(work);
    workLayout->setContentsMargins(0, 0, 0, 0);
    workLayout->setSpacing(0);
    PageControl1 = new QTabWidget;
    PageControl1->setObjectName("PageControl1");
    workLayout->addWidget(PageControl1, 1);
    ProgressBar = new QProgressBar;
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setFixedHeight(7);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(7);
    ProgressBar->setTextVisible(false);
    workLayout->addWidget(ProgressBar);
    mainLayout->addWidget(work, 1);
    mainLayout->addWidget(BuildButtonPanel());
    Splitter1->addWidget(mainPanel);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({145, 475});
    connect(Splitter1, &QSplitter::splitterMoved, this,
            [this] { RunReportingErrors([this] { Splitter1Moved(); }); });

    BuildPictureTab();
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName("TabSheet2");
    auto* box2 = new ScrollBox(TabSheet2);
    box2->setObjectName("ScrollBox2");
    box2->setFrameShape(QFrame::NoFrame);
    (new QVBoxLayout(TabSheet2))->addWidget(box2);
    TabSheet2->layout()->setContentsMargins(0, 0, 0, 0);
    auto* image1 = Place<PictureBox>(box2->Canvas(), "Image1", QRect(8, 8, 105, 105));
    Q_UNUSED(image1);
    PageControl1->addTab(TabSheet2, "Produkt");
    PageControl1->setTabVisible(1, false);
    BuildResultsTab();
    BuildOptionsTab();
    BuildDescriptionTab();
    BuildSeriesTab();
    BuildChartTab();
    BuildAnalysisTab();
    PageControl1->setCurrentWidget(TabSheet1);
    // The program's own page switches (ShowPage) block this signal.
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this] { RunReportingErrors([this] { PageControl1Change(); }); });

    BuildStatusBar();
    root->addWidget(StatusBar);
}

QWidget* TForm1::BuildFileColumn() {
    auto* panel = new QWidget;
    panel->setObjectName("Panel1");
    panel->setMinimumWidth(145);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget;
    header->setFixedHeight(41);
    header->resize(145, 41);
    Place<QLabel>(header, nullptr, QRect(4, 8, 120, 13), "Wybór pliku");
    Shape1 = Place<Shape>(header, "Shape1", QRect(131, 10, 9, 9));
    SetBackground(Shape1, QColor(0, 255, 0));
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setCursor(Qt::PointingHandCursor);
    Shape1->setToolTip("Katalog aplikacji");
    connect(Shape1, &Shape::mouseDown, this,
            [this] { RunReportingErrors([this] { Shape1MouseDown(); }); });
    (new AnchorKeeper(header, QSize(145, 41)))->Add(Shape1, Qt::RightEdge | Qt::TopEdge);
    DriveComboBox1 = Place<DriveComboBox>(header, "DriveComboBox1", QRect(0, 22, 145, 19));
    layout->addWidget(header);

    auto* files = new QSplitter(Qt::Vertical);
    files->setObjectName("FileSplitter");
    files->setHandleWidth(3);
    files->setOpaqueResize(false);
    files->setChildrenCollapsible(false);
    DLB = new DirectoryListBox;
    DLB->setObjectName("DLB");
    FLB1 = new FileListBox("*.pgm");
    FLB1->setObjectName("FLB1");
    FLB2 = new FileListBox("*.ybq");
    FLB2->setObjectName("FLB2");
    for (QWidget* w :
         {static_cast<QWidget*>(DLB), static_cast<QWidget*>(FLB1), static_cast<QWidget*>(FLB2)}) {
        w->setMinimumHeight(30);
        files->addWidget(w);
    }
    files->handle(1)->setObjectName("Splitter2");
    files->handle(2)->setObjectName("Splitter3");
    files->setStretchFactor(0, 0);
    files->setStretchFactor(1, 0);
    files->setStretchFactor(2, 1);
    files->setSizes({136, 133, 78});
    layout->addWidget(files, 1);

    connect(DriveComboBox1, &DriveComboBox::driveChosen, this, [this](const QString& dir) {
        RunReportingErrors([&] {
            if (!DLB->SetDirectory(dir)) DLB->SetDirectory(DriveComboBox1->Drive());
        });
    });
    connect(DLB, &DirectoryListBox::directoryChanged, this, [this](const QString& dir) {
        FLB1->SetDirectory(dir);
        DriveComboBox1->NoteDirectory(dir);
    });
    connect(FLB1, &FileListBox::userChoice, this,
            [this](const QString& path) { RunReportingErrors([&] { FLB1Click(path); }); });
    connect(FLB2, &FileListBox::userChoice, this,
            [this](const QString& path) { RunReportingErrors([&] { FLB2Click(path); }); });
    connect(FLB2, &FileListBox::userDoubleClick, this,
            [this] { RunReportingErrors([this] { btnDecodeClick(); }); });
    DLB->SetDirectory(QDir::currentPath());
    return panel;
}

QWidget* TForm1::BuildButtonPanel() {
    auto* panel = new QWidget;
    panel->setFixedWidth(116);
    const QSize design(116, 392);
    panel->resize(design);
    auto* anchors = new AnchorKeeper(panel, design);
    const Qt::Edges bottomLeft = Qt::LeftEdge | Qt::BottomEdge;

    Frame(panel, QRect(8, 7, 101, 114));
    Zlabel = Place<QLabel>(panel, "Zlabel", QRect(16, 18, 84, 13), "&Rząd kodera");
    SetTextColour(Zlabel, QColor(128, 128, 128));
    seOrder = Place<SpinEdit>(panel, "seOrder", QRect(16, 32, 84, 22), 1, 9, 1, 1);
    seOrder->setEnabled(false);
    Zlabel->setBuddy(seOrder);
    btnCode = Place<QPushButton>(panel, "btnCode", QRect(16, 63, 84, 25), "&Koduj");
    btnCode->setEnabled(false);
    cbDict = Place<QCheckBox>(panel, "cbDict", QRect(15, 96, 85, 17), "bez przeplotu");

    Frame(panel, QRect(8, 131, 101, 50));
    btnDecode = Place<QPushButton>(panel, "btnDecode", QRect(16, 143, 84, 25), "&Dekoduj");
    btnDecode->setEnabled(false);

    lbStep = Place<QLabel>(panel, "lbStep", QRect(10, 191, 100, 18), "");
    QFont stepFont = lbStep->font();
    stepFont.setPointSize(10);
    stepFont.setBold(true);
    lbStep->setFont(stepFont);
    SetTextColour(lbStep, QColor(255, 0, 0));

    // The results' buttons, shown with the page "Wyniki": the frame grows
    // upwards for "Wczytaj wyniki", into the room of the decode's step label,
    // which that page never shows.
    ZBevel = Frame(panel, QRect(8, 199, 101, 114), "ZBevel");
    btnLoad = Place<QPushButton>(panel, "btnLoad", QRect(16, 210, 84, 25), "W&czytaj wyniki");
    btnDelItem = Place<QPushButton>(panel, "btnDelItem", QRect(16, 243, 84, 25), "&Usuń wpis");
    btnSave = Place<QPushButton>(panel, "btnSave", QRect(16, 276, 84, 25), "&Zapisz wyniki");
    QFrame* quitFrame = Frame(panel, QRect(8, 323, 101, 57));
    btnQuit = Place<QPushButton>(panel, "btnQuit", QRect(16, 339, 84, 25), "Konie&c");
    for (QWidget* w : {static_cast<QWidget*>(ZBevel), static_cast<QWidget*>(btnLoad),
                       static_cast<QWidget*>(btnDelItem), static_cast<QWidget*>(btnSave),
                       static_cast<QWidget*>(quitFrame), static_cast<QWidget*>(btnQuit)})
        anchors->Add(w, bottomLeft);
    for (QWidget* w : {static_cast<QWidget*>(ZBevel), static_cast<QWidget*>(btnLoad),
                       static_cast<QWidget*>(btnDelItem), static_cast<QWidget*>(btnSave)})
        w->setVisible(false);

    connect(btnQuit, &QPushButton::clicked, this,
            [this] { RunReportingErrors([this] { btnQuitClick(); }); });
    connect(btnDelItem, &QPushButton::clicked, this,
            [this] { RunReportingErrors([this] { btnDelItemClick(); }); });
    connect(btnCode, &QPushButton::clicked, this,
            [this] { RunReportingErrors([this] { btnCodeClick(); }); });
    connect(btnDecode, &QPushButton::clicked, this,
            [this] { RunReportingErrors([this] { btnDecodeClick(); }); });
    connect(btnSave, &QPushButton::clicked, this,
            [this] { RunReportingErrors([this] { btnSaveClick(); }); });
    connect(btnLoad, &QPushButton::clicked, this,
            [this] { RunReportingErrors([this] { btnLoadClick(); }); });
    return panel;
}

void TForm1::BuildPictureTab() {
    tabPicture = new QWidget;
    tabPicture->setObjectName("tabPicture");
    auto* layout = new QVBoxLayout(tabPicture);
    layout->setContentsMargins(0, 0, 0, 0);
    ScrollBox1 = new ScrollBox;
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    SetBackground(ScrollBox1->viewport(), QColor(128, 128, 128));
    SetBackground(ScrollBox1->Canvas(), QColor(128, 128, 128));
    layout->addWidget(ScrollBox1);
    Image = Place<PictureBox>(ScrollBox1->Canvas(), "Image", QRect(72, 76, 200, 200));
    Image->SetPicture(TitlePicture());
    PageControl1->addTab(tabPicture, "Obraz");
}

void TForm1::BuildResultsTab() {
    tabResults = new QWidget;
    tabResults->setObjectName("tabResults");
    auto* layout = new QVBoxLayout(tabResults);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    results_ = new ResultsModel(seps_, this);
    ListView = new ReportList(ResultsModel::MinimumWidths());
    ListView->setObjectName("ListView");
    ListView->setModel(results_);
    connect(ListView, &ReportList::clicked, this,
            [this] { RunReportingErrors([this] { ListViewClick(); }); });
    layout->addWidget(ListView, 1);

    auto* legend = new QFrame;
    legend->setFixedHeight(37);
    legend->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    SetBackground(legend, QColor(164, 255, 164));
    Place<QLabel>(legend, nullptr, QRect(8, 3, 190, 14), "Op=P --- kodowanie z przeplotem");
    Place<QLabel>(legend, nullptr, QRect(8, 18, 190, 14), "Op=B --- kodowanie bez przeplotu");
    Place<QLabel>(legend, nullptr, QRect(199, 3, 150, 14), "Op=D --- dekodowanie");
    Place<QLabel>(legend, nullptr, QRect(199, 18, 150, 14), "R --- rząd kodera/dekodera");
    layout->addWidget(legend);
    PageControl1->addTab(tabResults, "Wyniki");
}

void TForm1::BuildSeriesTab() {
    tabSeries = new QWidget;
    tabSeries->setObjectName("tabSeries");
    const QSize page(349, 357);
    tabSeries->resize(page);
    auto* anchors = new AnchorKeeper(tabSeries, page);

    lbSeriesImage =
        Place<QLabel>(tabSeries, "lbSeriesImage", QRect(16, 6, 317, 15), "najpierw wybierz obraz");
    anchors->Add(lbSeriesImage, Qt::LeftEdge | Qt::RightEdge | Qt::TopEdge);
    auto* group =
        Place<QGroupBox>(tabSeries, "GroupBox3", QRect(16, 24, 317, 140), " Seria kodowań ");
    anchors->Add(group, Qt::LeftEdge | Qt::RightEdge | Qt::TopEdge);
    Place<QLabel>(group, nullptr, QRect(16, 27, 60, 13), "Rząd od");
    seFrom = Place<SpinEdit>(group, "seFrom", QRect(80, 24, 50, 22), 1, 9, 1, 1);
    Place<QLabel>(group, nullptr, QRect(142, 27, 20, 13), "do");
    seTo = Place<SpinEdit>(group, "seTo", QRect(166, 24, 50, 22), 1, 9, 1, 9);
    Place<QLabel>(group, nullptr, QRect(16, 56, 120, 13), "Kolejność bitów:");
    rbSeriesB =
        Place<QRadioButton>(group, "rbSeriesB", QRect(16, 74, 140, 17), "bez przeplotu (B)");
    rbSeriesP = Place<QRadioButton>(group, "rbSeriesP", QRect(16, 93, 140, 17), "z przeplotem (P)");
    rbSeriesBoth = Place<QRadioButton>(group, "rbSeriesBoth", QRect(166, 74, 120, 17), "obie");
    rbSeriesBoth->setChecked(true);
    cbSeriesCheck = Place<QCheckBox>(group, "cbSeriesCheck", QRect(16, 115, 290, 17),
                                     "Sprawdzaj każdy kontener dekoderem");

    btnSeriesRun =
        Place<QPushButton>(tabSeries, "btnSeriesRun", QRect(16, 172, 110, 25), "Uruchom serię");
    btnSeriesRun->setEnabled(false);
    btnSeriesStop =
        Place<QPushButton>(tabSeries, "btnSeriesStop", QRect(136, 172, 84, 25), "Przerwij");
    btnSeriesStop->setEnabled(false);
    SeriesProgress = Place<QProgressBar>(tabSeries, "SeriesProgress", QRect(16, 206, 317, 12));
    SeriesProgress->setTextVisible(false);
    SeriesProgress->setValue(0);
    anchors->Add(SeriesProgress, Qt::LeftEdge | Qt::RightEdge | Qt::TopEdge);
    lbSeriesStep = Place<QLabel>(tabSeries, "lbSeriesStep", QRect(16, 222, 317, 15), "");
    lstSeries = Place<QListWidget>(tabSeries, "lstSeries", QRect(16, 242, 317, 103));
    anchors->Add(lstSeries, Qt::LeftEdge | Qt::RightEdge | Qt::TopEdge | Qt::BottomEdge);
    lstSeries->setIconSize(QSize(14, 14));  // the mark of a failed step

    connect(btnSeriesRun, &QPushButton::clicked, this,
            [this] { RunReportingErrors([this] { btnSeriesRunClick(); }); });
    connect(btnSeriesStop, &QPushButton::clicked, this,
            [this] { RunReportingErrors([this] { btnSeriesStopClick(); }); });
    PageControl1->addTab(tabSeries, "Seria");
}

void TForm1::BuildChartTab() {
    tabChart = new QWidget;
    tabChart->setObjectName("tabChart");
    auto* layout = new QVBoxLayout(tabChart);
    layout->setContentsMargins(0, 0, 0, 0);
    Chart = new ChartPage;
    layout->addWidget(Chart);
    Chart->SetRecords({});
    PageControl1->addTab(tabChart, "Wykres");
}

void TForm1::BuildAnalysisTab() {
    tabAnalysis = new QWidget;
    tabAnalysis->setObjectName("tabAnalysis");
    auto* layout = new QVBoxLayout(tabAnalysis);
    layout->setContentsMargins(0, 0, 0, 0);
    Analysis = new AnalysisPage;
    layout->addWidget(Analysis);
    PageControl1->addTab(tabAnalysis, "Analiza");
}

void TForm1::BuildOptionsTab() {
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName("TabSheet1");
    const QSize page(349, 357);
    TabSheet1->resize(page);
    auto* pageAnchors = new AnchorKeeper(TabSheet1, page);
    const Qt::Edges leftRightTop = Qt::LeftEdge | Qt::RightEdge | Qt::TopEdge;

    auto* group1 =
        Place<QGroupBox>(TabSheet1, "GroupBox1", QRect(16, 24, 317, 201), " Opcje kodeka ");
    pageAnchors->Add(group1, leftRightTop);
    // Unticked at start: then a job waits the whole time-out, as it always has.
    cbEndWait = Place<QCheckBox>(group1, "cbEndWait", QRect(16, 26, 290, 17),
                                 "Kończ oczekiwanie, gdy koder skończy pracę");
    cbVisual = Place<QCheckBox>(group1, "cbVisual", QRect(16, 49, 260, 17),
                                "Podgląd podczas pracy w trybie DOS");
    auto* timeoutText =
        Place<QLabel>(group1, nullptr, QRect(16, 74, 204, 40),
                      "Max czas przetwarzania. pliku, po którym wywołane będzie maskowane "
                      "przerwanie.");
    timeoutText->setWordWrap(true);
    seTimeout = Place<SpinEdit>(group1, "seTimeout", QRect(224, 83, 57, 22), 5, 120, 1, 5);
    Place<QLabel>(group1, nullptr, QRect(284, 86, 30, 13), "[ s ]");
    auto* line = Place<QFrame>(group1, nullptr, QRect(8, 120, 301, 9));
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    (new AnchorKeeper(group1, QSize(317, 201)))->Add(line, leftRightTop);
    // The two program names: shown only, never read or changed.
    const auto programRow = [group1](int y, const char* label, const char* labelText,
                                     const char* edit, const char* program, const char* button) {
        Place<QLabel>(group1, label, QRect(16, y + 3, 78, 13), labelText);
        Place<QLineEdit>(group1, edit, QRect(96, y, 177, 21), program)->setEnabled(false);
        auto* speed = Place<QToolButton>(group1, button, QRect(273, y, 23, 22));
        speed->setText("...");
        speed->setAutoRaise(true);
        speed->setEnabled(false);
    };
    programRow(135, "Label1", "Plik kodera", "Edit1", kCoderProgram, "SpeedButton1");
    programRow(161, "Label2", "Plik dekodera", "Edit2", kDecoderProgram, "SpeedButton2");

    auto* group2 =
        Place<QGroupBox>(TabSheet1, "GroupBox2", QRect(16, 256, 317, 81), " Opcje wyświetlania ");
    pageAnchors->Add(group2, leftRightTop);
    auto* stepText = Place<QLabel>(group2, nullptr, QRect(16, 32, 200, 26),
                                   "Czas pomiędzy wyświetlaniem kolejnych \"pasaży\" "
                                   "dekodowanego obrazu.");
    stepText->setWordWrap(true);
    seStepTime = Place<SpinEdit>(group2, "seStepTime", QRect(224, 35, 57, 22), 0, 5000, 100, 1000);
    Place<QLabel>(group2, nullptr, QRect(282, 38, 34, 13), "[ ms ]");

    PageControl1->addTab(TabSheet1, "Opcje");
}

void TForm1::BuildDescriptionTab() {
    tabDescr = new QWidget;
    tabDescr->setObjectName("tabDescr");
    const QSize page(349, 357);
    tabDescr->resize(page);
    REdit = Place<QTextEdit>(tabDescr, "REdit", QRect(8, 8, 333, 337));
    REdit->setReadOnly(true);
    REdit->setFrameShape(QFrame::NoFrame);
    REdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    REdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette p = REdit->palette();
    p.setColor(QPalette::Base, p.color(QPalette::ToolTipBase));
    p.setColor(QPalette::Text, p.color(QPalette::ToolTipText));
    REdit->setPalette(p);
    (new AnchorKeeper(tabDescr, page))
        ->Add(REdit, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    PageControl1->addTab(tabDescr, "Opis");
}

void TForm1::BuildStatusBar() {
    StatusBar = new PanelStatusBar(kPanels, this);
    StatusBar->setObjectName("StatusBar");
    StatusBar->setFixedHeight(19);
}

}  // namespace eks
