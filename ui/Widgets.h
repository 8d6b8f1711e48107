#pragma once

// Small widgets of our own where Qt has no direct match for the classic
// file-choice column and the window's layout rules.

#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QSpinBox>
#include <QStatusBar>
#include <QTreeView>
#include <QVector>
#include <vector>

namespace eks {

// The colour of a widget's text (a label's, a check box's).
void SetTextColour(QWidget* w, QColor colour);

// An integer field with arrows. The arrows step within the range, a value
// typed outside it is pulled to the nearest bound when the field loses the
// focus, and Value() takes text that is not a whole number as the minimum.
class SpinEdit : public QSpinBox {
    Q_OBJECT
  public:
    SpinEdit(int minimum, int maximum, int step, int value, QWidget* parent = nullptr);
    int Value() const;
};

// A list of the files of one directory that match a mask ("*.pgm"), sorted
// by name. Files the user may not read are listed too: choosing one reports
// that it cannot be opened.
//
// A choice of the user is reported through userChoice with the chosen path,
// never an empty one: a click on an entry (also on the entry already chosen)
// and an arrow key that selects another entry. What only moves the current
// row without selecting (the focus entering the list) and a refill by the
// program report nothing. A double click on an entry reports
// userDoubleClick after the choice; Enter reports nothing.
class FileListBox : public QListWidget {
    Q_OBJECT
  public:
    FileListBox(const QString& mask, QWidget* parent = nullptr);
    QString Directory() const { return directory_; }
    // Lists the directory anew; the selection is cleared.
    void SetDirectory(const QString& dir);
    void Refill() { SetDirectory(directory_); }
    // The full path of the selected entry; empty when none is selected.
    QString SelectedPath() const;
    // The full path of an entry.
    QString PathOf(const QListWidgetItem* item) const;
    // The names a list with this mask shows for a directory, sorted.
    static QStringList ListFiles(const QString& dir, const QString& mask);

  signals:
    void userChoice(const QString& path);
    void userDoubleClick(const QString& path);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void ReportSelection();
    QString mask_;
    QString directory_;
    bool filling_ = false;
    // A mouse press is reported once it is complete: Qt makes the row
    // current before it selects it.
    bool pressing_ = false;
    bool selectedDuringPress_ = false;
};

// A directory list in the classic style: the path from the root down, the
// current directory open, then its subdirectories. A double click or Enter
// on an entry opens it.
class DirectoryListBox : public QListWidget {
    Q_OBJECT
  public:
    explicit DirectoryListBox(QWidget* parent = nullptr);
    QString Directory() const { return directory_; }
    // Shows the directory (and tells the linked file list); false when it
    // does not exist, in which case nothing changes.
    bool SetDirectory(const QString& dir);

  signals:
    void directoryChanged(const QString& dir);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void OpenEntry(QListWidgetItem* item);
    QString directory_;
};

// The drive selector: Windows drive letters there, the roots of the mounted
// volumes here. Choosing one sends the linked directory list to the
// directory last shown on that drive (its root at first).
class DriveComboBox : public QComboBox {
    Q_OBJECT
  public:
    explicit DriveComboBox(QWidget* parent = nullptr);
    // The drive (volume root) that holds a path.
    QString DriveOf(const QString& path) const;
    QString Drive() const { return currentData().toString(); }
    void SetDrive(const QString& drive);
    // Remembers the directory shown on its drive.
    void NoteDirectory(const QString& dir);

  signals:
    void driveChosen(const QString& directory);

  private:
    QMap<QString, QString> lastDirectory_;
};

// A picture drawn at its top-left without stretching, always as large as the
// picture. It keeps its own copy of the picture it is given.
class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);
    void SetPicture(const QImage& picture);
    void ClearPicture();
    const QImage& Picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
};

// A scrolling area whose content is placed freely; the scroll range always
// reaches the right and bottom edges of every child.
class ScrollBox : public QScrollArea {
    Q_OBJECT
  public:
    explicit ScrollBox(QWidget* parent = nullptr);
    QWidget* Canvas() const { return canvas_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void FitCanvas();
    QWidget* canvas_;
};

// Keeps children at fixed distances from the edges of their parent that
// they are anchored to, measured at the parent's design size: anchored left
// and right, a child stretches with its parent; anchored right (or bottom)
// only, it moves with that edge.
class AnchorKeeper : public QObject {
    Q_OBJECT
  public:
    AnchorKeeper(QWidget* parent, QSize designSize);
    void Add(QWidget* child, Qt::Edges edges);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Entry {
        QWidget* child;
        QRect design;
        Qt::Edges edges;
    };
    void Apply();
    QWidget* parent_;
    QSize design_;
    QVector<Entry> entries_;
};

// A filled shape that reports a press of a mouse button on it.
class Shape : public QFrame {
    Q_OBJECT
  public:
    using QFrame::QFrame;
  signals:
    void mouseDown();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// A list in report view over a table model: whole rows, one selected at a
// time, nothing edited in place. A click beside the rows takes the selection
// away; every click is reported once the button is released. The columns
// share out the list's width in proportion to their minimums, never narrower
// than a minimum or than the column's caption.
class ReportList : public QTreeView {
    Q_OBJECT
  public:
    // The least width of each column of the model, in column order.
    explicit ReportList(std::vector<int> minimumWidths, QWidget* parent = nullptr);
    // The selected row, or -1 when none is selected.
    int SelectedRow() const;
    // Takes the selection and the current row away.
    void Unselect();
  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    void ShareOutColumns();
    std::vector<int> minimumWidths_;
};

// A status bar of panels side by side, each with its text, border and
// alignment, at least as wide as designed and wider for a longer text.
class PanelStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    struct Panel {
        const char* text;
        int width;
        bool sunken;
        Qt::Alignment alignment;
    };
    explicit PanelStatusBar(const std::vector<Panel>& panels, QWidget* parent = nullptr);
    void SetText(int panel, const QString& text);
    QString Text(int panel) const;

  private:
    std::vector<QLabel*> labels_;
};

}  // namespace eks
