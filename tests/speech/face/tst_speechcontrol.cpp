#include "memoryaudiooutput.h"
#include "signalanalysis.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/voice/voicescale.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {
const QString kSentence =
    QStringLiteral("The quick brown fox jumps over the lazy dog. She sells sea shells.");
QString LongText() {
    return kSentence.repeated(40);
}

// A control playing into memory; the sink is owned by the control.
struct Voice {
    explicit Voice(double speedFactor = 0) {
        auto output = std::make_unique<MemoryAudioOutput>(speedFactor);
        sink = output.get();
        control = std::make_unique<EspeakSpeechControl>(std::move(output));
    }
    int Rate() const { return 22050; }
    std::size_t Seconds(double s) const { return static_cast<std::size_t>(s * Rate()); }
    // Speaks and waits for the voice to finish; returns the samples.
    std::vector<std::int16_t> SpeakAll(const QString &text) {
        sink->ClearSamples();
        const SpeechStatus status = control->Speak(text);
        if (!status.ok())
            qWarning() << status.error;
        if (!QTest::qWaitFor([&] { return !control->IsSpeaking(); }, 30000))
            qWarning("voice did not finish");
        return sink->Samples();
    }
    MemoryAudioOutput *sink = nullptr;
    std::unique_ptr<EspeakSpeechControl> control;
};

double F0(const std::vector<std::int16_t> &s, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    to = std::min(to, s.size());
    return from < to ? SignalAnalysis::MedianF0(s.data() + from, to - from, 22050) : 0;
}
} // namespace

class SpeechControlTest : public QObject {
    Q_OBJECT
private slots:
    void speakReturnsBeforeItsAudioEnds();
    void producesSound();
    void nothingToSay_data();
    void nothingToSay();
    void higherSpeedGivesShorterAudio_data();
    void higherSpeedGivesShorterAudio();
    void higherPitchGivesHigherFundamental_data();
    void higherPitchGivesHigherFundamental();
    void pitchWrittenWhileSpeakingIsHeard();
    void stopSilencesAtOnce_data();
    void stopSilencesAtOnce();
    void speakReplacesSpeechUnderWay();
    void stopWithNothingUnderWaySucceedsSilently();
    void markupIsReadAsPlainText_data();
    void markupIsReadAsPlainText();
    void pitchStartsNormalAndStaysInRange_data();
    void pitchStartsNormalAndStaysInRange();
    void destroyingWhileSpeakingEndsPromptly();
    void speakingIsReported();
    void everyWordIsReportedAtPlayingPace_data();
    void everyWordIsReportedAtPlayingPace();
};

void SpeechControlTest::speakReturnsBeforeItsAudioEnds() {
    Voice voice(1.0); // real time
    const SpeechStatus status = voice.control->Speak(kSentence);
    QVERIFY2(status.ok(), qPrintable(status.error));
    QVERIFY(voice.control->IsSpeaking());
    QVERIFY(voice.sink->SampleCount() < voice.Seconds(1.0));
    QTRY_VERIFY_WITH_TIMEOUT(voice.sink->SampleCount() > voice.Seconds(1.0), 10000);
    QVERIFY(voice.control->IsSpeaking());
    QVERIFY(voice.control->StopSpeaking().ok());
}

void SpeechControlTest::producesSound() {
    Voice voice;
    const auto samples = voice.SpeakAll(kSentence);
    QVERIFY(samples.size() > voice.Seconds(2.0));
    QVERIFY(SignalAnalysis::Rms(samples.data(), samples.size()) > 500);
    QVERIFY(F0(samples) > 60);
}

void SpeechControlTest::nothingToSay_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces") << QStringLiteral("    ");
    QTest::newRow("line breaks and tabs") << QStringLiteral("\r\n\t\n");
    QTest::newRow("control characters") << QStringLiteral("\x01\x02\x1b");
}

void SpeechControlTest::nothingToSay() {
    QFETCH(QString, text);
    Voice voice;
    QSignalSpy spy(voice.control.get(), &SpeechControl::SpeakingChanged);
    const SpeechStatus status = voice.control->Speak(text);
    QVERIFY2(status.ok(), qPrintable(status.error));
    QVERIFY(!voice.control->IsSpeaking());
    QTest::qWait(100);
    QCOMPARE(voice.sink->SampleCount(), std::size_t(0));
    QCOMPARE(spy.count(), 0);
}

void SpeechControlTest::higherSpeedGivesShorterAudio_data() {
    QTest::addColumn<int>("slower");
    QTest::addColumn<int>("faster");
    QTest::newRow("whole range") << 84 << 338;
    QTest::newRow("start to middle") << 84 << 211;
    QTest::newRow("upper half") << 250 << 338;
}

void SpeechControlTest::higherSpeedGivesShorterAudio() {
    QFETCH(int, slower);
    QFETCH(int, faster);
    Voice voice;
    voice.control->SetSpeed(slower);
    const auto slow = voice.SpeakAll(kSentence);
    voice.control->SetSpeed(faster);
    const auto fast = voice.SpeakAll(kSentence);
    QVERIFY(!slow.empty() && !fast.empty());
    QVERIFY2(fast.size() < slow.size() * 0.9,
             qPrintable(QStringLiteral("%1 vs %2 samples").arg(fast.size()).arg(slow.size())));
}

