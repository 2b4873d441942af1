#include "app/frmmain.h"
#include "app/speakingcommands.h"
#include "app/textcommands.h"
#include "app/wordhighlight.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/face/speechcontrolfactory.h"
#include "speechwindow.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDirIterator>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
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
    void ReadingKeys_data();
    void ReadingKeys();
    void PlaceKeptAndOffered_data();
    void PlaceKeptAndOffered();
    void ReadingMenus();
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

// The reading keys, pressed in the text box: while the box is read (the
// voice has reached `heard`), the voice goes where the key leads; otherwise
// the cursor does.
void SpeakingTest::ReadingKeys_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("heard"); // empty: nothing is being read
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QStringList>("calls"); // after Play All's
    QTest::addColumn<QString>("cursorAt");  // the text from the cursor on

    const QString text = QStringLiteral("One two. Three four.\n\nFive six. Seven.");
    const auto alt = [](Qt::Key key) { return QKeySequence(Qt::ALT | key); };
    const auto speak = [&](const QString &from) {
        return QStringList{QStringLiteral("Speak:") + text.mid(text.indexOf(from))};
    };
    QTest::newRow("next sentence while reading")
        << text << "two" << 0 << alt(Qt::Key_Right) << speak("Three") << text;
    QTest::newRow("previous sentence while reading")
        << text << "Seven" << 0 << alt(Qt::Key_Left) << speak("Five") << text;
    QTest::newRow("next paragraph while reading")
        << text << "two" << 0 << alt(Qt::Key_Down) << speak("Five") << text;
    QTest::newRow("previous paragraph in the first: its start")
        << text << "four" << 0 << alt(Qt::Key_Up) << speak("One") << text;
    QTest::newRow("next sentence from the last: reading goes on")
        << text << "Seven" << 0 << alt(Qt::Key_Right) << QStringList{} << text;
    QTest::newRow("next section while reading")
        << text << "two" << 0 << alt(Qt::Key_PageDown) << speak("Five") << text;
    QTest::newRow("previous section while reading")
        << text << "Seven" << 0 << alt(Qt::Key_PageUp) << speak("One") << text;
    QTest::newRow("pause") << text << "two" << 0 << QKeySequence(Qt::Key_F9)
                           << QStringList{QStringLiteral("Pause")} << text;
    QTest::newRow("read from here, inside a word")
        << text << "" << int(text.indexOf(QLatin1String("four")) + 2) << QKeySequence(Qt::Key_F5)
        << speak("four") << text.mid(text.indexOf(QLatin1String("four")) + 2);
    // Far from either end of a long text the keys look at the lines around.
    const QString filler = QStringLiteral("Filler words go here.\n").repeated(4000);
    const QString longText = filler + QStringLiteral("Marker one. Target two.\n") + filler;
    QTest::newRow("a long text: next sentence in its middle")
        << longText << "one" << 0 << alt(Qt::Key_Right)
        << QStringList{QStringLiteral("Speak:") + longText.mid(longText.indexOf(u"Target"))}
        << longText;
    QTest::newRow("a long text: previous paragraph in its middle")
        << longText << "Target" << 0 << alt(Qt::Key_Up)
        << QStringList{QStringLiteral("Speak:") +
                       longText.mid(longText.indexOf(u"Filler", filler.size() - 30))}
        << longText;
    QTest::newRow("not reading: next sentence moves the cursor")
        << text << "" << 2 << alt(Qt::Key_Right) << QStringList{}
        << text.mid(text.indexOf(QLatin1String("Three")));
    QTest::newRow("not reading: next paragraph moves the cursor")
        << text << "" << 2 << alt(Qt::Key_Down) << QStringList{}
        << text.mid(text.indexOf(QLatin1String("Five")));
}

