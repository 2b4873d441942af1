#pragma once

#include "speech/sound/playbackclock.h"
#include "speech/speechstatus.h"

#include <functional>

class PcmQueue;
class QObject;

// The sound device boundary: something that pulls 16-bit mono samples from a
// queue and plays them, and tells how far playing has got. Used only from the
// speech control's thread.
class AudioOutput : public PlaybackClock {
public:
    ~AudioOutput() override = default;

    // Starts pulling from the queue at the given sample rate, dropping anything
    // still held from before. Played samples count on from the queue's
    // handed-over count at this moment. Fails with a description when there is
    // no sound output to play on.
    virtual SpeechStatus Start(PcmQueue &queue, int sampleRate) = 0;
    // Drops what the device still holds: silent when this returns, and
    // nothing more is taken from the queue.
    virtual void Stop() = 0;
    // True while audio already taken from the queue may still be playing.
    virtual bool Busy() const = 0;

    // Called on `context`'s thread when a started output stops by itself (the
    // sound server went away or stopped answering), with a description as
    // Start's failures have. Never for a Stop, nor for a failure Start
    // returned. An output that cannot fail that way ignores it.
    using FailureHandler = std::function<void(const QString &description)>;
    // NOLINTNEXTLINE(performance-unnecessary-value-param): outputs keep it
    virtual void SetFailureHandler(QObject *context, FailureHandler handler) {
        (void)context;
        (void)handler;
    }
};
