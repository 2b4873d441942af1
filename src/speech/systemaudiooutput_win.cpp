#include "systemaudiooutput.h"

#include "speech/qaudiosinkoutput.h"

std::unique_ptr<AudioOutput> CreateSystemAudioOutput() {
    return std::make_unique<QAudioSinkOutput>();
}
