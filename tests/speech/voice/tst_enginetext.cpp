#include "speech/voice/engines/englishtext.h"
#include "speech/voice/scriptvoices.h"
#include "speech/voice/speechengine.h"
#include "speech/voice/speechtext.h"
#include "speech/voice/voicenames.h"

#include <QtTest>

class EngineTextTest : public QObject {
    Q_OBJECT
private slots:
    void engineText_data();
    void engineText();
    void sliceEnd_data();
    void sliceEnd();
    void slicesCoverTheWholeText();
    void pieceEnd_data();
    void pieceEnd();
    void codePointOffsets_data();
    void codePointOffsets();
    void fitWord_data();
    void fitWord();
    void voiceNames_data();
    void voiceNames();
    void widenWord_data();
    void widenWord();
    void scriptRuns_data();
    void latinRuns_data();
    void latinRuns();
    void scriptRuns();
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
    QTest::newRow("every script kept")
        << QStringLiteral("\u0AE6\u0BE7\u0DE6\u0560 नमस्ते สวัสดี გამარჯობა \u0531\u03DA © ®")
        << QStringLiteral("\u0AE6\u0BE7\u0DE6\u0560 नमस्ते สวัสดี გამარჯობა \u0531\u03DA © ®").toUtf8();
    QTest::newRow("scripts users write kept")
        << QStringLiteral("Ωμέγα Привет שלום سلام 中文 한국어 ｗ ﬁ")
        << QStringLiteral("Ωμέγα Привет שלום سلام 中文 한국어 ｗ ﬁ").toUtf8();
    QTest::newRow("unassigned and private use kept")
        << QStringLiteral("\u0DFF\uE000\U00010400")
        << QStringLiteral("\u0DFF\uE000\U00010400").toUtf8();
    QTest::newRow("lone surrogates and replacement characters become spaces")
        << (QStringLiteral("a") + QChar(0xdc00) + QStringLiteral("b") + QChar(0xd800) +
            QStringLiteral("\uFFFDc"))
        << QByteArray("a b  c");
}

void EngineTextTest::engineText() {
    QFETCH(QString, text);
    QFETCH(QByteArray, utf8);
    QCOMPARE(SpeechText::EngineText(text), utf8);
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
    QCOMPARE(SpeechText::SliceEnd(text, from), qsizetype(end));
}

// Where Flite's and Festival's helpers cut a request into pieces.
void EngineTextTest::pieceEnd_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("first");
    QTest::addColumn<int>("longest");
    QTest::addColumn<int>("firstWords");
    QTest::addColumn<QByteArray>("piece");
    const QByteArray words("one two three four five six. Seven eight.");
    QTest::newRow("first piece, four words")
        << words << true << 400 << 4 << QByteArray("one two three four ");
    QTest::newRow("first piece, two words") << words << true << 400 << 2 << QByteArray("one two ");
    QTest::newRow("first piece ends at a comma")
        << QByteArray("Well, one two three.") << true << 400 << 4 << QByteArray("Well, ");
    QTest::newRow("later piece, to the sentence's end")
        << words << false << 400 << 4 << QByteArray("one two three four five six. ");
    QTest::newRow("a line ends a piece")
        << QByteArray("one two\nthree four five") << false << 400 << 4 << QByteArray("one two\n");
    QTest::newRow("longest, at a blank")
        << QByteArray("aaaa bbbb cccc dddd") << false << 12 << 4 << QByteArray("aaaa bbbb ");
    QTest::newRow("short text, whole")
        << QByteArray("Hi there") << true << 400 << 2 << QByteArray("Hi there");
}

void EngineTextTest::pieceEnd() {
    QFETCH(QByteArray, text);
    QFETCH(bool, first);
    QFETCH(int, longest);
    QFETCH(int, firstWords);
    QFETCH(QByteArray, piece);
    const std::string whole = text.toStdString();
    const std::size_t end =
        EnglishText::PieceEnd(whole, 0, first, std::size_t(longest), firstWords);
    QCOMPARE(QByteArray::fromStdString(whole.substr(0, end)), piece);
}

void EngineTextTest::slicesCoverTheWholeText() {
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += (i % 7 == 0) ? QStringLiteral("End. ") : QStringLiteral("word%1 ").arg(i);
    QString rebuilt;
    for (qsizetype from = 0; from < text.size();) {
        const qsizetype end = SpeechText::SliceEnd(text, from);
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
    const std::vector<qsizetype> got = SpeechText::CodePointOffsets(text);
    QCOMPARE(QList<qsizetype>(got.begin(), got.end()), offsets);
    // As many code points as espeak-ng reads in the text it is given.
    QCOMPARE(qsizetype(got.size()) - 1,
             qsizetype(QString::fromUtf8(SpeechText::EngineText(text)).toUcs4().size()));
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
        SpeechText::FitWord(text, {start, length}, {previousStart, previousLength});
    QCOMPARE(word ? text.mid(word->start, word->length) : QStringLiteral("-"), fitted);
}

void EngineTextTest::voiceNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("variant");
    QTest::newRow("language alone") << "German"
                                    << "German"
                                    << "";
    QTest::newRow("another engine's voice") << "English (Flite: slt)"
                                            << "English"
                                            << "Flite: slt";
    QTest::newRow("a voice's kind inside its variant") << "English (Festival: slt (HTS))"
                                                       << "English"
                                                       << "Festival: slt (HTS)";
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
    const WordSpan word = SpeechText::WidenWord(text, {start, length}, limit);
    QCOMPARE(text.mid(word.start, word.length), widened);
}

