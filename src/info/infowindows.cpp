#include "infowindows.h"

#include "info/frmabout.h"
#include "info/frmhelp.h"
#include "platform/process.h"
#include "platform/qt/messagebox.h"
#include "platform/registry.h"

#include <memory>

void ShowHowToUse(QWidget *opener) {
    frmHelp window(opener);
    window.exec();
}

void ShowAbout(QWidget *opener, Registry *registry, ProcessStarter *processes,
               MessageBoxes *messageBoxes) {
    std::unique_ptr<Registry> ownRegistry;
    std::unique_ptr<ProcessStarter> ownProcesses;
    std::unique_ptr<MessageBoxes> ownBoxes;
    if (registry == nullptr) {
        ownRegistry = CreateSystemRegistry();
        registry = ownRegistry.get();
    }
    if (processes == nullptr) {
        ownProcesses = CreateSystemProcessStarter();
        processes = ownProcesses.get();
    }
    if (messageBoxes == nullptr) {
        ownBoxes = std::make_unique<QtMessageBoxes>();
        messageBoxes = ownBoxes.get();
    }
    frmAbout window(*registry, *processes, *messageBoxes, opener);
    window.exec();
}
