#include "speech/face/espeakspeechcontrol.h"
#include "speech/face/speechcontrolfactory.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The real sound path with no sound server to reach: every speak fails with a
// description the window can show, and nothing is left speaking.
class NoSoundServerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void speakFailsWithADescription_data();
    void speakFailsWithADescription();
    void silentCommandsStillSucceed();

private:
    QTemporaryDir dir_;
};

void NoSoundServerTest::initTestCase() {
    QVERIFY(dir_.isValid());
    // A server address where nothing listens, and no autospawned server.
    QFile conf(dir_.filePath(QStringLiteral("client.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("autospawn = no\n");
    conf.close();
    qputenv("PULSE_CLIENTCONFIG", QFile::encodeName(conf.fileName()));
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(dir_.filePath(QStringLiteral("none"))));
}

void NoSoundServerTest::speakFailsWithADescription_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("first speak") << QStringLiteral("Hello there.");
    QTest::newRow("speak again") << QStringLiteral("Hello again.");
}

void NoSoundServerTest::speakFailsWithADescription() {
    QFETCH(QString, text);
    std::unique_ptr<SpeechControl> control = CreateSpeechControl(nullptr);
    const SpeechStatus status = control->Speak(text);
    QVERIFY(!status.ok());
    QVERIFY2(status.error.contains(QStringLiteral("sound"), Qt::CaseInsensitive),
             qPrintable(status.error));
    QVERIFY(status.error.endsWith(QLatin1Char('.')));
    auto *voice = qobject_cast<EspeakSpeechControl *>(control.get());
    QVERIFY(voice);
    QVERIFY(!voice->IsSpeaking());
}

void NoSoundServerTest::silentCommandsStillSucceed() {
    std::unique_ptr<SpeechControl> control = CreateSpeechControl(nullptr);
    QVERIFY(control->Speak(QString()).ok());
    QVERIFY(control->StopSpeaking().ok());
    control->SetPitch(300);
    control->SetSpeed(300);
    QCOMPARE(control->Pitch(), 300);
}

QTEST_MAIN(NoSoundServerTest)
#include "tst_nosoundserver.moc"
