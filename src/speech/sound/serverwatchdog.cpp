#include "serverwatchdog.h"

void ServerWatchdog::Begin(Clock::time_point now) {
    deadline_ = now + kAnswerTime;
    pingSent_ = false;
    lastPing_ = now - kPingEvery; // the first request goes out at once
}

ServerWatchdog::Verdict ServerWatchdog::Check(Clock::time_point now, bool open) const {
    if (!open)
        return now >= deadline_ ? Verdict::SilentWhileOpening : Verdict::Fine;
    if (pingSent_)
        return now - lastPing_ >= kAnswerTime ? Verdict::SilentWhilePlaying : Verdict::Fine;
    return now - lastPing_ >= kPingEvery ? Verdict::Ping : Verdict::Fine;
}

void ServerWatchdog::PingSent(Clock::time_point now) {
    pingSent_ = true;
    lastPing_ = now;
}

void ServerWatchdog::Answered(Clock::time_point now) {
    pingSent_ = false;
    lastPing_ = now;
}
