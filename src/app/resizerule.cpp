#include "resizerule.h"

#include "app/frmmainlayout.h"
#include "platform/qt/twips.h"

#include <algorithm>

using namespace FrmMainLayout;

int MinimumOuterHeight(const TwipsScale &scale) {
    return scale.ToPixelsY(kMinOuterHeight);
}

QRect FitTextBox(const TwipsScale &scale, const ResizeInput &in) {
    QRect box = in.textBox;
    if (in.minimised) {
        return box; // nothing can be sized while minimised; the restore redoes it
    }

    box.moveLeft(0);

    const int widthTwips = scale.ToTwipsX(in.outer.width()) - kTextWidthInset;
    if (widthTwips >= 0) {
        // Window chrome wider than the inset would push the right edge off.
        box.setWidth(std::min(scale.ToPixelsX(widthTwips), std::max(0, in.client.width())));
    }

    const int top = in.playAll.top() + in.playAll.height() + scale.ToPixelsY(kTextGapBelowButtons);
    box.moveTop(top);

    const int heightTwips = scale.ToTwipsY(in.outer.height()) - kTextHeightInset;
    if (heightTwips >= 0) {
        // Caption, menu and borders taller than the inset allows for would
        // hide the bottom scroll bar.
        box.setHeight(std::clamp(in.client.height() - top, 0, scale.ToPixelsY(heightTwips)));
    }
    return box;
}