void SpeechControlTest::higherPitchGivesHigherFundamental_data() {
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("higher");
    QTest::newRow("whole range") << 84 << 338;
    QTest::newRow("lowest to start") << 84 << 211;
    QTest::newRow("start to highest") << 211 << 338;
    QTest::newRow("middle steps") << 150 << 250;
}

void SpeechControlTest::higherPitchGivesHigherFundamental() {
    QFETCH(int, lower);
    QFETCH(int, higher);
    Voice voice;
    voice.control->SetPitch(lower);
    const double low = F0(voice.SpeakAll(kSentence));
    voice.control->SetPitch(higher);
    const double high = F0(voice.SpeakAll(kSentence));
    QVERIFY2(low > 50 && high > low * 1.08,
             qPrintable(QStringLiteral("%1 Hz vs %2 Hz").arg(low).arg(high)));
}

void SpeechControlTest::pitchWrittenWhileSpeakingIsHeard() {
    Voice voice(8.0);
    voice.control->SetPitch(84);
    QVERIFY(voice.control->Speak(LongText()).ok());
    QTRY_VERIFY_WITH_TIMEOUT(voice.sink->SampleCount() > voice.Seconds(2.0), 10000);
    voice.control->SetPitch(338);
    const std::size_t changedAt = voice.sink->SampleCount();
    QTRY_VERIFY_WITH_TIMEOUT(voice.sink->SampleCount() > changedAt + voice.Seconds(4.0), 10000);
    voice.control->StopSpeaking().ok();
    const auto samples = voice.sink->Samples();
    const double before = F0(samples, 0, changedAt);
    // What was queued when the pitch changed still plays at the old pitch:
    // look from one second later, after the next clause has begun.
    const double after = F0(samples, changedAt + voice.Seconds(1.0));
    QVERIFY2(after > before * 1.5,
             qPrintable(QStringLiteral("%1 Hz -> %2 Hz").arg(before).arg(after)));
}

void SpeechControlTest::stopSilencesAtOnce_data() {
    QTest::addColumn<double>("after");
    QTest::newRow("right after speak") << 0.0;
    QTest::newRow("mid speech") << 0.5;
}

void SpeechControlTest::stopSilencesAtOnce() {
    QFETCH(double, after);
    Voice voice(1.0);
    QVERIFY(voice.control->Speak(LongText()).ok());
    if (after > 0)
        QTRY_VERIFY_WITH_TIMEOUT(voice.sink->SampleCount() > voice.Seconds(after), 10000);
    QVERIFY(voice.control->StopSpeaking().ok());
    const std::size_t atStop = voice.sink->SampleCount();
    QVERIFY(!voice.control->IsSpeaking());
    QTest::qWait(300);
    QCOMPARE(voice.sink->SampleCount(), atStop);

    // The next speak works as ever.
    QVERIFY(voice.control->Speak(QStringLiteral("Again.")).ok());
    QTRY_VERIFY_WITH_TIMEOUT(voice.sink->SampleCount() > atStop + voice.Seconds(0.2), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!voice.control->IsSpeaking(), 10000);
}

void SpeechControlTest::speakReplacesSpeechUnderWay() {
    const QString replacement = QStringLiteral("Goodbye for now.");
    Voice voice(4.0);
    const std::size_t alone = voice.SpeakAll(replacement).size();
    QVERIFY(alone > 0);

    voice.sink->ClearSamples();
    QVERIFY(voice.control->Speak(LongText()).ok());
    QTRY_VERIFY_WITH_TIMEOUT(voice.sink->SampleCount() > voice.Seconds(1.0), 10000);
    const std::size_t beforeReplace = voice.sink->SampleCount();
    QVERIFY(voice.control->Speak(replacement).ok());
    QTRY_VERIFY_WITH_TIMEOUT(!voice.control->IsSpeaking(), 10000);
    const std::size_t added = voice.sink->SampleCount() - beforeReplace;
    // Only the replacement follows, give or take one device period of the old.
    QVERIFY2(std::max(added, alone) - std::min(added, alone) <= voice.Seconds(0.05),
             qPrintable(QStringLiteral("%1 added, %2 alone").arg(added).arg(alone)));
}

void SpeechControlTest::stopWithNothingUnderWaySucceedsSilently() {
    Voice voice;
    QSignalSpy spy(voice.control.get(), &SpeechControl::SpeakingChanged);
    QVERIFY(voice.control->StopSpeaking().ok());
    QVERIFY(voice.control->StopSpeaking().ok());
    QCOMPARE(spy.count(), 0);
    QCOMPARE(voice.sink->SampleCount(), std::size_t(0));
}

