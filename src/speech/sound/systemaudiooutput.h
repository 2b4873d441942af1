#pragma once

#include "speech/sound/audiooutput.h"

#include <memory>

// The sound output of this platform, for the real voice.
std::unique_ptr<AudioOutput> CreateSystemAudioOutput();
