#pragma once

// The speech window's design, in twips from the top-left of the client area.
namespace FrmMainLayout {

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

inline constexpr int kClientWidth = 9345;
inline constexpr int kClientHeight = 7545;

inline constexpr TwipsRect kTxtSpeech{60, 2760, 9135, 4455};
inline constexpr TwipsRect kDirectSS1{1620, 1500, 1335, 1035};
inline constexpr TwipsRect kCmdPlayAll{3300, 1920, 1215, 495};
inline constexpr TwipsRect kSldPitch{1260, 300, 7095, 495};
inline constexpr TwipsRect kSldSpeed{1260, 1020, 7095, 495};
inline constexpr TwipsRect kCmdStop{6480, 1920, 1215, 495};
inline constexpr TwipsRect kCmdPlaySelected{4920, 1920, 1215, 495};
inline constexpr TwipsRect kLblPitch{180, 300, 975, 495};
inline constexpr TwipsRect kLblSpeed{180, 1020, 975, 375};

inline constexpr int kLabelPointSize = 12;
inline constexpr int kButtonPointSize = 8;

inline constexpr int kSliderMin = 84;
inline constexpr int kSliderMax = 338;
inline constexpr int kSliderSmallStep = 1;
inline constexpr int kSliderLargeStep = 5;

// Resize rule.
inline constexpr int kMinOuterHeight = 4000;
inline constexpr int kTextWidthInset = 100;
inline constexpr int kTextGapBelowButtons = 200;
inline constexpr int kTextHeightInset = 3300;

} // namespace FrmMainLayout
