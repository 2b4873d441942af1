#include "speechcontrolfactory.h"

#include "speech/espeakspeechcontrol.h"
#include "speech/systemaudiooutput.h"

std::unique_ptr<SpeechControl> CreateSpeechControl(QWidget *parent) {
    return std::make_unique<EspeakSpeechControl>(CreateSystemAudioOutput(), parent);
}
