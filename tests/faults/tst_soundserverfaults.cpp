// Sound-server faults end to end: the real speech window, voice and
// Qt Multimedia sound, against a private sound server (PulseAudio, or
// PipeWire's PulseAudio service) with a null sink whose monitor is recorded.
// The server is missing at first, then started, killed in the middle of
// speech and started again. Whatever happens the window stays usable; a Play
// that cannot be heard says why in an "Error: " box; a Play after the server
// is back is heard.
//
// Everything lives in a temporary folder (socket, HOME, XDG_RUNTIME_DIR);
// only the processes started here are stopped, by their own ids.
#include "filedialog.h"
#include "frmmain.h"
#include "hangguard.h"
#include "keystrokes.h"
#include "messagebox.h"
#include "modalanswerer.h"
#include "process.h"
#include "registry.h"
#include "speechcontrol.h"
#include "speechcontrolfactory.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <csignal>

namespace {

constexpr int kRate = 22050;
const QString kLongText =
    QStringLiteral("This sentence goes on and on, for as long as it is read. ").repeated(100);

QTemporaryDir *gDir = nullptr;

QString Path(const QString &name) {
    return gDir->filePath(name);
}

// pactl's verdict on the server, within a few seconds.
bool ServerAnswers() {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit &&
           pactl.exitCode() == 0;
}

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
        recorded_.clear();
        recorder_.start(QStringLiteral("parec"),
                        {QStringLiteral("-d"), QStringLiteral("zavren_null.monitor"),
                         QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                         QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=1"),
                         QStringLiteral("--latency-msec=20")});
        if (!recorder_.waitForStarted(5000))
            return false;
        // A recorder's first samples from an idle null sink come late.
        return QTest::qWaitFor([this] { return Recorded() > kRate; }, 10000);
    }

    // SIGKILL: the server gets no chance to say goodbye to its clients.
    void Kill() {
        for (QProcess *p : {&server_, &recorder_}) {
            if (p->state() != QProcess::NotRunning) {
                ::kill(pid_t(p->processId()), SIGKILL);
                p->waitForFinished(5000);
            }
        }
    }

    // Bytes recorded so far.
    qsizetype Recorded() {
        recorded_ += recorder_.readAllStandardOutput();
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

private:
    QProcess server_;
    QProcess recorder_;
    QByteArray recorded_;
};

} // namespace

class SoundServerFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void neverStartedPlayAllSaysWhy();
    void startedLaterPlayAllSpeaks();
    void killedMidSpeechLeavesTheWindowUsable();
    void killedServerNextPlaySaysWhy();
    void startedAgainPlayAllSpeaks();
    void cleanupTestCase();

private:
    // Clicks a button as the user would, answering any box it opens.
    QList<ModalAnswerer::Box> Click(QPushButton *button, const char *step);
    void CheckErrorBox(const QList<ModalAnswerer::Box> &boxes);
    void CheckUsable();

    QtMessageBoxes boxes_;
    QtFileDialog dialog_;
    QtKeystrokeInjector keystrokes_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<ProcessStarter> processes_;
    std::unique_ptr<frmMain> window_;
    PrivateServer server_;
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
    // As main() builds it.
    registry_ = CreateSystemRegistry();
    processes_ = CreateSystemProcessStarter();
    Services services{&boxes_};
    services.fileDialog = &dialog_;
    services.keystrokes = &keystrokes_;
    services.registry = registry_.get();
    services.processes = processes_.get();
    window_ = std::make_unique<frmMain>(services, CreateSpeechControl(nullptr));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

QList<ModalAnswerer::Box> SoundServerFaultsTest::Click(QPushButton *button, const char *step) {
    ModalAnswerer answerer;
    HangGuard guard(60);
    guard.Step(step);
    QElapsedTimer clock;
    clock.start();
    button->click();
    qInfo("%s returned after %lld ms", step, clock.elapsed());
    guard.Step("after the click");
    // A box opened from a queued signal shows a moment later.
    QTest::qWait(300);
    return answerer.boxes;
}

void SoundServerFaultsTest::CheckErrorBox(const QList<ModalAnswerer::Box> &boxes) {
    QCOMPARE(boxes.size(), 1);
    qInfo("box: %s", qPrintable(boxes[0].text));
    QCOMPARE(boxes[0].title, QStringLiteral("Zavren Speech"));
    QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
    QVERIFY2(boxes[0].text.startsWith(QLatin1String("Error: ")), qPrintable(boxes[0].text));
    // Says what is wrong, not just that something is.
    QVERIFY2(boxes[0].text.contains(QLatin1String("sound"), Qt::CaseInsensitive),
             qPrintable(boxes[0].text));
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

void SoundServerFaultsTest::killedMidSpeechLeavesTheWindowUsable() {
    // Still speaking the long text from the step before.
    const qsizetype from = server_.Recorded();
    QVERIFY2(server_.Heard(from, 5000), "the voice was not speaking before the kill");
    server_.Kill();
    HangGuard guard(60);
    guard.Step("events after the kill");
    QTest::qWait(2000);
    guard.Step("typing after the kill");
    CheckUsable();
    const QList<ModalAnswerer::Box> afterStop = Click(window_->cmdStop(), "STOP after the kill");
    for (const ModalAnswerer::Box &box : afterStop)
        QVERIFY2(box.text.startsWith(QLatin1String("Error: ")), qPrintable(box.text));
}

void SoundServerFaultsTest::killedServerNextPlaySaysWhy() {
    window_->txtSpeech()->setPlainText(QStringLiteral("Is anybody there?"));
    CheckErrorBox(Click(window_->cmdPlayAll(), "Play All after the kill"));
    CheckUsable();
}

void SoundServerFaultsTest::startedAgainPlayAllSpeaks() {
    QVERIFY(server_.Start());
    window_->txtSpeech()->setPlainText(kLongText);
    const qsizetype from = server_.Recorded();
    const QList<ModalAnswerer::Box> boxes = Click(window_->cmdPlayAll(), "Play All, server back");
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.value(0).text));
    QVERIFY2(server_.Heard(from, 10000), "Play All was not heard after the server came back");
    QVERIFY(Click(window_->cmdStop(), "STOP, server back").isEmpty());
}

void SoundServerFaultsTest::cleanupTestCase() {
    window_.reset();
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
