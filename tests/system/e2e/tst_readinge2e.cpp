// Reading end to end: the real window and voice play into a private sound
// server's null sink (this program runs inside private-sound-server.sh's
// "with"), whose monitor is recorded. What is heard after a resume, a next
// sentence and a read from here is matched against the words that should
// come, spoken on their own by the same voice: the loudness of each 10 ms,
// correlated, must match those words better than any other place.
#include "app/frmmain.h"
#include "app/speakingcommands.h"
#include "app/wordhighlight.h"
#include "memoryaudiooutput.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/face/speechcontrolfactory.h"
#include "speech/voice/voicelink.h"
#include "speech/voice/voicesession.h"
#include "speechwindow.h"

#include <QAction>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <csignal>

namespace {

constexpr int kRate = 22050;
constexpr int kFrame = kRate / 100; // 10 ms
constexpr int kMatchFrames = 50;    // the first half second of the words
constexpr double kLoud = 300;       // above the null sink's silence

const QString kFirst = QStringLiteral(
    "Apples and pears grow slowly on the old trees beside the quiet farmhouse wall.");
const QString kSecond = QStringLiteral("Seven silver fish swim past the rocks.");
const QString kThird = QStringLiteral("Zebras run across the wide open plain at noon.");
const QString kText = kFirst + u' ' + kSecond + u' ' + kThird;

// Loudness of each 10 ms.
std::vector<double> Envelope(const std::vector<std::int16_t> &samples) {
    std::vector<double> frames;
    for (std::size_t at = 0; at + kFrame <= samples.size(); at += kFrame) {
        double sum = 0;
        for (std::size_t i = at; i < at + kFrame; ++i)
            sum += double(samples[i]) * samples[i];
        frames.push_back(std::sqrt(sum / kFrame));
    }
    return frames;
}

double Correlation(const double *a, const double *b, int n) {
    double ma = 0, mb = 0;
    for (int i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= n;
    mb /= n;
    double ab = 0, aa = 0, bb = 0;
    for (int i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// How well the words' first half second matches the recording, starting
// anywhere from frame `from` to frame `to`.
double Match(const std::vector<double> &recorded, const std::vector<double> &words, int from,
             int to) {
    std::size_t start = 0;
    while (start < words.size() && words[start] < kLoud)
        ++start; // the words' own leading silence
    if (words.size() < start + kMatchFrames)
        return 0;
    double best = 0;
    for (int at = std::max(0, from); at <= to && at + kMatchFrames <= int(recorded.size()); ++at)
        best =
            std::max(best, Correlation(recorded.data() + at, words.data() + start, kMatchFrames));
    return best;
}

class Recorder {
public:
    ~Recorder() {
        if (parec_.state() != QProcess::NotRunning) {
            ::kill(pid_t(parec_.processId()), SIGKILL);
            parec_.waitForFinished(5000);
        }
    }
    bool Start() {
        parec_.start(QStringLiteral("parec"),
                     {QStringLiteral("-d"), QStringLiteral("zavren_null.monitor"),
                      QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                      QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=1"),
                      QStringLiteral("--latency-msec=20")});
        // A recorder's first samples from an idle null sink come late.
        return parec_.waitForStarted(5000) &&
               QTest::qWaitFor([this] { return Frames() > 50; }, 10000);
    }
    int Frames() {
        bytes_ += parec_.readAllStandardOutput();
        return int(bytes_.size() / 2 / kFrame);
    }
    std::vector<double> Envelope() {
        Frames();
        std::vector<std::int16_t> samples(std::size_t(bytes_.size() / 2));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = qint16(quint8(bytes_[2 * i]) | quint8(bytes_[2 * i + 1]) << 8);
        return ::Envelope(samples);
    }

private:
    QProcess parec_;
    QByteArray bytes_;
};

} // namespace

class ReadingE2eTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void heardWord_data();
    void heardWord();
    void eachEngineReadsAloud_data();
    void eachEngineReadsAloud();
    void cleanupTestCase();

private:
    std::vector<double> Spoken(const QString &text);
    void Trigger(const char *action);
    // Waits until the word marked is `word` or one after it.
    bool Reached(const QString &word);

    std::unique_ptr<SpeechWindow> window_;
    EspeakSpeechControl *voice_ = nullptr;
    Recorder recorder_;
};

void ReadingE2eTest::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
        QSKIP("parec is not installed");
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        QSKIP("run inside tests/support/private-sound-server.sh with zavren_null");
    QVERIFY(recorder_.Start());
    window_ = std::make_unique<SpeechWindow>(CreateSpeechControl(nullptr));
    voice_ = qobject_cast<EspeakSpeechControl *>(window_->form->DirectSS1());
    QVERIFY(voice_);
    window_->Show();
    window_->Text().setPlainText(kText);
}

void ReadingE2eTest::cleanupTestCase() {
    window_.reset();
}

// The words as the voice says them on their own, at the window's pitch and
// speed; spoken while the window is silent, since both share the engine.
std::vector<double> ReadingE2eTest::Spoken(const QString &text) {
    auto output = std::make_unique<MemoryAudioOutput>();
    MemoryAudioOutput &memory = *output;
    VoiceSession session(std::move(output), nullptr);
    session.SetPitch(voice_->Pitch());
    session.SetSpeed(voice_->Speed());
    if (!session.Speak(text).ok())
        return {};
    (void)QTest::qWaitFor([&] { return !session.IsSpeaking() || memory.SampleCount() > kRate; },
                          10000);
    session.StopSpeaking().ok();
    return Envelope(memory.Samples());
}

void ReadingE2eTest::Trigger(const char *action) {
    QAction *command = window_->form->ReadingAction(QString::fromLatin1(action));
    QVERIFY2(command, action);
    command->trigger();
}

bool ReadingE2eTest::Reached(const QString &word) {
    const WordHighlight *mark = window_->Text().findChild<WordHighlight *>();
    const qsizetype at = kText.indexOf(word);
    return mark &&
           QTest::qWaitFor([&] { return mark->Length() > 0 && mark->Start() >= at; }, 10000);
}

void ReadingE2eTest::heardWord_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("expected"); // where what is heard next begins
    QTest::newRow("pause, then resume: from the word heard") << "pause" << QString();
    QTest::newRow("next sentence: the second sentence") << "next" << kSecond;
    QTest::newRow("read from here: the word at the cursor, not its sentence")
        << "here" << QStringLiteral("across");
}

