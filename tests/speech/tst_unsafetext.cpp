#include "espeakspeechcontrol.h"
#include "memoryaudiooutput.h"

#include <QtTest>

// Texts espeak-ng 1.51 once met with freed memory: a fault shows only under
// valgrind or ASan, yet the words around them must still be reported.
class UnsafeTextTest : public QObject {
    Q_OBJECT
private slots:
    void spokenWithoutHarm_data();
    void spokenWithoutHarm();
};

void UnsafeTextTest::spokenWithoutHarm_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("Gujarati digit")
        << QStringLiteral("one \u0AE6 two") << QStringList{"one", "two"};
    QTest::newRow("Tamil and Sinhala")
        << QStringLiteral("one \u0BE7\u0DE6 two") << QStringList{"one", "two"};
    QTest::newRow("old Hangul jamo and Georgian gap")
        << QStringLiteral("one \u11C3\u10C8 two") << QStringList{"one", "two"};
    QTest::newRow("unassigned, after a pair")
        << QStringLiteral("\U0001F600 one \u0DFF\U000E0001 two")
        << QStringList{"\U0001F600", "one", "two"};
}

void UnsafeTextTest::spokenWithoutHarm() {
    QFETCH(QString, text);
    QFETCH(QStringList, words);
    EspeakSpeechControl control(std::make_unique<MemoryAudioOutput>());
    QStringList heard;
    QObject::connect(&control, &SpeechControl::WordReached,
                     [&](qsizetype start, qsizetype length) { heard << text.mid(start, length); });
    QVERIFY2(control.Speak(text).ok(), "voice refused the text");
    QVERIFY(QTest::qWaitFor([&] { return !control.IsSpeaking(); }, 60000));
    QCOMPARE(heard, words);
}

QTEST_MAIN(UnsafeTextTest)
#include "tst_unsafetext.moc"
