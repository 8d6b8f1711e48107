#include "ui/Widgets.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>

namespace eks {

// ---------------------------------------------------------------- SpinEdit

SpinEdit::SpinEdit(int minimum, int maximum, int step, int value, QWidget* parent)
    : QSpinBox(parent) {
    setRange(minimum, maximum);
    setSingleStep(step);
    setValue(value);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setAccelerated(false);
}

int SpinEdit::Value() const {
    bool ok = false;
    const int v = cleanText().trimmed().toInt(&ok);
    if (!ok) return minimum();
    return std::clamp(v, minimum(), maximum());
}

// ------------------------------------------------------------- FileListBox

FileListBox::FileListBox(const QString& mask, QWidget* parent) : QListWidget(parent), mask_(mask) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // A change of the selection is the user's choice; a mere change of the
    // current row is not (Qt makes the row current before it selects it on
    // a mouse press, and the focus entering the list makes a row current
    // without selecting it).
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (filling_) return;
        if (pressing_) {
            selectedDuringPress_ = true;
            return;
        }
        ReportSelection();
    });
}

void FileListBox::ReportSelection() {
    const QString path = SelectedPath();
    if (!path.isEmpty()) emit userChoice(path);
}

void FileListBox::SetDirectory(const QString& dir) {
    filling_ = true;
    clear();
    directory_ = dir;
    addItems(ListFiles(dir, mask_));
    setCurrentRow(-1);
    filling_ = false;
}

QStringList FileListBox::ListFiles(const QString& dir, const QString& mask) {
    return QDir(dir).entryList({mask}, QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
}

QString FileListBox::PathOf(const QListWidgetItem* item) const {
    return QDir::toNativeSeparators(QDir(directory_).filePath(item->text()));
}

QString FileListBox::SelectedPath() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) return {};
    return PathOf(selected.first());
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
    const QListWidgetItem* hit = itemAt(event->position().toPoint());
    const bool wasSelected = hit && hit->isSelected();
    pressing_ = true;
    selectedDuringPress_ = false;
    QListWidget::mousePressEvent(event);
    pressing_ = false;
    // A new selection, or a click on the entry already chosen: both are a
    // choice, reported once with the entry under the pointer.
    if ((selectedDuringPress_ || wasSelected) && hit && hit->isSelected())
        emit userChoice(PathOf(hit));
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    const QListWidgetItem* hit = itemAt(event->position().toPoint());
    const QString path = hit ? PathOf(hit) : QString();
    QListWidget::mouseDoubleClickEvent(event);
    if (!path.isEmpty()) emit userDoubleClick(path);
}

// -------------------------------------------------------- DirectoryListBox

namespace {

constexpr int kLevelRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kIndent = 10;

// Draws each entry moved right by its depth in the tree.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(option.rect.left() + kIndent * index.data(kLevelRole).toInt());
        QStyledItemDelegate::paint(painter, shifted, index);
    }
};

}  // namespace

DirectoryListBox::DirectoryListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirectoryListBox::OpenEntry);
}

bool DirectoryListBox::SetDirectory(const QString& dir) {
    const QFileInfo info(dir);
    if (!info.isDir()) return false;
    QDir d(info.absoluteFilePath());
    const QString path = QDir::cleanPath(d.absolutePath());
    directory_ = QDir::toNativeSeparators(path);

    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirIcon);
    // The path from the root down to the current directory, each open.
    QStringList chain;
    for (QDir up(path);;) {
        chain.prepend(up.absolutePath());
        if (!up.cdUp()) break;
    }
    int level = 0;
    for (const QString& p : chain) {
        const QString name =
            QDir(p).isRoot() ? QDir::toNativeSeparators(p) : QFileInfo(p).fileName();
        auto* item = new QListWidgetItem(open, name, this);
        item->setData(kLevelRole, level++);
        item->setData(kPathRole, p);
    }
    setCurrentRow(count() - 1);
    // Its subdirectories, closed.
    for (const QFileInfo& sub :
         d.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        auto* item = new QListWidgetItem(closed, sub.fileName(), this);
        item->setData(kLevelRole, level);
        item->setData(kPathRole, sub.absoluteFilePath());
    }
    emit directoryChanged(directory_);
    return true;
}

