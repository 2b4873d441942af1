// The voice's own process: it never outlives the program that started it, and
// input that is not ours ends it rather than hanging it.
#include "procstatus.h"
#include "speech/speechfiles/speechfilewriter.h"
#include "speech/voice/speechengine.h"
#include "speech/voice/voiceprotocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/types.h>
#include <tuple>

namespace {

QList<qint64> ChildrenOf(qint64 parent) {
    return ProcStatus::Children(parent);
}

// Gone, or a zombie nobody has collected yet: it runs no more.
bool Ended(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
}

// A helper program run here alone, spoken to in its own words.
class Helper {
public:
    ~Helper() {
        // Its input ended, the helper ends.
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000))
            process_.kill();
    }
    // False when this engine is not built.
    bool Start(const QString &name) {
        const QString path = SpeechEngine::HelperPath(name);
        if (!QFileInfo(path).isExecutable())
            return false;
        process_.start(path, {});
        return process_.waitForStarted(10000) && Next().first == voice::Kind::Hello;
    }
    qint64 Id() const { return process_.processId(); }
    void Kill() {
        process_.kill();
        process_.waitForFinished(10000);
    }
    void Speak(std::uint64_t job, const QByteArray &voice, const QByteArray &text,
               std::int32_t rate = 175, std::int32_t pitch = 50) {
        voice::Writer speak(voice::Kind::Speak);
        speak.Put(job).Put(rate).Put(pitch);
        speak.Put(std::string_view(voice.constData(), voice.size()));
        speak.Put(std::string_view(text.constData(), text.size()));
        Send(speak.Done());
    }
    void Stop() { Send(voice::Writer(voice::Kind::Stop).Done()); }
    // The next message, waited for (a Done of job 0 when the helper has gone).
    std::pair<voice::Kind, QByteArray> Next() {
        voice::Header header{};
        if (!Take(&header, sizeof header))
            return {voice::Kind::Done, QByteArray(8, '\0')};
        QByteArray body(header.size, Qt::Uninitialized);
        if (!Take(body.data(), body.size()))
            return {voice::Kind::Done, QByteArray(8, '\0')};
        return {header.kind, body};
    }
    // Whether a message waits already.
    bool Waiting() {
        process_.waitForReadyRead(0);
        return process_.bytesAvailable() >= qint64(sizeof(voice::Header));
    }

private:
    void Send(const std::vector<char> &message) {
        process_.write(message.data(), qint64(message.size()));
        process_.waitForBytesWritten(10000);
    }
    bool Take(void *data, qint64 size) {
        while (process_.bytesAvailable() < size)
            if (!process_.waitForReadyRead(20000))
                return false;
        return process_.read(static_cast<char *>(data), size) == size;
    }

    QProcess process_;
};

// What a helper sent for one job, up to its Done.
struct Heard {
    std::vector<std::int16_t> samples;
    std::vector<voice::Event> marks;
    bool done = false;
};

void Collect(Helper &helper, std::uint64_t job, Heard &heard) {
    for (;;) {
        const auto [kind, body] = helper.Next();
        voice::Reader reader(body.constData(), std::size_t(body.size()));
        const auto of = reader.Get<std::uint64_t>();
        if (kind == voice::Kind::Done && (of == job || of == 0)) {
            heard.done = of == job;
            return;
        }
        if (kind != voice::Kind::Chunk || of != job)
            continue;
        for (const voice::Event &mark : reader.GetArray<voice::Event>())
            heard.marks.push_back(mark);
        for (const std::int16_t sample : reader.GetArray<std::int16_t>())
            heard.samples.push_back(sample);
    }
}

} // namespace

class VoiceHelperTest : public QObject {
    Q_OBJECT
private slots:
    void endsWithTheProgram_data();
    void endsWithTheProgram();
    void foreignInputEndsIt_data();
    void foreignInputEndsIt();
    void brokenHelperIsReported_data();
    void brokenHelperIsReported();
    void listsEveryInstalledEngine_data();
    void listsEveryInstalledEngine();
    void crashWhileWritingLeavesNoFile_data();
    void crashWhileWritingLeavesNoFile();
    void helperKilled_data();
    void helperKilled();
    void piecesAsSpokenAlone_data();
    void piecesAsSpokenAlone();
    void pieceUnderWayDropped_data();
    void pieceUnderWayDropped();
};

