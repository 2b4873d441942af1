// The word being heard, marked in the speech window's text box.
#include "app/frmmain.h"
#include "app/wordhighlight.h"
#include "memoryaudiooutput.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speechwindow.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace {

// The window with a voice that says nothing but reports itself speaking: the
// test tells it which words are heard.
struct Window : SpeechWindow {
    Window() {
        voice->speaks = true;
        form->show();
    }
    explicit Window(std::unique_ptr<SpeechControl> given) : SpeechWindow(std::move(given)) {
        form->show();
    }
    RecordingVoice &Voice() const { return *voice; }
    // What is marked: its place and text; empty when nothing.
    QString Marked(int *at = nullptr) const {
        const auto marks = Text().extraSelections();
        if (marks.isEmpty())
            return {};
        if (at)
            *at = marks.front().cursor.selectionStart();
        return marks.front().cursor.selectedText();
    }
};

} // namespace

class WordHighlightTest : public QObject {
    Q_OBJECT
private slots:
    void marksTheWordHeard_data();
    void marksTheWordHeard();
    void leavesSelectionCursorAndUndoAlone();
    void goesAway_data();
    void goesAway();
    void textReplacedWhileMarkedMany();
    void keepsTheWordInView_data();
    void keepsTheWordInView();
    void realVoiceMarksASelectionStartingMidText();
    void markReadsOnSelectionAndBase_data();
    void markReadsOnSelectionAndBase();
};

void WordHighlightTest::marksTheWordHeard_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor"); // -1: Play All
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("start"); // as the voice reports it
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<int>("at");

    const QString hello = QStringLiteral("Hello world, again.");
    QTest::newRow("play all") << hello << -1 << -1 << 6 << 5 << "world" << 6;
    QTest::newRow("play selected, from mid-text") << hello << 6 << 18 << 7 << 5 << "again" << 13;
    QTest::newRow("play selected, selected backwards")
        << hello << 18 << 6 << 0 << 5 << "world" << 6;
    QTest::newRow("play selected, across lines")
        << "one\ntwo three" << 2 << 13 << 6 << 5 << "three" << 8;
    QTest::newRow("play selected, after emoji and cjk")
        << "\U0001F600\U0001F600 中文 naïve word" << 8 << 18 << 6 << 4 << "word" << 14;
    QTest::newRow("word running past the end is cut at it")
        << hello << 13 << 18 << 0 << 50 << "again" << 13;
    QTest::newRow("word wholly past the end is not marked")
        << hello << -1 << -1 << 40 << 3 << "" << 0;
}

void WordHighlightTest::marksTheWordHeard() {
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QString, marked);
    QFETCH(int, at);
    Window w;
    w.Text().setPlainText(text);
    if (anchor >= 0) {
        w.Select(anchor, position);
        w.form->cmdPlaySelected()->click();
    } else {
        w.form->cmdPlayAll()->click();
    }
    w.Voice().Hear(start, length);
    int markedAt = -1;
    QCOMPARE(w.Marked(&markedAt), marked);
    if (!marked.isEmpty())
        QCOMPARE(markedAt, at);
}

void WordHighlightTest::leavesSelectionCursorAndUndoAlone() {
    Window w;
    w.Text().setPlainText(QStringLiteral("alpha beta gamma delta"));
    w.Text().moveCursor(QTextCursor::End);
    QTest::keyClicks(&w.Text(), QStringLiteral(" epsilon")); // something to undo
    const int undoSteps = w.Text().document()->availableUndoSteps();
    const bool modified = w.Text().document()->isModified();
    w.Select(17, 6);
    w.form->cmdPlaySelected()->click();
    for (const auto &[start, length] : {std::pair{0, 4}, {5, 5}}) {
        w.Voice().Hear(start, length);
        QVERIFY(!w.Marked().isEmpty());
        QCOMPARE(w.Text().textCursor().anchor(), 17);
        QCOMPARE(w.Text().textCursor().position(), 6);
        QCOMPARE(w.Text().document()->availableUndoSteps(), undoSteps);
        QCOMPARE(w.Text().document()->isModified(), modified);
        QCOMPARE(w.Text().toPlainText(), QStringLiteral("alpha beta gamma delta epsilon"));
    }
    // Undo still undoes the typing, not anything the highlight did.
    w.Text().undo();
    QCOMPARE(w.Text().toPlainText(), QStringLiteral("alpha beta gamma delta"));
}

