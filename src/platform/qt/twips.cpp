#include "twips.h"

#include <QWidget>
#include <cmath>

namespace {
constexpr qreal kTwipsPerInch = 1440.0;

int Round(qreal v) {
    return static_cast<int>(std::lround(v));
}
} // namespace

TwipsScale::TwipsScale(qreal logicalDpiX, qreal logicalDpiY)
    : dpiX_(logicalDpiX > 0 ? logicalDpiX : 96.0), dpiY_(logicalDpiY > 0 ? logicalDpiY : 96.0) {
}

TwipsScale::TwipsScale(const QWidget *widget)
    : TwipsScale(widget->logicalDpiX(), widget->logicalDpiY()) {
}

int TwipsScale::ToPixelsX(int twips) const {
    return Round(twips * dpiX_ / kTwipsPerInch);
}
int TwipsScale::ToPixelsY(int twips) const {
    return Round(twips * dpiY_ / kTwipsPerInch);
}
int TwipsScale::ToTwipsX(int pixels) const {
    return Round(pixels * kTwipsPerInch / dpiX_);
}
int TwipsScale::ToTwipsY(int pixels) const {
    return Round(pixels * kTwipsPerInch / dpiY_);
}

QRect TwipsScale::ToPixels(int left, int top, int width, int height) const {
    return QRect(ToPixelsX(left), ToPixelsY(top), ToPixelsX(width), ToPixelsY(height));
}

QSize TwipsScale::ToPixels(QSize twips) const {
    return QSize(ToPixelsX(twips.width()), ToPixelsY(twips.height()));
}