void VoiceHelperTest::endsWithTheProgram_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("program killed") << int(SIGKILL);
    QTest::newRow("program interrupted") << int(SIGINT);
}

void VoiceHelperTest::endsWithTheProgram() {
    QFETCH(int, signal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile text(dir.filePath(QStringLiteral("long.txt")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(QByteArray("Words to keep the voice busy for a long while. ").repeated(2000));
    text.close();
    QProcess program;
    program.start(
        QStringLiteral(ZAVREN_SPEECH_BINARY),
        {QStringLiteral("--speak-to"), dir.filePath(QStringLiteral("out.wav")), text.fileName()});
    QVERIFY(program.waitForStarted(10000));
    QList<qint64> helpers;
    QVERIFY2(QTest::qWaitFor([&] { return !(helpers = ChildrenOf(program.processId())).isEmpty(); },
                             20000),
             "no voice helper was started");
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(20000));
    for (const qint64 helper : helpers)
        QVERIFY2(QTest::qWaitFor([&] { return Ended(helper); }, 20000),
                 "the voice outlived the program");
}

void VoiceHelperTest::foreignInputEndsIt_data() {
    QTest::addColumn<QString>("helper");
    QTest::addColumn<QByteArray>("input");
    const auto header = [](voice::Kind kind, std::uint32_t size) {
        const voice::Header h{kind, size};
        return QByteArray(reinterpret_cast<const char *>(&h), sizeof h);
    };
    for (const char *helper : {"zavren-voice", "zavren-voice-flite", "zavren-voice-festival"}) {
        const auto row = [&](const char *name, const QByteArray &input) {
            QTest::addRow("%s, %s", helper, name) << QString::fromLatin1(helper) << input;
        };
        row("nothing", QByteArray());
        row("half a header", header(voice::Kind::Stop, 0).left(3));
        row("body larger than any of ours", header(voice::Kind::Speak, voice::kMaxBody + 1));
        row("body cut short", header(voice::Kind::Speak, 100) + QByteArray(10, 'x'));
        row("speak without its text", header(voice::Kind::Speak, 8) + QByteArray(8, '\0'));
        row("text longer than the body", header(voice::Kind::Speak, 24) + QByteArray(16, '\0') +
                                             QByteArray("\xff\xff\xff\x7f", 4) +
                                             QByteArray(4, 'x'));
    }
}

// The helper is ours alone; anything else on its input ends it, quietly.
void VoiceHelperTest::foreignInputEndsIt() {
    QFETCH(QString, helper);
    QFETCH(QByteArray, input);
    const QString path = SpeechEngine::HelperPath(helper);
    if (!QFileInfo(path).isExecutable())
        QSKIP("this engine is not built");
    QProcess process;
    process.start(path, {});
    QVERIFY(process.waitForStarted(10000));
    process.write(input);
    process.closeWriteChannel();
    QVERIFY2(process.waitForFinished(20000), "the helper hung");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    // It said hello, and nothing more.
    const QByteArray output = process.readAllStandardOutput();
    QVERIFY(output.size() >= qsizetype(sizeof(voice::Header)));
    voice::Header first{};
    std::memcpy(&first, output.constData(), sizeof first);
    QCOMPARE(first.kind, voice::Kind::Hello);
    QCOMPARE(output.size(), qsizetype(sizeof first + first.size));
}

void VoiceHelperTest::brokenHelperIsReported_data() {
    QTest::addColumn<QString>("at");        // where the helper is put, beside the program's bin/
    QTest::addColumn<QByteArray>("helper"); // the script installed as the helper
    QTest::addColumn<QString>("message");
    QTest::newRow("ends at once") << "bin" << QByteArray("#!/bin/sh\nexit 3\n") << "did not start";
    QTest::newRow("says something else")
        << "bin" << QByteArray("#!/bin/sh\necho hello there\n") << "did not start";
    QTest::newRow("installed layout")
        << "libexec/zavren-speech" << QByteArray("#!/bin/sh\nexit 3\n") << "did not start";
    QTest::newRow("missing") << "" << QByteArray() << "is missing";
}

// The program with a helper that does not work, or none, says so and why, and
// looks nowhere but among its own files.
void VoiceHelperTest::brokenHelperIsReported() {
    QFETCH(QString, at);
    QFETCH(QByteArray, helper);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("bin")));
    const QString program = dir.filePath(QStringLiteral("bin/zavren-speech"));
    QVERIFY(QFile::copy(QStringLiteral(ZAVREN_SPEECH_BINARY), program));
    QString named = dir.filePath(QStringLiteral("bin/zavren-voice"));
    if (!at.isEmpty()) {
        QVERIFY(QDir(dir.path()).mkpath(at));
        named = dir.filePath(at + QStringLiteral("/zavren-voice"));
        QFile script(named);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(helper);
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    }
    QProcess run;
    run.start(program, {QStringLiteral("--speak-to"), dir.filePath(QStringLiteral("out.wav")),
                        QStringLiteral("-")});
    QVERIFY(run.waitForStarted(10000));
    run.write("Hello.");
    run.closeWriteChannel();
    QVERIFY2(run.waitForFinished(60000), "the program hung");
    QVERIFY(run.exitCode() != 0);
    const QString said = QString::fromLocal8Bit(run.readAllStandardError());
    QVERIFY2(said.contains(QLatin1String("could not be started")), qPrintable(said));
    QVERIFY2(said.contains(message), qPrintable(said));
    QVERIFY2(said.contains(QFileInfo(named).absoluteFilePath()), qPrintable(said));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out.wav"))));
}