void WordHighlightTest::goesAway_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("speech ends") << "end";
    QTest::newRow("STOP button") << "stop";
    QTest::newRow("File > Stop") << "menu stop";
    QTest::newRow("typing") << "type";
    QTest::newRow("File > New") << "new";
    QTest::newRow("nothing to say replaces the speech") << "empty";
}

void WordHighlightTest::goesAway() {
    QFETCH(QString, how);
    Window w;
    w.Text().setPlainText(QStringLiteral("one two three four"));
    w.form->cmdPlayAll()->click();
    w.Voice().Hear(4, 3);
    QCOMPARE(w.Marked(), QStringLiteral("two"));
    if (how == QLatin1String("end"))
        w.Voice().SetSpeaking(false);
    else if (how == QLatin1String("stop"))
        w.form->cmdStop()->click();
    else if (how == QLatin1String("menu stop"))
        w.form->Action(QStringLiteral("mnuFileStop"))->trigger();
    else if (how == QLatin1String("type"))
        QTest::keyClick(&w.Text(), Qt::Key_X);
    else if (how == QLatin1String("new"))
        w.form->Action(QStringLiteral("mnuFileNew"))->trigger();
    else if (how == QLatin1String("empty")) {
        w.Select(3, 4); // a blank
        w.form->cmdPlaySelected()->click();
    }
    QCOMPARE(w.Marked(), QString());
    // After an edit the places no longer fit the text: later words are not
    // marked until the next Play.
    w.Voice().Hear(8, 5);
    if (how == QLatin1String("type") || how == QLatin1String("new"))
        QCOMPARE(w.Marked(), QString());
}

void WordHighlightTest::textReplacedWhileMarkedMany() {
    // Replacing the whole text while a word is marked, again and again: Qt
    // must be left with no cursor of the mark to trip over (it once was, and
    // the heap broke within a few hundred rounds).
    Window w;
    for (int round = 0; round < 400; ++round) {
        w.Text().setPlainText(QStringLiteral("round %1 of words to mark").arg(round));
        w.form->cmdPlayAll()->click();
        w.Voice().Hear(round % 3 == 0 ? 0 : 6, 3);
        QVERIFY(!w.Marked().isEmpty());
        if (round % 2)
            w.form->Action(QStringLiteral("mnuFileNew"))->trigger();
        else
            w.Text().setPlainText(QStringLiteral("replaced"));
        QCOMPARE(w.Marked(), QString());
        w.Voice().SetSpeaking(false);
    }
}

void WordHighlightTest::keepsTheWordInView_data() {
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::newRow("far down") << 250 << 0;
    QTest::newRow("far right") << 3 << 400;
    QTest::newRow("far down and right") << 180 << 300;
}

void WordHighlightTest::keepsTheWordInView() {
    QFETCH(int, line);
    QFETCH(int, column);
    Window w;
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("x").repeated(column) + QStringLiteral(" word%1 end").arg(i);
    w.Text().setPlainText(lines.join(u'\n'));
    w.Select(0, 0);
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    w.form->cmdPlayAll()->click();
    const QString word = QStringLiteral("word%1").arg(line);
    const int start = int(w.Text().toPlainText().indexOf(word));
    w.Voice().Hear(start, word.size());
    QCOMPARE(w.Marked(), word);

    QTextCursor at(w.Text().document());
    at.setPosition(start);
    const QRect first = w.Text().cursorRect(at);
    at.setPosition(start + int(word.size()));
    const QRect last = w.Text().cursorRect(at);
    const QRect view = w.Text().viewport()->rect();
    QVERIFY2(view.contains(first.center()) && view.contains(last.center()),
             qPrintable(QStringLiteral("word at %1,%2 to %3 in %4x%5")
                            .arg(first.x())
                            .arg(first.y())
                            .arg(last.x())
                            .arg(view.width())
                            .arg(view.height())));
    // The view moved, the cursor did not.
    QCOMPARE(w.Text().textCursor().position(), 0);
}

