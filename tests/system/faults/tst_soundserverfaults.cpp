// Sound-server faults end to end: the real speech window, voice and sound
// output, against a private sound server (PulseAudio, or PipeWire's PulseAudio
// service) with null sinks whose monitors are recorded. The server is missing at first, then
// started, has its sliders stormed while speaking, is killed in the middle of speech, stays away,
// comes back, stalls (SIGSTOP) before and during speech, and has its default device switched.
// Whatever happens the window stays usable and keeps its text; speech that cannot be heard says why
// in an "Error: " box within seconds; a Play after the server is back is heard, on the default
// device.
//
// Everything lives in a temporary folder (socket, HOME, XDG_RUNTIME_DIR);
// only the processes started here are stopped, by their own ids.
#include "app/frmmain.h"
#include "app/speechprogram.h"
#include "hangguard.h"
#include "modalanswerer.h"
#include "platform/qt/messagebox.h"
#include "procstatus.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/face/speechcontrol.h"
#include "speech/voice/speechengine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kRate = 22050;
const QString kLongText =
    QStringLiteral("This sentence goes on and on, for as long as it is read. ").repeated(100);

QTemporaryDir *gDir = nullptr;

QString Path(const QString &name) {
    return gDir->filePath(name);
}

// The voice helper program `name` this process started, 0 when none runs.
qint64 HelperOf(const QString &name) {
    for (const qint64 pid : ProcStatus::Children(::getpid(), false))
        if (QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid))
                .symLinkTarget()
                .endsWith(u'/' + name))
            return pid;
    return 0;
}

// Kills that helper, if it runs, and waits until it has ended: its pipes
// are closed, and the program sees it gone.
bool KillHelper(const QString &name) {
    const qint64 pid = HelperOf(name);
    if (pid <= 0 || ::kill(pid_t(pid), SIGKILL) != 0)
        return false;
    // Ended with every thread: a zombie whose threads are all gone.
    return QTest::qWaitFor(
        [pid] {
            QFile status(QStringLiteral("/proc/%1/status").arg(pid));
            if (!status.open(QIODevice::ReadOnly))
                return true;
            const QByteArray text = status.readAll();
            return text.contains("\nState:\tZ") && text.contains("\nThreads:\t1\n");
        },
        5000);
}

// Runs pactl with `arguments`; true if it answered and succeeded.
bool Pactl(const QStringList &arguments) {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), arguments);
    return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit &&
           pactl.exitCode() == 0;
}

// pactl's verdict on the server, within a few seconds.
bool ServerAnswers() {
    return Pactl({QStringLiteral("info")});
}

// Records a sink's monitor, as raw mono samples.
class Recorder {
public:
    ~Recorder() { Kill(); }

    bool Start(const QString &sink) {
        recorded_.clear();
        parec_.start(QStringLiteral("parec"),
                     {QStringLiteral("-d"), sink + QStringLiteral(".monitor"),
                      QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                      QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=1"),
                      QStringLiteral("--latency-msec=20")});
        if (!parec_.waitForStarted(5000))
            return false;
        // A recorder's first samples from an idle null sink come late.
        return QTest::qWaitFor([this] { return Recorded() > kRate; }, 10000);
    }

    void Kill() {
        if (parec_.state() != QProcess::NotRunning) {
            ::kill(pid_t(parec_.processId()), SIGKILL);
            parec_.waitForFinished(5000);
        }
    }

    // Bytes recorded so far.
    qsizetype Recorded() {
        recorded_ += parec_.readAllStandardOutput();
        return recorded_.size();
    }

    // Root mean square of what was recorded from `from` (bytes) on.
    double Rms(qsizetype from) {
        Recorded();
        double sum = 0;
        qsizetype n = 0;
        for (qsizetype i = from & ~qsizetype(1); i + 1 < recorded_.size(); i += 2, ++n) {
            const auto s = qint16(quint8(recorded_[i]) | quint8(recorded_[i + 1]) << 8);
            sum += double(s) * s;
        }
        return n ? std::sqrt(sum / double(n)) : 0;
    }

    // Waits up to `ms` for sound above the null sink's silence.
    bool Heard(qsizetype from, int ms) {
        return QTest::qWaitFor([&] { return Rms(from) > 300; }, ms);
    }

