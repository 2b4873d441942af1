#include "platform/qt/keystrokes.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QtTest>

Q_DECLARE_METATYPE(KeyStroke)

namespace {

KeyStroke Stroke(int key, Qt::KeyboardModifiers modifiers, const QString &text) {
    return {key, modifiers, text};
}

// Remembers every key event it is given, in order.
class KeyRecorder : public QLineEdit {
public:
    QStringList events;

protected:
    bool event(QEvent *e) override {
        if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
            const auto *key = static_cast<QKeyEvent *>(e);
            QStringList parts{e->type() == QEvent::KeyPress ? "press" : "release",
                              QKeySequence(key->key()).toString()};
            if (key->modifiers() & Qt::ControlModifier)
                parts << "ctrl";
            for (QChar c : key->text())
                parts << QString::number(c.unicode(), 16);
            events << parts.join(u' ');
        }
        return QLineEdit::event(e);
    }
};

} // namespace

class KeystrokesTest : public QObject {
    Q_OBJECT

private slots:
    void parses_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QList<KeyStroke>>("strokes");

        const auto ctrl = Qt::ControlModifier;
        QTest::newRow("empty") << QString() << QList<KeyStroke>{};
        QTest::newRow("ctrl+Z") << "^Z" << QList{Stroke(Qt::Key_Z, ctrl, "\x1a")};
        QTest::newRow("ctrl+z, lower case") << "^z" << QList{Stroke(Qt::Key_Z, ctrl, "\x1a")};
        QTest::newRow("plain characters")
            << "a1 "
            << QList{Stroke(Qt::Key_A, {}, "a"), Stroke(Qt::Key_1, {}, "1"),
                     Stroke(Qt::Key_Space, {}, " ")};
        QTest::newRow("shift+a") << "+a" << QList{Stroke(Qt::Key_A, Qt::ShiftModifier, "A")};
        QTest::newRow("alt+f") << "%f" << QList{Stroke(Qt::Key_F, Qt::AltModifier, "")};
        QTest::newRow("modifier holds for one key only")
            << "^ab" << QList{Stroke(Qt::Key_A, ctrl, "\x01"), Stroke(Qt::Key_B, {}, "b")};
        QTest::newRow("delete key") << "{DEL}" << QList{Stroke(Qt::Key_Delete, {}, "")};
        QTest::newRow("named key in any case")
            << "{Delete}" << QList{Stroke(Qt::Key_Delete, {}, "")};
        QTest::newRow("tilde is enter") << "~" << QList{Stroke(Qt::Key_Return, {}, "\r")};
        QTest::newRow("braced caret") << "{^}" << QList{Stroke(Qt::Key_AsciiCircum, {}, "^")};
        QTest::newRow("braced closing brace")
            << "{}}" << QList{Stroke(Qt::Key_BraceRight, {}, "}")};
        QTest::newRow("letter beyond ascii")
            << QStringLiteral("\u00e9") << QList{Stroke(0xc9, {}, QStringLiteral("\u00e9"))};
    }
    void parses() {
        QFETCH(QString, keys);
        QFETCH(QList<KeyStroke>, strokes);
        const std::optional<QList<KeyStroke>> parsed = ParseKeySequence(keys);
        QVERIFY(parsed);
        QCOMPARE(parsed->size(), strokes.size());
        for (qsizetype i = 0; i < strokes.size(); ++i) {
            QCOMPARE(parsed->at(i).key, strokes.at(i).key);
            QCOMPARE(parsed->at(i).modifiers, strokes.at(i).modifiers);
            QCOMPARE(parsed->at(i).text, strokes.at(i).text);
        }
    }

    void rejectsMalformed_data() {
        QTest::addColumn<QString>("keys");
        QTest::newRow("modifier alone") << "^";
        QTest::newRow("modifier at the end") << "a^";
        QTest::newRow("modifier twice") << "^^z";
        QTest::newRow("unclosed brace") << "{DEL";
        QTest::newRow("empty braces") << "{}";
        QTest::newRow("unknown name") << "{NOPE}";
        QTest::newRow("stray closing brace") << "a}";
        QTest::newRow("parentheses") << "^(ab)";
    }
    void rejectsMalformed() {
        QFETCH(QString, keys);
        QVERIFY(!ParseKeySequence(keys));
    }

    void sendsNothingWithoutFocus() {
        QtKeystrokeInjector injector;
        QVERIFY(!QApplication::focusWidget());
        QVERIFY(!injector.Send(QStringLiteral("a")));
        QVERIFY(injector.Send(QString())); // nothing to send is no failure
    }

    // What the focused widget receives, once the queue is processed.
    void queuesToFocusWidget_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("text");

        QTest::newRow("characters")
            << "ab" << true
            << QStringList{"press A 61", "release A 61", "press B 62", "release B 62"} << "ab";
        QTest::newRow("ctrl+z: modifier down first, up last")
            << "^z" << true
            << QStringList{"press Control ctrl", "press Z ctrl 1a", "release Z ctrl 1a",
                           "release Control"}
            << "";
        QTest::newRow("empty sequence") << "" << true << QStringList{} << "";
        QTest::newRow("malformed: nothing at all") << "ab{NOPE}" << false << QStringList{} << "";
    }
    void queuesToFocusWidget() {
        QFETCH(QString, keys);
        QFETCH(bool, sent);
        QFETCH(QStringList, events);
        QFETCH(QString, text);

        KeyRecorder recorder;
        recorder.show();
        recorder.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&recorder));
        recorder.setFocus();
        QCOMPARE(QApplication::focusWidget(), &recorder);

        QtKeystrokeInjector injector;
        QCOMPARE(injector.Send(keys), sent);
        QVERIFY2(recorder.events.isEmpty(), "keys must be queued, not delivered at once");
        QCoreApplication::processEvents();
        QCOMPARE(recorder.events, events);
        QCOMPARE(recorder.text(), text);
    }
};

QTEST_MAIN(KeystrokesTest)
#include "tst_keystrokes.moc"
