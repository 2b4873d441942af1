#include "infowindows.h"

#include "info/frmabout.h"
#include "info/frmhelp.h"

void ShowHowToUse(QWidget *opener) {
    frmHelp window(opener);
    window.exec();
}

void ShowAbout(QWidget *opener, Registry &registry, ProcessStarter &processes,
               MessageBoxes &messageBoxes) {
    frmAbout window(registry, processes, messageBoxes, opener);
    window.exec();
}
