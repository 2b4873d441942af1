// The yardstick for start-up: a bare main window holding a plain text box.
#include "paintprobe.h"

#include <QApplication>
#include <QMainWindow>
#include <QPlainTextEdit>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    PaintProbe::Install();
    QMainWindow window;
    window.setCentralWidget(new QPlainTextEdit);
    window.resize(640, 480);
    window.show();
    return app.exec();
}
