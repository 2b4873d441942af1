#include "systemaudiooutput.h"

#include "speech/sound/pulseaudiooutput.h"

// Straight to the desktop's sound server: Qt 6.4's sink blocks the calling
// thread on a stalled server and never reconnects to a restarted one.
std::unique_ptr<AudioOutput> CreateSystemAudioOutput() {
    return std::make_unique<PulseAudioOutput>();
}
