// Other programs reach the editor's voice over D-Bus: a second process
// (zavren-speech --say / --stop) calls Say and Stop on a running editor. The
// session bus is a private one, started here.
#include "app/readerservice.h"
#include "app/saycommand.h"
#include "speechwindow.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

namespace {

QTemporaryDir *gDir = nullptr;
QProcess *gBus = nullptr;

// Runs zavren-speech with `arguments` while this process keeps answering the bus.
int RunSecond(const QStringList &arguments, QString *errors = nullptr) {
    QProcess second;
    second.start(QStringLiteral(ZAVREN_SPEECH_BINARY), arguments);
    if (!second.waitForStarted(5000))
        return -1;
    if (!QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 30000)) {
        second.kill();
        second.waitForFinished(5000);
        return -2;
    }
    if (errors)
        *errors = QString::fromLocal8Bit(second.readAllStandardError());
    return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -3;
}

} // namespace

class TestReaderService : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void calls_data();
    void calls();
    void stopWithNoneRunningIsQuiet();

private:
    std::unique_ptr<SpeechWindow> editor_;
    std::unique_ptr<ReaderService> service_;
};

void TestReaderService::initTestCase() {
    if (!gBus)
        QSKIP("dbus-daemon is not installed, or did not start");
    editor_ = std::make_unique<SpeechWindow>();
    editor_->voice->speaks = true;
    service_ = OfferEditorVoice(*editor_->form);
    QVERIFY(service_);
}

void TestReaderService::calls_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("call"); // the voice's call that must follow
    QTest::addColumn<bool>("speakingAfter");
    QTest::addColumn<QString>("failure"); // of the editor's voice; empty: none
    QTest::newRow("--say speaks through the editor")
        << QStringList{QStringLiteral("--say"), QStringLiteral("Hello from elsewhere.")}
        << QStringLiteral("Speak:Hello from elsewhere.") << true << QString();
    QTest::newRow("--say replaces what is being said")
        << QStringList{QStringLiteral("--say"), QStringLiteral("Something else, then.")}
        << QStringLiteral("Speak:Something else, then.") << true << QString();
    QTest::newRow("--stop silences the editor")
        << QStringList{QStringLiteral("--stop")} << QStringLiteral("StopSpeaking") << false
        << QString();
    QTest::newRow("a voice that fails: --say says why, and so does the window")
        << QStringList{QStringLiteral("--say"), QStringLiteral("Anyone there?")}
        << QStringLiteral("Speak:Anyone there?") << false << QStringLiteral("No audio device");
}

void TestReaderService::calls() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, call);
    QFETCH(bool, speakingAfter);
    QFETCH(QString, failure);
    RecordingVoice &voice = *editor_->voice;
    voice.calls.clear();
    voice.failWith = failure;
    editor_->boxes.shown.clear();
    QString errors;
    QCOMPARE(RunSecond(arguments, &errors), failure.isEmpty() ? 0 : 1);
    voice.failWith.clear();
    QVERIFY2(failure.isEmpty() ? errors.isEmpty() : errors.contains(failure), qPrintable(errors));
    QCOMPARE(voice.calls.value(0), call);
    QCOMPARE(voice.speaking, speakingAfter);
    if (!failure.isEmpty()) {
        QVERIFY(QTest::qWaitFor([&] { return !editor_->boxes.shown.isEmpty(); }, 2000));
        QCOMPARE(editor_->boxes.Texts(), QStringList{QStringLiteral("Error: ") + failure});
    }
    // The box's text is the user's: a text from elsewhere never lands there.
    QCOMPARE(editor_->Text().toPlainText(), QStringLiteral("Hello and welcome to Zavren Speech."));
}

void TestReaderService::stopWithNoneRunningIsQuiet() {
    service_.reset();
    QCOMPARE(ReaderService::Ask(ReaderService::Call::Stop), std::nullopt);
    editor_->voice->calls.clear();
    QCOMPARE(RunSecond({QStringLiteral("--stop")}), 0);
    QVERIFY(editor_->voice->calls.isEmpty());
}

int main(int argc, char *argv[]) {
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    gDir = &dir;
    // Nothing of the user's is read or written: folders and bus of our own.
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
        qputenv(name, QFile::encodeName(path));
    }
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"),
               QStringLiteral("--print-address=1")});
    if (bus.waitForStarted(5000) && bus.waitForReadyRead(5000)) {
        const QByteArray address = bus.readLine().trimmed();
        if (!address.isEmpty()) {
            qputenv("DBUS_SESSION_BUS_ADDRESS", address);
            gBus = &bus;
        }
    }
    int code = 0;
    {
        QApplication app(argc, argv);
        TestReaderService test;
        code = QTest::qExec(&test, argc, argv);
    }
    if (bus.state() != QProcess::NotRunning) {
        ::kill(pid_t(bus.processId()), SIGTERM);
        bus.waitForFinished(5000);
    }
    return code;
}

#include "tst_readerservice.moc"