    // From the first sound recorded from `from` (bytes) on to the last, in ms.
    int SoundSpanMs(qsizetype from) {
        Recorded();
        constexpr qsizetype kWindow = kRate / 100; // 10 ms
        int first = -1;
        int last = -1;
        int at = 0;
        for (qsizetype i = from & ~qsizetype(1); i + 2 * kWindow <= recorded_.size();
             i += 2 * kWindow, at += 10) {
            double sum = 0;
            for (qsizetype k = 0; k < kWindow; ++k) {
                const auto s =
                    qint16(quint8(recorded_[i + 2 * k]) | quint8(recorded_[i + 2 * k + 1]) << 8);
                sum += double(s) * s;
            }
            if (std::sqrt(sum / kWindow) >= 50) {
                first = first < 0 ? at : first;
                last = at + 10;
            }
        }
        return first < 0 ? 0 : last - first;
    }

    // The longest run of silence recorded from `from` (bytes) on, in ms.
    int LongestSilenceMs(qsizetype from) {
        Recorded();
        constexpr qsizetype kWindow = kRate / 100; // 10 ms
        int longest = 0;
        int run = 0;
        for (qsizetype i = from & ~qsizetype(1); i + 2 * kWindow <= recorded_.size();
             i += 2 * kWindow) {
            double sum = 0;
            for (qsizetype k = 0; k < kWindow; ++k) {
                const auto s =
                    qint16(quint8(recorded_[i + 2 * k]) | quint8(recorded_[i + 2 * k + 1]) << 8);
                sum += double(s) * s;
            }
            run = std::sqrt(sum / kWindow) < 50 ? run + 10 : 0;
            longest = std::max(longest, run);
        }
        return longest;
    }

private:
    QProcess parec_;
    QByteArray recorded_;
};

// Ready for the program: it answers with a default sink (PipeWire's comes a
// moment after it answers).
bool ServerReady() {
    QProcess wait;
    wait.start(QStringLiteral("bash"),
               {QStringLiteral(ZAVREN_SOUND_SERVER_SCRIPT), QStringLiteral("wait")});
    // Events go on meanwhile, as in the window's own life.
    return QTest::qWaitFor([&] { return wait.state() == QProcess::NotRunning; }, 15000) &&
           wait.exitStatus() == QProcess::NormalExit && wait.exitCode() == 0;
}

// A sound server of our own with one null sink, and a recorder on the
// sink's monitor.
class PrivateServer {
public:
    ~PrivateServer() { Kill(); }

    bool Start() {
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The shared launcher replaces itself with the daemon: the process
        // id is the server's own.
        server_.start(QStringLiteral("bash"),
                      {QStringLiteral(ZAVREN_SOUND_SERVER_SCRIPT), QStringLiteral("run"),
                       QStringLiteral("zavren_null")});
        if (!server_.waitForStarted(5000))
            return false;
        if (!ServerReady())
            return false;
        return recorder_.Start(QStringLiteral("zavren_null"));
    }

    // SIGKILL: the server gets no chance to say goodbye to its clients.
    void Kill() {
        Resume();
        recorder_.Kill();
        if (server_.state() != QProcess::NotRunning) {
            ::kill(pid_t(server_.processId()), SIGKILL);
            server_.waitForFinished(5000);
        }
    }

    // SIGSTOP: the server keeps its socket but answers nothing.
    void Stall() {
        if (server_.state() != QProcess::NotRunning)
            ::kill(pid_t(server_.processId()), SIGSTOP);
    }
    void Resume() {
        if (server_.state() != QProcess::NotRunning)
            ::kill(pid_t(server_.processId()), SIGCONT);
    }

    qsizetype Recorded() { return recorder_.Recorded(); }
    double Rms(qsizetype from) { return recorder_.Rms(from); }
    int LongestSilenceMs(qsizetype from) { return recorder_.LongestSilenceMs(from); }
    int SoundSpanMs(qsizetype from) { return recorder_.SoundSpanMs(from); }
    bool Heard(qsizetype from, int ms) { return recorder_.Heard(from, ms); }

private:
    QProcess server_;
    Recorder recorder_;
};

} // namespace

class SoundServerFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void neverStartedPlayAllSaysWhy();
    void startedLaterPlayAllSpeaks();
    void speechEndsByItself_data();
    void speechEndsByItself();
    void sliderStormsWhileSpeaking_data();
    void sliderStormsWhileSpeaking();
    void killedMidSpeechSaysSoAndKeepsTheText();
    void killedServerNextPlaySaysWhy();
    void startedAgainPlayAllSpeaks();
    void stalledServerSaysWhyAndTheWindowResponds_data();
    void stalledServerSaysWhyAndTheWindowResponds();
    void defaultDeviceIsFollowed();
    void stalledWindowLeavesNoGap();
    void voiceFaultKeepsTheText_data();
    void voiceFaultKeepsTheText();
    void cleanupTestCase();

private:
    // Clicks a button as the user would, answering any box it opens within
    // `waitMs` (a box from a queued signal shows a moment later).
    QList<ModalAnswerer::Box> Click(QPushButton *button, const char *step, int waitMs = 300);
    // Play All of the long text, heard.
    void StartSpeaking();
    void CheckErrorBox(const QList<ModalAnswerer::Box> &boxes,
                       QLatin1String about = QLatin1String("sound"));
    void CheckUsable();
    // The window's voice, as the face's menu sets it.
    EspeakSpeechControl *Face() const {
        return qobject_cast<EspeakSpeechControl *>(window_->DirectSS1());
    }
    // The voice `engine` reads with by default ("flite:slt"), empty if none.
    static QByteArray VoiceOf(const QByteArray &engine);

    std::unique_ptr<SpeechProgram> program_;
    frmMain *window_ = nullptr;
    PrivateServer server_;
    QElapsedTimer killed_;
};

void SoundServerFaultsTest::initTestCase() {
    for (const char *tool : {"pactl", "parec"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    QProcess kind;
    kind.start(QStringLiteral("bash"),
               {QStringLiteral(ZAVREN_SOUND_SERVER_SCRIPT), QStringLiteral("kind")});
    if (!kind.waitForFinished(5000) || kind.exitCode() != 0)
        QSKIP("no sound server is installed");
    qInfo("sound server: %s", kind.readAllStandardOutput().trimmed().constData());
    QVERIFY(!ServerAnswers());
    // As the program makes it.
    program_ = std::make_unique<SpeechProgram>();
    window_ = &program_->Window();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    // Flite unless a row says otherwise: it starts speaking soonest.
    QVERIFY(Face());
    const QByteArray flite = VoiceOf("flite");
    if (!flite.isEmpty())
        QVERIFY(Face()->SetVoice(flite));
}

QByteArray SoundServerFaultsTest::VoiceOf(const QByteArray &engine) {
    const std::shared_ptr<SpeechEngine> voice = SpeechEngine::Acquire();
    const QByteArray prefix = engine + ':';
    if (voice->DefaultVoice().startsWith(prefix))
        return voice->DefaultVoice();
    for (const SpeechVoice &v : voice->Voices())
        if (v.identifier.startsWith(prefix) && v.language.startsWith(QLatin1String("en")))
            return v.identifier;
    return {};
}

QList<ModalAnswerer::Box> SoundServerFaultsTest::Click(QPushButton *button, const char *step,
                                                       int waitMs) {
    ModalAnswerer answerer;
    HangGuard guard(60);
    guard.Step(step);
    QElapsedTimer clock;
    clock.start();
    button->click();
    qInfo("%s returned after %lld ms", step, clock.elapsed());
    guard.Step("after the click");
    if (waitMs > 300)
        (void)QTest::qWaitFor([&] { return !answerer.boxes.isEmpty(); }, waitMs);
    else
        QTest::qWait(waitMs);
    if (!answerer.boxes.isEmpty())
        qInfo("%s: a box after %lld ms", step, clock.elapsed());
    return answerer.boxes;
}

void SoundServerFaultsTest::StartSpeaking() {
    window_->txtSpeech()->setPlainText(kLongText);
    const qsizetype from = server_.Recorded();
    const QList<ModalAnswerer::Box> boxes = Click(window_->cmdPlayAll(), "Play All");
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.value(0).text));
    QVERIFY2(server_.Heard(from, 10000), "Play All was not heard");
}

