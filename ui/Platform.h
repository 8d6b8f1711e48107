#pragma once

// What the window needs from the platform beyond Qt's widgets, in one place:
// the application's own directory, message boxes, the request to end, and
// the size of a file. A Windows build changes only Platform.cpp.

#include <QImage>
#include <QString>
#include <functional>

namespace eks {

// The executable's directory with a trailing separator.
QString ExecutableDir();

enum class MessageKind {
    Information,   // a plain box with an OK button
    Error,         // the standard error report: a stop icon
    SaveQuestion,  // a question with "Zapisz", "Nie zapisuj" and "Anuluj"
};

// The button that closed a message box: Ok for the boxes with one button.
enum class MessageButton { Ok, Save, DontSave, Cancel };

// Every message box of the window goes through this function; tests replace
// it to read what would have been shown and to answer questions.
using MessageBoxFn =
    std::function<MessageButton(MessageKind, const QString& caption, const QString& text)>;
MessageButton ShowMessageBox(MessageKind kind, const QString& text);
MessageBoxFn SetMessageBoxFn(MessageBoxFn fn);  // returns the previous one

// The standard error report: the error's message, with a full stop appended
// when its last character sorts after ".", in a box with a stop icon.
QString ErrorReportText(const QString& message);
// Runs a handler's body; an error that escapes it goes to the standard error
// report, and the window stays usable.
void RunReportingErrors(const std::function<void()>& body);

// The save dialog of the report and of the chart: title, file types (a
// description with its pattern, and the suffix that type adds), the name
// proposed and the type chosen at the start. Tests replace the function that
// asks.
struct SaveDialogSpec {
    QString title;
    QString filter;
    QString defaultSuffix;
    QString proposedName;
    // A second file type, when the dialog offers one.
    QString secondFilter = {};
    QString secondSuffix = {};
    int selectedType = 0;  // 0: the first type, 1: the second
};
// The name typed or picked, and the file type chosen with it. An empty path
// when the user cancels.
struct SaveChoice {
    QString path;
    int type = 0;
};
using SaveFileFn = std::function<SaveChoice(const SaveDialogSpec&)>;
// Asks, then gives a name without a suffix the chosen type's: "dane" with
// the second type becomes "dane.csv"; a name with a suffix of its own keeps
// it, whatever the type.
SaveChoice AskSaveFileName(const SaveDialogSpec& spec);
SaveFileFn SetSaveFileFn(SaveFileFn fn);  // returns the previous one

// The open dialog of "Wczytaj wyniki": title, file types, the folder it
// opens in. Tests replace the function that asks; an empty path when the
// user cancels.
struct OpenDialogSpec {
    QString title;
    QString filter;
    QString directory;
};
using OpenFileFn = std::function<QString(const OpenDialogSpec&)>;
QString AskOpenFileName(const OpenDialogSpec& spec);
OpenFileFn SetOpenFileFn(OpenFileFn fn);  // returns the previous one

// Asks the application to end once the event loop gets to it.
void RequestApplicationEnd();

// The size of a file in bytes, measured without asking for write access.
// Throws eks::Error when the file cannot be measured.
qint64 MeasureFileSize(const QString& path);

// Saves a picture as PNG the way every file of ours is saved (WriteWholeFile:
// whole or not at all, never over what the user could not overwrite). Throws
// Error "Cannot create file <path>" when the picture cannot be encoded, and
// WriteWholeFile's errors.
void SavePng(const QImage& image, const QString& path);

}  // namespace eks
