#include "systemaudiooutput.h"

#include "speech/sound/qaudiosinkoutput.h"

std::unique_ptr<AudioOutput> CreateSystemAudioOutput() {
    return std::make_unique<QAudioSinkOutput>();
}
