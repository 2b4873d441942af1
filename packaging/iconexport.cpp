// Build-time tool: writes the window icon as a PNG for the desktop's icon
// theme, so the launcher shows exactly what the program's windows show.
#include "info/appicon.h"

#include <QGuiApplication>
#include <QImage>
#include <cstdio>

int main(int argc, char *argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QImage icon = AppIconImage();
    if (icon.isNull() || !icon.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
