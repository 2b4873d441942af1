#include "app/frmmain.h"
#include "captionink.h"
#include "platform/qt/captionfont.h"
#include "platform/qt/twips.h"
#include "speechwindow.h"

#include <QAccessible>
#include <QAction>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

// A window whose voice starts at `pitch` and takes the focus or not.
struct Window : SpeechWindow {
    explicit Window(std::int32_t pitch = 200, Qt::FocusPolicy voiceFocus = Qt::NoFocus)
        : SpeechWindow(Voice(pitch, voiceFocus)) {}
    TwipsScale Scale() const { return TwipsScale(form.get()); }

private:
    static std::unique_ptr<RecordingVoice> Voice(std::int32_t pitch, Qt::FocusPolicy focus) {
        auto voice = std::make_unique<RecordingVoice>(pitch);
        voice->setFocusPolicy(focus);
        return voice;
    }
};

QStringList Captions(const QList<QAction *> &actions) {
    QStringList out;
    for (QAction *a : actions) {
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    return out;
}

} // namespace

class FrmMainTest : public QObject {
    Q_OBJECT
private slots:
    void LoadSetsCaptionTextAndFocus();
    void LoadSetsPitchFromVoice_data();
    void LoadSetsPitchFromVoice();
    void MenuBar();
    void MenuItems_data();
    void MenuItems();
    void ControlsAtDesignGeometry_data();
    void ControlsAtDesignGeometry();
    void ResizeFitsTextBox_data();
    void ResizeFitsTextBox();
    void MinimiseAndRestore();
    void FocusOrder_data();
    void FocusOrder();
    void EnterAndEscapeStayInTextBox();
    void ButtonKeys_data();
    void ButtonKeys();
    void CaptionsInsideControls_data();
    void CaptionsInsideControls();
    void AccessibleNames_data();
    void AccessibleNames();
    void NoDefaultButton();
    void ExitClosesWithoutQuestion_data();
    void ExitClosesWithoutQuestion();
};

