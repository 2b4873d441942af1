#include "app/speechtextbox.h"
#include "app/textcommands.h"
#include "app/textfile.h"
#include "app/textload.h"
#include "platform/appidentity.h"
#include "platform/qt/keystrokes.h"
#include "textfiles.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kBefore = QStringLiteral("text before");
const QString kCancel; // a null name: the user cancels

enum class Command { Undo, Cut, Copy, Paste, Delete };

} // namespace

Q_DECLARE_METATYPE(Command)

class TextCommandsTest : public QObject {
    Q_OBJECT

private:
    QString Path(const QString &name) const { return dir_->filePath(name); }

    void WriteFile(const QString &name, const QByteArray &bytes) {
        QFile file(Path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    // A window with the text box and a button to take the focus away.
    std::unique_ptr<QWidget> window_;
    QPlainTextEdit *text_ = nullptr;
    QPushButton *button_ = nullptr;
    ServiceDoubles doubles_;
    ScriptedFileDialog &dialog_ = doubles_.fileDialog;
    RecordingBoxes &boxes_ = doubles_.boxes;
    QtKeystrokeInjector keystrokes_;
    TextCommands *commands_ = nullptr;
    std::unique_ptr<QTemporaryDir> dir_;

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        WriteFile(QStringLiteral("lf.txt"), "one\ntwo\nthree");
        WriteFile(QStringLiteral("crlf.txt"), "one\r\ntwo\r\nthree\r\n");
        WriteFile(QStringLiteral("empty.txt"), "");
        WriteFile(QStringLiteral(".hidden.txt"), "hidden");
        WriteFile(QStringLiteral("utf16.txt"), QByteArray("\xff\xfeh\0\xe9\0", 6));
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("folder.txt")));
        QCOMPARE(::mkfifo(QFile::encodeName(Path(QStringLiteral("fifo.txt"))).constData(), 0600),
                 0);
        // Looks like any file to the search; every read of it fails, even for root.
        QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), Path(QStringLiteral("broken.txt"))));
        QFile big(Path(QStringLiteral("big.txt")));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(kMaxTextFileBytes) + 1)); // sparse: costs no disk

        window_ = std::make_unique<QWidget>();
        window_->setWindowTitle(QStringLiteral("Zavren Speech 1.0.0"));
        auto *layout = new QVBoxLayout(window_.get());
        text_ = new SpeechTextBox(kBefore);
        button_ = new QPushButton(QStringLiteral("Play All"));
        layout->addWidget(button_);
        layout->addWidget(text_);

        dialog_.SetScript({});
        dialog_.shown = 0;
        boxes_.shown.clear();
        const Services services{boxes_, dialog_, keystrokes_, doubles_.registry,
                                doubles_.processes};
        commands_ = new TextCommands(text_, window_.get(), services);
    }
    void cleanup() {
        window_.reset();
        dir_.reset();
    }

    void newClearsAtOnce() {
        commands_->New();
        QCOMPARE(text_->toPlainText(), QString());
        QCOMPARE(dialog_.shown, 0);
        QVERIFY(boxes_.shown.isEmpty());
    }

    void open_data() {
        QTest::addColumn<QStringList>("picked");
        QTest::addColumn<QStringList>("lines"); // what the box then shows
        QTest::addColumn<int>("missingReported");

        const QStringList before{kBefore};
        const QStringList three{"one", "two", "three"};
        QTest::newRow("cancel") << QStringList{kCancel} << before << 0;
        QTest::newRow("lf file") << QStringList{"lf.txt"} << three << 0;
        QTest::newRow("crlf file") << QStringList{"crlf.txt"} << (three + QStringList{""}) << 0;
        QTest::newRow("empty file") << QStringList{"empty.txt"} << QStringList{""} << 0;
        QTest::newRow("utf-16 file with its mark")
            << QStringList{"utf16.txt"} << QStringList{QStringLiteral("h\u00e9")} << 0;
        QTest::newRow("missing, then existing")
            << QStringList{"nosuch.txt", "lf.txt"} << three << 1;
        QTest::newRow("missing twice, then cancel")
            << QStringList{"nosuch.txt", "nosuch.txt", kCancel} << before << 2;
        QTest::newRow("empty name, then cancel") << QStringList{"", kCancel} << before << 1;
        QTest::newRow("hidden file counts as missing")
            << QStringList{".hidden.txt", kCancel} << before << 1;
        QTest::newRow("directory counts as missing")
            << QStringList{"folder.txt", kCancel} << before << 1;
        QTest::newRow("fifo counts as missing") << QStringList{"fifo.txt", kCancel} << before << 1;
        QTest::newRow("unreadable file ends quietly") << QStringList{"broken.txt"} << before << 0;
        QTest::newRow("file over 256 MB ends quietly") << QStringList{"big.txt"} << before << 0;
    }
    void open() {
        QFETCH(QStringList, picked);
        QFETCH(QStringList, lines);
        QFETCH(int, missingReported);

        QStringList script;
        for (const QString &name : picked)
            script << (name.isNull() ? name : name.isEmpty() ? QString("") : Path(name));
        dialog_.SetScript(script);
        const FifoRescue rescue(Path(QStringLiteral("fifo.txt")));

        commands_->Open();
        QVERIFY(FinishOpen(commands_));

        QVERIFY2(!rescue.Rescued(), "the command waited on a fifo");
        QCOMPARE(dialog_.shown, int(picked.size()));
        QCOMPARE(text_->toPlainText().split(u'\n'), lines);
        QCOMPARE(boxes_.shown.size(), missingReported);
        for (const ShownBox &box : boxes_.shown) {
            QCOMPARE(box.title, QString::fromLatin1(AppIdentity::kTitle));
            QCOMPARE(box.text, QStringLiteral("File does not exist"));
            QCOMPARE(box.icon, MessageIcon::Critical);
        }
        QCOMPARE(window_->windowTitle(), QStringLiteral("Zavren Speech 1.0.0"));
    }

    void openKeepsWorkingAfterFailures() {
        const int before = OpenDescriptorCount();
        for (int i = 0; i < 50; ++i) {
            dialog_.SetScript({Path(QStringLiteral("broken.txt"))});
            commands_->Open();
            QVERIFY(FinishOpen(commands_));
            dialog_.SetScript({Path(QStringLiteral("big.txt"))});
            commands_->Open();
            QVERIFY(FinishOpen(commands_));
            QCOMPARE(text_->toPlainText(), kBefore);
        }
        dialog_.SetScript({Path(QStringLiteral("lf.txt"))});
        commands_->Open();
        QVERIFY(FinishOpen(commands_));
        QCOMPARE(text_->toPlainText(), QStringLiteral("one\ntwo\nthree"));
        QCOMPARE(OpenDescriptorCount(), before);
    }

    // Names that are not valid UTF-8 reach the program with replacement
    // characters in them; the file they stand for is still found and loaded.
    void nonUtf8Names_data() {
        QTest::addColumn<bool>("byOpenPath"); // else through the dialog
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message"); // part of it; empty: none
        const QString bad = QString(QChar::ReplacementCharacter);
        QTest::newRow("one file reads that way") << false << "one" + bad + ".txt"
                                                 << "found it"
                                                 << "";
        QTest::newRow("one file reads that way, named directly") << true << "one" + bad + ".txt"
                                                                 << "found it"
                                                                 << "";
        QTest::newRow("two files read the same way")
            << false << "two" + bad + ".txt" << kBefore << "is not valid UTF-8";
        QTest::newRow("two files read the same way, named directly")
            << true << "two" + bad + ".txt" << kBefore << "is not valid UTF-8";
        QTest::newRow("no file reads that way")
            << false << "none" + bad + ".txt" << kBefore << "File does not exist";
    }
    void nonUtf8Names() {
        QFETCH(bool, byOpenPath);
        QFETCH(QString, picked);
        QFETCH(QString, text);
        QFETCH(QString, message);
        const QByteArray folder = QFile::encodeName(dir_->path()) + '/';
        for (const QByteArray &name :
             {QByteArray("one\xff.txt"), QByteArray("two\xff.txt"), QByteArray("two\xfe.txt")}) {
            QFile file;
            const int fd = ::open((folder + name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            QVERIFY(fd >= 0);
            QVERIFY(file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
            file.write("found it");
        }

        if (byOpenPath) {
            commands_->OpenPath(Path(picked));
        } else {
            dialog_.SetScript({Path(picked), kCancel});
            commands_->Open();
        }
        QVERIFY(FinishOpen(commands_));

        QCOMPARE(text_->toPlainText(), text);
        QCOMPARE(boxes_.shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QVERIFY2(boxes_.shown[0].text.contains(message), qPrintable(boxes_.shown[0].text));
            QCOMPARE(dialog_.shown, byOpenPath ? 0 : 2); // and the dialog again
        }
    }

    // Cancel in the progress window, while the file is read or while the box
    // fills: the text before the Open comes back, and nothing can be typed
    // into the half-loaded box meanwhile.
    void cancelLeavesFormerText_data() {
        QTest::addColumn<bool>("whileFilling");
        QTest::addColumn<QString>("name");
        QTest::newRow("at once, while the file is read") << false << "long.txt";
        QTest::newRow("from the progress window, while the box fills") << true << "long.txt";
        QTest::newRow("a web page, at once, while it is read") << false << "long.html";
        QTest::newRow("a web page, while the box fills") << true << "long.html";
    }
    void cancelLeavesFormerText() {
        QFETCH(bool, whileFilling);
        QFETCH(QString, name);
        const bool page = name.endsWith(QLatin1String(".html"));
        QByteArray lines = page ? "<html><body>" : "";
        for (int i = 0; i < 600000; ++i)
            lines += (page ? "<p>line " : "line ") + QByteArray::number(i) + (page ? "</p>" : "\n");
        WriteFile(name, lines);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        dialog_.SetScript({Path(name)});

        commands_->Open();
        QVERIFY(commands_->Loading());
        QVERIFY(text_->isReadOnly());
        if (!whileFilling) {
            commands_->Load()->Cancel();
            QVERIFY(!commands_->Loading());
        } else {
            // The box fills while the event loop turns.
            QVERIFY(QTest::qWaitFor(
                [&] { return !commands_->Loading() || text_->document()->blockCount() > 1; },
                600000));
            if (!commands_->Loading())
                QSKIP("loaded before it could be cancelled");
            QVERIFY(text_->toPlainText() != kBefore);
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return !commands_->Loading() || (commands_->Load()->Progress() &&
                                                     commands_->Load()->Progress()->isVisible());
                },
                600000));
            if (!commands_->Loading())
                QSKIP("loaded before it could be cancelled");
            QProgressDialog *progress = commands_->Load()->Progress();
            QCOMPARE(progress->windowTitle(), QString::fromLatin1(AppIdentity::kTitle));
            QPushButton *cancel = progress->findChild<QPushButton *>();
            QVERIFY(cancel);
            cancel->click();
        }
        QVERIFY(FinishOpen(commands_));

        QCOMPARE(text_->toPlainText(), kBefore);
        QVERIFY(!text_->isReadOnly());
        QVERIFY(boxes_.shown.isEmpty());
        // A later Open works as ever.
        dialog_.SetScript({Path(QStringLiteral("lf.txt"))});
        commands_->Open();
        QVERIFY(FinishOpen(commands_));
        QCOMPARE(text_->toPlainText(), QStringLiteral("one\ntwo\nthree"));
    }

    // What Open leaves behind is what replacing the text leaves: no undo
    // step, not modified, the cursor at the start.
    void openLeavesNoUndoStep() {
        QTest::keyClicks(text_, QStringLiteral(" typed"));
        QVERIFY(text_->document()->isUndoAvailable());
        dialog_.SetScript({Path(QStringLiteral("crlf.txt"))});
        commands_->Open();
        QVERIFY(FinishOpen(commands_));
        QCOMPARE(text_->toPlainText(), QStringLiteral("one\ntwo\nthree\n"));
        QVERIFY(!text_->document()->isUndoAvailable());
        QVERIFY(!text_->document()->isModified());
        QCOMPARE(text_->textCursor().position(), 0);
        QVERIFY(!text_->isReadOnly());
    }

    void keyCommands_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed"); // typed at the end before the command
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("position");
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("clipboard");

        const QString hello = QStringLiteral("hello world");
        QTest::newRow("undo") << hello << "!!" << 11 << 11 << Command::Undo << hello << "clip";
        QTest::newRow("cut") << hello << "" << 0 << 6 << Command::Cut << "world"
                             << "hello ";
        QTest::newRow("copy") << hello << "" << 6 << 11 << Command::Copy << hello << "world";
        QTest::newRow("paste at the cursor")
            << hello << "" << 5 << 5 << Command::Paste << "helloclip world"
            << "clip";
        QTest::newRow("paste over the selection")
            << hello << "" << 6 << 11 << Command::Paste << "hello clip"
            << "clip";
        QTest::newRow("delete the selection") << hello << "" << 0 << 6 << Command::Delete << "world"
                                              << "clip";
        QTest::newRow("delete without selection: the next character")
            << hello << "" << 0 << 0 << Command::Delete << "ello world"
            << "clip";
        QTest::newRow("cut with nothing selected")
            << hello << "" << 3 << 3 << Command::Cut << hello << "clip";
    }
    void keyCommands() {
        QFETCH(QString, text);
        QFETCH(QString, typed);
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(Command, command);
        QFETCH(QString, after);
        QFETCH(QString, clipboard);

        window_->show();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QApplication::clipboard()->setText(QStringLiteral("clip"));
        text_->setPlainText(text);
        QTextCursor cursor = text_->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(typed); // an edit that undo can take back
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        text_->setTextCursor(cursor);
        button_->setFocus();
        const QString before = text_->toPlainText();

        switch (command) {
        case Command::Undo:
            commands_->Undo();
            break;
        case Command::Cut:
            commands_->Cut();
            break;
        case Command::Copy:
            commands_->Copy();
            break;
        case Command::Paste:
            commands_->Paste();
            break;
        case Command::Delete:
            commands_->Delete();
            break;
        }
        QCOMPARE(QApplication::focusWidget(), text_);
        QCOMPARE(text_->toPlainText(), before); // queued, not yet done
        QCoreApplication::processEvents();
        QCOMPARE(text_->toPlainText(), after);
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
    }

    // An empty X11 clipboard hands out data with no format at all, which the
    // toolkit's own paste crashes on.
    void pasteFromEmptyClipboard_data() {
        QTest::addColumn<bool>("fromMenu");
        QTest::addColumn<QKeyCombination>("key");
        QTest::newRow("Edit > Paste") << true << QKeyCombination();
        QTest::newRow("typed ctrl+V") << false << QKeyCombination(Qt::ControlModifier, Qt::Key_V);
        QTest::newRow("typed shift+insert")
            << false << QKeyCombination(Qt::ShiftModifier, Qt::Key_Insert);
    }
    void pasteFromEmptyClipboard() {
        QFETCH(bool, fromMenu);
        QFETCH(QKeyCombination, key);
        window_->show();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QApplication::clipboard()->setMimeData(new QMimeData);
        text_->setFocus();

        if (fromMenu) {
            commands_->Paste();
            QCoreApplication::processEvents();
        } else {
            QTest::keyClick(text_, key.key(), key.keyboardModifiers());
        }
        QCOMPARE(text_->toPlainText(), kBefore);
    }

    void selectAll_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty box") << "";
        QTest::newRow("one line") << "hello world";
        QTest::newRow("several lines") << "one\ntwo\n\nthree\n";
    }
    void selectAll() {
        QFETCH(QString, text);
        window_->show();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        text_->setPlainText(text);
        button_->setFocus();

        commands_->SelectAll();

        QCOMPARE(QApplication::focusWidget(), text_);
        const QTextCursor cursor = text_->textCursor();
        QCOMPARE(cursor.selectionStart(), 0);
        QCOMPARE(cursor.selectionEnd(), int(text.size()));
        QCOMPARE(cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n'), text);
    }
};

QTEST_MAIN(TextCommandsTest)
#include "tst_textcommands.moc"
