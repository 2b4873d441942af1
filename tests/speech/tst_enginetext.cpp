#include "speechengine.h"

#include <QtTest>

class EngineTextTest : public QObject {
    Q_OBJECT
private slots:
    void engineText_data();
    void engineText();
    void sliceEnd_data();
    void sliceEnd();
    void slicesCoverTheWholeText();
};

void EngineTextTest::engineText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("plain") << QStringLiteral("Hello.") << QByteArray("Hello.");
    QTest::newRow("markup stays text")
        << QStringLiteral("<audio src=\"x\"/>") << QByteArray("<audio src=\"x\"/>");
    QTest::newRow("embedded-command character") << QStringLiteral("a\x01"
                                                                  "50P b")
                                                << QByteArray("a 50P b");
    QTest::newRow("escape and delete") << QStringLiteral("a\x1b\x7f"
                                                         "b")
                                       << QByteArray("a  b");
    QTest::newRow("C1 control") << QStringLiteral("a\u0085b") << QByteArray("a b");
    QTest::newRow("line breaks and tabs kept")
        << QStringLiteral("a\nb\tc") << QByteArray("a\nb\tc");
    QTest::newRow("carriage return becomes space")
        << QStringLiteral("a\r\nb") << QByteArray("a \nb");
    QTest::newRow("non-Latin") << QStringLiteral("Zdravo, čaša €")
                               << QStringLiteral("Zdravo, čaša €").toUtf8();
}

void EngineTextTest::engineText() {
    QFETCH(QString, text);
    QFETCH(QByteArray, utf8);
    QCOMPARE(SpeechEngine::EngineText(text), utf8);
}

void EngineTextTest::sliceEnd_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("end");
    const QString sentence = QStringLiteral("Short one. ");      // 11 characters
    const QString words = QStringLiteral("word ").repeated(500); // 2500, no sentence end
    QTest::newRow("short text is one slice") << sentence << 0 << 11;
    QTest::newRow("after the last sentence in reach")
        << sentence.repeated(300) << 0 << 1991; // 181 sentences fit in 2000
    QTest::newRow("from the middle") << sentence.repeated(300) << 11 << 2002;
    QTest::newRow("after a space when no sentence ends") << words << 0 << 2000;
    QTest::newRow("line break counts as an end")
        << (QStringLiteral("x").repeated(1500) + QLatin1Char('\n') +
            QStringLiteral("y ").repeated(400))
        << 0 << 1501;
    QTest::newRow("endless word cut at the limit")
        << QStringLiteral("a").repeated(5000) << 0 << 2000;
    QTest::newRow("never inside a surrogate pair")
        << (QStringLiteral("a").repeated(1999) + QStringLiteral("\U0001F600").repeated(10)) << 0
        << 1999;
}

void EngineTextTest::sliceEnd() {
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(int, end);
    QCOMPARE(SpeechEngine::SliceEnd(text, from), qsizetype(end));
}

void EngineTextTest::slicesCoverTheWholeText() {
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += (i % 7 == 0) ? QStringLiteral("End. ") : QStringLiteral("word%1 ").arg(i);
    QString rebuilt;
    for (qsizetype from = 0; from < text.size();) {
        const qsizetype end = SpeechEngine::SliceEnd(text, from);
        QVERIFY(end > from);
        rebuilt += QStringView(text).sliced(from, end - from);
        from = end;
    }
    QCOMPARE(rebuilt, text);
}

QTEST_APPLESS_MAIN(EngineTextTest)
#include "tst_enginetext.moc"