void SpeakingTest::ReadingKeys() {
    QFETCH(QString, text);
    QFETCH(QString, heard);
    QFETCH(int, cursor);
    QFETCH(QKeySequence, key);
    QFETCH(QStringList, calls);
    QFETCH(QString, cursorAt);
    Window w;
    w.voice->speaks = true;
    w.form->SetSections({{QStringLiteral("Part one"), 1, 0},
                         {QStringLiteral("Part two"), 1, text.indexOf(QLatin1String("Five"))}});
    w.form->txtSpeech()->setPlainText(text);
    w.Select(cursor, cursor);
    w.Show();
    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    if (!heard.isEmpty()) {
        w.Run(QStringLiteral("PlayAll"), false);
        w.voice->Hear(text.indexOf(heard), heard.size());
    }
    w.voice->calls.clear();
    QTest::keySequence(w.form->txtSpeech(), key);
    // Where the voice starts is what counts: a long text goes over in parts.
    const auto starts = [](QStringList list) {
        for (QString &call : list)
            call.truncate(200);
        return list;
    };
    QCOMPARE(starts(w.voice->calls), starts(calls));
    if (!calls.isEmpty() && calls.front().startsWith(QLatin1String("Speak:"))) {
        // The new place is marked at once, before the voice gets there.
        const auto *mark = w.form->txtSpeech()->findChild<WordHighlight *>();
        QVERIFY(mark);
        QCOMPARE(mark->Start(), text.indexOf(w.voice->calls.front().mid(6)));
        QVERIFY(mark->Length() > 0);
    }
    QCOMPARE(w.form->txtSpeech()->toPlainText(), text);
    QCOMPARE(text.mid(w.form->txtSpeech()->textCursor().position()), cursorAt);
    QVERIFY(w.boxes.shown.empty());
}

// Where reading stopped in an opened file is offered when it is opened
// again, unless the file changed, the setting is off, or it was read to
// its end.
void SpeakingTest::PlaceKeptAndOffered_data() {
    QTest::addColumn<QString>("stopAt");    // the word heard when reading stopped
    QTest::addColumn<QString>("meanwhile"); // between the two opens
    QTest::addColumn<QString>("offered");   // empty: no question
    QTest::newRow("kept and offered with its words") << "wolf"
                                                     << ""
                                                     << "at \"wolf came to the door.";
    QTest::newRow("the setting off: nothing offered") << "wolf"
                                                      << "off"
                                                      << "";
    QTest::newRow("the file changed: nothing offered") << "wolf"
                                                       << "change"
                                                       << "";
    QTest::newRow("read to the end: nothing offered") << "end"
                                                      << ""
                                                      << "";
    QTest::newRow("never read: nothing offered") << ""
                                                 << ""
                                                 << "";
    QTest::newRow("a damaged state file: nothing offered") << "wolf"
                                                           << "damage"
                                                           << "";
}

void SpeakingTest::PlaceKeptAndOffered() {
    QFETCH(QString, stopAt);
    QFETCH(QString, meanwhile);
    QFETCH(QString, offered);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    const QString path = dir.filePath(QStringLiteral("story.txt"));
    const QByteArray story = "Once upon a time. The wolf came to the door.\nThen the end.\n";
    const auto write = [&](const QByteArray &bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    };
    write(story);
    const auto open = [](Window &w, const QString &name) {
        auto *text = w.form->findChild<TextCommands *>();
        QVERIFY(text && text->OpenPath(name));
        QVERIFY(QTest::qWaitFor([&] { return !text->Loading(); }, 10000));
        QTest::qWait(0); // the question comes once the open is over
    };
    {
        Window w;
        w.voice->speaks = true;
        open(w, path);
        if (!stopAt.isEmpty()) {
            w.Run(QStringLiteral("PlayAll"), false);
            const QString text = w.form->txtSpeech()->toPlainText();
            w.voice->Hear(text.indexOf(stopAt), stopAt.size());
            w.Run(QStringLiteral("Stop"), false);
        }
        if (meanwhile == QLatin1String("off"))
            QVERIFY(w.form->State().SetKeepsPlaces(false));
    }
    if (meanwhile == QLatin1String("change"))
        write(story + "A last line.\n");
    if (meanwhile == QLatin1String("damage")) {
        QFile state(dir.filePath(QStringLiteral("state/zavren-speech/reading.json")));
        QVERIFY(state.open(QIODevice::WriteOnly) && state.write("{\"places\": [{\"key\"") > 0);
    }
    Window again;
    again.boxes.answer = true;
    open(again, path);
    if (offered.isEmpty()) {
        QVERIFY(again.boxes.asked.isEmpty());
        QVERIFY(again.voice->calls.isEmpty());
        return;
    }
    QCOMPARE(again.boxes.asked.size(), 1);
    QVERIFY2(again.boxes.asked.front().text.contains(offered),
             qPrintable(again.boxes.asked.front().text));
    // Yes: reading goes on from there, the cursor with it.
    const QString text = again.form->txtSpeech()->toPlainText();
    QCOMPARE(again.voice->calls,
             QStringList{QStringLiteral("Speak:") + text.mid(text.indexOf(stopAt))});
    QCOMPARE(again.form->txtSpeech()->textCursor().position(), text.indexOf(stopAt));
    // Nothing of the text is kept.
    QDirIterator files(dir.path(), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.fileName() == path)
            continue;
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(!file.readAll().contains("wolf"), qPrintable(file.fileName()));
    }
}

