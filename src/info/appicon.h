#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QVector>

// The application icon: 32 x 32 in the 16 standard colours, with transparent
// surroundings. Drawn in code, so no resource file is needed.
QIcon AppIcon();
QPixmap AppIconPixmap();
QImage AppIconImage();

// The 16 colours the icon is drawn in.
QVector<QRgb> AppIconPalette();
