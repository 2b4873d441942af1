#pragma once

#include <chrono>

// Whether a sound server still answers, on a clock the caller reads: while
// a stream is being opened, by a deadline; while it plays, by a timing
// request every so often that must come back in time.
class ServerWatchdog {
public:
    using Clock = std::chrono::steady_clock;
    // A server that has not answered within this long is given up on: the
    // user hears about it within two seconds.
    static constexpr auto kAnswerTime = std::chrono::milliseconds(1500);
    static constexpr auto kPingEvery = std::chrono::milliseconds(100);

    enum class Verdict {
        Fine,
        Ping,               // send a timing request now, then PingSent
        SilentWhileOpening, // give up: the stream never opened
        SilentWhilePlaying, // give up: a timing request never came back
    };

    // A stream is asked for at `now`.
    void Begin(Clock::time_point now);
    // What to do at `now`; `open` once the stream plays.
    Verdict Check(Clock::time_point now, bool open) const;
    void PingSent(Clock::time_point now);
    void Answered(Clock::time_point now);

private:
    Clock::time_point deadline_{};
    Clock::time_point lastPing_{};
    bool pingSent_ = false;
};
