#pragma once

#include <QRect>

class QWidget;

// Window geometry is designed in twips (1/1440 inch). Converting through the
// screen's logical DPI keeps the layout's proportions on any display scale.
class TwipsScale {
public:
    TwipsScale(qreal logicalDpiX, qreal logicalDpiY);
    explicit TwipsScale(const QWidget *widget);

    int ToPixelsX(int twips) const;
    int ToPixelsY(int twips) const;
    int ToTwipsX(int pixels) const;
    int ToTwipsY(int pixels) const;
    QRect ToPixels(int left, int top, int width, int height) const;
    QSize ToPixels(QSize twips) const;

private:
    qreal dpiX_;
    qreal dpiY_;
};
