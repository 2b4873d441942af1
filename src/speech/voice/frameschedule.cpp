#include "frameschedule.h"

#include <algorithm>

int FrameSchedule::Wait(const Sight &sight) {
    const std::uint64_t played = sight.played;
    const bool moving = played != lastPlayed_;
    lastPlayed_ = played;
    int wait = kIdleMs;
    if (sight.easing) {
        wait = kFrameMs;
    } else {
        // A mark is reached once its first sample has been played.
        std::optional<std::uint64_t> until = sight.mark;
        if (until)
            ++*until;
        else if (sight.restDue)
            wait = kFrameMs; // the rest is due as soon as the queue runs dry
        else if (sight.drained)
            until = sight.end;
        if (until) {
            const std::uint64_t ahead = *until > played ? *until - played : 0;
            const std::uint64_t rate = std::max(1, sight.sampleRate);
            const auto ms = int(std::min<std::uint64_t>((ahead * 1000 + rate - 1) / rate, kIdleMs));
            wait = ahead == 0 ? kFrameMs : std::max(ms, moving ? 1 : kFrameMs);
        }
    }
    return wait;
}