void VoiceHelperTest::listsEveryInstalledEngine_data() {
    QTest::addColumn<QString>("helper");
    QTest::addColumn<QByteArray>("installed"); // none, the real one, or a script
    QTest::addColumn<QString>("line");         // one of its voices as listed
    QTest::addColumn<bool>("listed");
    const QString flite = QStringLiteral("flite:slt\ten\tEnglish (Flite: slt)");
    const QString festival =
        QStringLiteral("festival:cmu_us_slt_arctic_hts\ten\tEnglish (Festival: slt (HTS))");
    for (const auto &[name, helper, line] :
         {std::tuple{"Flite", "zavren-voice-flite", flite},
          std::tuple{"Festival", "zavren-voice-festival", festival}}) {
        const auto row = [&](const char *how, const QByteArray &installed, bool listed) {
            QTest::addRow(how, name) << QString::fromLatin1(helper) << installed << line << listed;
        };
        row("without %s", QByteArray(), false);
        row("with %s", QByteArray("real"), true);
        row("%s that will not start", QByteArray("#!/bin/sh\nexit 3\n"), false);
        row("%s that says something else", QByteArray("#!/bin/sh\necho hello there\n"), false);
    }
}

// Each engine installed beside the program adds its voices; one that is
// missing or broken adds none, and costs nothing else.
void VoiceHelperTest::listsEveryInstalledEngine() {
    QFETCH(QString, helper);
    QFETCH(QByteArray, installed);
    QFETCH(QString, line);
    QFETCH(bool, listed);
    const QString built = QFileInfo(SpeechEngine::HelperPath()).absolutePath() + u'/' + helper;
    if (installed == "real" && !QFileInfo::exists(built))
        QSKIP("built without this engine");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("zavren-speech"));
    QVERIFY(QFile::copy(QStringLiteral(ZAVREN_SPEECH_BINARY), program));
    QVERIFY(QFile::copy(SpeechEngine::HelperPath(), dir.filePath(QStringLiteral("zavren-voice"))));
    const QString path = dir.filePath(helper);
    if (installed == "real") {
        QVERIFY(QFile::copy(built, path));
    } else if (!installed.isEmpty()) {
        QFile script(path);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(installed);
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    }
    QProcess run;
    run.start(program, {QStringLiteral("--list-voices")});
    QVERIFY2(run.waitForFinished(60000), "the program hung");
    QCOMPARE(run.exitCode(), 0);
    const QString voices = QString::fromUtf8(run.readAllStandardOutput());
    QVERIFY2(voices.contains(QLatin1String("gmw/en\ten-gb")), qPrintable(voices.left(200)));
    QVERIFY2(voices.contains(line) == listed, qPrintable(voices.right(300)));
    QCOMPARE(QString::fromLocal8Bit(run.readAllStandardError()), QString());
}