void SoundServerFaultsTest::CheckErrorBox(const QList<ModalAnswerer::Box> &boxes,
                                          QLatin1String about) {
    QCOMPARE(boxes.size(), 1);
    qInfo("box: %s", qPrintable(boxes[0].text));
    QCOMPARE(boxes[0].title, QStringLiteral("Zavren Speech"));
    QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
    QVERIFY2(boxes[0].text.startsWith(QLatin1String("Error: ")), qPrintable(boxes[0].text));
    // Says what is wrong, not just that something is.
    QVERIFY2(boxes[0].text.contains(about, Qt::CaseInsensitive), qPrintable(boxes[0].text));
}

// The window still takes typing and its text is intact.
void SoundServerFaultsTest::CheckUsable() {
    QPlainTextEdit *text = window_->txtSpeech();
    const QString before = text->toPlainText();
    text->setFocus();
    text->moveCursor(QTextCursor::End);
    QTest::keyClicks(text, QStringLiteral(" ok"));
    QCOMPARE(text->toPlainText(), before + QStringLiteral(" ok"));
    text->setPlainText(before);
}

void SoundServerFaultsTest::neverStartedPlayAllSaysWhy() {
    window_->txtSpeech()->setPlainText(QStringLiteral("Hello there."));
    CheckErrorBox(Click(window_->cmdPlayAll(), "Play All with no server"));
    CheckUsable();
    const QList<ModalAnswerer::Box> afterStop = Click(window_->cmdStop(), "STOP with no server");
    QVERIFY2(afterStop.isEmpty(), qPrintable(afterStop.value(0).text));
}

void SoundServerFaultsTest::startedLaterPlayAllSpeaks() {
    QVERIFY(server_.Start());
    window_->txtSpeech()->setPlainText(kLongText);
    const qsizetype from = server_.Recorded();
    const QList<ModalAnswerer::Box> boxes = Click(window_->cmdPlayAll(), "Play All, server up");
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.value(0).text));
    QVERIFY2(server_.Heard(from, 10000), "Play All was not heard");
}

// The voice falls silent once the server has played the last sample, however
// the audio's length and the last piece's arrival fall.
void SoundServerFaultsTest::speechEndsByItself_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("one word") << "Hi.";
    QTest::newRow("a sentence") << "The quick brown fox jumps over the lazy dog.";
    QTest::newRow("two sentences")
        << "The quick brown fox jumps over the lazy dog, then rests a while. Nobody minds; "
           "the afternoon is long, and the meadow is quiet.\n";
}

void SoundServerFaultsTest::speechEndsByItself() {
    QFETCH(QString, text);
    window_->txtSpeech()->setPlainText(text);
    QSignalSpy speaking(window_->DirectSS1(), &SpeechControl::SpeakingChanged);
    const QList<ModalAnswerer::Box> boxes = Click(window_->cmdPlayAll(), "Play All", 0);
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.value(0).text));
    QTRY_VERIFY_WITH_TIMEOUT(!speaking.isEmpty() && !speaking.last().at(0).toBool(), 30000);
}

// Keys held down and wheels spun over a slider while speaking: every change
// restarts the sound, with more changes already queued behind it.
void SoundServerFaultsTest::sliderStormsWhileSpeaking_data() {
    QTest::addColumn<QString>("slider");
    QTest::addColumn<bool>("wheel");
    QTest::newRow("Pitch, arrow key held") << QStringLiteral("sldPitch") << false;
    QTest::newRow("Speed, arrow key held") << QStringLiteral("sldSpeed") << false;
    QTest::newRow("Pitch, wheel spun") << QStringLiteral("sldPitch") << true;
    QTest::newRow("Speed, wheel spun") << QStringLiteral("sldSpeed") << true;
}

