#include "memoryaudiooutput.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/voice/speechengine.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// What the voice reported as heard, as pieces of the text it was given.
QStringList HeardWords(const QString &text, const QByteArray &voice = {}) {
    auto output = std::make_unique<MemoryAudioOutput>();
    EspeakSpeechControl control(std::move(output));
    if (!voice.isEmpty())
        control.SetVoice(voice);
    QStringList words;
    QObject::connect(&control, &SpeechControl::WordReached,
                     [&](qsizetype start, qsizetype length) { words << text.mid(start, length); });
    const SpeechStatus status = control.Speak(text);
    if (!status.ok())
        qWarning() << status.error;
    if (!QTest::qWaitFor([&] { return !control.IsSpeaking(); }, 60000))
        qWarning("voice did not finish");
    return words;
}

// Whether the heard words are the expected ones, in order, none left out
// and none split; a voice may run adjacent ones together as it speaks them
// ("你好" as one word), but never across a blank.
QString Mismatch(const QStringList &heard, const QStringList &expected) {
    qsizetype next = 0;
    for (const QString &word : heard) {
        QString run;
        while (run.size() < word.size() && next < expected.size())
            run += expected[next++];
        if (run != word)
            return QStringLiteral("heard \"%1\" where \"%2\" was due").arg(word, run);
    }
    if (next < expected.size())
        return QStringLiteral("\"%1\" was never heard").arg(expected[next]);
    return {};
}

QByteArray VoiceFor(const QString &language) {
    const auto engine = SpeechEngine::Acquire();
    for (const SpeechVoice &v : engine->Voices())
        if (v.language == language)
            return v.identifier;
    return {};
}

} // namespace

class WordPositionsTest : public QObject {
    Q_OBJECT
private slots:
    void wordsOfTheText_data();
    void wordsOfTheText();
};

void WordPositionsTest::wordsOfTheText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("language"); // empty: the default voice
    QTest::addColumn<QStringList>("words");
    QTest::newRow("ascii") << "Hello world, again."
                           << "" << QStringList{"Hello", "world", "again"};
    QTest::newRow("accented, and a phrase espeak-ng knows whole")
        << "Café naïve résumé, déjà vu."
        << "" << QStringList{"Café", "naïve", "résumé", "déjà", "vu"};
    QTest::newRow("combining accent") << "Cafe\u0301 au lait"
                                      << "" << QStringList{"Cafe\u0301", "au", "lait"};
    QTest::newRow("emoji, outside the basic plane")
        << "I \U0001F600 like \U0001F600\U0001F600 pizza and tea."
        << ""
        << QStringList{"I", "\U0001F600", "like", "\U0001F600\U0001F600", "pizza", "and", "tea"};
    QTest::newRow("cjk inside English, handed to a Mandarin voice")
        << "We read 中文 text here."
        << "" << QStringList{"We", "read", "中", "文", "text", "here"};
    QTest::newRow("Russian inside German, handed to a Russian voice")
        << "Wir lesen Привет мир heute."
        << "de" << QStringList{"Wir", "lesen", "Привет", "мир", "heute"};
    QTest::newRow("cjk read by a Mandarin voice") // "你好" heard as one word or two
        << "中文 你好世界"
        << "cmn" << QStringList{"中", "文", "你", "好", "世", "界"};
    QTest::newRow("greek") << "Καλημέρα κόσμε φίλε"
                           << "el" << QStringList{"Καλημέρα", "κόσμε", "φίλε"};
    QTest::newRow("full stop before a lower-case word")
        << "one. two three, river. résumé"
        << "" << QStringList{"one", "two", "three", "river", "résumé"};
    QTest::newRow("line breaks") << "line one\nline two\n\nthree\r\nfour"
                                 << ""
                                 << QStringList{"line", "one", "line", "two", "three", "four"};
    QTest::newRow("control characters") << QStringLiteral("alpha\x01"
                                                          "beta \x1b gamma\tdelta")
                                        << "" << QStringList{"alpha", "beta", "gamma", "delta"};
    QTest::newRow("lone surrogate") << QStringLiteral("one ") + QChar(0xd800) + " two three"
                                    << "" << QStringList{"one", "two", "three"};

    // Long texts go to espeak-ng in slices of about 2000 characters: words
    // past the first slice must land on themselves too.
    const QStringList cycle{"café", "naïve", "\U0001F600", "river", "résumé"};
    QString longText;
    QStringList longWords;
    for (int i = 0; i < 450; ++i) {
        longText += cycle[i % cycle.size()] + (i % 9 == 8 ? ". " : " ");
        longWords << cycle[i % cycle.size()];
    }
    QTest::newRow("several slices") << longText << "" << longWords;
}

void WordPositionsTest::wordsOfTheText() {
    QFETCH(QString, text);
    QFETCH(QString, language);
    QFETCH(QStringList, words);
    QByteArray voice;
    if (!language.isEmpty()) {
        voice = VoiceFor(language);
        QVERIFY2(!voice.isEmpty(), qPrintable(language));
    }
    const QStringList heard = HeardWords(text, voice);
    const QString mismatch = Mismatch(heard, words);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch + QStringLiteral(": ") + heard.join(u'|')));
}

QTEST_MAIN(WordPositionsTest)
#include "tst_wordpositions.moc"
