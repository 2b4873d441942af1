// Thousands of random speaking operations against the real espeak-ng voice
// playing into memory: speak (which replaces speech under way), stop, pitch
// and speed anywhere in the 32-bit range, on texts that are empty, huge,
// unusual Unicode or look like markup; then the same through the speech
// window's own commands. Nothing may crash or hang, no message box may
// appear, and afterwards the voice must still speak. The resident memory at
// each quarter is printed; run under scripts/test-sanitizers.sh for leaks and
// races.
//
// ZAVREN_STRESS_OPS sets the operations per run (default 3000),
// ZAVREN_STRESS_SEED the random seed (default fixed, printed).
#include "hangguard.h"
#include "memoryaudiooutput.h"
#include "procstatus.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speechwindow.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTextCursor>
#include <QtTest>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <unistd.h>

namespace {

int EnvInt(const char *name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// Any UTF-16 unit: lone surrogates, noncharacters and characters espeak-ng
// 1.51 mishandles (U+0AE6 and many more, which the engine must keep from it)
// included.
QChar AnyBmp(QRandomGenerator &random) {
    return QChar(char16_t(random.bounded(0x10000)));
}

// Texts a user, a file or a clipboard could bring.
class TextMaker {
public:
    explicit TextMaker(QRandomGenerator &random) : random_(random) {}

    QString Make() {
        switch (random_.bounded(9)) {
        case 0:
            return {};
        case 1:
            return QStringLiteral(" \t\r\n ").left(random_.bounded(6));
        case 2: // huge
            return Words(20000 + random_.bounded(20000));
        case 3:
            return Unicode(1 + random_.bounded(400));
        case 4:
            return Markup();
        case 5: // one character of anything
            return QString(AnyBmp(random_));
        case 6:
            return Words(1 + random_.bounded(3)) + Markup() + Unicode(20);
        default:
            return Words(1 + random_.bounded(60));
        }
    }

private:
    QString Words(int count) {
        static const char *const kWords[] = {"hello",   "speech", "the",  "quick", "brown",  "fox",
                                             "1234567", "3.14",   "e.g.", "Mr.",   "zavren", ",",
                                             ".",       "?",      "!",    "-",     "...",    "a"};
        QString text;
        for (int i = 0; i < count; ++i) {
            text += QLatin1String(kWords[random_.bounded(int(std::size(kWords)))]);
            text += random_.bounded(12) == 0 ? u'\n' : u' ';
        }
        return text;
    }

    QString Unicode(int count) {
        QString text;
        for (int i = 0; i < count; ++i) {
            switch (random_.bounded(8)) {
            case 0:
                text += AnyBmp(random_);
                break;
            case 1: { // emoji, CJK and anything else beyond the BMP
                static const char32_t kBlocks[][2] = {
                    {0x1F300, 0x1FAFF}, {0x20000, 0x2A6DF}, {0x10000, 0x10FFFF}};
                const auto &block = kBlocks[random_.bounded(int(std::size(kBlocks)))];
                const char32_t cp = block[0] + random_.bounded(block[1] - block[0] + 1);
                text += QString::fromUcs4(&cp, 1);
                break;
            }
            case 2: // combining marks piled up
                text += QString(QChar(char16_t(0x0300 + random_.bounded(0x70)))).repeated(5);
                break;
            case 3: // control characters, NUL included
                text += QChar(char16_t(random_.bounded(0x20)));
                break;
            case 4:
                text += QStringLiteral(
                    "привет مرحبا שלום 你好 こんにちは 😀👍🏽 ");
                break;
            case 5:
                text += QChar(char16_t(0x200B + random_.bounded(8))); // zero-width and bidi marks
                break;
            default:
                text += QChar(char16_t(0x20 + random_.bounded(0x5F)));
            }
        }
        return text;
    }

    QString Markup() {
        static const char *const kMarkup[] = {
            "<speak>not markup</speak>",
            "<prosody pitch=\"x-high\" rate=\"0.1\">slow</prosody>",
            "<break time=\"3600s\"/>",
            "<audio src=\"file:///dev/zero\"/>",
            "<say-as interpret-as=\"characters\">abc</say-as>",
            "[[h@'loU]] [[",
            "&amp; &lt; &#0; &#x110000; &bogus;",
            "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]>&a;&a;",
            "<<<>>> </ <a <b c=\">",
            "%s %n %x {0} ${HOME} $(true) `true`",
        };
        return QString::fromUtf8(kMarkup[random_.bounded(int(std::size(kMarkup)))]);
    }

    QRandomGenerator &random_;
};

std::int32_t AnyInt32(QRandomGenerator &random) {
    switch (random.bounded(4)) {
    case 0:
        return 84 + random.bounded(255); // the sliders' range
    case 1:
        return random.bounded(2) ? std::numeric_limits<std::int32_t>::max()
                                 : std::numeric_limits<std::int32_t>::min();
    case 2:
        return random.bounded(-1000, 1000);
    default:
        return std::int32_t(random.generate());
    }
}

// Lets queued signals and timers run for a random little while.
void Breathe(QRandomGenerator &random) {
    if (random.bounded(4) == 0)
        QTest::qWait(random.bounded(30));
    else
        QCoreApplication::processEvents();
}

// With ZAVREN_STRESS_TRACE set, every text spoken is written to standard
// error first (as UTF-16 code units in hex), so a crash names its input.
void Trace(int op, const QString &text) {
    static const bool on = qEnvironmentVariableIsSet("ZAVREN_STRESS_TRACE");
    if (!on)
        return;
    QByteArray hex;
    for (const QChar c : text)
        hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0') + ' ';
    std::fprintf(stderr, "op %d speak %lld: %s\n", op, qsizetype(text.size()), hex.constData());
    std::fflush(stderr);
}

quint32 Seed() {
    const quint32 seed = quint32(EnvInt("ZAVREN_STRESS_SEED", 20240611));
    qInfo("seed %u (ZAVREN_STRESS_SEED)", seed);
    return seed;
}

void ReportRss(const char *when, long startKiB) {
    const long now = ProcStatus::Kib("VmRSS:");
    qInfo("RSS %-14s %7ld KiB (%+ld KiB since the first quarter)", when, now, now - startKiB);
}

// The voice still works: it stops, goes quiet, and speaks a sentence again.
void CheckStillSpeaks(EspeakSpeechControl &control, MemoryAudioOutput &sink, HangGuard &guard) {
    guard.Step("final stop");
    const SpeechStatus stopped = control.StopSpeaking();
    QVERIFY2(stopped.ok(), qPrintable(stopped.error));
    QVERIFY2(QTest::qWaitFor([&] { return !control.IsSpeaking(); }, 30000),
             "the voice did not fall silent after the storm");
    control.SetPitch(200);
    control.SetSpeed(200);
    sink.ClearSamples();
    guard.Step("final speak");
    const SpeechStatus spoken = control.Speak(QStringLiteral("Still speaking after the storm."));
    QVERIFY2(spoken.ok(), qPrintable(spoken.error));
    QVERIFY2(QTest::qWaitFor([&] { return !control.IsSpeaking(); }, 30000),
             "the last sentence never ended");
    QVERIFY2(sink.SampleCount() > std::size_t(sink.SampleRate() / 2),
             "the voice made no sound after the storm");
}

} // namespace

class SpeechStressTest : public QObject {
    Q_OBJECT
private slots:
    void controlStorm_data();
    void controlStorm();
    void windowStorm();
};

void SpeechStressTest::controlStorm_data() {
    QTest::addColumn<double>("speedFactor");
    QTest::newRow("sink as fast as samples come") << 0.0;
    QTest::newRow("sink at four times real time") << 4.0;
}

void SpeechStressTest::controlStorm() {
    QFETCH(double, speedFactor);
    const int ops = EnvInt("ZAVREN_STRESS_OPS", 3000);
    QRandomGenerator random(Seed());
    TextMaker texts(random);
    HangGuard guard;

    auto output = std::make_unique<MemoryAudioOutput>(speedFactor);
    MemoryAudioOutput &sink = *output;
    EspeakSpeechControl control(std::move(output));
    long firstQuarterKiB = 0;
    int speaks = 0, stops = 0, failures = 0;
    for (int i = 0; i < ops; ++i) {
        switch (random.bounded(10)) {
        case 0:
        case 1:
        case 2:
        case 3: {
            guard.Step("speak");
            const QString text = texts.Make();
            Trace(i, text);
            const SpeechStatus status = control.Speak(text);
            failures += status.ok() ? 0 : 1;
            ++speaks;
            break;
        }
        case 4:
        case 5: {
            guard.Step("stop");
            const SpeechStatus status = control.StopSpeaking();
            failures += status.ok() ? 0 : 1;
            ++stops;
            break;
        }
        case 6:
            guard.Step("pitch");
            control.SetPitch(AnyInt32(random));
            break;
        case 7:
            guard.Step("speed");
            control.SetSpeed(AnyInt32(random));
            break;
        case 8:
            guard.Step("read pitch");
            (void)control.Pitch();
            break;
        default:
            guard.Step("let the voice run");
            QTest::qWait(random.bounded(50));
        }
        guard.Step("events");
        Breathe(random);
        if (i % 20 == 0)
            sink.ClearSamples(); // the recording is the test's, not the voice's: keep it small
        if (i == ops / 4) {
            firstQuarterKiB = ProcStatus::Kib("VmRSS:");
            ReportRss("first quarter", firstQuarterKiB);
        } else if (i == ops / 2) {
            ReportRss("half", firstQuarterKiB);
        } else if (i == ops * 3 / 4) {
            ReportRss("three quarters", firstQuarterKiB);
        }
    }
    sink.ClearSamples();
    ReportRss("end", firstQuarterKiB);
    qInfo("%d operations: %d speaks, %d stops", ops, speaks, stops);
    QCOMPARE(failures, 0);
    CheckStillSpeaks(control, sink, guard);
}

void SpeechStressTest::windowStorm() {
    const int ops = EnvInt("ZAVREN_STRESS_OPS", 3000);
    QRandomGenerator random(Seed() + 1);
    TextMaker texts(random);
    HangGuard guard;

    auto output = std::make_unique<MemoryAudioOutput>(4.0);
    MemoryAudioOutput &sink = *output;
    SpeechWindow speech(std::make_unique<EspeakSpeechControl>(std::move(output)));
    frmMain &window = *speech.form;
    const RecordingBoxes &boxes = speech.boxes;
    speech.Show();
    QPlainTextEdit *text = window.txtSpeech();
    const QStringList commands = {QStringLiteral("mnuFilePlayAll"),
                                  QStringLiteral("mnuFilePlaySelected"),
                                  QStringLiteral("mnuFileStop"), QStringLiteral("mnuFileNew")};
    long firstQuarterKiB = 0;
    for (int i = 0; i < ops; ++i) {
        switch (random.bounded(9)) {
        case 0:
        case 1:
            guard.Step("replace the text");
            text->setPlainText(texts.Make());
            break;
        case 2: {
            guard.Step("select");
            QTextCursor cursor = text->textCursor();
            const int length = int(text->document()->characterCount()) - 1;
            cursor.setPosition(length > 0 ? random.bounded(length + 1) : 0);
            cursor.setPosition(length > 0 ? random.bounded(length + 1) : 0,
                               QTextCursor::KeepAnchor);
            text->setTextCursor(cursor);
            break;
        }
        case 3:
            guard.Step("Play All");
            window.cmdPlayAll()->click();
            break;
        case 4:
            guard.Step("Play Selected");
            window.cmdPlaySelected()->click();
            break;
        case 5:
            guard.Step("STOP");
            window.cmdStop()->click();
            break;
        case 6: {
            guard.Step("menu command");
            QAction *action = window.Action(commands.at(random.bounded(int(commands.size()))));
            QVERIFY(action);
            action->trigger();
            break;
        }
        case 7: {
            guard.Step("slider");
            QSlider *slider = random.bounded(2) ? window.sldPitch() : window.sldSpeed();
            if (random.bounded(2)) {
                slider->setValue(slider->minimum() +
                                 random.bounded(slider->maximum() - slider->minimum() + 1));
            } else {
                slider->setFocus();
                static const Qt::Key kKeys[] = {Qt::Key_Left,     Qt::Key_Right, Qt::Key_PageUp,
                                                Qt::Key_PageDown, Qt::Key_Home,  Qt::Key_End};
                QTest::keyClick(slider, kKeys[random.bounded(int(std::size(kKeys)))]);
            }
            break;
        }
        default:
            guard.Step("let the voice run");
            QTest::qWait(random.bounded(50));
        }
        guard.Step("events");
        Breathe(random);
        if (i % 20 == 0)
            sink.ClearSamples();
        if (i == ops / 4) {
            firstQuarterKiB = ProcStatus::Kib("VmRSS:");
            ReportRss("first quarter", firstQuarterKiB);
        } else if (i == ops / 2) {
            ReportRss("half", firstQuarterKiB);
        } else if (i == ops * 3 / 4) {
            ReportRss("three quarters", firstQuarterKiB);
        }
    }
    ReportRss("end", firstQuarterKiB);
    QVERIFY2(boxes.shown.isEmpty(), qPrintable(boxes.Texts().join(QStringLiteral(" | "))));

    auto *control = qobject_cast<EspeakSpeechControl *>(window.DirectSS1());
    QVERIFY(control);
    CheckStillSpeaks(*control, sink, guard);
}

QTEST_MAIN(SpeechStressTest)
#include "tst_speechstress.moc"
