#include "app/frmmain.h"
#include "app/speakingcommands.h"
#include "speechwindow.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>
#include <memory>

namespace {

struct Window : SpeechWindow {
    Window() {
        voice->calls.clear(); // what load wrote is another test's concern
    }
    void Run(const QString &command, bool byMenu) {
        if (byMenu) {
            form->Action(QStringLiteral("mnuFile") + command)->trigger();
        } else {
            form->findChild<QPushButton *>(QStringLiteral("cmd") + command)->click();
        }
    }
};

} // namespace

class SpeakingTest : public QObject {
    Q_OBJECT
private slots:
    void CommandReachesVoice_data();
    void CommandReachesVoice();
    void LongTextStartsWithItsFirstLines_data();
    void LongTextStartsWithItsFirstLines();
    void FailureShowsErrorBox_data();
    void FailureShowsErrorBox();
    void SliderKeys_data();
    void SliderKeys();
    void SliderLookAndTracking_data();
    void SliderLookAndTracking();
    void SelectedTextLineBreaks_data();
    void SelectedTextLineBreaks();
};

void SpeakingTest::CommandReachesVoice_data() {
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("call");

    const QString lines = QStringLiteral("first line\nsecond\n\nlast");
    for (bool byMenu : {false, true}) {
        const char *by = byMenu ? "menu" : "button";
        auto row = [&](const char *what) {
            return &QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(by, what)));
        };
        *row("play all, lines") << byMenu << "PlayAll" << lines << 0 << 0 << "Speak:" + lines;
        *row("play all, empty box") << byMenu << "PlayAll"
                                    << "" << 0 << 0 << "Speak:";
        *row("play all ignores the selection")
            << byMenu << "PlayAll" << lines << 0 << 5 << "Speak:" + lines;
        *row("play selected, nothing selected")
            << byMenu << "PlaySelected" << lines << 3 << 3 << "Speak:";
        *row("play selected, within a line")
            << byMenu << "PlaySelected" << lines << 6 << 10 << "Speak:line";
        *row("play selected, across lines")
            << byMenu << "PlaySelected" << lines << 6 << 20 << "Speak:line\nsecond\n\nl";
        *row("play selected, backwards")
            << byMenu << "PlaySelected" << lines << 17 << 11 << "Speak:second";
        *row("stop") << byMenu << "Stop" << lines << 0 << 0 << "StopSpeaking";
        *row("stop, empty box") << byMenu << "Stop"
                                << "" << 0 << 0 << "StopSpeaking";
    }
}

void SpeakingTest::CommandReachesVoice() {
    QFETCH(bool, byMenu);
    QFETCH(QString, command);
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, call);
    Window w;
    w.form->txtSpeech()->setPlainText(text);
    w.Select(from, to);
    w.Run(command, byMenu);
    QCOMPARE(w.voice->calls, QStringList{call});
    QVERIFY(w.boxes.shown.empty());
    QCOMPARE(w.form->txtSpeech()->toPlainText(), text);
}

void SpeakingTest::LongTextStartsWithItsFirstLines_data() {
    QTest::addColumn<QString>("meanwhile"); // what happens before the rest is passed on
    QTest::addColumn<bool>("restPassedOn");
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("stop") << "Stop" << false;
    QTest::newRow("play selected") << "PlaySelected" << false;
    QTest::newRow("edit") << "edit" << false;
    QTest::newRow("failed to start") << "fail" << false;
}