void EngineTextTest::scriptRuns_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("language"); // the chosen voice's
    QTest::addColumn<QStringList>("runs"); // each run's text, and its voice when not the chosen one
    QTest::newRow("one script") << "hello world"
                                << "en-us" << QStringList{"hello world"};
    QTest::newRow("Cyrillic inside English to a Russian voice")
        << "hello мир, world"
        << "en-us" << QStringList{"hello ", "мир, =zle/ru", "world"};
    QTest::newRow("Thai and back") << "a สวัสดีครับ b"
                                   << "en" << QStringList{"a ", "สวัสดีครับ =tai/th", "b"};
    QTest::newRow("scripts espeak-ng hands on itself stay")
        << "hello नमस्ते გამარჯობა Հայ 한국어"
        << "en" << QStringList{"hello नमस्ते გამარჯობა Հայ 한국어"};
    QTest::newRow("a voice reads its own script and Latin") << "мир hello"
                                                            << "ru" << QStringList{"мир hello"};
    QTest::newRow("Latin in a Hebrew voice to English")
        << "שלום hello"
        << "he" << QStringList{"שלום ", "hello=gmw/en"};
    QTest::newRow("kanji among kana to Japanese")
        << "日本語です"
        << "en" << QStringList{"日本語=jpx/ja", "です=jpx/ja"};
    QTest::newRow("Chinese to Mandarin") << "说 你好"
                                         << "en" << QStringList{"说 你好=sit/cmn"};
    QTest::newRow("Chinese voice reads Chinese") << "你好 hello"
                                                 << "cmn" << QStringList{"你好 hello"};
    QTest::newRow("no voice for the script: the chosen one")
        << "x ሰላም y"
        << "en" << QStringList{"x ", "ሰላም ", "y"};
    QTest::newRow("surrogate pair of a script")
        << "a \U00020000 b"
        << "en" << QStringList{"a ", "\U00020000 =sit/cmn", "b"};
    QTest::newRow("Greek") << "α β"
                           << "de" << QStringList{"α β=grk/el"};
}

void EngineTextTest::scriptRuns() {
    QFETCH(QString, text);
    QFETCH(QString, language);
    QFETCH(QStringList, runs);
    const std::vector<SpeechVoice> voices = {
        {"English", "en", "gmw/en"},   {"Russian", "ru", "zle/ru"},  {"Thai", "th", "tai/th"},
        {"Chinese", "cmn", "sit/cmn"}, {"Japanese", "ja", "jpx/ja"}, {"Greek", "el", "grk/el"},
        {"Hindi", "hi", "inc/hi"},     {"Hebrew", "he", "sem/he"},
    };
    const ScriptVoices scripts(voices);
    QStringList got;
    for (qsizetype from = 0; from < text.size();) {
        const ScriptVoices::Run run = scripts.RunFrom(text, from, text.size(), language);
        QVERIFY(run.end > from);
        got << text.mid(from, run.end - from) +
                   (run.voice.isEmpty() ? QString() : QStringLiteral("=") + run.voice);
        from = run.end;
    }
    QCOMPARE(got, runs);
    // A run never passes the limit it is given.
    QCOMPARE(scripts.RunFrom(text, 0, 2, language).end <= 2, true);
}

void EngineTextTest::latinRuns_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("runs"); // each run's text, and "=e" when espeak-ng reads it
    QTest::newRow("Latin, accents, digits")
        << "Café naïve, 42 times!" << QStringList{"Café naïve, 42 times!"};
    QTest::newRow("combining accent") << "Cafe\u0301 au lait" << QStringList{"Cafe\u0301 au lait"};
    QTest::newRow("emoji word among words")
        << "I \U0001F600 like it" << QStringList{"I ", "\U0001F600=e", " like it"};
    QTest::newRow("emoji inside a word takes the word")
        << "see x\U0001F600y now" << QStringList{"see ", "x\U0001F600y=e", " now"};
    QTest::newRow("other scripts, several words")
        << "and नमस्ते दुनिया then" << QStringList{"and ", "नमस्ते दुनिया=e", " then"};
    QTest::newRow("leading blanks go with the first word")
        << "  hello мир" << QStringList{"  hello ", "мир=e"};
    QTest::newRow("typographic quotes and dashes are punctuation")
        << "said \u201Cyes\u201D \u2014 so\u2026"
        << QStringList{"said \u201Cyes\u201D \u2014 so\u2026"};
    QTest::newRow("symbols are not")
        << "5 \u20AC, 3 \u2665" << QStringList{"5 ", "\u20AC=e", ", 3 ", "\u2665=e"};
}

// Which words of a text an engine reading only Latin reads, and which go to
// espeak-ng: whole words, never part of one.
void EngineTextTest::latinRuns() {
    QFETCH(QString, text);
    QFETCH(QStringList, runs);
    QStringList got;
    for (qsizetype from = 0; from < text.size();) {
        const ScriptVoices::Run run = ScriptVoices::LatinRunFrom(text, from, text.size(), "e");
        QVERIFY(run.end > from);
        got << text.mid(from, run.end - from) +
                   (run.voice.isEmpty() ? QString() : QStringLiteral("=") + run.voice);
        from = run.end;
    }
    QCOMPARE(got, runs);
    QVERIFY(ScriptVoices::LatinRunFrom(text, 0, 2, "e").end <= 2);
}

QTEST_APPLESS_MAIN(EngineTextTest)
#include "tst_enginetext.moc"
