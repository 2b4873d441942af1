#include "speech/speechengine.h"
#include "speech/voicenames.h"

#include <QtTest>

class EngineTextTest : public QObject {
    Q_OBJECT
private slots:
    void engineText_data();
    void engineText();
    void sliceEnd_data();
    void sliceEnd();
    void slicesCoverTheWholeText();
    void codePointOffsets_data();
    void codePointOffsets();
    void fitWord_data();
    void fitWord();
    void voiceNames_data();
    void voiceNames();
    void widenWord_data();
    void widenWord();
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
    QTest::newRow("surrogate pair kept") << QStringLiteral("a\U0001F600b")
                                         << QByteArray("a\xF0\x9F\x98\x80"
                                                       "b");
    QTest::newRow("Gujarati digit becomes space")
        << QStringLiteral("a\u0AE6b") << QByteArray("a b");
    QTest::newRow("Tamil digit, Sinhala digit, Armenian gap become spaces")
        << QStringLiteral("\u0BE7\u0DE6\u0560x") << QByteArray("   x");
    QTest::newRow("old Hangul jamo, unassigned, private use become spaces")
        << QStringLiteral("\u11C3\u0DFF\uE000") << QByteArray("   ");
    QTest::newRow("Armenian and archaic Greek become spaces")
        << QStringLiteral("\u0531\u03DAω") << QStringLiteral("  ω").toUtf8();
    QTest::newRow("Devanagari becomes spaces") << QStringLiteral("नमस्ते.") << QByteArray("      .");
    QTest::newRow("scripts users write kept")
        << QStringLiteral("Ωμέγα Привет שלום سلام 中文 한국어 ｗ ﬁ")
        << QStringLiteral("Ωμέγα Привет שלום سلام 中文 한국어 ｗ ﬁ").toUtf8();
    QTest::newRow("unsafe pair becomes one space")
        << QStringLiteral("a\U00010400b") << QByteArray("a b");
    QTest::newRow("rare CJK pair kept")
        << QStringLiteral("\U00020000") << QStringLiteral("\U00020000").toUtf8();
    QTest::newRow("lone surrogates and replacement characters become spaces")
        << (QStringLiteral("a") + QChar(0xdc00) + QStringLiteral("b") + QChar(0xd800) +
            QStringLiteral("\uFFFDc"))
        << QByteArray("a b  c");
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

void EngineTextTest::codePointOffsets_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qsizetype>>("offsets");
    QTest::newRow("empty") << QString() << QList<qsizetype>{0};
    QTest::newRow("ascii") << QStringLiteral("ab") << QList<qsizetype>{0, 1, 2};
    QTest::newRow("accented, one unit each") << QStringLiteral("é中") << QList<qsizetype>{0, 1, 2};
    QTest::newRow("emoji, two units")
        << QStringLiteral("a\U0001F600b") << QList<qsizetype>{0, 1, 3, 4};
    QTest::newRow("lone high surrogate at the end")
        << (QStringLiteral("a") + QChar(0xd800)) << QList<qsizetype>{0, 1, 2};
    QTest::newRow("unsafe characters keep their count")
        << (QStringLiteral("\u0AE6\U00010400\u0DE6") + QChar(0xdc00))
        << QList<qsizetype>{0, 1, 3, 4, 5};
    QTest::newRow("low before high is two")
        << (QString(QChar(0xdc00)) + QChar(0xd800)) << QList<qsizetype>{0, 1, 2};
}

void EngineTextTest::codePointOffsets() {
    QFETCH(QString, text);
    QFETCH(QList<qsizetype>, offsets);
    const std::vector<qsizetype> got = SpeechEngine::CodePointOffsets(text);
    QCOMPARE(QList<qsizetype>(got.begin(), got.end()), offsets);
    // As many code points as espeak-ng reads in the text it is given.
    QCOMPARE(qsizetype(got.size()) - 1,
             qsizetype(QString::fromUtf8(SpeechEngine::EngineText(text)).toUcs4().size()));
}