void SpeechControlTest::markupIsReadAsPlainText_data() {
    QTest::addColumn<QString>("text"); // FILE stands for the bait file, MARK for the marker
    QTest::newRow("audio element") << QStringLiteral("Listen <audio src=\"FILE\">now</audio>.");
    QTest::newRow("inside speak") << QStringLiteral("<speak>Hi <audio src='FILE'/></speak>");
    QTest::newRow("shell in the name") << QStringLiteral("<audio src=\"FILE$(touch MARK)\"/>");
    QTest::newRow("file url") << QStringLiteral("<audio src=\"file://FILE\"/> done");
}

void SpeechControlTest::markupIsReadAsPlainText() {
    QFETCH(QString, text);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString bait = dir.filePath(QStringLiteral("bait.wav"));
    const QString marker = dir.filePath(QStringLiteral("marker"));
    {
        QFile f(bait);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("RIFF") + QByteArray(100, '\0'));
    }
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    QVERIFY(inotify_add_watch(watch, QFile::encodeName(bait).constData(), IN_OPEN | IN_ACCESS) >=
            0);
    QVERIFY(inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_CREATE) >= 0);

    Voice voice;
    text.replace(QStringLiteral("FILE"), bait).replace(QStringLiteral("MARK"), marker);
    const auto samples = voice.SpeakAll(text);

    pollfd p{watch, POLLIN, 0};
    const int events = ::poll(&p, 1, 100);
    ::close(watch);
    QVERIFY2(events == 0, "the named file was touched");
    QVERIFY(!QFile::exists(marker));
    QVERIFY(samples.size() > voice.Seconds(0.5)); // the text itself is read aloud
}

void SpeechControlTest::pitchStartsNormalAndStaysInRange_data() {
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("read");
    QTest::newRow("lowest") << 84 << 84;
    QTest::newRow("highest") << 338 << 338;
    QTest::newRow("inside") << 100 << 100;
    QTest::newRow("below range") << 0 << 84;
    QTest::newRow("far above range") << 2000000000 << 338;
}

void SpeechControlTest::pitchStartsNormalAndStaysInRange() {
    QFETCH(int, written);
    QFETCH(int, read);
    Voice voice;
    QCOMPARE(voice.control->Pitch(), VoiceScale::StartingPitch());
    QCOMPARE(voice.control->Speed(), 84);
    voice.control->SetPitch(written);
    QCOMPARE(voice.control->Pitch(), read);
    voice.control->SetSpeed(written);
    QCOMPARE(voice.control->Speed(), read);
}

void SpeechControlTest::destroyingWhileSpeakingEndsPromptly() {
    auto voice = std::make_unique<Voice>(1.0);
    QVERIFY(voice->control->Speak(LongText().repeated(50)).ok());
    QTRY_VERIFY_WITH_TIMEOUT(voice->sink->SampleCount() > 0, 10000);
    QElapsedTimer clock;
    clock.start();
    voice.reset();
    qInfo("destroyed while speaking in %lld us", clock.nsecsElapsed() / 1000);

    // A new control starts afresh on the same engine.
    Voice again;
    QVERIFY(again.SpeakAll(kSentence).size() > again.Seconds(1.0));
}

void SpeechControlTest::speakingIsReported() {
    Voice voice(4.0);
    QSignalSpy spy(voice.control.get(), &SpeechControl::SpeakingChanged);
    QVERIFY(voice.control->Speak(QStringLiteral("Short.")).ok());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(voice.control->accessibleDescription(), QStringLiteral("Speaking"));
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 10000);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    QCOMPARE(voice.control->accessibleDescription(), QStringLiteral("Idle"));
}

void SpeechControlTest::everyWordIsReportedAtPlayingPace_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rest"); // handed on after the text, if not empty
    QTest::addColumn<QStringList>("words");
    QTest::newRow("one sentence") << "Short words come one by one."
                                  << ""
                                  << QStringList{"Short", "words", "come", "one", "by", "one"};
    QTest::newRow("long pauses") << "First. Second!\n\nThird, fourth; fifth."
                                 << ""
                                 << QStringList{"First", "Second", "Third", "fourth", "fifth"};
    QTest::newRow("one word") << "Hello."
                              << "" << QStringList{"Hello"};
    QTest::newRow("beginning, then the rest")
        << "One two.\n"
        << "One two.\nThree four." << QStringList{"One", "two", "Three", "four"};
}

// The control sleeps between marks, yet every word is reported in order as
// the device plays it, and the voice ends by itself after the last one.
void SpeechControlTest::everyWordIsReportedAtPlayingPace() {
    QFETCH(QString, text);
    QFETCH(QString, rest);
    QFETCH(QStringList, words);
    Voice voice(2.0);
    const QString whole = rest.isEmpty() ? text : rest;
    QStringList heard;
    QObject::connect(voice.control.get(), &SpeechControl::WordReached,
                     [&](qsizetype start, qsizetype length) { heard << whole.mid(start, length); });
    QVERIFY(voice.control->Speak(text).ok());
    if (!rest.isEmpty())
        voice.control->Continue(rest);
    QTRY_VERIFY_WITH_TIMEOUT(!voice.control->IsSpeaking(), 20000);
    QCOMPARE(heard, words);
}

QTEST_MAIN(SpeechControlTest)
#include "tst_speechcontrol.moc"