void FrmMainTest::LoadSetsCaptionTextAndFocus() {
    Window w;
    QCOMPARE(w.form->windowTitle(), QStringLiteral("Zavren Speech 1.0.0"));
    QCOMPARE(w.form->txtSpeech()->toPlainText(),
             QStringLiteral("Hello and welcome to Zavren Speech."));
    QCOMPARE(w.form->sldSpeed()->value(), 84);
    QVERIFY(!w.voice->calls.join(',').contains(QStringLiteral("SetSpeed")));
    QVERIFY(!w.form->windowIcon().isNull());
    w.Show();
    QCOMPARE(w.form->focusWidget(), w.form->txtSpeech());
    QCOMPARE(w.form->txtSpeech()->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(w.form->txtSpeech()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(w.form->txtSpeech()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

void FrmMainTest::LoadSetsPitchFromVoice_data() {
    QTest::addColumn<int>("voicePitch");
    QTest::addColumn<int>("sliderPosition");
    QTest::addColumn<QStringList>("calls");
    // A move of the slider writes its position back to the voice.
    QTest::newRow("inside the range") << 200 << 200 << QStringList{"SetPitch:200"};
    QTest::newRow("at the lower end, no change") << 84 << 84 << QStringList{};
    QTest::newRow("at the upper end") << 338 << 338 << QStringList{"SetPitch:338"};
    QTest::newRow("above the range settles at the top")
        << 1000 << 338 << QStringList{"SetPitch:338"};
    QTest::newRow("below the range stays at the bottom") << -5 << 84 << QStringList{};
}

void FrmMainTest::LoadSetsPitchFromVoice() {
    QFETCH(int, voicePitch);
    QFETCH(int, sliderPosition);
    QFETCH(QStringList, calls);
    Window w(voicePitch);
    QCOMPARE(w.form->sldPitch()->value(), sliderPosition);
    QCOMPARE(w.voice->calls, calls);
}

void FrmMainTest::MenuBar() {
    Window w;
    const QList<QAction *> menus = w.form->menuBar()->actions();
    QCOMPARE(Captions(menus), (QStringList{"&File", "&Edit", "&Help"}));
    QStringList names;
    for (QAction *a : menus) {
        names << a->menu()->objectName();
    }
    QCOMPARE(names, (QStringList{"mnuFile", "mnuEdit", "mnuHelp"}));
}

void FrmMainTest::MenuItems_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("File") << "mnuFile"
                          << QStringList{"mnuFileNew",     "mnuFileOpen",         "mnuFileSpacer",
                                         "mnuFilePlayAll", "mnuFilePlaySelected", "mnuFilePause",
                                         "mnuFileStop",    "mnuFileSpacer2",      "mnuFileExit"}
                          << QStringList{"&New",   "&Open", "-", "&Play", "Play Selected",
                                         "&Pause", "&Stop", "-", "E&xit"};
    QTest::newRow("Edit") << "mnuEdit"
                          << QStringList{"mnuUndo",        "mnuEditSpacer1", "mnuCut",
                                         "mnuCopy",        "mnuPaste",       "mnuDelete",
                                         "mnuEditSpacer2", "mnuSelectAll"}
                          << QStringList{"&Undo",  "-",       "&Cut", "&Copy",
                                         "&Paste", "&Delete", "-",    "&Select All"};
    QTest::newRow("Help") << "mnuHelp" << QStringList{"mnuHelpHowToUse", "mnuHelpAbout"}
                          << QStringList{"&How To Use", "&About Zavren Speech"};
}

void FrmMainTest::MenuItems() {
    QFETCH(QString, menu);
    QFETCH(QStringList, names);
    QFETCH(QStringList, captions);
    Window w;
    auto *m = w.form->menuBar()->findChild<QMenu *>(menu);
    QVERIFY(m);
    const QList<QAction *> items = m->actions();
    QCOMPARE(Captions(items), captions);
    for (qsizetype i = 0; i < items.size(); ++i) {
        QCOMPARE(items[i]->objectName(), names[i]);
        QCOMPARE(w.form->Action(names[i]), items[i]);
        QVERIFY2(items[i]->shortcut().isEmpty(), qPrintable(names[i]));
        // Only Pause is never available.
        QCOMPARE(items[i]->isEnabled(), names[i] != QLatin1String("mnuFilePause"));
        QVERIFY(items[i]->isVisible());
    }
}

void FrmMainTest::ControlsAtDesignGeometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("DirectSS1") << "DirectSS1" << QRect(1620, 1500, 1335, 1035);
    QTest::newRow("cmdPlayAll") << "cmdPlayAll" << QRect(3300, 1920, 1215, 495);
    QTest::newRow("sldPitch") << "sldPitch" << QRect(1260, 300, 7095, 495);
    QTest::newRow("sldSpeed") << "sldSpeed" << QRect(1260, 1020, 7095, 495);
    QTest::newRow("cmdStop") << "cmdStop" << QRect(6480, 1920, 1215, 495);
    QTest::newRow("cmdPlaySelected") << "cmdPlaySelected" << QRect(4920, 1920, 1215, 495);
    QTest::newRow("lblPitch") << "lblPitch" << QRect(180, 300, 975, 495);
    QTest::newRow("lblSpeed") << "lblSpeed" << QRect(180, 1020, 975, 375);
}

void FrmMainTest::ControlsAtDesignGeometry() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    Window w;
    w.Show();
    auto *control = w.form->findChild<QWidget *>(name);
    QVERIFY(control);
    QVERIFY(control->isVisible());
    const TwipsScale scale = w.Scale();
    QCOMPARE(control->geometry(),
             scale.ToPixels(twips.x(), twips.y(), twips.width(), twips.height()));
    // Twips measure from the client area: the menu bar lies above it.
    QCOMPARE(control->parentWidget(), w.form->centralWidget());
}

void FrmMainTest::ResizeFitsTextBox_data() {
    QTest::addColumn<int>("widthTwips");
    QTest::addColumn<int>("heightTwips");
    QTest::addColumn<int>("expectedOuterHeightTwips");
    QTest::newRow("as designed") << 0 << 0 << 0;
    QTest::newRow("larger") << 12000 << 9000 << 9000;
    QTest::newRow("short springs back to 4000") << 9345 << 2000 << 4000;
    QTest::newRow("just at 4000") << 9345 << 4000 << 4000;
    QTest::newRow("narrow") << 1500 << 6000 << 6000;
    QTest::newRow("narrow and short") << 900 << 1000 << 4000;
}

void FrmMainTest::ResizeFitsTextBox() {
    QFETCH(int, widthTwips);
    QFETCH(int, heightTwips);
    QFETCH(int, expectedOuterHeightTwips);
    Window w;
    w.Show();
    const TwipsScale s = w.Scale();
    // Sizes are outer sizes; the offscreen platform draws a thin frame too.
    const QSize frame = w.form->frameGeometry().size() - w.form->size();
    if (widthTwips > 0) {
        w.form->resize(s.ToPixelsX(widthTwips) - frame.width(),
                       s.ToPixelsY(heightTwips) - frame.height());
    }
    if (expectedOuterHeightTwips > 0) {
        QTRY_COMPARE(w.form->frameGeometry().height(), s.ToPixelsY(expectedOuterHeightTwips));
    }
    QTest::qWait(20);

    const QRect outer = w.form->frameGeometry();
    const QRect box = w.form->txtSpeech()->geometry();
    const QRect client = w.form->centralWidget()->rect();
    QCOMPARE(box.left(), 0);
    QCOMPARE(box.top(), s.ToPixelsY(1920 + 495 + 200));
    QCOMPARE(box.width(), s.ToPixelsX(s.ToTwipsX(outer.width()) - 100));
    QCOMPARE(box.height(), s.ToPixelsY(s.ToTwipsY(outer.height()) - 3300));
    QVERIFY2(client.contains(box), "text box must stay inside the client area");
    if (expectedOuterHeightTwips == 4000) {
        QCOMPARE(box.height(), s.ToPixelsY(700));
    }
}

void FrmMainTest::MinimiseAndRestore() {
    Window w;
    w.Show();
    const TwipsScale s = w.Scale();
    w.form->resize(s.ToPixelsX(11000), s.ToPixelsY(8000));
    QTRY_COMPARE(w.form->height(), s.ToPixelsY(8000));
    const QRect before = w.form->txtSpeech()->geometry();

    w.form->showMinimized();
    QTRY_VERIFY(w.form->isMinimized());
    QCOMPARE(w.form->txtSpeech()->geometry(), before);

    w.form->showNormal();
    QTRY_VERIFY(!w.form->isMinimized());
    QTest::qWait(20);
    QCOMPARE(w.form->txtSpeech()->geometry(), before);
    QVERIFY(w.form->centralWidget()->rect().contains(w.form->txtSpeech()->geometry()));
}

void FrmMainTest::FocusOrder_data() {
    QTest::addColumn<bool>("voiceTakesFocus");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("voice without focus")
        << false << QStringList{"txtSpeech", "cmdPlayAll",      "sldPitch", "sldSpeed",
                                "cmdStop",   "cmdPlaySelected", "txtSpeech"};
    QTest::newRow("voice taking focus")
        << true << QStringList{"txtSpeech", "DirectSS1", "cmdPlayAll",      "sldPitch",
                               "sldSpeed",  "cmdStop",   "cmdPlaySelected", "txtSpeech"};
}

void FrmMainTest::FocusOrder() {
    QFETCH(bool, voiceTakesFocus);
    QFETCH(QStringList, order);
    Window w(200, voiceTakesFocus ? Qt::StrongFocus : Qt::NoFocus);
    w.Show();
    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    QStringList seen{QApplication::focusWidget()->objectName()};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, order);
}

