#pragma once

class MessageBoxes;
class ProcessStarter;
class QWidget;
class Registry;

// The Help menu's windows. Each opening makes a new window, shows it modally
// over `opener` (centred on it) and releases it once it has closed.
void ShowHowToUse(QWidget *opener);

void ShowAbout(QWidget *opener, Registry &registry, ProcessStarter &processes,
               MessageBoxes &messageBoxes);
