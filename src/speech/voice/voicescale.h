#pragma once

#include <cstdint>

// The numbers the window writes to the voice are slider positions, 84 to 338.
// These pure functions give them their meaning in espeak-ng's units. Values
// outside the slider range are clamped to it, so any number has a defined
// answer.
namespace VoiceScale {

inline constexpr std::int32_t kLowest = 84;
inline constexpr std::int32_t kHighest = 338;

// espeak-ng's normal speaking rate and the fastest it speaks well at without
// its time-stretching stage, in words per minute.
inline constexpr int kNormalRate = 175;
inline constexpr int kFastestRate = 450;

// espeak-ng's pitch parameter spans 0..99 (about 65 Hz to 165 Hz for the
// default voice), with 50 the voice's own pitch.
inline constexpr int kLowestPitch = 0;
inline constexpr int kHighestPitch = 99;
inline constexpr int kNormalPitch = 50;

// Speed position -> espeak-ng rate: 84 is the normal rate (so the speed slider
// tells the truth at start), rising linearly to the fastest good rate at 338.
int EspeakRate(std::int32_t speed);

// Pitch position -> espeak-ng pitch: 84 is the lowest, 338 the highest, never
// falling in between.
int EspeakPitch(std::int32_t pitch);

// The speed the voice starts with: what position 84 means.
std::int32_t StartingSpeed();

// The pitch the voice starts with, as a position: the one that maps to the
// voice's normal pitch.
std::int32_t StartingPitch();

// Clamps any number into the slider range.
std::int32_t Clamp(std::int32_t position);

} // namespace VoiceScale
