#include "speechcontrolfactory.h"

#include "espeakspeechcontrol.h"
#include "qaudiosinkoutput.h"

std::unique_ptr<SpeechControl> CreateSpeechControl(QWidget *parent) {
    return std::make_unique<EspeakSpeechControl>(std::make_unique<QAudioSinkOutput>(), parent);
}
