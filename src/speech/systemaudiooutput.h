#pragma once

#include "speech/audiooutput.h"

#include <memory>

// The sound output of this platform, for the real voice.
std::unique_ptr<AudioOutput> CreateSystemAudioOutput();
