#include "filedialog.h"
#include "frmmain.h"
#include "keystrokes.h"
#include "messagebox.h"
#include "speechcontrol.h"
#include "speechcontrolfactory.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QtMessageBoxes messageBoxes;
    QtFileDialog fileDialog;
    QtKeystrokeInjector keystrokes;
    Services services{&messageBoxes};
    services.fileDialog = &fileDialog;
    services.keystrokes = &keystrokes;
    frmMain window(services, CreateSpeechControl(nullptr));
    window.show();
    return app.exec();
}