void FrmMainTest::EnterAndEscapeStayInTextBox() {
    Window w;
    w.Show();
    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    QPlainTextEdit *text = w.form->txtSpeech();
    text->setPlainText(QStringLiteral("ab"));
    text->moveCursor(QTextCursor::End);
    w.voice->calls.clear();
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClick(text, Qt::Key_Enter);
    QTest::keyClick(text, Qt::Key_Escape);
    QCOMPARE(text->toPlainText(), QStringLiteral("ab\n\n"));
    QCOMPARE(w.voice->calls, QStringList{});
    QVERIFY(w.form->isVisible());
    QCOMPARE(QApplication::focusWidget(), text);
}

void FrmMainTest::ButtonKeys_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("heldDown"); // the key repeats once after its press
    QTest::addColumn<int>("presses");
    QTest::newRow("Enter on Play All")
        << "cmdPlayAll" << int(Qt::Key_Return) << int(Qt::NoModifier) << false << 1;
    QTest::newRow("keypad Enter on Play Selected")
        << "cmdPlaySelected" << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << false << 1;
    QTest::newRow("Enter on STOP")
        << "cmdStop" << int(Qt::Key_Return) << int(Qt::NoModifier) << false << 1;
    QTest::newRow("Enter held down presses once")
        << "cmdPlayAll" << int(Qt::Key_Return) << int(Qt::NoModifier) << true << 1;
    QTest::newRow("space on STOP")
        << "cmdStop" << int(Qt::Key_Space) << int(Qt::NoModifier) << false << 1;
    QTest::newRow("Ctrl+Enter presses nothing")
        << "cmdPlayAll" << int(Qt::Key_Return) << int(Qt::ControlModifier) << false << 0;
    QTest::newRow("Escape presses nothing")
        << "cmdStop" << int(Qt::Key_Escape) << int(Qt::NoModifier) << false << 0;
}