void ReadingE2eTest::heardWord() {
    QFETCH(QString, command);
    QFETCH(QString, expected);
    const WordHighlight *mark = window_->Text().findChild<WordHighlight *>();
    QVERIFY(mark);
    // Where else the voice might be: each sentence's start, and the words
    // on either side of the one expected.
    QStringList places = {kFirst, kSecond, kThird};
    int from = 0, to = 0; // frames where the new words may begin
    QString heardFrom;    // text from the place expected
    if (command == QLatin1String("pause")) {
        window_->form->cmdPlayAll()->click();
        QVERIFY(Reached(QStringLiteral("grow")));
        Trigger("actPauseResume");
        QVERIFY(voice_->IsPaused());
        const qsizetype word = mark->Start();
        QVERIFY(word > 0);
        const int paused = recorder_.Frames();
        QTest::qWait(800);
        // The mark holds, and the sink falls silent.
        QCOMPARE(mark->Start(), word);
        QVERIFY(mark->Length() > 0);
        const std::vector<double> quiet = recorder_.Envelope();
        for (int f = paused + 30; f < int(quiet.size()); ++f)
            QVERIFY2(quiet[std::size_t(f)] < kLoud, "sound while paused");
        heardFrom = kText.mid(word);
        const qsizetype next = kText.indexOf(u' ', word) + 1;
        places << kText.mid(next) << kText.mid(kText.indexOf(u' ', next) + 1);
        // The references below use the engine the paused voice has let go.
    } else if (command == QLatin1String("next")) {
        heardFrom = kSecond;
    } else {
        heardFrom = kText.mid(kText.indexOf(expected));
        places << kText.mid(kText.indexOf(expected) + expected.size() + 1);
    }

    std::vector<std::vector<double>> spoken;
    places.prepend(heardFrom);
    places.removeDuplicates();
    for (const QString &place : places) {
        spoken.push_back(Spoken(place));
        QVERIFY(!spoken.back().empty());
    }

    if (command == QLatin1String("pause")) {
        QVERIFY(voice_->IsPaused());
        from = recorder_.Frames();
        Trigger("actPauseResume");
        QVERIFY(!voice_->IsPaused());
    } else if (command == QLatin1String("next")) {
        window_->form->cmdPlayAll()->click();
        QVERIFY(Reached(QStringLiteral("pears")));
        from = recorder_.Frames();
        Trigger("actNextSentence");
    } else {
        QTextCursor cursor = window_->Text().textCursor();
        cursor.setPosition(int(kText.indexOf(expected) + 2)); // inside the word
        window_->Text().setTextCursor(cursor);
        from = recorder_.Frames();
        Trigger("actReadFromHere");
    }
    QTest::qWait(1500);
    window_->form->Speaking().Stop();
    const std::vector<double> recorded = recorder_.Envelope();
    if (command != QLatin1String("next")) {
        // After silence the new words begin where the sound does.
        int onset = from;
        while (onset < int(recorded.size()) && recorded[std::size_t(onset)] < kLoud)
            ++onset;
        from = onset - 4;
        to = onset + 4;
    } else {
        to = from + 60; // the sink and the recorder lag behind
    }
    QString scores;
    double best = -1;
    int bestAt = -1;
    for (int i = 0; i < int(places.size()); ++i) {
        const double score = Match(recorded, spoken[std::size_t(i)], from, to);
        scores += QStringLiteral("%1 \"%2\"; ").arg(score, 0, 'f', 2).arg(places[i].left(20));
        if (score > best) {
            best = score;
            bestAt = i;
        }
    }
    qInfo("%s", qPrintable(scores));
    QVERIFY2(bestAt == 0 && best > 0.75, qPrintable(scores));
}