void EngineTextTest::fitWord_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start"); // as placed by espeak-ng
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("previousStart");
    QTest::addColumn<int>("previousLength");
    QTest::addColumn<QString>("fitted"); // "-" for no word
    const QString dejaVu = QStringLiteral("résumé déjà vu.");
    QTest::newRow("a word as it is") << dejaVu << 0 << 6 << 0 << 0 << "résumé";
    QTest::newRow("blanks around it go") << QStringLiteral(" ab  ") << 0 << 4 << 0 << 0 << "ab";
    QTest::newRow("only a blank: the word after it")
        << QStringLiteral("one. two three") << 4 << 1 << 0 << 3 << "two";
    QTest::newRow("only blanks at the end: none")
        << QStringLiteral("one.   ") << 4 << 2 << 0 << 3 << "-";
    QTest::newRow("inside the word before: the next word") << dejaVu << 8 << 4 << 7 << 4 << "vu";
    QTest::newRow("the same word again stays") << dejaVu << 7 << 4 << 7 << 4 << "déjà";
    QTest::newRow("full stop after a symbol goes")
        << QStringLiteral("a \U0001F600. b") << 2 << 3 << 0 << 1 << "\U0001F600";
    QTest::newRow("a lone full stop stays") << QStringLiteral("a . b") << 2 << 1 << 0 << 1 << ".";
    QTest::newRow("beyond the text: none") << QStringLiteral("abc") << 10 << 4 << 0 << 0 << "-";
    QTest::newRow("negative start is cut") << QStringLiteral("abc") << -2 << 4 << 0 << 0 << "ab";
}

void EngineTextTest::fitWord() {
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(int, previousStart);
    QFETCH(int, previousLength);
    QFETCH(QString, fitted);
    const std::optional<WordSpan> word =
        SpeechEngine::FitWord(text, {start, length}, {previousStart, previousLength});
    QCOMPARE(word ? text.mid(word->start, word->length) : QStringLiteral("-"), fitted);
}

void EngineTextTest::voiceNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("variant");
    QTest::newRow("language alone") << "German"
                                    << "German"
                                    << "";
    QTest::newRow("with a variant") << "English (America)"
                                    << "English"
                                    << "America";
    QTest::newRow("variant with a comma") << "Chinese (Mandarin, latin as Pinyin)"
                                          << "Chinese"
                                          << "Mandarin, latin as Pinyin";
    QTest::newRow("comment after the name") << "Cherokee //https://example.org/voices.md"
                                            << "Cherokee"
                                            << "";
    QTest::newRow("underscores") << "Lang_Belta"
                                 << "Lang Belta"
                                 << "";
    QTest::newRow("empty parentheses") << "Odd ()"
                                       << "Odd ()"
                                       << "";
    QTest::newRow("parenthesis not at the end") << "A (b) c"
                                                << "A (b) c"
                                                << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void EngineTextTest::voiceNames() {
    QFETCH(QString, name);
    QFETCH(QString, language);
    QFETCH(QString, variant);
    const VoiceNameParts parts = SplitVoiceName(name);
    QCOMPARE(parts.language, language);
    QCOMPARE(parts.variant, variant);
}

void EngineTextTest::widenWord_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start"); // as fitted
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("limit"); // where the next word was placed
    QTest::addColumn<QString>("widened");
    const QString hello = QStringLiteral("中文 你好世界");
    QTest::newRow("letters left unplaced join it") << hello << 3 << 1 << 5 << "你好";
    QTest::newRow("the next word placed right after: as it is") << hello << 3 << 1 << 4 << "你";
    QTest::newRow("never over a blank") << hello << 1 << 1 << 3 << "文";
    QTest::newRow("the end of the text as the limit") << hello << 5 << 1 << 7 << "世界";
    QTest::newRow("limit beyond the text") << QStringLiteral("ab") << 0 << 1 << 99 << "ab";
    QTest::newRow("a combining accent left over")
        << QStringLiteral("Cafe\u0301 au") << 0 << 4 << 6 << "Cafe\u0301";
}

void EngineTextTest::widenWord() {
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(int, limit);
    QFETCH(QString, widened);
    const WordSpan word = SpeechEngine::WidenWord(text, {start, length}, limit);
    QCOMPARE(text.mid(word.start, word.length), widened);
}

QTEST_APPLESS_MAIN(EngineTextTest)
#include "tst_enginetext.moc"