// A long text starts with its first whole lines, and the whole of it is
// passed on once the command has returned, while the text and the speech
// are still what they were.
void SpeakingTest::LongTextStartsWithItsFirstLines() {
    QFETCH(QString, meanwhile);
    QFETCH(bool, restPassedOn);
    Window w;
    // A non-breaking space and a line separator read as the whole text has them.
    const QString line = QStringLiteral("A line of the long text,\u00a0read aloud.\u2028Then on.");
    QString text;
    for (int i = 0; text.size() < 100'000; ++i)
        text += line + QString::number(i) + QLatin1Char('\n');
    w.form->txtSpeech()->setPlainText(text);
    const QString whole = w.form->txtSpeech()->toPlainText();
    if (meanwhile == QLatin1String("fail"))
        w.voice->failWith = QStringLiteral("No audio device");
    w.Run(QStringLiteral("PlayAll"), false);
    if (meanwhile == QLatin1String("edit"))
        w.form->txtSpeech()->insertPlainText(QStringLiteral("x"));
    else if (meanwhile == QLatin1String("Stop") || meanwhile == QLatin1String("PlaySelected"))
        w.Run(meanwhile, false);
    const QStringList before = w.voice->calls;
    QTest::qWait(0);

    QVERIFY(!before.isEmpty());
    const QString first = before.front().mid(QStringLiteral("Speak:").size());
    QVERIFY(first.size() >= 4096 && first.size() < 8192);
    QVERIFY(whole.startsWith(first));
    QVERIFY(first.endsWith(QLatin1Char('\n')));
    QCOMPARE(w.voice->calls.mid(0, before.size()), before);
    if (restPassedOn)
        QCOMPARE(w.voice->calls.mid(before.size()), QStringList{"Continue:" + whole});
    else
        QCOMPARE(w.voice->calls.size(), before.size());
}

void SpeakingTest::FailureShowsErrorBox_data() {
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("description");
    QTest::newRow("play all, button") << false << "PlayAll"
                                      << "No audio device";
    QTest::newRow("play all, menu") << true << "PlayAll"
                                    << "No audio device";
    QTest::newRow("play selected, button") << false << "PlaySelected"
                                           << "Voice busy";
    QTest::newRow("play selected, menu") << true << "PlaySelected"
                                         << "Voice busy";
    QTest::newRow("stop, button") << false << "Stop"
                                  << "Cannot stop";
    QTest::newRow("stop, menu") << true << "Stop"
                                << "Cannot stop";
    QTest::newRow("markup-like description stays as it is") << false << "PlayAll"
                                                            << "<b>bad</b> & \"odd\"";
}

void SpeakingTest::FailureShowsErrorBox() {
    QFETCH(bool, byMenu);
    QFETCH(QString, command);
    QFETCH(QString, description);
    Window w;
    const QString text = QStringLiteral("some\ntext");
    w.form->txtSpeech()->setPlainText(text);
    w.Select(1, 7);
    const int pitch = w.form->sldPitch()->value();
    w.voice->failWith = description;
    w.Run(command, byMenu);
    QCOMPARE(w.voice->calls.size(), 1);
    QCOMPARE(w.boxes.shown.size(), 1);
    const ShownBox &box = w.boxes.shown.front();
    QCOMPARE(box.text, QStringLiteral("Error: ") + description);
    QCOMPARE(box.title, QStringLiteral("Zavren Speech"));
    QCOMPARE(box.icon, MessageIcon::None);
    QCOMPARE(box.parent.data(), w.form.get());
    // The window stays as it was.
    QCOMPARE(w.form->txtSpeech()->toPlainText(), text);
    QCOMPARE(w.form->txtSpeech()->textCursor().selectionStart(), 1);
    QCOMPARE(w.form->txtSpeech()->textCursor().selectionEnd(), 7);
    QCOMPARE(w.form->sldPitch()->value(), pitch);
}

void SpeakingTest::SliderKeys_data() {
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("expected");
    for (const char *slider : {"sldPitch", "sldSpeed"}) {
        auto row = [&](const char *what) {
            return &QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(slider, what)));
        };
        *row("right") << slider << int(Qt::Key_Right) << 200 << 201;
        *row("left") << slider << int(Qt::Key_Left) << 200 << 199;
        *row("up") << slider << int(Qt::Key_Up) << 200 << 201;
        *row("down") << slider << int(Qt::Key_Down) << 200 << 199;
        *row("page up") << slider << int(Qt::Key_PageUp) << 200 << 205;
        *row("page down") << slider << int(Qt::Key_PageDown) << 200 << 195;
        *row("home") << slider << int(Qt::Key_Home) << 200 << 84;
        *row("end") << slider << int(Qt::Key_End) << 200 << 338;
        *row("page down near the bottom") << slider << int(Qt::Key_PageDown) << 86 << 84;
        *row("page up near the top") << slider << int(Qt::Key_PageUp) << 336 << 338;
    }
}

void SpeakingTest::SliderKeys() {
    QFETCH(QString, slider);
    QFETCH(int, key);
    QFETCH(int, start);
    QFETCH(int, expected);
    Window w;
    auto *s = w.form->findChild<QSlider *>(slider);
    s->setValue(start);
    w.voice->calls.clear();
    QTest::keyClick(s, Qt::Key(key));
    QCOMPARE(s->value(), expected);
    const QString call = slider == QLatin1String("sldPitch") ? QStringLiteral("SetPitch:%1")
                                                             : QStringLiteral("SetSpeed:%1");
    QCOMPARE(w.voice->calls, QStringList{call.arg(expected)});
}

void SpeakingTest::SliderLookAndTracking_data() {
    QTest::addColumn<QString>("slider");
    QTest::addColumn<QSlider::TickPosition>("ticks");
    QTest::newRow("pitch") << "sldPitch" << QSlider::NoTicks;
    QTest::newRow("speed") << "sldSpeed" << QSlider::TicksBelow;
}

void SpeakingTest::SliderLookAndTracking() {
    QFETCH(QString, slider);
    QFETCH(QSlider::TickPosition, ticks);
    Window w;
    auto *s = w.form->findChild<QSlider *>(slider);
    QCOMPARE(s->orientation(), Qt::Horizontal);
    QCOMPARE(s->tickPosition(), ticks);
    // Every position passes on at once, not only when a drag ends.
    QVERIFY(s->hasTracking());
    w.voice->calls.clear();
    s->setSliderDown(true);
    s->setSliderPosition(250);
    s->setSliderPosition(251);
    QCOMPARE(w.voice->calls.size(), 2);
    s->setSliderDown(false);
}

void SpeakingTest::SelectedTextLineBreaks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "one two"
                           << "one two";
    QTest::newRow("paragraphs") << "a\nb\n\nc"
                                << "a\nb\n\nc";
    QTest::newRow("line separator inside a block") << QString("a") + QChar::LineSeparator + "b"
                                                   << "a\nb";
    QTest::newRow("trailing break") << "end\n"
                                    << "end\n";
}

void SpeakingTest::SelectedTextLineBreaks() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QPlainTextEdit edit;
    edit.setPlainText(text);
    edit.selectAll();
    QCOMPARE(SpeakingCommands::SelectedText(edit), expected);
    QCOMPARE(SpeakingCommands::SelectedText(edit), edit.toPlainText());
}

QTEST_MAIN(SpeakingTest)
#include "tst_speaking.moc"