void VoiceHelperTest::crashWhileWritingLeavesNoFile_data() {
    QTest::addColumn<QString>("voice");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("jobs");
    QTest::newRow("espeak-ng, crash") << "en-us"
                                      << "abort" << 1;
    QTest::newRow("espeak-ng, silence") << "en-us"
                                        << "hang" << 1;
    QTest::newRow("flite, crash") << "flite:slt"
                                  << "abort" << 1;
    QTest::newRow("flite, silence") << "flite:slt"
                                    << "hang" << 1;
    QTest::newRow("festival, crash") << "festival:cmu_us_slt_arctic_hts"
                                     << "abort" << 1;
    QTest::newRow("festival, silence") << "festival:cmu_us_slt_arctic_hts"
                                       << "hang" << 1;
    // One helper of several fails on its part, the others reading on.
    QTest::newRow("espeak-ng, crash, 4 jobs") << "en-us"
                                              << "abort" << 4;
    QTest::newRow("espeak-ng, silence, 4 jobs") << "en-us"
                                                << "hang" << 4;
    QTest::newRow("flite, crash, 4 jobs") << "flite:slt"
                                          << "abort" << 4;
}

// Speech to a file whose voice crashes, or stops answering, half-way is a
// failure, not a short file, whichever engine the voice is of and however
// many read at once; nothing is left in the folder.
void VoiceHelperTest::crashWhileWritingLeavesNoFile() {
    QFETCH(QString, voice);
    QFETCH(QString, fault);
    QFETCH(int, jobs);
#ifndef ZAVREN_FAULTY_FLITE
    if (voice.startsWith(QLatin1String("flite:")))
        QSKIP("built without Flite");
#endif
#ifndef ZAVREN_FAULTY_FESTIVAL
    if (voice.startsWith(QLatin1String("festival:")))
        QSKIP("built without Festival");
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The program beside the helpers that fail on purpose.
    const QString program = dir.filePath(QStringLiteral("zavren-speech"));
    QVERIFY(QFile::copy(QStringLiteral(ZAVREN_SPEECH_BINARY), program));
    QVERIFY(QFile::copy(QStringLiteral(ZAVREN_FAULTY_VOICE),
                        dir.filePath(QStringLiteral("zavren-voice"))));
#ifdef ZAVREN_FAULTY_FLITE
    QVERIFY(QFile::copy(QStringLiteral(ZAVREN_FAULTY_FLITE),
                        dir.filePath(QStringLiteral("zavren-voice-flite"))));
#endif
#ifdef ZAVREN_FAULTY_FESTIVAL
    QVERIFY(QFile::copy(QStringLiteral(ZAVREN_FAULTY_FESTIVAL),
                        dir.filePath(QStringLiteral("zavren-voice-festival"))));
#endif
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZAVREN_VOICE_FAULT"), fault + QStringLiteral(":zzyzx"));
    run.setProcessEnvironment(environment);
    const QStringList before =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    run.start(program, {QStringLiteral("--voice"), voice, QStringLiteral("--jobs"),
                        QString::number(jobs), QStringLiteral("--speak-to"),
                        dir.filePath(QStringLiteral("out.wav")), QStringLiteral("-")});
    QVERIFY(run.waitForStarted(10000));
    // The fault in a part of its own, well into the text.
    const QByteArray busy = QByteArray("Words to keep the voice busy. ");
    run.write(busy.repeated(20) + "Then the word zzyzx comes along to stop the voice. " +
              busy.repeated(30));
    run.closeWriteChannel();
    QVERIFY2(run.waitForFinished(60000), "the program hung");
    QVERIFY(run.exitCode() != 0);
    const QString said = QString::fromLocal8Bit(run.readAllStandardError());
    QVERIFY2(said.contains(QLatin1String("voice stopped")), qPrintable(said));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             before);
}

