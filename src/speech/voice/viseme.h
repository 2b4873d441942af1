#pragma once

#include <string_view>

// The handful of mouth shapes the speech control's face can make, one for
// each group of speech sounds that look alike on the lips.
enum class Viseme : unsigned char {
    Rest,     // silence: lips together, relaxed
    Closed,   // p b m: lips pressed
    LipTeeth, // f v: lower lip under the upper teeth
    Narrow,   // most consonants: slightly parted
    Spread,   // i e ə: lips drawn wide
    Open,     // a ɑ ʌ: jaw dropped
    Round,    // o u w: lips rounded forward
};

// The shape for one phoneme as espeak-ng names it in IPA (a UTF-8 name of up
// to 8 bytes). Pauses and anything unknown give Rest.
Viseme VisemeForPhoneme(std::string_view ipa);

// How a shape is drawn: opening and width as fractions of the mouth's box,
// and how rounded the lips are (0 flat, 1 round).
struct MouthPose {
    double open = 0;
    double width = 0;
    double round = 0;
};
MouthPose PoseOf(Viseme viseme);

// The value a fraction `t` of the way from `from` to `to`.
inline double Lerp(double from, double to, double t) {
    return from + (to - from) * t;
}