void DirectoryListBox::OpenEntry(QListWidgetItem* item) {
    if (item) SetDirectory(item->data(kPathRole).toString());
}

void DirectoryListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OpenEntry(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

// ----------------------------------------------------------- DriveComboBox

namespace {

bool IsUserVolume(const QStorageInfo& volume) {
    static const QStringList pseudo = {"proc",   "sysfs",    "devpts",  "cgroup",     "cgroup2",
                                       "mqueue", "debugfs",  "tracefs", "securityfs", "pstore",
                                       "bpf",    "configfs", "fusectl", "hugetlbfs",  "binfmt_misc",
                                       "autofs", "devtmpfs", "nsfs",    "efivarfs",   "ramfs"};
    return volume.isValid() && volume.isReady() &&
           !pseudo.contains(QString::fromLatin1(volume.fileSystemType()));
}

}  // namespace

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent) {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (IsUserVolume(volume)) roots << QDir::toNativeSeparators(volume.rootPath());
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    if (!roots.contains(root)) roots << root;
    roots.removeDuplicates();
    roots.sort(Qt::CaseInsensitive);
    for (const QString& r : roots)
        addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), r, r);
    connect(this, &QComboBox::activated, this, [this](int index) {
        const QString drive = itemData(index).toString();
        emit driveChosen(lastDirectory_.value(drive, drive));
    });
}

QString DriveComboBox::DriveOf(const QString& path) const {
    // The volume with the longest root that the path lies in.
    QString best;
    qsizetype bestLength = -1;
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    for (int i = 0; i < count(); ++i) {
        const QString root = QDir::cleanPath(QDir::fromNativeSeparators(itemData(i).toString()));
        const QString prefix = root.endsWith('/') ? root : root + '/';
        const bool inside = clean.compare(root, Qt::CaseInsensitive) == 0 ||
                            clean.startsWith(prefix, Qt::CaseInsensitive);
        if (inside && root.size() > bestLength) {
            best = itemData(i).toString();
            bestLength = root.size();
        }
    }
    return best;
}

void DriveComboBox::SetDrive(const QString& drive) {
    const int index = findData(drive);
    if (index >= 0) setCurrentIndex(index);
}

void DriveComboBox::NoteDirectory(const QString& dir) {
    const QString drive = DriveOf(dir);
    if (drive.isEmpty()) return;
    lastDirectory_[drive] = dir;
    SetDrive(drive);
}

// -------------------------------------------------------------- PictureBox

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::SetPicture(const QImage& picture) {
    picture_ = picture;
    resize(picture_.size());
    update();
}

void PictureBox::ClearPicture() {
    picture_ = QImage();
    resize(0, 0);  // no stale scroll range
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
}

// --------------------------------------------------------------- ScrollBox

ScrollBox::ScrollBox(QWidget* parent) : QScrollArea(parent), canvas_(new QWidget) {
    setWidget(canvas_);
    setWidgetResizable(false);
    canvas_->installEventFilter(this);
}

bool ScrollBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == canvas_ && event->type() == QEvent::ChildAdded) {
        auto* child = static_cast<QChildEvent*>(event)->child();
        child->installEventFilter(this);
    } else if (watched != canvas_ &&
               (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        FitCanvas();
    }
    return QScrollArea::eventFilter(watched, event);
}

void ScrollBox::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    FitCanvas();
}

void ScrollBox::FitCanvas() {
    QSize size(0, 0);
    for (QWidget* child : canvas_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        size =
            size.expandedTo(QSize(child->geometry().right() + 1, child->geometry().bottom() + 1));
    // The canvas fills the view and grows to reach every child.
    const QSize view = maximumViewportSize();
    const bool needH = size.width() > view.width();
    const bool needV = size.height() > view.height();
    QSize area = viewport()->size();
    if (!needH && !needV) area = view;
    canvas_->resize(size.expandedTo(area));
}

// ------------------------------------------------------------ AnchorKeeper

AnchorKeeper::AnchorKeeper(QWidget* parent, QSize designSize)
    : QObject(parent), parent_(parent), design_(designSize) {
    parent->installEventFilter(this);
}

void AnchorKeeper::Add(QWidget* child, Qt::Edges edges) {
    entries_.push_back({child, child->geometry(), edges});
}

bool AnchorKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent_ && event->type() == QEvent::Resize) Apply();
    return QObject::eventFilter(watched, event);
}