void WordHighlightTest::realVoiceMarksASelectionStartingMidText() {
    auto voice = std::make_unique<EspeakSpeechControl>(std::make_unique<MemoryAudioOutput>());
    EspeakSpeechControl *control = voice.get();
    Window w(std::move(voice));
    w.Text().setPlainText(
        QStringLiteral("Skip this. Café au lait, \U0001F600 déjà vu!\nNot this."));
    w.Select(11, 36);
    QStringList marked;
    QList<int> at;
    // Connected after the window's own handler, so the mark is already made.
    connect(control, &SpeechControl::WordReached, this, [&] {
        int where = -1;
        marked << w.Marked(&where);
        at << where;
    });
    w.form->cmdPlaySelected()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!control->IsSpeaking(), 30000);
    QCOMPARE(marked, QStringList({"Café", "au", "lait", "\U0001F600", "déjà", "vu"}));
    QCOMPARE(at, QList<int>({11, 16, 19, 25, 28, 33}));
    QCOMPARE(w.Marked(), QString()); // gone at the end
    QCOMPARE(w.Text().textCursor().selectionStart(), 11);
    QCOMPARE(w.Text().textCursor().selectionEnd(), 36);
}

namespace {

// The share of a rectangle of the picture drawn in exactly one colour.
double Share(const QImage &picture, const QRect &area, const QColor &colour) {
    int hits = 0, all = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x, ++all)
            hits += picture.pixelColor(x, y).rgb() == colour.rgb();
    return all ? double(hits) / all : 0.0;
}

} // namespace

// The marked word must show in its own colours wherever it lies, the user's
// selection included, and the rest of the selection keeps the selection colour.
void WordHighlightTest::markReadsOnSelectionAndBase_data() {
    QTest::addColumn<int>("anchor"); // -1: no selection
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("playSelected"); // else Play All
    QTest::newRow("no selection") << -1 << -1 << false;
    QTest::newRow("play selected, word inside the selection") << 0 << 23 << true;
    QTest::newRow("play selected, selected backwards") << 23 << 2 << true;
    QTest::newRow("selection ending inside the word") << 8 << 0 << false;
    QTest::newRow("selection starting inside the word") << 8 << 23 << false;
}

void WordHighlightTest::markReadsOnSelectionAndBase() {
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(bool, playSelected);
    const int start = 6, length = 6;
    Window w;
    w.form->resize(640, 480);
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    w.Text().setPlainText(QStringLiteral("Hello WWWWWW and more words here"));
    if (anchor >= 0)
        w.Select(anchor, position);
    (playSelected ? w.form->cmdPlaySelected() : w.form->cmdPlayAll())->click();
    w.Voice().Hear(playSelected ? start - std::min(anchor, position) : start, length);
    QCOMPARE(w.Marked(), QStringLiteral("WWWWWW"));

    const QImage picture = w.Text().grab().toImage();
    const QPoint view = w.Text().viewport()->pos();
    const auto rectOf = [&](int from, int to) {
        QTextCursor at(w.Text().document());
        at.setPosition(from);
        const QRect head = w.Text().cursorRect(at);
        at.setPosition(to);
        const QRect tail = w.Text().cursorRect(at);
        return QRect(head.topLeft(), QPoint(tail.left() - 1, head.bottom()))
            .translated(view)
            .adjusted(1, 1, -1, -1);
    };
    const double marked =
        Share(picture, rectOf(start, start + length), WordHighlight::Background());
    QVERIFY2(marked > 0.3,
             qPrintable(QStringLiteral("%1 of the word in the mark's colour").arg(marked)));
    // The mark's dark text is there too, not only its background.
    QVERIFY(Share(picture, rectOf(start, start + length), WordHighlight::Foreground()) > 0.02);
    if (anchor >= 0) {
        const int to = std::max(anchor, position);
        const QRect rest =
            to > start + length ? rectOf(start + length + 1, to) : rectOf(0, start - 1);
        const QColor selection = w.Text().palette().color(
            w.Text().isActiveWindow() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
        QVERIFY(Share(picture, rest, selection) > 0.3);
    }
}

QTEST_MAIN(WordHighlightTest)
#include "tst_wordhighlight.moc"
