#pragma once

#include <cstdint>
#include <optional>

// How long a session sleeps before its next frame: the next frame while the
// mouth eases, else until the listener reaches the next mark or the end of
// the audio, or, with no mark come yet, until one comes. A clock that stands
// still (the device not started yet, or stalled) is looked at every frame.
class FrameSchedule {
public:
    // The face is drawn at up to 30 frames a second while the mouth moves.
    static constexpr int kFrameMs = 1000 / 30;
    // Otherwise the session sleeps at most this long, for a clock that runs
    // ahead of real time.
    static constexpr int kIdleMs = 100;

    // What the session sees at the end of a frame.
    struct Sight {
        std::uint64_t played = 0;          // the listener's clock
        bool easing = false;               // the drawn mouth still moves
        std::optional<std::uint64_t> mark; // the next mark's first sample, if come
        bool restDue = false;              // more text follows once the queue runs dry
        bool drained = false;              // all the audio is synthesized
        std::uint64_t end = 0;             // the samples handed over
        int sampleRate = 0;
    };

    // Frames start again with the clock at `played`.
    void Start(std::uint64_t played) { lastPlayed_ = played; }
    // The wait in ms before the next frame.
    int Wait(const Sight &sight);

private:
    std::uint64_t lastPlayed_ = 0; // the clock as the latest frame read it
};
