#include "viseme.h"

#include <cstdint>

namespace {

// The first code point of a UTF-8 string after `at`, and where the next one
// starts; 0 at the end or on a broken sequence.
char32_t NextCodePoint(std::string_view s, std::size_t &at) {
    if (at >= s.size())
        return 0;
    const auto lead = static_cast<unsigned char>(s[at]);
    int extra = 0;
    char32_t c = lead;
    if (lead >= 0xf0) {
        extra = 3;
        c = lead & 0x07;
    } else if (lead >= 0xe0) {
        extra = 2;
        c = lead & 0x0f;
    } else if (lead >= 0xc0) {
        extra = 1;
        c = lead & 0x1f;
    } else if (lead >= 0x80) {
        return 0;
    }
    if (at + 1 + extra > s.size())
        return 0;
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(s[at + i]);
        if ((b & 0xc0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3f);
    }
    at += 1 + extra;
    return c;
}

bool OneOf(char32_t c, std::u32string_view set) {
    return set.find(c) != std::u32string_view::npos;
}

} // namespace

Viseme VisemeForPhoneme(std::string_view ipa) {
    // Stress and length marks may lead; the sound is the first letter after them.
    std::size_t at = 0;
    char32_t c = NextCodePoint(ipa, at);
    while (c == U'ˈ' || c == U'ˌ' || c == U'ː' || c == U'ˑ' || c == U'\'' || c == U',')
        c = NextCodePoint(ipa, at);
    if (c == 0 || c == U'_' || c == U' ' || c == U'(')
        return Viseme::Rest;
    if (OneOf(c, U"pbmʙ"))
        return Viseme::Closed;
    if (OneOf(c, U"fvɱʋ"))
        return Viseme::LipTeeth;
    if (OneOf(c, U"aɑɐæʌɒɶä"))
        return Viseme::Open;
    if (OneOf(c, U"oɔuʊøœyʏɵɞwʍɥ"))
        return Viseme::Round;
    if (OneOf(c, U"iɪeɛəɜɘɨɚɝɯɤ"))
        return Viseme::Spread;
    // Any other letter is a consonant made behind the lips.
    const bool letter = (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || c >= 0xc0;
    return letter ? Viseme::Narrow : Viseme::Rest;
}

MouthPose PoseOf(Viseme viseme) {
    switch (viseme) {
    case Viseme::Rest:
        return {0.0, 0.55, 0.0};
    case Viseme::Closed:
        return {0.0, 0.48, 0.0};
    case Viseme::LipTeeth:
        return {0.14, 0.55, 0.0};
    case Viseme::Narrow:
        return {0.25, 0.58, 0.0};
    case Viseme::Spread:
        return {0.32, 0.78, 0.0};
    case Viseme::Open:
        return {0.85, 0.62, 0.0};
    case Viseme::Round:
        return {0.5, 0.3, 1.0};
    }
    return {};
}