void SoundServerFaultsTest::sliderStormsWhileSpeaking() {
    QFETCH(QString, slider);
    QFETCH(bool, wheel);
    StartSpeaking();
    auto *target = window_->findChild<QSlider *>(slider);
    QVERIFY(target);
    target->setFocus();
    const QString text = window_->txtSpeech()->toPlainText();
    ModalAnswerer answerer;
    HangGuard guard(60);
    guard.Step("slider storm");
    bool up = true;
    for (int burst = 0; burst < 100; ++burst) {
        // As auto-repeat and a fast wheel deliver them: several at once.
        for (int i = 0; i < 4; ++i) {
            if (wheel) {
                const QPointF at = QRectF(target->rect()).center();
                QCoreApplication::postEvent(
                    target, new QWheelEvent(at, target->mapToGlobal(at), QPoint(),
                                            QPoint(0, up ? 120 : -120), Qt::NoButton,
                                            Qt::NoModifier, Qt::NoScrollPhase, false));
            } else {
                QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress,
                                                                  up ? Qt::Key_Right : Qt::Key_Left,
                                                                  Qt::NoModifier, QString(), true));
            }
        }
        QTest::qWait(30);
        guard.Step("slider storm, next burst");
        if (target->value() == target->maximum())
            up = false;
        else if (target->value() == target->minimum())
            up = true;
    }
    QVERIFY2(answerer.boxes.isEmpty(), qPrintable(answerer.boxes.value(0).text));
    QCOMPARE(window_->txtSpeech()->toPlainText(), text);
    // Still speaking, at the last setting.
    const qsizetype from = server_.Recorded();
    QVERIFY2(server_.Heard(from, 5000), "not heard after the storm");
    QVERIFY(Click(window_->cmdStop(), "STOP after the storm").isEmpty());
}

void SoundServerFaultsTest::killedMidSpeechSaysSoAndKeepsTheText() {
    StartSpeaking();
    const QString text = window_->txtSpeech()->toPlainText();
    ModalAnswerer answerer;
    HangGuard guard(60);
    guard.Step("waiting for a box after the kill");
    server_.Kill();
    killed_.start();
    QVERIFY2(QTest::qWaitFor([&] { return !answerer.boxes.isEmpty(); }, 10000),
             "nobody was told that the speech stopped");
    CheckErrorBox(answerer.boxes);
    QCOMPARE(window_->txtSpeech()->toPlainText(), text);
    guard.Step("typing after the kill");
    CheckUsable();
    const QList<ModalAnswerer::Box> afterStop = Click(window_->cmdStop(), "STOP after the kill");
    QVERIFY2(afterStop.isEmpty(), qPrintable(afterStop.value(0).text));
}

void SoundServerFaultsTest::killedServerNextPlaySaysWhy() {
    window_->txtSpeech()->setPlainText(QStringLiteral("Is anybody there?"));
    CheckErrorBox(Click(window_->cmdPlayAll(), "Play All after the kill"));
    CheckUsable();
}

// However long the server was away, the new one is used.
void SoundServerFaultsTest::startedAgainPlayAllSpeaks() {
    QTest::qWait(int(std::max<qint64>(0, 6000 - killed_.elapsed())));
    QVERIFY(server_.Start());
    StartSpeaking();
    QVERIFY(Click(window_->cmdStop(), "STOP, server back").isEmpty());
}

void SoundServerFaultsTest::stalledServerSaysWhyAndTheWindowResponds_data() {
    QTest::addColumn<bool>("midSpeech");
    QTest::newRow("stalled before Play All") << false;
    QTest::newRow("stalled while speaking") << true;
}

// A server that stops answering is given up on and named; when it is killed
// and another started, Play is heard again.
void SoundServerFaultsTest::stalledServerSaysWhyAndTheWindowResponds() {
    QFETCH(bool, midSpeech);
    QList<ModalAnswerer::Box> boxes;
    if (midSpeech) {
        StartSpeaking();
        ModalAnswerer answerer;
        HangGuard guard(60);
        guard.Step("waiting for a box after the stall");
        server_.Stall();
        QVERIFY(QTest::qWaitFor([&] { return !answerer.boxes.isEmpty(); }, 10000));
        boxes = answerer.boxes;
    } else {
        server_.Stall();
        window_->txtSpeech()->setPlainText(kLongText);
        boxes = Click(window_->cmdPlayAll(), "Play All, server stalled", 10000);
    }
    CheckErrorBox(boxes);
    QVERIFY2(boxes[0].text.contains(QLatin1String("answer")), qPrintable(boxes[0].text));
    CheckUsable();
    QVERIFY(Click(window_->cmdStop(), "STOP, server stalled").isEmpty());
    server_.Kill();
    QVERIFY(server_.Start());
    StartSpeaking();
    QVERIFY(Click(window_->cmdStop(), "STOP, new server").isEmpty());
}

