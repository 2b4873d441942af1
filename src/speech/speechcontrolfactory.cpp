#include "speechcontrolfactory.h"

#include "espeakspeechcontrol.h"
#include "systemaudiooutput.h"

std::unique_ptr<SpeechControl> CreateSpeechControl(QWidget *parent) {
    return std::make_unique<EspeakSpeechControl>(CreateSystemAudioOutput(), parent);
}
