// A book end to end: an EPUB named on the command line opens in the real
// window (its cover, table of contents and notes left out), in the voice of
// the book's language, and Play All is heard from its first chapter's first
// word, on a private sound server's null sink (run inside
// private-sound-server.sh with SINK).
#include "app/commandline.h"
#include "app/documentvoice.h"
#include "app/frmmain.h"
#include "app/speechprogram.h"
#include "app/textcommands.h"
#include "documentfixtures.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/voice/voicelink.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <csignal>

namespace {

constexpr int kRate = 22050;

// Root mean square of raw mono 16-bit samples from `from` (bytes) on.
double Rms(const QByteArray &samples, qsizetype from) {
    double sum = 0;
    qsizetype n = 0;
    for (qsizetype i = from & ~qsizetype(1); i + 1 < samples.size(); i += 2, ++n) {
        const auto s = qint16(quint8(samples[i]) | quint8(samples[i + 1]) << 8);
        sum += double(s) * s;
    }
    return n ? std::sqrt(sum / double(n)) : 0;
}

} // namespace

class BookAloudTest : public QObject {
    Q_OBJECT
private slots:
    void epubFromCommandLineIsReadFromItsFirstChapter_data();
    void epubFromCommandLineIsReadFromItsFirstChapter();
};

void BookAloudTest::epubFromCommandLineIsReadFromItsFirstChapter_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("firstWord");
    QTest::newRow("a French book, in a French voice") << "fr"
                                                      << "Chapitre";
}

void BookAloudTest::epubFromCommandLineIsReadFromItsFirstChapter() {
    QFETCH(QString, language);
    QFETCH(QString, firstWord);
    const QString sink = qEnvironmentVariable("ZAVREN_TEST_SINK");
    if (sink.isEmpty())
        QSKIP("run inside private-sound-server.sh with SINK (ZAVREN_TEST_SINK names it)");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("livre.epub"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            MakeEpub({EpubPart(QStringLiteral("nav"), QStringLiteral("nav.xhtml"),
                               Xhtml(QStringLiteral("<nav epub:type=\"toc\"><ol><li><a "
                                                    "href=\"un.xhtml\">Un</a></li></ol></nav>")),
                               true, QStringLiteral("nav")),
                      EpubPart(QStringLiteral("cover"), QStringLiteral("cover.xhtml"),
                               Xhtml(QStringLiteral("<p>Couverture</p>")), false),
                      EpubPart(QStringLiteral("un"), QStringLiteral("un.xhtml"),
                               Xhtml(QStringLiteral("<h1>%1 un</h1><p>Il pleuvait sur la ville, et "
                                                    "personne ne sortait.</p>")
                                         .arg(firstWord)))},
                     language));
    }

    QProcess parec;
    parec.start(QStringLiteral("parec"),
                {QStringLiteral("-d"), sink + QStringLiteral(".monitor"), QStringLiteral("--raw"),
                 QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(kRate),
                 QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20")});
    QVERIFY(parec.waitForStarted(5000));
    QByteArray recorded;
    const auto record = [&] {
        recorded += parec.readAllStandardOutput();
        return recorded.size();
    };
    // A recorder's first samples from an idle null sink come late.
    QVERIFY(QTest::qWaitFor([&] { return record() > kRate; }, 10000));

    SpeechProgram program;
    frmMain &window = program.Window();
    OpenAtStart(window, path); // as the command line opens it
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *commands = window.findChild<TextCommands *>();
    QVERIFY(commands);
    QVERIFY(QTest::qWaitFor([&] { return !commands->Loading(); }, 60000));

    const QString text = window.txtSpeech()->toPlainText();
    QVERIFY2(text.startsWith(firstWord + QStringLiteral(" un\n\nIl pleuvait")), qPrintable(text));
    QCOMPARE(window.Sections().size(), 1);
    auto *voice = qobject_cast<EspeakSpeechControl *>(window.DirectSS1());
    QVERIFY(voice);
    const QByteArray wanted = VoiceForLanguage(voice->Voices(), language);
    QVERIFY(!wanted.isEmpty());
    QCOMPARE(voice->Voice(), wanted);

    QSignalSpy words(voice, &SpeechControl::WordReached);
    QSignalSpy speaking(voice, &SpeechControl::SpeakingChanged);
    const qsizetype from = record();
    window.cmdPlayAll()->click();
    QVERIFY2(QTest::qWaitFor([&] { return record() && Rms(recorded, from) > 300; }, 15000),
             "Play All was not heard");
    QVERIFY(QTest::qWaitFor([&] { return !words.isEmpty(); }, 15000));
    const qsizetype start = words.first().at(0).value<qsizetype>();
    const qsizetype length = words.first().at(1).value<qsizetype>();
    QCOMPARE(text.mid(start, length), firstWord);
    QVERIFY(QTest::qWaitFor([&] { return !speaking.isEmpty() && !speaking.last().at(0).toBool(); },
                            60000));
    // Every word heard is the first chapter's; the cover and contents never are.
    for (const QList<QVariant> &word : words)
        QVERIFY(word.at(0).value<qsizetype>() < text.size());
    QVERIFY(!text.contains(QLatin1String("Couverture")));

    ::kill(pid_t(parec.processId()), SIGTERM);
    parec.waitForFinished(5000);
}

QTEST_MAIN(BookAloudTest)
#include "tst_bookaloud.moc"
