#include "frmmain.h"
#include "messagebox.h"
#include "speechcontrol.h"
#include "speechcontrolfactory.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QtMessageBoxes messageBoxes;
    frmMain window(Services{&messageBoxes}, CreateSpeechControl(nullptr));
    window.show();
    return app.exec();
}
