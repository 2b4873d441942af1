#pragma once

#include "platform/qt/filedialog.h"
#include "platform/qt/keystrokes.h"
#include "platform/qt/messagebox.h"

#include <memory>

class frmMain;
class ProcessStarter;
class Registry;

// The speech window as the program runs it: the system's own services, made
// once and handed to every window by reference, and the real voice.
class SpeechProgram {
public:
    SpeechProgram();
    ~SpeechProgram();
    SpeechProgram(const SpeechProgram &) = delete;
    SpeechProgram &operator=(const SpeechProgram &) = delete;

    frmMain &Window() const { return *window_; }

private:
    QtMessageBoxes messageBoxes_;
    QtFileDialog fileDialog_;
    QtKeystrokeInjector keystrokes_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<ProcessStarter> processes_;
    std::unique_ptr<frmMain> window_;
};