void AnchorKeeper::Apply() {
    const int dw = parent_->width() - design_.width();
    const int dh = parent_->height() - design_.height();
    for (const Entry& e : entries_) {
        QRect r = e.design;
        if (e.edges & Qt::RightEdge) {
            if (e.edges & Qt::LeftEdge)
                r.setWidth(e.design.width() + dw);
            else
                r.moveLeft(e.design.left() + dw);
        }
        if (e.edges & Qt::BottomEdge) {
            if (e.edges & Qt::TopEdge)
                r.setHeight(e.design.height() + dh);
            else
                r.moveTop(e.design.top() + dh);
        }
        e.child->setGeometry(r);
    }
}

void SetTextColour(QWidget* w, QColor colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    w->setPalette(p);
}

// ------------------------------------------------------------ shape

void Shape::mousePressEvent(QMouseEvent* event) {
    QFrame::mousePressEvent(event);
    emit mouseDown();
}

// ----------------------------------------------------------- report list

ReportList::ReportList(std::vector<int> minimumWidths, QWidget* parent)
    : QTreeView(parent), minimumWidths_(std::move(minimumWidths)) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

int ReportList::SelectedRow() const {
    const QModelIndexList rows =
        selectionModel() ? selectionModel()->selectedRows() : QModelIndexList{};
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ReportList::Unselect() {
    clearSelection();
    setCurrentIndex({});
}

void ReportList::mousePressEvent(QMouseEvent* event) {
    if (!indexAt(event->position().toPoint()).isValid()) Unselect();
    QTreeView::mousePressEvent(event);
}

void ReportList::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    emit clicked();
}

bool ReportList::viewportEvent(QEvent* event) {
    const bool handled = QTreeView::viewportEvent(event);
    if (event->type() == QEvent::Resize) ShareOutColumns();
    return handled;
}

void ReportList::ShareOutColumns() {
    if (!model()) return;
    const QFontMetrics metrics(header()->font());
    const int columns = std::min(model()->columnCount(), static_cast<int>(minimumWidths_.size()));
    std::vector<int> minimum;
    int total = 0;
    for (int c = 0; c < columns; ++c) {
        const QString caption = model()->headerData(c, Qt::Horizontal).toString();
        minimum.push_back(std::max(minimumWidths_[static_cast<std::size_t>(c)],
                                   metrics.horizontalAdvance(caption) + 12));
        total += minimum.back();
    }
    const int available = viewport()->width();
    int used = 0;
    for (int c = 0; c < columns; ++c) {
        const int least = minimum[static_cast<std::size_t>(c)];
        int w = std::max(least, least * available / total);
        if (c == columns - 1) w = std::max(least, available - used);
        setColumnWidth(c, w);
        used += w;
    }
}

// ------------------------------------------------------------ status bar

PanelStatusBar::PanelStatusBar(const std::vector<Panel>& panels, QWidget* parent)
    : QStatusBar(parent) {
    for (const Panel& panel : panels) {
        auto* label = new QLabel(QString::fromUtf8(panel.text));
        label->setObjectName(QString("StatusPanel%1").arg(labels_.size()));
        label->setMinimumWidth(panel.width);
        label->setAlignment(panel.alignment | Qt::AlignVCenter);
        if (panel.sunken) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        addWidget(label);
        labels_.push_back(label);
    }
}

void PanelStatusBar::SetText(int panel, const QString& text) {
    labels_[static_cast<std::size_t>(panel)]->setText(text);
}

QString PanelStatusBar::Text(int panel) const {
    return labels_[static_cast<std::size_t>(panel)]->text();
}

}  // namespace eks