// Each Play goes to the server's default device as it is then.
void SoundServerFaultsTest::defaultDeviceIsFollowed() {
    const QString kOther = QStringLiteral("zavren_other");
    QVERIFY(Pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                   QStringLiteral("sink_name=") + kOther}));
    // Recorders follow a default source that follows the default sink: pinned
    // here, each keeps to its own device.
    QVERIFY(Pactl({QStringLiteral("set-default-source"), QStringLiteral("zavren_null.monitor")}));
    Recorder other;
    QVERIFY(other.Start(kOther));
    window_->txtSpeech()->setPlainText(QStringLiteral("Where am I heard? Here, and only here."));
    for (const bool toOther : {true, false, true}) {
        QVERIFY(Pactl({QStringLiteral("set-default-sink"),
                       toOther ? kOther : QStringLiteral("zavren_null")}));
        // What the recorders still carry from before is not counted.
        QTest::qWait(500);
        const qsizetype fromMain = server_.Recorded();
        const qsizetype fromOther = other.Recorded();
        QVERIFY(Click(window_->cmdPlayAll(), "Play All after a default change").isEmpty());
        if (toOther) {
            QVERIFY2(other.Heard(fromOther, 10000), "not heard on the new default device");
            QVERIFY2(server_.Rms(fromMain) < 300, "heard on the former default device");
        } else {
            QVERIFY2(server_.Heard(fromMain, 10000), "not heard on the new default device");
            QVERIFY2(other.Rms(fromOther) < 300, "heard on the former default device");
        }
        QVERIFY(Click(window_->cmdStop(), "STOP after a default change").isEmpty());
    }
    QVERIFY(Pactl({QStringLiteral("set-default-sink"), QStringLiteral("zavren_null")}));
}

// The sound is fed from a thread of its own: the window's thread busy for
// half a second is not heard.
void SoundServerFaultsTest::stalledWindowLeavesNoGap() {
    // No punctuation: the voice runs on with only short breaths between words.
    window_->txtSpeech()->setPlainText(
        QStringLiteral("the river runs on and on through the long green valley ").repeated(100));
    const qsizetype start = server_.Recorded();
    QVERIFY(Click(window_->cmdPlayAll(), "Play All").isEmpty());
    QVERIFY2(server_.Heard(start, 10000), "Play All was not heard");
    QTest::qWait(500);
    const qsizetype calm = server_.Recorded();
    QTest::qWait(3000);
    const int pause = server_.LongestSilenceMs(calm);
    const qsizetype stalled = server_.Recorded();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    QTest::qWait(1500);
    const int gap = server_.LongestSilenceMs(stalled);
    qInfo("longest silence: %d ms speaking undisturbed, %d ms around a 500 ms stall", pause, gap);
    QVERIFY2(gap <= pause + 50, "the stall was heard");
    QVERIFY(Click(window_->cmdStop(), "STOP after the stall").isEmpty());
}

void SoundServerFaultsTest::voiceFaultKeepsTheText_data() {
    QTest::addColumn<QByteArray>("engine");
    QTest::addColumn<QByteArray>("fault"); // the helper's test switch, or "kill"
    for (const char *engine : {"Flite", "Festival"}) {
        const QByteArray name = QByteArray(engine).toLower();
        QTest::addRow("%s, voice crashes mid-speech", engine) << name << QByteArray("abort:zzyzx");
        QTest::addRow("%s, voice killed mid-speech", engine) << name << QByteArray("kill");
        QTest::addRow("%s, voice stops answering", engine) << name << QByteArray("hang:zzyzx");
    }
}

