#include "info/appicon.h"

#include <QImage>
#include <QSet>
#include <QtTest>

class AppIconTest : public QObject {
    Q_OBJECT
private slots:
    void ThirtyTwoSquareInSixteenColours();
    void IconOffersThePicture();
};

void AppIconTest::ThirtyTwoSquareInSixteenColours() {
    const QImage image = AppIconImage();
    QCOMPARE(image.size(), QSize(32, 32));
    const QVector<QRgb> palette = AppIconPalette();
    QCOMPARE(palette.size(), 16);
    QSet<QRgb> used;
    int opaque = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0) {
                continue;
            }
            QCOMPARE(qAlpha(pixel), 255);
            QVERIFY2(
                palette.contains(pixel),
                qPrintable(QStringLiteral("pixel %1,%2 is #%3").arg(x).arg(y).arg(pixel, 8, 16)));
            used.insert(pixel);
            ++opaque;
        }
    }
    // A picture, not a blank or a solid square.
    QVERIFY(used.size() >= 3);
    QVERIFY(opaque > 200 && opaque < 32 * 32);
}

void AppIconTest::IconOffersThePicture() {
    QVERIFY(!AppIcon().isNull());
    QCOMPARE(AppIconPixmap().size(), QSize(32, 32));
    QCOMPARE(AppIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
             AppIconImage().convertToFormat(QImage::Format_ARGB32));
}

QTEST_MAIN(AppIconTest)
#include "tst_appicon.moc"