void VoiceHelperTest::helperKilled_data() {
    QTest::addColumn<bool>("atBirth");
    QTest::newRow("at birth") << true;
    QTest::newRow("while idle") << false;
}

// A helper killed before it said hello, or while nobody spoke, costs nothing
// but itself: it is collected at once, and the next speech is whole.
void VoiceHelperTest::helperKilled() {
    QFETCH(bool, atBirth);
    const auto helper = [] {
        for (qint64 pid : ChildrenOf(QCoreApplication::applicationPid())) {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "zavren-voice")
                return pid;
        }
        return qint64(0);
    };
    std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
    // Looked for without a pause: the helper says hello within milliseconds.
    qint64 pid = 0;
    QElapsedTimer looking;
    looking.start();
    while ((pid = helper()) == 0 && looking.elapsed() < 10000)
        ;
    QVERIFY(pid != 0);
    if (!atBirth)
        QCOMPARE(engine->StartupError(), QString());
    ::kill(pid_t(pid), SIGKILL);
    if (!atBirth)
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(QStringLiteral("/proc/%1").arg(pid)), 10000);

    QCOMPARE(engine->StartupError(), QString());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SpeechFileJob job;
    job.text = QStringLiteral("Heard again after all.");
    job.path = dir.filePath(QStringLiteral("again.wav")).toStdString();
    QCOMPARE(WriteSpeechFile(job), QString());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("again.wav"))).size() > 10000);
}

// The engines that make a request's later pieces in copies of their helper.
// Flite's voices mix noise into their sound, from one generator for all the
// pieces a process makes: its pieces differ by that much (about 1% of their
// energy) wherever they are made.
void AddPieceEngines() {
    QTest::addColumn<QString>("helper");
    QTest::addColumn<QByteArray>("voice");
    QTest::addColumn<double>("noise"); // of the energy, that pieces may differ by
}
QTestData &PieceRow(const char *engine, const char *name) {
    const bool festival = std::strcmp(engine, "festival") == 0;
    return QTest::addRow("%s, %s", engine, name)
           << (festival ? QStringLiteral("zavren-voice-festival")
                        : QStringLiteral("zavren-voice-flite"))
           << QByteArray(festival ? "cmu_us_slt_arctic_hts" : "slt") << (festival ? 0.0 : 0.03);
}

// The energy of the difference of two sounds of one length, as a share of `a`'s.
double Difference(const std::vector<std::int16_t> &a, const std::vector<std::int16_t> &b) {
    double difference = 0, energy = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        difference += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
        energy += double(a[i]) * a[i];
    }
    return energy > 0 ? difference / energy : difference;
}

void VoiceHelperTest::piecesAsSpokenAlone_data() {
    AddPieceEngines();
    QTest::addColumn<std::int32_t>("rate");
    QTest::addColumn<std::int32_t>("pitch");
    for (const char *engine : {"festival", "flite"}) {
        PieceRow(engine, "as it starts") << 175 << 50;
        PieceRow(engine, "fast and high") << 320 << 90;
        PieceRow(engine, "slow and low") << 80 << 10;
    }
}

