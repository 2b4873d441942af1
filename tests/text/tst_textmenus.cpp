#include "app/frmmain.h"
#include "platform/qt/keystrokes.h"
#include "speech/speechcontrol.h"
#include "textdoubles.h"

#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

namespace {

class RecordingKeystrokes final : public KeystrokeInjector {
public:
    bool Send(const QString &keys) override {
        sent << keys;
        return true;
    }
    QStringList sent;
};

// Counts what the window asks of its voice after start-up.
class CountingVoice final : public SpeechControl {
public:
    SpeechStatus Speak(const QString &) override { return Count(); }
    std::int32_t Pitch() const override { return 200; }
    void SetPitch(std::int32_t) override {}
    void SetSpeed(std::int32_t) override {}
    SpeechStatus StopSpeaking() override { return Count(); }
    int calls = 0;

private:
    SpeechStatus Count() {
        ++calls;
        return SpeechStatus::Ok();
    }
};

} // namespace

// The File and Edit menu items reach the text commands.
class TextMenusTest : public QObject {
    Q_OBJECT

private:
    ScriptedFileDialog dialog_;
    RecordingMessageBoxes boxes_;
    RecordingKeystrokes keys_;
    std::unique_ptr<frmMain> window_;
    CountingVoice *voice_ = nullptr;

    void Trigger(const char *name) {
        QAction *action = window_->Action(QString::fromLatin1(name));
        QVERIFY2(action, name);
        action->trigger();
    }

private slots:
    void init() {
        Services services;
        services.messageBoxes = &boxes_;
        services.fileDialog = &dialog_;
        services.keystrokes = &keys_;
        auto voice = std::make_unique<CountingVoice>();
        voice_ = voice.get();
        window_ = std::make_unique<frmMain>(services, std::move(voice));
        dialog_.shown = 0;
        keys_.sent.clear();
    }
    void cleanup() { window_.reset(); }

    void fileNewClears() {
        Trigger("mnuFileNew");
        QCOMPARE(window_->txtSpeech()->toPlainText(), QString());
        QCOMPARE(voice_->calls, 0);
    }

    void fileOpenLoads() {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("speech.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Read me\r\naloud");
        file.close();
        const QString caption = window_->windowTitle();
        dialog_.SetScript({file.fileName()});

        Trigger("mnuFileOpen");
        QVERIFY(FinishOpen(window_->findChild<TextCommands *>()));

        QCOMPARE(dialog_.shown, 1);
        QCOMPARE(window_->txtSpeech()->toPlainText(), QStringLiteral("Read me\naloud"));
        QCOMPARE(window_->windowTitle(), caption);
        QCOMPARE(voice_->calls, 0);
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
        QCOMPARE(keys_.sent, QStringList{keys});
    }

    void editSelectAll() {
        Trigger("mnuSelectAll");
        const QTextCursor cursor = window_->txtSpeech()->textCursor();
        QCOMPARE(cursor.selectedText(), QStringLiteral("Hello and welcome to Zavren Speech."));
    }
};

QTEST_MAIN(TextMenusTest)
#include "tst_textmenus.moc"
