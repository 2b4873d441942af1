#include "infoicons.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace {

QIcon BadgeIcon(const QColor &fill, const QString &glyph) {
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0, 0, 128), size / 16.0));
        painter.setBrush(fill);
        painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
        QFont font(QStringLiteral("Serif"));
        font.setPixelSize(size * 3 / 4);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, glyph);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon HelpWindowIcon() {
    return BadgeIcon(QColor(0, 128, 128), QStringLiteral("?"));
}

QIcon AboutWindowIcon() {
    return BadgeIcon(QColor(0, 0, 255), QStringLiteral("i"));
}