void FrmMainTest::ButtonKeys() {
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, heldDown);
    QFETCH(int, presses);
    Window w;
    w.Show();
    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    auto *pressed = w.form->findChild<QPushButton *>(button);
    QVERIFY(pressed);
    pressed->setFocus();
    const QString text = w.form->txtSpeech()->toPlainText();
    const QList<QPushButton *> buttons = w.form->findChildren<QPushButton *>();
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (QPushButton *b : buttons) {
        spies.push_back(std::make_unique<QSignalSpy>(b, &QPushButton::clicked));
    }
    const auto k = Qt::Key(key);
    const auto m = Qt::KeyboardModifiers(modifiers);
    QTest::keyPress(pressed, k, m);
    if (heldDown) {
        QKeyEvent repeat(QEvent::KeyPress, k, m, QString(), true);
        QApplication::sendEvent(pressed, &repeat);
    }
    QTest::keyRelease(pressed, k, m);

    for (qsizetype i = 0; i < buttons.size(); ++i) {
        const QPushButton *b = buttons[i];
        QCOMPARE(spies[static_cast<std::size_t>(i)]->count(), b == pressed ? presses : 0);
        // Pressing by Enter does not make a default button of it.
        QVERIFY2(!b->isDefault() && !b->autoDefault(), qPrintable(b->objectName()));
    }
    QCOMPARE(QApplication::focusWidget(), pressed);
    QCOMPARE(w.form->txtSpeech()->toPlainText(), text);
    QVERIFY(w.form->isVisible());
}

void FrmMainTest::CaptionsInsideControls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<qreal>("pointSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QMarginsF>("air"); // the least, between the text and each edge
    const QMarginsF button(4, 2, 4, 2);
    const QMarginsF label(0, 0, 2, 1); // left and top aligned
    QTest::newRow("Play All") << "cmdPlayAll" << 8.0 << false << button;
    QTest::newRow("Play Selected") << "cmdPlaySelected" << 8.0 << false << button;
    QTest::newRow("STOP") << "cmdStop" << 8.0 << false << button;
    QTest::newRow("Pitch:") << "lblPitch" << 12.0 << true << label;
    QTest::newRow("Speed:") << "lblSpeed" << 12.0 << true << label;
}

