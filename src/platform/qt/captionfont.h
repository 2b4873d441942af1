#pragma once

#include <QFont>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QWidget;
class TwipsScale;

// The windows were laid out in twips for a narrow sans face. Captions are set
// in a face with that face's widths where one is installed, else in the
// system's font; either is made smaller until every caption fits its control.
namespace CaptionFont {

// A caption and the room its control gives the text, in device-independent pixels.
struct Space {
    QString caption; // as set on the control: '&' marks the access key
    QSizeF room;
};

// Air kept between a caption's text and the edges of its control's contents.
inline constexpr int kMarginTwips = 60;
// No caption is made smaller than this to fit.
inline constexpr qreal kSmallestPointSize = 6.0;

// The faces tried in order: the design's own, then faces metric-compatible
// with it or with Arial, whose widths are close to the design's.
QStringList DesignFamilies();

// `pointSize` in the first design face installed, else in the system's font.
QFont DesignFont(qreal pointSize, bool bold = false);

// The text a caption shows: a single '&' marks the access key, "&&" is one '&'.
QString ShownText(const QString &caption);

// True when every caption's text fits its room in `font`.
bool Fits(const QFont &font, const QList<Space> &spaces);

// `font` made smaller in quarter points until every caption fits, but no
// smaller than kSmallestPointSize.
QFont Fitted(QFont font, const QList<Space> &spaces);

// The room a push button's or label's contents give its caption, less the margin.
Space SpaceOf(const QWidget *control, const TwipsScale &scale);

// Gives all `controls` one design font of `pointSize`, fitted to all of their captions.
void Apply(const QList<QWidget *> &controls, qreal pointSize, bool bold, const TwipsScale &scale);

} // namespace CaptionFont