// The text box's context menu ends with Read From Here, after the
// platform's items; the voice's menu has Pause, Resume and the sections.
void SpeakingTest::ReadingMenus() {
    // Whatever is read here goes to no sound server.
    qputenv("PULSE_SERVER", "unix:/nonexistent/zavren-test");
    SpeechWindow w(CreateSpeechControl(nullptr));
    const QString text = QStringLiteral("Intro words. Chapter two starts here.");
    w.Text().setPlainText(text);
    w.Show();

    QContextMenuEvent atWord(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    w.Select(text.indexOf(QLatin1String("two")), text.indexOf(QLatin1String("two")));
    QCoreApplication::sendEvent(&w.Text(), &atWord);
    QMenu *boxMenu = nullptr;
    QVERIFY(QTest::qWaitFor([&] {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *menu = qobject_cast<QMenu *>(top); menu && menu->isVisible())
                boxMenu = menu;
        return boxMenu != nullptr;
    }));
    const QList<QAction *> items = boxMenu->actions();
    QVERIFY(items.size() > 3); // the platform's own come first
    QCOMPARE(items.back()->objectName(), QStringLiteral("mnuReadFromHere"));
    QVERIFY(items[items.size() - 2]->isSeparator());
    boxMenu->close();

    auto *voice = qobject_cast<EspeakSpeechControl *>(w.form->DirectSS1());
    QVERIFY(voice);
    w.form->SetSections(
        {{QStringLiteral("Intro"), 1, 0},
         {QStringLiteral("Chapter & two"), 2, text.indexOf(QLatin1String("Chapter"))}});
    std::unique_ptr<QMenu> menu(voice->CreateVoiceMenu());
    const auto item = [&](const char *name) {
        return menu->findChild<QAction *>(QString::fromLatin1(name));
    };
    QVERIFY(item("mnuPause") && !item("mnuPause")->isEnabled()); // nothing is being read
    QVERIFY(item("mnuResume") && !item("mnuResume")->isEnabled());
    QVERIFY(item("mnuKeepPlaces") && item("mnuKeepPlaces")->isCheckable());
    auto *sections = menu->findChild<QMenu *>(QStringLiteral("mnuSections"));
    QVERIFY(sections);
    QCOMPARE(sections->actions().size(), 2);
    QCOMPARE(sections->actions()[1]->text(), QStringLiteral("    Chapter && two"));
    sections->actions()[1]->trigger();
    QCOMPARE(w.Text().textCursor().position(), text.indexOf(QLatin1String("Chapter")));
    // Plain text has no sections.
    w.form->SetSections({});
    menu.reset(voice->CreateVoiceMenu());
    QVERIFY(!menu->findChild<QMenu *>(QStringLiteral("mnuSections")));
    w.form->Speaking().Stop();
}

QTEST_MAIN(SpeakingTest)
#include "tst_speaking.moc"
