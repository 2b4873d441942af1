// Files reaching the window (the command line, a drop) and Save Speech As,
// which runs the real program to write the file.
#include "app/commandline.h"
#include "app/frmmain.h"
#include "app/speechsaver.h"
#include "memoryaudiooutput.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speechwindow.h"

#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QUrl>
#include <QtTest>
#include <memory>
#include <sndfile.h>

namespace {
const QString kWelcome = QStringLiteral("Hello and welcome to Zavren Speech.");

enum class Way { CommandLine, Drop, DropOnButton };

double Seconds(const QString &path) {
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return -1;
    sf_close(file);
    return info.samplerate > 0 ? double(info.frames) / info.samplerate : -1;
}
} // namespace

Q_DECLARE_METATYPE(Way)

class FilesAndSpeechTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<SpeechWindow> window_;
    frmMain *form_ = nullptr;
    RecordingBoxes *boxes_ = nullptr;
    EspeakSpeechControl *voice_ = nullptr;

    QString Path(const QString &name) const { return dir_->filePath(name); }
    QStringList Entries() const {
        return QDir(dir_->path())
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    SpeechSaver *Saver() const { return form_->findChild<SpeechSaver *>(); }
    void Drop(QMimeData *mime, QWidget *on = nullptr) {
        QWidget *viewport = on ? on : form_->txtSpeech()->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
    }
    // Chooses Save Speech As on the voice's menu, answering the dialog with `path`.
    void SaveAs(const QString &path, bool subtitles = false) {
        Saver()->SetProgram(QStringLiteral(ZAVREN_SPEECH_BINARY));
        Saver()->SetAskTarget([path, subtitles](QWidget *) {
            return std::optional<SpeechSaver::Target>({path, subtitles});
        });
        std::unique_ptr<QMenu> menu(voice_->CreateVoiceMenu());
        menu->findChild<QAction *>(QStringLiteral("mnuSaveSpeechAs"))->trigger();
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        auto voice = std::make_unique<EspeakSpeechControl>(std::make_unique<MemoryAudioOutput>());
        voice_ = voice.get();
        window_ = std::make_unique<SpeechWindow>(std::move(voice));
        form_ = window_->form.get();
        boxes_ = &window_->boxes;
        window_->Show();
        QFile file(Path(QStringLiteral("story.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xEF\xBB\xBFOnce upon a time.\r\n");
    }
    void cleanup() { window_.reset(); }

    // A file named on the command line or dropped opens as File > Open
    // would; a missing one is refused with the same message.
    void openPaths_data() {
        QTest::addColumn<Way>("way");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("command-line file") << Way::CommandLine << "story.txt"
                                           << "Once upon a time.\n"
                                           << "";
        QTest::newRow("dropped file") << Way::Drop << "story.txt"
                                      << "Once upon a time.\n"
                                      << "";
        QTest::newRow("file dropped on a button") << Way::DropOnButton << "story.txt"
                                                  << "Once upon a time.\n"
                                                  << "";
        QTest::newRow("dropped web page") << Way::Drop << "page.html"
                                          << "Tale\n\nOnce upon a time."
                                          << "";
        QTest::newRow("command-line Markdown file") << Way::CommandLine << "notes.md"
                                                    << "Tale\n\nOnce upon a time."
                                                    << "";
        QTest::newRow("command-line missing file")
            << Way::CommandLine << "missing.txt" << kWelcome << "File does not exist";
        QTest::newRow("dropped missing file")
            << Way::Drop << "missing.txt" << kWelcome << "File does not exist";
    }
    void openPaths() {
        QFETCH(Way, way);
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFile page(Path(QStringLiteral("page.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!DOCTYPE html><html><head><script>alert(1)</script></head><body>"
                   "<h1>Tale</h1><p>Once upon\na time.</p></body></html>");
        page.close();
        QFile notes(Path(QStringLiteral("notes.md")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("# Tale\n\nOnce *upon* a time.\n");
        notes.close();
        if (way == Way::CommandLine) {
            OpenAtStart(*form_, Path(name));
        } else {
            auto mime = std::make_unique<QMimeData>();
            mime->setUrls({QUrl::fromLocalFile(Path(name))});
            mime->setText(QUrl::fromLocalFile(Path(name)).toString());
            Drop(mime.get(), way == Way::DropOnButton ? form_->cmdStop() : nullptr);
        }
        QTRY_COMPARE(form_->txtSpeech()->toPlainText(), text);
        QTest::qWait(50);
        QCOMPARE(boxes_->shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(boxes_->shown.front().text, message);
    }

    // Dropped text is still inserted where it falls.
    void droppedTextIsInserted() {
        QMimeData mime;
        mime.setText(QStringLiteral("Dropped "));
        Drop(&mime);
        QTRY_VERIFY(form_->txtSpeech()->toPlainText().contains(QLatin1String("Dropped ")));
        QVERIFY(form_->txtSpeech()->toPlainText().contains(kWelcome));
    }

    // The selection alone is written; the editor speaks meanwhile.
    void saveSelection() {
        form_->txtSpeech()->setPlainText(
            QStringLiteral("Short one. And then a much longer sentence that follows the first "
                           "one and goes on for quite a while."));
        QTextCursor cursor(form_->txtSpeech()->document());
        cursor.setPosition(0);
        cursor.setPosition(10, QTextCursor::KeepAnchor);
        form_->txtSpeech()->setTextCursor(cursor);
        QSignalSpy finished(Saver(), &SpeechSaver::Finished);
        SaveAs(Path(QStringLiteral("short.mp3")), true);
        QVERIFY(Saver()->Busy());
        QVERIFY(Saver()->Progress());
        QCOMPARE(Saver()->Progress()->accessibleName(), QStringLiteral("Saving speech"));
        QVERIFY(Saver()->Progress()->findChild<QPushButton *>(QStringLiteral("cmdCancel")));
        form_->cmdPlayAll()->click();
        QVERIFY(voice_->IsSpeaking());
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.front().front().toBool(), true);
        const double shortOne = Seconds(Path(QStringLiteral("short.mp3")));
        QVERIFY2(shortOne > 0.4 && shortOne < 2.0, qPrintable(QString::number(shortOne)));
        QCOMPARE(Entries(), (QStringList{"short.lrc", "short.mp3", "short.srt", "story.txt"}));

        form_->txtSpeech()->moveCursor(QTextCursor::End); // no selection: all of it
        SaveAs(Path(QStringLiteral("all.wav")));
        QVERIFY(finished.wait(60000));
        QVERIFY(Seconds(Path(QStringLiteral("all.wav"))) > shortOne * 3);
        QVERIFY(boxes_->shown.empty());
    }

    // The dialog's choice of parts, as the writer is asked for it: the top
    // sections inside the text saved, by the lines they start at.
    void splitChoice_data() {
        QTest::addColumn<int>("split");
        QTest::addColumn<int>("from");
        QTest::addColumn<QStringList>("args");
        const QString path = QStringLiteral("/music/My Book.OGG");
        QTest::newRow("one file") << int(SpeechSaver::Split::None) << 0
                                  << QStringList{"--speak-to", path};
        QTest::newRow("a file per section, in a folder")
            << int(SpeechSaver::Split::Sections) << 0
            << QStringList{"--speak-to", "/music/My Book", "--split", "sections",         "--title",
                           "My Book",    "--format",       "ogg",     "--split-at-lines", "3,5"};
        QTest::newRow("chapters of a selection")
            << int(SpeechSaver::Split::Chapters) << 19
            << QStringList{"--speak-to", path,       "--split", "chapters",         "--title",
                           "My Book",    "--format", "ogg",     "--split-at-lines", "2"};
    }
    void splitChoice() {
        QFETCH(int, split);
        QFETCH(int, from);
        QFETCH(QStringList, args);
        // Lines: "Preface", "Words.", "One", "Part", "Two", "End."
        const QString box = QStringLiteral("Preface\nWords.\nOne\nPart\nTwo\nEnd.\n");
        const QList<DocumentSection> sections{{QStringLiteral("One"), 1, 15},
                                              {QStringLiteral("Part"), 2, 19},
                                              {QStringLiteral("Two"), 1, 24}};
        const QString text = box.mid(from); // a selection from "Part" on: "Two" alone is on top
        QCOMPARE(SpeechSaver::TargetArguments(
                     {QStringLiteral("/music/My Book.OGG"), false, SpeechSaver::Split(split)}, text,
                     from, sections),
                 args);
    }

    // Cancel halfway leaves nothing; a failure says why and leaves nothing.
    void cancelOrFail_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("target");
        QTest::newRow("cancel halfway") << true << "long.ogg";
        QTest::newRow("folder missing") << false << "no/such/folder/long.ogg";
    }
    void cancelOrFail() {
        QFETCH(bool, cancel);
        QFETCH(QString, target);
        QString text;
        for (int i = 0; i < 1000; ++i)
            text += QStringLiteral("This sentence is one of many in a long text.\n");
        form_->txtSpeech()->setPlainText(text);
        QSignalSpy finished(Saver(), &SpeechSaver::Finished);
        SaveAs(Path(target));
        if (cancel) {
            QProgressBar *bar = Saver()->Progress()->findChild<QProgressBar *>();
            QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 30000);
            Saver()->Progress()->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
        }
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.front().front().toBool(), false);
        QCOMPARE(Entries(), QStringList{"story.txt"});
        QCOMPARE(form_->txtSpeech()->toPlainText(), text);
        QCOMPARE(boxes_->shown.size(), cancel ? 0 : 1);
        if (!cancel)
            QVERIFY(boxes_->shown.front().text.contains(QLatin1String("Cannot write to")));
    }
};

QTEST_MAIN(FilesAndSpeechTest)
#include "tst_filesandspeech.moc"
