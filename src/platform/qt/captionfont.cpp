#include "captionfont.h"

#include "platform/qt/twips.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace CaptionFont {

namespace {
constexpr qreal kStep = 0.25;
} // namespace

QStringList DesignFamilies() {
    // Liberation Sans and Arimo share Arial's advance widths; a fallback to
    // the system's font happens when none of these is installed.
    return {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")};
}

QFont DesignFont(qreal pointSize, bool bold) {
    QFont font;
    font.setFamilies(DesignFamilies());
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

QString ShownText(const QString &caption) {
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) {
                shown += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        shown += caption[i];
    }
    return shown;
}

bool Fits(const QFont &font, const QList<Space> &spaces) {
    const QFontMetricsF metrics(font);
    for (const Space &space : spaces) {
        if (metrics.horizontalAdvance(ShownText(space.caption)) > space.room.width() ||
            metrics.height() > space.room.height()) {
            return false;
        }
    }
    return true;
}

QFont Fitted(QFont font, const QList<Space> &spaces) {
    while (!Fits(font, spaces) && font.pointSizeF() - kStep >= kSmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - kStep);
    }
    return font;
}

Space SpaceOf(const QWidget *control, const TwipsScale &scale) {
    QRect contents = control->contentsRect();
    QString caption;
    if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        // The style's own frame and default-button ring come off first.
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        if (button->autoDefault()) {
            option.features |= QStyleOptionButton::AutoDefaultButton;
        }
        contents = control->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        caption = button->text();
    } else if (const auto *other = qobject_cast<const QAbstractButton *>(control)) {
        caption = other->text();
    } else if (const auto *label = qobject_cast<const QLabel *>(control)) {
        caption = label->text();
    }
    // Across, air on both sides; down, only the line itself must fit.
    const int margin = scale.ToPixelsX(kMarginTwips);
    return Space{caption, QSizeF(contents.width() - 2 * margin, contents.height())};
}

void Apply(const QList<QWidget *> &controls, qreal pointSize, bool bold, const TwipsScale &scale) {
    QList<Space> spaces;
    for (const QWidget *control : controls) {
        spaces << SpaceOf(control, scale);
    }
    const QFont font = Fitted(DesignFont(pointSize, bold), spaces);
    for (QWidget *control : controls) {
        control->setFont(font);
    }
}

} // namespace CaptionFont
