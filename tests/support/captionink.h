#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QMarginsF>
#include <QPixmap>
#include <QRectF>
#include <QWidget>
#include <algorithm>

// Where a control's caption leaves ink on a screenshot of its window: the
// window is grabbed with the caption and again without it, and the pixels
// inside the control that differ are the caption's. The answer is the air
// between that ink and each edge of the control, in device-independent pixels
// (negative sides when the control shows no ink at all).
inline QMarginsF CaptionAir(QWidget *window, QWidget *control) {
    auto *button = qobject_cast<QAbstractButton *>(control);
    auto *label = qobject_cast<QLabel *>(control);
    const QString caption = button ? button->text() : label ? label->text() : QString();
    const auto setCaption = [&](const QString &text) {
        if (button)
            button->setText(text);
        else if (label)
            label->setText(text);
    };
    const QImage with = window->grab().toImage();
    setCaption(QString());
    const QImage without = window->grab().toImage();
    setCaption(caption);

    const qreal ratio = with.devicePixelRatio();
    const QRect area =
        QRectF(QRectF(control->mapTo(window, QPoint(0, 0)), control->size()).topLeft() * ratio,
               QSizeF(control->size()) * ratio)
            .toAlignedRect()
            .intersected(with.rect());
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (with.pixel(x, y) != without.pixel(x, y))
                ink |= QRect(x, y, 1, 1);
        }
    }
    if (ink.isEmpty())
        return QMarginsF(-1, -1, -1, -1);
    return QMarginsF(ink.left() - area.left(), ink.top() - area.top(), area.right() - ink.right(),
                     area.bottom() - ink.bottom()) /
           ratio;
}

// The width of each line of text in a screenshot of a label, top to bottom,
// in image pixels: rows holding ink make a line, blank rows part them. The
// bottom-right pixel is taken for the background.
inline QList<int> InkLineWidths(const QImage &shot) {
    QList<int> widths;
    if (shot.isNull())
        return widths;
    const QRgb background = shot.pixel(shot.width() - 1, shot.height() - 1);
    int left = -1;
    int right = -1;
    for (int y = 0; y <= shot.height(); ++y) {
        int rowLeft = -1;
        int rowRight = -1;
        for (int x = 0; y < shot.height() && x < shot.width(); ++x) {
            if (shot.pixel(x, y) != background) {
                rowLeft = rowLeft < 0 ? x : rowLeft;
                rowRight = x;
            }
        }
        if (rowLeft >= 0) {
            left = left < 0 ? rowLeft : std::min(left, rowLeft);
            right = std::max(right, rowRight);
        } else if (left >= 0) {
            widths << right - left + 1;
            left = right = -1;
        }
    }
    return widths;
}
