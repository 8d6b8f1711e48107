#pragma once

// Drives the window as a person does: mouse clicks on the visual rectangles
// of list entries, rows, tabs and buttons, keys typed into the focused
// widget, accelerators. Widgets are found by their object names; no handler
// is ever called directly.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "tests/coder/PacedClock.h"
#include "ui/Widgets.h"

namespace eks::test {

class UserDriver {
  public:
    explicit UserDriver(QWidget& window) : window_(window) {}

    template <class T>
    T* Find(const char* name) const {
        T* w = window_.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << "no widget named " << name;
        return w;
    }

    // A left click in the middle of a widget (a button, a check box).
    void Click(const char* name) const { Click(Find<QWidget>(name)); }
    static void Click(QWidget* w, QPoint at = {}) {
        QTest::mouseClick(w, Qt::LeftButton, {}, at.isNull() ? w->rect().center() : at);
        QApplication::processEvents();
    }

    // A click on the list entry with this text; false when it is not listed.
    bool ClickEntry(const char* list, const QString& text) const {
        return OnEntry(list, text, Click);
    }

    // A double click as the mouse makes it: press, release, double click, release.
    bool DoubleClickEntry(const char* list, const QString& text) const {
        return OnEntry(list, text, DoubleClick);
    }
    static void DoubleClick(QWidget* w, QPoint at) {
        QTest::mousePress(w, Qt::LeftButton, {}, at);
        QTest::mouseRelease(w, Qt::LeftButton, {}, at);
        QTest::mouseDClick(w, Qt::LeftButton, {}, at);
        QTest::mouseRelease(w, Qt::LeftButton, {}, at);
        QApplication::processEvents();
    }

    // A click on the page tab with this caption.
    void ClickTab(const QString& caption) const {
        auto* pages = Find<QTabWidget>("PageControl1");
        QTabBar* bar = pages->tabBar();
        for (int i = 0; i < bar->count(); ++i) {
            if (bar->tabText(i) == caption && bar->isTabVisible(i)) {
                Click(bar, bar->tabRect(i).center());
                return;
            }
        }
        ADD_FAILURE() << "no tab " << caption.toStdString();
    }

    // A click on a row of the results list.
    void ClickRow(int row) const {
        auto* list = Find<QTreeView>("ListView");
        const QRect r = list->visualRect(list->model()->index(row, 0));
        Click(list->viewport(), r.center());
    }

    // Clicks into a spin edit, selects its text and types the number.
    void TypeNumber(const char* name, int value) const {
        auto* spin = Find<QSpinBox>(name);
        QLineEdit* edit = spin->findChild<QLineEdit*>();
        Click(edit);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, QString::number(value));
        QTest::keyClick(edit, Qt::Key_Tab);
        QApplication::processEvents();
    }

    // A key on the widget that has the focus (the window when none has).
    void Key(int key, Qt::KeyboardModifiers modifiers = {}) const {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : &window_, static_cast<Qt::Key>(key), modifiers);
        QApplication::processEvents();
    }

    // Alt and the underlined letter of a caption. A button pressed this way
    // shows itself pressed for a moment before it clicks: wait for that.
    void Accelerator(int key) const {
        Key(key, Qt::AltModifier);
        const auto buttons = window_.findChildren<QAbstractButton*>();
        const bool released = QTest::qWaitFor(
            [&] {
                return std::none_of(buttons.begin(), buttons.end(),
                                    [](const QAbstractButton* b) { return b->isDown(); });
            },
            10000);
        EXPECT_TRUE(released) << "a button stays pressed";
    }

    static QListWidgetItem* Entry(QListWidget* box, const QString& text) {
        const auto found = box->findItems(text, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }

  private:
    bool OnEntry(const char* list, const QString& text, void (*act)(QWidget*, QPoint)) const {
        auto* box = Find<QListWidget>(list);
        const QListWidgetItem* item = Entry(box, text);
        if (!item) return false;
        act(box->viewport(), box->visualItemRect(item).center());
        return true;
    }

    QWidget& window_;
};

// The window's controls, found by their object names: the names the window
// gives them.
struct Controls {
    explicit Controls(QWidget& window) : window_(window) {}

  private:
    QWidget& window_;
    template <class T>
    T* Get(const char* name) const {
        T* w = window_.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << "no control named " << name;
        return w;
    }

  public:
    DriveComboBox* DriveComboBox1 = Get<DriveComboBox>("DriveComboBox1");
    DirectoryListBox* DLB = Get<DirectoryListBox>("DLB");
    FileListBox* FLB1 = Get<FileListBox>("FLB1");
    FileListBox* FLB2 = Get<FileListBox>("FLB2");
    QFrame* Shape1 = Get<QFrame>("Shape1");
    QWidget* Panel1 = Get<QWidget>("Panel1");
    QSplitter* Splitter1 = Get<QSplitter>("Splitter1");
    QTabWidget* PageControl1 = Get<QTabWidget>("PageControl1");
    QWidget* tabPicture = Get<QWidget>("tabPicture");
    QWidget* TabSheet2 = Get<QWidget>("TabSheet2");
    QWidget* tabResults = Get<QWidget>("tabResults");
    QWidget* TabSheet1 = Get<QWidget>("TabSheet1");
    QWidget* tabDescr = Get<QWidget>("tabDescr");
    ScrollBox* ScrollBox1 = Get<ScrollBox>("ScrollBox1");
    PictureBox* Image = Get<PictureBox>("Image");
    ReportList* ListView = Get<ReportList>("ListView");
    QCheckBox* cbVisual = Get<QCheckBox>("cbVisual");
    SpinEdit* seTimeout = Get<SpinEdit>("seTimeout");
    SpinEdit* seStepTime = Get<SpinEdit>("seStepTime");
    QTextEdit* REdit = Get<QTextEdit>("REdit");
    QLabel* Zlabel = Get<QLabel>("Zlabel");
    SpinEdit* seOrder = Get<SpinEdit>("seOrder");
    QPushButton* btnCode = Get<QPushButton>("btnCode");
    QCheckBox* cbDict = Get<QCheckBox>("cbDict");
    QPushButton* btnDecode = Get<QPushButton>("btnDecode");
    QLabel* lbStep = Get<QLabel>("lbStep");
    QFrame* ZBevel = Get<QFrame>("ZBevel");
    QPushButton* btnDelItem = Get<QPushButton>("btnDelItem");
    QPushButton* btnSave = Get<QPushButton>("btnSave");
    QPushButton* btnQuit = Get<QPushButton>("btnQuit");
    QProgressBar* ProgressBar = Get<QProgressBar>("ProgressBar");
    QStatusBar* StatusBar = Get<QStatusBar>("StatusBar");
};

// The rows of the results list and their texts, as the list shows them.
inline int RowCount(const QTreeView* list) {
    return list->model()->rowCount();
}
inline QString CellText(const QTreeView* list, int row, int column) {
    return list->model()->index(row, column).data().toString();
}

// Every picture a picture box shows while the window handles its events,
// in order: the passes of a decode as the user sees them.
class PictureSpy {
  public:
    explicit PictureSpy(const PictureBox& box) {
        QObject::connect(&timer_, &QTimer::timeout, [this, &box] {
            const QImage& pic = box.Picture();
            if (!pic.isNull() && (seen_.empty() || seen_.back().cacheKey() != pic.cacheKey()))
                seen_.push_back(pic);
        });
    }
    void Start() { timer_.start(0); }
    void Stop() { timer_.stop(); }
    const std::vector<QImage>& Seen() const { return seen_; }

  private:
    QTimer timer_;
    std::vector<QImage> seen_;
};

}  // namespace eks::test
