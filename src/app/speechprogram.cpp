#include "speechprogram.h"

#include "app/frmmain.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "speech/face/speechcontrol.h"
#include "speech/face/speechcontrolfactory.h"

SpeechProgram::SpeechProgram()
    : registry_(CreateSystemRegistry()), processes_(CreateSystemProcessStarter()) {
    const Services services{messageBoxes_, fileDialog_, keystrokes_, *registry_, *processes_};
    window_ = std::make_unique<frmMain>(services, CreateSpeechControl(nullptr));
}

SpeechProgram::~SpeechProgram() = default;