// Read off the window as shown, at whatever scale the test runs.
void FrmMainTest::CaptionsInsideControls() {
    QFETCH(QString, name);
    QFETCH(qreal, pointSize);
    QFETCH(bool, bold);
    QFETCH(QMarginsF, air);
    Window w;
    w.Show();
    auto *control = w.form->findChild<QWidget *>(name);
    QVERIFY(control);
    const QMarginsF shown = CaptionAir(w.form.get(), control);
    const QString why = QStringLiteral("air around the text %1,%2,%3,%4 in %5 %6pt")
                            .arg(shown.left())
                            .arg(shown.top())
                            .arg(shown.right())
                            .arg(shown.bottom())
                            .arg(QFontInfo(control->font()).family())
                            .arg(control->font().pointSizeF());
    QVERIFY2(shown.left() >= air.left() && shown.top() >= air.top() &&
                 shown.right() >= air.right() && shown.bottom() >= air.bottom(),
             qPrintable(why));

    // A face with the design's widths keeps the designed size; the system's
    // font may have been made smaller instead.
    const QFont font = control->font();
    QCOMPARE(font.bold(), bold);
    const QStringList design = CaptionFont::DesignFamilies();
    const QStringList installed = QFontDatabase::families();
    const bool designInstalled = std::any_of(design.begin(), design.end(), [&](const QString &f) {
        return installed.contains(f, Qt::CaseInsensitive);
    });
    if (designInstalled) {
        QVERIFY2(design.contains(QFontInfo(font).family(), Qt::CaseInsensitive), qPrintable(why));
        QCOMPARE(font.pointSizeF(), pointSize);
    } else {
        QVERIFY(font.pointSizeF() <= pointSize);
    }
}

void FrmMainTest::AccessibleNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("accessibleName");
    QTest::newRow("txtSpeech") << "txtSpeech"
                               << "Text to speak";
    QTest::newRow("sldPitch") << "sldPitch"
                              << "Pitch";
    QTest::newRow("sldSpeed") << "sldSpeed"
                              << "Speed";
    QTest::newRow("cmdPlayAll") << "cmdPlayAll"
                                << "Play All";
    QTest::newRow("cmdPlaySelected") << "cmdPlaySelected"
                                     << "Play Selected";
    QTest::newRow("cmdStop") << "cmdStop"
                             << "STOP";
    QTest::newRow("DirectSS1") << "DirectSS1"
                               << "Voice";
}

void FrmMainTest::AccessibleNames() {
    QFETCH(QString, name);
    QFETCH(QString, accessibleName);
    Window w;
    w.Show();
    auto *control = w.form->findChild<QWidget *>(name);
    QVERIFY(control);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), accessibleName);
}

void FrmMainTest::NoDefaultButton() {
    Window w;
    for (QPushButton *b : w.form->findChildren<QPushButton *>()) {
        QVERIFY2(!b->isDefault() && !b->autoDefault(), qPrintable(b->objectName()));
    }
}

void FrmMainTest::ExitClosesWithoutQuestion_data() {
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("File > Exit") << true;
    QTest::newRow("close box") << false;
}

void FrmMainTest::ExitClosesWithoutQuestion() {
    QFETCH(bool, byMenu);
    Window w;
    w.Show();
    w.form->cmdPlayAll()->click(); // speaking
    // The program's loop must end by itself; the guard only catches a hang.
    QTimer::singleShot(0, w.form.get(), [&] {
        if (byMenu) {
            w.form->Action(QStringLiteral("mnuFileExit"))->trigger();
        } else {
            w.form->windowHandle()->close(); // the way the close box asks
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!w.form->isVisible());
    QVERIFY(w.boxes.shown.isEmpty());
}

QTEST_MAIN(FrmMainTest)
#include "tst_frmmain.moc"
