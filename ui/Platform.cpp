#include "ui/Platform.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>

#include "core/ByteStream.h"
#include "core/Error.h"
#include "core/Files.h"

namespace eks {

QString ExecutableDir() {
    QString dir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!dir.endsWith(QDir::separator())) dir += QDir::separator();
    return dir;
}

namespace {

MessageButton DefaultMessageBox(MessageKind kind, const QString& caption, const QString& text) {
    if (kind == MessageKind::SaveQuestion) {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton,
                        QApplication::activeWindow());
        QPushButton* save = box.addButton(QString::fromUtf8("Zapisz"), QMessageBox::AcceptRole);
        QPushButton* dontSave =
            box.addButton(QString::fromUtf8("Nie zapisuj"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(QString::fromUtf8("Anuluj"), QMessageBox::RejectRole);
        box.setDefaultButton(save);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == save) return MessageButton::Save;
        if (box.clickedButton() == dontSave) return MessageButton::DontSave;
        return MessageButton::Cancel;
    }
    QMessageBox box(kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
    return MessageButton::Ok;
}

MessageBoxFn& CurrentMessageBoxFn() {
    static MessageBoxFn fn = DefaultMessageBox;
    return fn;
}

}  // namespace

MessageButton ShowMessageBox(MessageKind kind, const QString& text) {
    // The application sets no title of its own: the caption is its name.
    return CurrentMessageBoxFn()(kind, QCoreApplication::applicationName(), text);
}

MessageBoxFn SetMessageBoxFn(MessageBoxFn fn) {
    MessageBoxFn previous = std::move(CurrentMessageBoxFn());
    CurrentMessageBoxFn() = std::move(fn);
    return previous;
}

QString ErrorReportText(const QString& message) {
    return QString::fromStdString(StandardErrorText(message.toStdString()));
}

void RunReportingErrors(const std::function<void()>& body) {
    try {
        body();
    } catch (const std::exception& e) {
        ShowMessageBox(MessageKind::Error, ErrorReportText(QString::fromUtf8(e.what())));
    } catch (...) {
        ShowMessageBox(MessageKind::Error, ErrorReportText("Nieznany błąd"));
    }
}

namespace {

SaveChoice DefaultSaveFileName(const SaveDialogSpec& spec) {
    QFileDialog dialog(QApplication::activeWindow(), spec.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(spec.secondFilter.isEmpty()
                              ? QStringList{spec.filter}
                              : QStringList{spec.filter, spec.secondFilter});
    dialog.selectNameFilter(spec.selectedType == 1 ? spec.secondFilter : spec.filter);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(spec.proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const int type =
        !spec.secondFilter.isEmpty() && dialog.selectedNameFilter() == spec.secondFilter;
    return {dialog.selectedFiles().first(), type};
}

SaveFileFn& CurrentSaveFileFn() {
    static SaveFileFn fn = DefaultSaveFileName;
    return fn;
}

}  // namespace

SaveChoice AskSaveFileName(const SaveDialogSpec& spec) {
    SaveChoice choice = CurrentSaveFileFn()(spec);
    if (choice.path.isEmpty()) return {};
    if (QFileInfo(choice.path).suffix().isEmpty()) {
        const QString& suffix = choice.type == 1 ? spec.secondSuffix : spec.defaultSuffix;
        if (!choice.path.endsWith('.')) choice.path += '.';
        choice.path += suffix;
    }
    return choice;
}

SaveFileFn SetSaveFileFn(SaveFileFn fn) {
    SaveFileFn previous = std::move(CurrentSaveFileFn());
    CurrentSaveFileFn() = std::move(fn);
    return previous;
}

namespace {

QString DefaultOpenFile(const OpenDialogSpec& spec) {
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), spec.title, spec.directory,
                                        spec.filter);
}

OpenFileFn& CurrentOpenFileFn() {
    static OpenFileFn fn = DefaultOpenFile;
    return fn;
}

}  // namespace

QString AskOpenFileName(const OpenDialogSpec& spec) {
    return CurrentOpenFileFn()(spec);
}

OpenFileFn SetOpenFileFn(OpenFileFn fn) {
    OpenFileFn previous = std::move(CurrentOpenFileFn());
    CurrentOpenFileFn() = std::move(fn);
    return previous;
}

void RequestApplicationEnd() {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void SavePng(const QImage& image, const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        throw Error(CannotCreateFileMessage(path.toStdString()));
    WriteWholeFile(path.toStdString(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

qint64 MeasureFileSize(const QString& path) {
    // Opened as every input is: a pipe put in its place is not waited for.
    const std::string name = path.toStdString();
    InputFile file;
    if (const auto status = file.Open(name); status != InputFile::Status::Open)
        throw Error(OpenFailureMessage(status, name));
    return static_cast<qint64>(file.Size());
}

}  // namespace eks
