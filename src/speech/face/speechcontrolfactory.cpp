#include "speechcontrolfactory.h"

#include "speech/face/espeakspeechcontrol.h"
#include "speech/sound/systemaudiooutput.h"

std::unique_ptr<SpeechControl> CreateSpeechControl(QWidget *parent) {
    return std::make_unique<EspeakSpeechControl>(CreateSystemAudioOutput(), parent);
}
