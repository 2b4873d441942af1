#include "app/resizerule.h"
#include "platform/qt/twips.h"

#include <QtTest>

// The rule on its own, at 96 logical dpi (15 twips a pixel), including window
// chrome the offscreen platform never has.
class ResizeRuleTest : public QObject {
    Q_OBJECT
private slots:
    void Fit_data();
    void Fit();
    void MinimumHeightFollowsDpi_data();
    void MinimumHeightFollowsDpi();
};

void ResizeRuleTest::Fit_data() {
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<bool>("minimised");
    QTest::addColumn<QRect>("expected");
    const QRect former(4, 184, 609, 297);
    // cmdPlayAll at 3300,1920 1215x495 -> 220,128 81x33; 200 twips are 13 pixels.
    const int top = 128 + 33 + 13;

    QTest::newRow("no chrome") << QSize(623, 523) << QSize(623, 503) << false
                               << QRect(0, top, 623 - 7, 523 - 220);
    QTest::newRow("thin frame") << QSize(625, 548) << QSize(623, 503) << false
                                << QRect(0, top, 625 - 7, 548 - 220);
    QTest::newRow("chrome wider than the inset keeps the box inside")
        << QSize(640, 560) << QSize(623, 503) << false << QRect(0, top, 623, 503 - top);
    QTest::newRow("chrome taller than the inset keeps the scroll bar in view")
        << QSize(623, 580) << QSize(623, 503) << false << QRect(0, top, 616, 503 - top);
    QTest::newRow("4000 twips high gives a 700 twips box")
        << QSize(623, 267) << QSize(623, 247) << false << QRect(0, top, 616, 47);
    QTest::newRow("width below the inset keeps the former width")
        << QSize(5, 523) << QSize(5, 503) << false << QRect(0, top, 609, 303);
    QTest::newRow("width exactly the inset gives zero")
        << QSize(7, 523) << QSize(7, 503) << false << QRect(0, top, 0, 303);
    QTest::newRow("height below the inset keeps the former height")
        << QSize(623, 200) << QSize(623, 180) << false << QRect(0, top, 616, 297);
    QTest::newRow("client shorter than the top leaves no height")
        << QSize(623, 240) << QSize(623, 150) << false << QRect(0, top, 616, 0);
    QTest::newRow("minimised leaves everything") << QSize(160, 30) << QSize(0, 0) << true << former;
}

void ResizeRuleTest::Fit() {
    QFETCH(QSize, outer);
    QFETCH(QSize, client);
    QFETCH(bool, minimised);
    QFETCH(QRect, expected);
    const TwipsScale scale(96, 96);
    ResizeInput in;
    in.outer = outer;
    in.client = client;
    in.playAll = scale.ToPixels(3300, 1920, 1215, 495);
    in.textBox = QRect(4, 184, 609, 297);
    in.minimised = minimised;
    QCOMPARE(FitTextBox(scale, in), expected);
}

void ResizeRuleTest::MinimumHeightFollowsDpi_data() {
    QTest::addColumn<qreal>("dpi");
    QTest::addColumn<int>("pixels");
    QTest::newRow("96 dpi") << qreal(96) << 267;
    QTest::newRow("120 dpi") << qreal(120) << 333;
    QTest::newRow("192 dpi") << qreal(192) << 533;
}

void ResizeRuleTest::MinimumHeightFollowsDpi() {
    QFETCH(qreal, dpi);
    QFETCH(int, pixels);
    QCOMPARE(MinimumOuterHeight(TwipsScale(dpi, dpi)), pixels);
}

QTEST_GUILESS_MAIN(ResizeRuleTest)
#include "tst_resizerule.moc"
