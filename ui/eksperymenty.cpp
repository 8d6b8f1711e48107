// The program: the application object, the main window, its message loop.
#include <QApplication>

#include "ui/main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    eks::TForm1 form;
    form.show();
    return app.exec();
}
