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
    balloon.addRoundedRect(QRectF(1, 3, 21, 17), 5, 5);
    QPainterPath tail;
    tail.moveTo(5, 18);
    tail.lineTo(3, 27);
    tail.lineTo(12, 18);
    tail.closeSubpath();
    balloon = balloon.united(tail);
    p.setPen(QPen(C(Black), 1));
    p.setBrush(C(White));
    p.drawPath(balloon);

    // A shadow line under the balloon's lower edge gives it some depth.
    p.setPen(QPen(C(Grey), 1));
    p.drawLine(13, 21, 19, 21);

    // The Z, two pixels thick.
    p.setPen(Qt::NoPen);
    p.setBrush(C(Navy));
    p.drawRect(6, 6, 11, 2);
    p.drawRect(6, 15, 11, 2);
    QPolygon diagonal;
    diagonal << QPoint(15, 8) << QPoint(17, 8) << QPoint(8, 15) << QPoint(6, 15);
    p.drawPolygon(diagonal);

    // Sound waves, widening outwards.
    p.setBrush(Qt::NoBrush);
    const Colour waves[] = {Red, Maroon, Red};
    for (int i = 0; i < 3; ++i) {
        const int r = 4 + 3 * i;
        p.setPen(QPen(C(waves[i]), 2, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(QRect(22 - r, 12 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
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