void ReadingE2eTest::eachEngineReadsAloud_data() {
    QTest::addColumn<QByteArray>("engine"); // its voices' prefix; none for espeak-ng
    QTest::newRow("espeak-ng") << QByteArray();
    QTest::newRow("flite") << QByteArray("flite:");
    QTest::newRow("festival") << QByteArray("festival:");
}

// Play in the window in an English voice of each engine: the sink hears it,
// and its words are marked in the text in order.
void ReadingE2eTest::eachEngineReadsAloud() {
    QFETCH(QByteArray, engine);
    QByteArray voice;
    for (const SpeechVoice &v : voice_->Voices())
        if (voice.isEmpty() && v.language.startsWith(QLatin1String("en")) &&
            (engine.isEmpty() ? !v.identifier.contains(':') : v.identifier.startsWith(engine)))
            voice = v.identifier;
    if (voice.isEmpty())
        QSKIP("this engine is not installed");
    const QByteArray before = voice_->Voice();
    QVERIFY(voice_->SetVoice(voice));
    QList<qsizetype> words;
    const QMetaObject::Connection marks = connect(
        voice_, &SpeechControl::WordReached, [&](qsizetype start, qsizetype) { words << start; });
    const int from = recorder_.Frames();
    window_->form->cmdPlayAll()->click();
    const qsizetype pears = kText.indexOf(QLatin1String("pears"));
    const bool reached = QTest::qWaitFor([&] { return words.contains(pears); }, 20000);
    QTest::qWait(300); // the sink and the recorder lag behind
    window_->form->Speaking().Stop();
    disconnect(marks);
    voice_->SetVoice(before);
    QVERIFY2(reached, voice.constData());
    QVERIFY(std::is_sorted(words.begin(), words.end()));
    QCOMPARE(words.value(0), qsizetype(0));
    const std::vector<double> recorded = recorder_.Envelope();
    const auto loud = std::count_if(recorded.begin() + std::min<std::size_t>(from, recorded.size()),
                                    recorded.end(), [](double f) { return f >= kLoud; });
    QVERIFY2(loud > 30, qPrintable(QStringLiteral("%1 loud frames").arg(loud)));
}

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    ReadingE2eTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_readinge2e.moc"
