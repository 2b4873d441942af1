#include "filedialog.h"
#include "frmmain.h"
#include "keystrokes.h"
#include "messagebox.h"
#include "process.h"
#include "registry.h"
#include "speechcontrol.h"
#include "speechcontrolfactory.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QtMessageBoxes messageBoxes;
    QtFileDialog fileDialog;
    QtKeystrokeInjector keystrokes;
    const auto registry = CreateSystemRegistry();
    const auto processes = CreateSystemProcessStarter();
    Services services{&messageBoxes};
    services.fileDialog = &fileDialog;
    services.keystrokes = &keystrokes;
    services.registry = registry.get();
    services.processes = processes.get();
    frmMain window(services, CreateSpeechControl(nullptr));
    window.show();
    return app.exec();
}
