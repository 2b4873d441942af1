#include "appicon.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kSize = 32;

enum Colour {
    Black,
    Maroon,
    Green,
    Olive,
    Navy,
    Purple,
    Teal,
    Silver,
    Grey,
    Red,
    Lime,
    Yellow,
    Blue,
    Fuchsia,
    Aqua,
    White
};

QColor C(Colour colour) {
    return QColor::fromRgb(AppIconPalette().at(colour));
}

// A speech balloon holding a Z, with sound waves leaving it to the right.
QImage Draw() {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false); // hard edges: palette colours only

    QPainterPath balloon;
    balloon.addRoundedRect(QRectF(0.5, 4.5, 18, 16), 5, 5);
    QPainterPath tail;
    tail.moveTo(3.5, 19);
    tail.lineTo(2.5, 28.5);
    tail.lineTo(10.5, 19);
    tail.closeSubpath();
    balloon = balloon.united(tail);
    p.setPen(QPen(C(Black), 1));
    p.setBrush(C(White));
    p.drawPath(balloon);

    // The Z, two pixels thick.
    p.setPen(Qt::NoPen);
    p.setBrush(C(Navy));
    p.drawRect(5, 8, 10, 2);
    p.drawRect(5, 15, 10, 2);
    QPolygon diagonal;
    diagonal << QPoint(12, 10) << QPoint(15, 10) << QPoint(8, 15) << QPoint(5, 15);
    p.drawPolygon(diagonal);

    // Sound waves, widening outwards.
    p.setBrush(Qt::NoBrush);
    const Colour waves[] = {Maroon, Red, Red};
    for (int i = 0; i < 3; ++i) {
        const int r = 4 + 4 * i;
        p.setPen(QPen(C(waves[i]), 2, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(QRect(18 - r, 12 - r, 2 * r, 2 * r), -50 * 16, 100 * 16);
    }
    p.end();
    return image;
}

} // namespace

QVector<QRgb> AppIconPalette() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

QImage AppIconImage() {
    static const QImage image = [] {
        // Holding it as 16 colours plus the transparent mask settles any stray
        // shade the painter may leave onto the nearest palette colour.
        QVector<QRgb> table = AppIconPalette();
        table.append(qRgba(0, 0, 0, 0));
        return Draw().convertToFormat(QImage::Format_Indexed8, table,
                                      Qt::ThresholdDither | Qt::AvoidDither);
    }();
    return image;
}

QPixmap AppIconPixmap() {
    return QPixmap::fromImage(AppIconImage());
}

QIcon AppIcon() {
    return QIcon(AppIconPixmap());
}
