#include "lineshape.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

LineShape::LineShape(const QColor &colour, QWidget *parent) : QWidget(parent), colour_(colour) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void LineShape::SetLine(int x1, int x2, int y, int pixels) {
    setGeometry(std::min(x1, x2), y, std::abs(x2 - x1) + 1, std::max(pixels, 1));
}

void LineShape::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), colour_);
}
