// Every engine behind the voice protocol answers the same questions: its
// words are placed in order on the text, the sliders change what is heard,
// and a stop stops it. Each test has a row per engine.
#include "memoryaudiooutput.h"
#include "signalanalysis.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/voice/speechengine.h"
#include "speech/voice/voicescale.h"

#include <QtTest>

namespace {

// The first English voice of the engine whose identifiers begin with
// `prefix` ("" for espeak-ng, which has none).
QByteArray EnglishVoiceOf(const QByteArray &prefix) {
    const auto engine = SpeechEngine::Acquire();
    for (const SpeechVoice &v : engine->Voices()) {
        const bool ours =
            prefix.isEmpty() ? !v.identifier.contains(':') : v.identifier.startsWith(prefix);
        if (ours && v.language.startsWith(QLatin1String("en")))
            return v.identifier;
    }
    return {};
}

void AddEngineColumn() {
    QTest::addColumn<QByteArray>("engine");
}

// The engine's voice, or a skip when it is not installed here.
#define FETCH_VOICE(voice)                                                                         \
    QFETCH(QByteArray, engine);                                                                    \
    const QByteArray voice = EnglishVoiceOf(engine);                                               \
    if (voice.isEmpty())                                                                           \
        QSKIP("this engine is not installed");

struct Spoken {
    std::vector<std::int16_t> samples;
    int sampleRate = 0;
    QList<std::pair<qsizetype, qsizetype>> words;
};

Spoken Speak(const QByteArray &voice, const QString &text, std::int32_t pitch, std::int32_t speed) {
    auto output = std::make_unique<MemoryAudioOutput>();
    MemoryAudioOutput *memory = output.get();
    EspeakSpeechControl control(std::move(output));
    control.SetVoice(voice);
    control.SetPitch(pitch);
    control.SetSpeed(speed);
    Spoken spoken;
    QObject::connect(&control, &SpeechControl::WordReached, [&](qsizetype start, qsizetype length) {
        spoken.words.append({start, length});
    });
    const SpeechStatus status = control.Speak(text);
    if (!status.ok())
        qWarning() << status.error;
    if (!QTest::qWaitFor([&] { return !control.IsSpeaking(); }, 60000))
        qWarning("voice did not finish");
    spoken.samples = memory->Samples();
    spoken.sampleRate = memory->SampleRate();
    return spoken;
}

const QString kText = QStringLiteral("Seven plain words, read out in order.");

} // namespace

class EnginesTest : public QObject {
    Q_OBJECT
private slots:
    void wordsInOrderOnTheText_data() { Engines(); }
    void wordsInOrderOnTheText();
    void slidersChangeTheAudio_data();
    void slidersChangeTheAudio();
    void stopEndsSpeech_data() { Engines(); }
    void stopEndsSpeech();

private:
    static void Engines() {
        AddEngineColumn();
        QTest::newRow("espeak-ng") << QByteArray();
        QTest::newRow("flite") << QByteArray("flite:");
        QTest::newRow("festival") << QByteArray("festival:");
    }
};

void EnginesTest::wordsInOrderOnTheText() {
    FETCH_VOICE(voice);
    const Spoken spoken =
        Speak(voice, kText, VoiceScale::StartingPitch(), VoiceScale::StartingSpeed());
    QStringList heard;
    qsizetype last = -1;
    for (const auto &[start, length] : spoken.words) {
        QVERIFY2(start > last, "a word came before the one heard earlier");
        QVERIFY(start >= 0 && length > 0 && start + length <= kText.size());
        last = start;
        heard << kText.mid(start, length);
    }
    QCOMPARE(heard, (QStringList{"Seven", "plain", "words", "read", "out", "in", "order"}));
}

void EnginesTest::slidersChangeTheAudio_data() {
    AddEngineColumn();
    QTest::addColumn<bool>("pitch"); // else speed
    for (const auto &[name, prefix] :
         {std::pair{"espeak-ng", QByteArray()}, std::pair{"flite", QByteArray("flite:")},
          std::pair{"festival", QByteArray("festival:")}}) {
        QTest::addRow("%s, speed", name) << prefix << false;
        QTest::addRow("%s, pitch", name) << prefix << true;
    }
}

// The lowest and the highest slider positions are heard apart: faster speech
// is shorter, higher speech has a higher fundamental.
void EnginesTest::slidersChangeTheAudio() {
    FETCH_VOICE(voice);
    QFETCH(bool, pitch);
    const std::int32_t low = VoiceScale::kLowest, high = VoiceScale::kHighest;
    const std::int32_t middle = (low + high) / 2;
    const Spoken a = Speak(voice, kText, pitch ? low : middle, pitch ? middle : low);
    const Spoken b = Speak(voice, kText, pitch ? high : middle, pitch ? middle : high);
    QVERIFY(!a.samples.empty() && !b.samples.empty());
    if (pitch) {
        const double lower =
            SignalAnalysis::MedianF0(a.samples.data(), a.samples.size(), a.sampleRate);
        const double higher =
            SignalAnalysis::MedianF0(b.samples.data(), b.samples.size(), b.sampleRate);
        QVERIFY2(higher > lower * 1.2,
                 qPrintable(QStringLiteral("%1 Hz, then %2 Hz").arg(lower).arg(higher)));
    } else {
        QVERIFY2(
            double(b.samples.size()) < 0.8 * double(a.samples.size()),
            qPrintable(
                QStringLiteral("%1 samples, then %2").arg(a.samples.size()).arg(b.samples.size())));
    }
}

// A stop in the middle of a long text ends the speech, and no word is
// reached after it.
void EnginesTest::stopEndsSpeech() {
    FETCH_VOICE(voice);
    EspeakSpeechControl control(std::make_unique<MemoryAudioOutput>(1.0));
    control.SetVoice(voice);
    int words = 0;
    QObject::connect(&control, &SpeechControl::WordReached, [&] { ++words; });
    QVERIFY(control.Speak(kText.repeated(40)).ok());
    QTRY_VERIFY_WITH_TIMEOUT(words >= 2, 30000);
    QVERIFY(control.StopSpeaking().ok());
    QTRY_VERIFY_WITH_TIMEOUT(!control.IsSpeaking(), 10000);
    const int atStop = words;
    QTest::qWait(500);
    QCOMPARE(words, atStop);
}

QTEST_MAIN(EnginesTest)
#include "tst_engines.moc"
