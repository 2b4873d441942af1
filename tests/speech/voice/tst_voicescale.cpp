#include "speech/voice/voicescale.h"

#include <QtTest>

class VoiceScaleTest : public QObject {
    Q_OBJECT
private slots:
    void rate_data();
    void rate();
    void pitch_data();
    void pitch();
    void pitchNeverFallsAndCoversTheEngineRange();
    void rateNeverFalls();
    void startingValues();
};

void VoiceScaleTest::rate_data() {
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("rate");
    QTest::newRow("84 is the normal rate") << 84 << 175;
    QTest::newRow("85 is a little faster") << 85 << 176;
    QTest::newRow("midway") << 211 << 313;
    QTest::newRow("338 is the fastest good rate") << 338 << 450;
    QTest::newRow("below range clamps") << 0 << 175;
    QTest::newRow("negative clamps") << -5000 << 175;
    QTest::newRow("above range clamps") << 339 << 450;
    QTest::newRow("int max clamps") << std::numeric_limits<int>::max() << 450;
    QTest::newRow("int min clamps") << std::numeric_limits<int>::min() << 175;
}

void VoiceScaleTest::rate() {
    QFETCH(int, speed);
    QFETCH(int, rate);
    QCOMPARE(VoiceScale::EspeakRate(speed), rate);
}

void VoiceScaleTest::pitch_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("pitch");
    QTest::newRow("84 is the lowest") << 84 << 0;
    QTest::newRow("starting position is normal") << 211 << 50;
    QTest::newRow("one below start") << 210 << 49;
    QTest::newRow("338 is the highest") << 338 << 99;
    QTest::newRow("below range clamps") << 83 << 0;
    QTest::newRow("above range clamps") << 100000 << 99;
}

void VoiceScaleTest::pitch() {
    QFETCH(int, position);
    QFETCH(int, pitch);
    QCOMPARE(VoiceScale::EspeakPitch(position), pitch);
}

void VoiceScaleTest::pitchNeverFallsAndCoversTheEngineRange() {
    int previous = VoiceScale::EspeakPitch(VoiceScale::kLowest);
    QCOMPARE(previous, VoiceScale::kLowestPitch);
    for (int p = VoiceScale::kLowest + 1; p <= VoiceScale::kHighest; ++p) {
        const int now = VoiceScale::EspeakPitch(p);
        QVERIFY2(now >= previous, qPrintable(QString::number(p)));
        QVERIFY2(now - previous <= 1, qPrintable(QString::number(p)));
        previous = now;
    }
    QCOMPARE(previous, VoiceScale::kHighestPitch);
}

void VoiceScaleTest::rateNeverFalls() {
    int previous = VoiceScale::EspeakRate(VoiceScale::kLowest);
    for (int p = VoiceScale::kLowest + 1; p <= VoiceScale::kHighest; ++p) {
        const int now = VoiceScale::EspeakRate(p);
        QVERIFY2(now > previous, qPrintable(QString::number(p)));
        previous = now;
    }
}

void VoiceScaleTest::startingValues() {
    QCOMPARE(VoiceScale::StartingSpeed(), 84);
    QCOMPARE(VoiceScale::EspeakRate(VoiceScale::StartingSpeed()), VoiceScale::kNormalRate);
    const int start = VoiceScale::StartingPitch();
    QVERIFY(start >= VoiceScale::kLowest && start <= VoiceScale::kHighest);
    QCOMPARE(VoiceScale::EspeakPitch(start), VoiceScale::kNormalPitch);
    QCOMPARE(start, 211);
}

QTEST_APPLESS_MAIN(VoiceScaleTest)
#include "tst_voicescale.moc"
