#pragma once

#include <QColor>
#include <QWidget>

// A horizontal line drawn on a window, like a line control: it takes no
// focus and no mouse input, and its width is its pen's width in pixels.
class LineShape : public QWidget {
    Q_OBJECT
public:
    LineShape(const QColor &colour, QWidget *parent);

    QColor colour() const { return colour_; }

    // From x1 to x2 (both drawn) on row y, `pixels` rows thick going down.
    void SetLine(int x1, int x2, int y, int pixels);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor colour_;
};