// Whatever becomes of the voice's process, what it said before is heard and
// its words shown before the window says the voice stopped; the window keeps
// its text and selection, and the next Play is heard.
void SoundServerFaultsTest::voiceFaultKeepsTheText() {
    QFETCH(QByteArray, engine);
    QFETCH(QByteArray, fault);
    const QByteArray voice = VoiceOf(engine);
    if (voice.isEmpty())
        QSKIP("this engine is not installed");
    // Nothing is under way: what is heard from here on is this row's.
    QVERIFY(Click(window_->cmdStop(), "STOP before the fault").isEmpty());
    QVERIFY(Face()->SetVoice(voice));
    const QString program = QStringLiteral("zavren-voice-") + QString::fromLatin1(engine);
    // The switch is read when a helper starts: the idle one goes.
    if (fault != "kill")
        qputenv("ZAVREN_VOICE_FAULT", fault);
    QVERIFY(KillHelper(program));
    QPlainTextEdit *text = window_->txtSpeech();
    text->setPlainText(QStringLiteral("zzyzx ") + kLongText);
    QTextCursor selection(text->document());
    selection.setPosition(20);
    selection.setPosition(40, QTextCursor::KeepAnchor);
    text->setTextCursor(selection);
    const QString before = text->toPlainText();

    ModalAnswerer answerer;
    QList<qsizetype> words; // where each word shown begins, until the failure
    bool failed = false;
    QObject context;
    connect(Face(), &SpeechControl::WordReached, &context, [&](qsizetype start) {
        if (!failed)
            words << start;
    });
    connect(Face(), &SpeechControl::SpeakingFailed, &context, [&] { failed = true; });
    HangGuard guard(60);
    guard.Step("Play All, the voice failing");
    const qsizetype from = server_.Recorded();
    window_->cmdPlayAll()->click();
    if (fault == "kill") {
        QVERIFY2(server_.Heard(from, 10000), "Play All was not heard");
        QVERIFY(KillHelper(program));
    }
    QVERIFY2(QTest::qWaitFor([&] { return !answerer.boxes.isEmpty(); }, 20000),
             "nobody was told that the voice stopped");
    qunsetenv("ZAVREN_VOICE_FAULT");
    // The next row starts with a helper without the switch.
    KillHelper(program);
    CheckErrorBox(answerer.boxes, QLatin1String("voice"));
    // The helper sent half a second of speech before it failed: all of it was
    // played, its first word shown, before the box.
    QVERIFY(failed);
    const int heard = server_.SoundSpanMs(from);
    qInfo("heard %d ms before the box; %lld words shown", heard,
          static_cast<long long>(words.size()));
    if (fault != "kill")
        QVERIFY2(heard >= 400, qPrintable(QStringLiteral("only %1 ms were heard").arg(heard)));
    QVERIFY(!words.isEmpty());
    QCOMPARE(words.first(), 0);
    QCOMPARE(text->toPlainText(), before);
    QCOMPARE(text->textCursor().selectionStart(), 20);
    QCOMPARE(text->textCursor().selectionEnd(), 40);
    guard.Step("typing after the voice failed");
    CheckUsable();

    text->setPlainText(kLongText);
    StartSpeaking();
    QVERIFY(Click(window_->cmdStop(), "STOP, fresh voice").isEmpty());
    const QByteArray flite = VoiceOf("flite");
    if (!flite.isEmpty())
        QVERIFY(Face()->SetVoice(flite));
}

void SoundServerFaultsTest::cleanupTestCase() {
    program_.reset();
    window_ = nullptr;
    server_.Kill();
}

int main(int argc, char *argv[]) {
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    gDir = &dir;
    for (const char *sub : {"home", "run", "run/pulse", "state"})
        QDir().mkpath(Path(QString::fromLatin1(sub)));
    QFile::setPermissions(Path(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile conf(Path(QStringLiteral("client.conf")));
    if (!conf.open(QIODevice::WriteOnly) || conf.write("autospawn = no\n") < 0)
        return 1;
    conf.close();
    // This process and every one it starts use only the private server.
    qputenv("HOME", QFile::encodeName(Path(QStringLiteral("home"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Path(QStringLiteral("run"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Path(QStringLiteral("home/.config"))));
    qputenv("PULSE_RUNTIME_PATH", QFile::encodeName(Path(QStringLiteral("run/pulse"))));
    qputenv("PULSE_STATE_PATH", QFile::encodeName(Path(QStringLiteral("state"))));
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(Path(QStringLiteral("run/native"))));
    qputenv("PULSE_CLIENTCONFIG", QFile::encodeName(conf.fileName()));
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");

    QApplication app(argc, argv);
    SoundServerFaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soundserverfaults.moc"
