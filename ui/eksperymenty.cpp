// The program: the application object, the main window, its message loop.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "core/Files.h"
#include "ui/main.h"

int main(int argc, char** argv) {
    eks::IgnoreFileSizeSignal();
    QApplication app(argc, argv);
    // The window speaks Polish, and so do the toolkit's own dialogs (the
    // save dialog, the buttons of message boxes) where its translations are
    // installed.
    QTranslator toolkit;
    if (toolkit.load(QLocale(QLocale::Polish, QLocale::Poland), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&toolkit);
    eks::TForm1 form;
    form.show();
    return app.exec();
}
