#pragma once

#include <cstdint>

// Where the listener is in the audio of the utterance under way: the samples
// of it that have been played, counted on the same scale as the sample
// queue's handed-over count. The sound device is the usual clock; tests put a
// clock of their own in its place.
class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    virtual std::uint64_t PlayedSamples() const = 0;
};
