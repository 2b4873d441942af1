#include "app/frmmain.h"
#include "speechwindow.h"
#include "textfiles.h"

#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

// The File and Edit menu items reach the text commands.
class TextMenusTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SpeechWindow> speech_;
    frmMain *window_ = nullptr;
    ScriptedFileDialog *dialog_ = nullptr;
    RecordingKeystrokes *keys_ = nullptr;
    RecordingVoice *voice_ = nullptr;

    void Trigger(const char *name) {
        QAction *action = window_->Action(QString::fromLatin1(name));
        QVERIFY2(action, name);
        action->trigger();
    }

private slots:
    void init() {
        speech_ = std::make_unique<SpeechWindow>();
        window_ = speech_->form.get();
        dialog_ = &speech_->doubles.fileDialog;
        keys_ = &speech_->doubles.keystrokes;
        voice_ = speech_->voice;
        voice_->calls.clear(); // what start-up asked of the voice is another test's concern
    }
    void cleanup() { speech_.reset(); }

    void fileNewClears() {
        Trigger("mnuFileNew");
        QCOMPARE(window_->txtSpeech()->toPlainText(), QString());
        QCOMPARE(voice_->calls, QStringList());
    }

    void fileOpenLoads() {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("speech.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Read me\r\naloud");
        file.close();
        const QString caption = window_->windowTitle();
        dialog_->SetScript({file.fileName()});

        Trigger("mnuFileOpen");
        QVERIFY(FinishOpen(window_->findChild<TextCommands *>()));

        QCOMPARE(dialog_->shown, 1);
        QCOMPARE(window_->txtSpeech()->toPlainText(), QStringLiteral("Read me\naloud"));
        QCOMPARE(window_->windowTitle(), caption);
        QCOMPARE(voice_->calls, QStringList());
    }

    void editItemsSendKeys_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("keys");
        QTest::newRow("undo") << "mnuUndo"
                              << "^Z";
        QTest::newRow("cut") << "mnuCut"
                             << "^X";
        QTest::newRow("copy") << "mnuCopy"
                              << "^C";
        QTest::newRow("paste") << "mnuPaste"
                               << "^V";
        QTest::newRow("delete") << "mnuDelete"
                                << "{DEL}";
    }
    void editItemsSendKeys() {
        QFETCH(QString, item);
        QFETCH(QString, keys);
        Trigger(item.toLatin1().constData());
        QCOMPARE(keys_->sent, QStringList{keys});
    }

    void editSelectAll() {
        Trigger("mnuSelectAll");
        const QTextCursor cursor = window_->txtSpeech()->textCursor();
        QCOMPARE(cursor.selectedText(), QStringLiteral("Hello and welcome to Zavren Speech."));
    }
};

QTEST_MAIN(TextMenusTest)
#include "tst_textmenus.moc"