// A text read in pieces sounds, and is marked, as its pieces read alone: the
// pieces after the first, which are made in a copy of the helper, as the
// ones it makes itself, the sliders' settings with them.
void VoiceHelperTest::piecesAsSpokenAlone() {
    QFETCH(QString, helper);
    QFETCH(QByteArray, voice);
    QFETCH(double, noise);
    QFETCH(std::int32_t, rate);
    QFETCH(std::int32_t, pitch);
    Helper run;
    if (!run.Start(helper))
        QSKIP("built without this engine");
    Heard first, second, whole;
    run.Speak(1, voice, "Good day.", rate, pitch);
    Collect(run, 1, first);
    run.Speak(2, voice, "Hello there.", rate, pitch);
    Collect(run, 2, second);
    run.Speak(3, voice, "Good day. Hello there.", rate, pitch);
    Collect(run, 3, whole);
    QVERIFY(first.done && second.done && whole.done);
    QVERIFY(!first.samples.empty() && !second.samples.empty());
    std::vector<std::int16_t> samples = first.samples;
    samples.insert(samples.end(), second.samples.begin(), second.samples.end());
    QCOMPARE(whole.samples.size(), samples.size());
    QVERIFY2(Difference(samples, whole.samples) <= noise,
             qPrintable(QString::number(Difference(samples, whole.samples))));
    std::vector<voice::Event> marks = first.marks;
    // Each piece ends saying so; in the whole, the blank after the first is its own.
    QCOMPARE(marks.back().type, std::uint32_t(voice::Event::PieceEnd));
    marks.back().textPosition += 1;
    for (voice::Event mark : second.marks) {
        mark.sample += std::int32_t(first.samples.size());
        mark.textPosition += mark.type != voice::Event::Phoneme ? 10 : 0;
        marks.push_back(mark);
    }
    QCOMPARE(whole.marks.size(), marks.size());
    QVERIFY(std::memcmp(whole.marks.data(), marks.data(), marks.size() * sizeof marks[0]) == 0);
}

void VoiceHelperTest::pieceUnderWayDropped_data() {
    AddPieceEngines();
    QTest::addColumn<QString>("how");
    for (const char *engine : {"festival", "flite"}) {
        PieceRow(engine, "stopped") << "stop";
        PieceRow(engine, "newer request") << "speak";
        PieceRow(engine, "helper killed") << "kill";
    }
}

// A sentence made in a copy of the helper is ended at once by a stop or a
// newer request: Done follows, and neither the copy nor its pipe is left
// behind; nor does the copy outlive its helper.
void VoiceHelperTest::pieceUnderWayDropped() {
    QFETCH(QString, helper);
    QFETCH(QByteArray, voice);
    QFETCH(QString, how);
    Helper run;
    if (!run.Start(helper))
        QSKIP("built without this engine");
    Heard warm;
    run.Speak(1, voice, "Hello there. Good day.");
    Collect(run, 1, warm);
    QVERIFY(warm.done);
    const int files = ProcStatus::OpenDescriptors(run.Id());
    const QByteArray sentence("Then a long sentence follows, one that keeps the voice busy for a "
                              "good while, going on and on through many plain words, with no "
                              "end in sight until the very last of them has been read. ");
    run.Speak(2, voice, "Good day. " + sentence.repeated(20));
    // Its first piece is made here; later ones in a copy, seen as a child.
    QList<qint64> copies;
    QElapsedTimer looking;
    looking.start();
    while ((copies = ProcStatus::Children(run.Id(), false)).isEmpty() && looking.elapsed() < 30000)
        while (run.Waiting())
            run.Next();
    QCOMPARE(copies.size(), 1);
    if (how == "kill") {
        run.Kill();
        QVERIFY2(QTest::qWaitFor([&] { return Ended(copies.front()); }, 10000),
                 "the copy outlived its helper");
        return;
    }
    Heard rest, next;
    if (how == "stop") {
        run.Stop();
    } else {
        run.Speak(3, voice, "Hello there.");
    }
    Collect(run, 2, rest);
    QVERIFY(rest.done);
    if (how == "speak") {
        Collect(run, 3, next);
        QVERIFY(next.done && !next.samples.empty());
    }
    QCOMPARE(ProcStatus::Children(run.Id()), QList<qint64>());
    QCOMPARE(ProcStatus::OpenDescriptors(run.Id()), files);
}

QTEST_GUILESS_MAIN(VoiceHelperTest)
#include "tst_voicehelper.moc"
