#include "voicescale.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace VoiceScale {
namespace {
// Linear map of a clamped position onto [low, high], rounded to nearest.
int Scale(std::int32_t position, int low, int high) {
    const std::int64_t span = kHighest - kLowest;
    const std::int64_t offset = Clamp(position) - kLowest;
    return low + static_cast<int>((offset * (high - low) + span / 2) / span);
}
} // namespace

std::int32_t Clamp(std::int32_t position) {
    return std::clamp(position, kLowest, kHighest);
}

int EspeakRate(std::int32_t speed) {
    return Scale(speed, kNormalRate, kFastestRate);
}

int EspeakPitch(std::int32_t pitch) {
    return Scale(pitch, kLowestPitch, kHighestPitch);
}

std::int32_t StartingSpeed() {
    return kLowest;
}

std::int32_t StartingPitch() {
    // The position nearest to the normal pitch, found through EspeakPitch
    // itself so the two can never disagree.
    std::int32_t best = kLowest;
    for (std::int32_t p = kLowest; p <= kHighest; ++p) {
        if (std::abs(EspeakPitch(p) - kNormalPitch) < std::abs(EspeakPitch(best) - kNormalPitch))
            best = p;
    }
    return best;
}

} // namespace VoiceScale
