// Bad files end to end: the real speech window with the real services of
// the program, File > Open answered through the real file dialog, one odd
// file after another. Each has one defined result (loaded, refused quietly,
// or "File does not exist" and the dialog again), and none may hang.
//
// Run as root, the test first becomes an unprivileged user, so that a file
// without read permission is really unreadable.
#include "app/frmmain.h"
#include "app/speechprogram.h"
#include "app/textcommands.h"
#include "app/textfile.h"
#include "hangguard.h"
#include "modalanswerer.h"
#include "platform/qt/messagebox.h"
#include "procstatus.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kBefore = QStringLiteral("The text before Open.");
constexpr char16_t kReplacement = 0xFFFD;

bool Write(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Utf16(const QString &text, bool bigEndian) {
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (const QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        bytes += bigEndian ? QByteArray{&hi, 1} + QByteArray{&lo, 1}
                           : QByteArray{&lo, 1} + QByteArray{&hi, 1};
    }
    return bytes;
}

// What the text box shows for a text, line ends and all.
QString AsShown(const QString &text) {
    QPlainTextEdit box;
    box.setPlainText(text);
    return box.toPlainText();
}

enum class Result {
    Loaded,    // the text box holds the file's text
    Unchanged, // the command ended quietly, the text as it was
    Missing,   // "File does not exist", the dialog again, then Cancel
    Refused,   // too large: a message saying so, the text as it was
};

QByteArray Repeated(const QByteArray &unit, qsizetype size) {
    QByteArray bytes;
    bytes.reserve(size + unit.size());
    while (bytes.size() < size)
        bytes += unit;
    bytes.truncate(size);
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(Result)

class BadFilesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openThroughTheDialog_data();
    void openThroughTheDialog();
    void directoryIsEnteredNotLoaded();

private:
    // Runs File > Open with the given dialog answers; the boxes shown come back.
    QList<ModalAnswerer::Box> Open(const QStringList &answers, int &dialogs);

    QTemporaryDir dir_;
    std::unique_ptr<SpeechProgram> program_;
    frmMain *window_ = nullptr;
};

void BadFilesTest::initTestCase() {
    QVERIFY(dir_.isValid());
    // As the program makes it.
    program_ = std::make_unique<SpeechProgram>();
    window_ = &program_->Window();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
}

QList<ModalAnswerer::Box> BadFilesTest::Open(const QStringList &answers, int &dialogs) {
    ModalAnswerer answerer(answers);
    HangGuard guard(60);
    guard.Step("File > Open");
    window_->Action(QStringLiteral("mnuFileOpen"))->trigger();
    guard.Step("loading");
    // A long load is no hang as long as the text keeps growing.
    const TextCommands *commands = window_->findChild<TextCommands *>();
    const QTextDocument *document = window_->txtSpeech()->document();
    int filled = -1;
    [[maybe_unused]] const bool ended = QTest::qWaitFor(
        [&] {
            if (document->characterCount() != filled) {
                filled = document->characterCount();
                guard.Step("loading");
            }
            return !commands->Loading();
        },
        600000);
    guard.Step("after File > Open");
    dialogs = answerer.dialogsShown;
    return answerer.boxes;
}

void BadFilesTest::openThroughTheDialog_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<Result>("result");
    QTest::addColumn<QString>("expected"); // for Loaded

    const QString utf16Text = QStringLiteral("Grüße, 世界 😀\r\nline two");
    QTest::newRow("binary") << "binary" << Result::Loaded << QString();
    QTest::newRow("invalid UTF-8")
        << "invalid-utf8" << Result::Loaded
        << QStringLiteral("caf%1 na%1ve\r\nok %1%1 end").arg(QChar(kReplacement));
    QTest::newRow("UTF-16 with mark") << "utf16le" << Result::Loaded << utf16Text;
    QTest::newRow("UTF-16 big-endian with mark") << "utf16be" << Result::Loaded << utf16Text;
    QTest::newRow("UTF-16 with a lone surrogate")
        << "utf16-lone" << Result::Loaded << QStringLiteral("a%1b%1").arg(QChar(kReplacement));
    QTest::newRow("UTF-8 opening with U+FFFE")
        << "fffe-first" << Result::Loaded << QStringLiteral("\uFFFEhello, not swapped");
    QTest::newRow("empty") << "empty" << Result::Loaded << QString();
    QTest::newRow("FIFO with no writer") << "fifo" << Result::Missing << QString();
    QTest::newRow("unreadable") << "unreadable" << Result::Unchanged << QString();
    QTest::newRow("read fails (/proc/self/mem)")
        << "/proc/self/mem" << Result::Unchanged << QString();
    QTest::newRow("vanished") << "vanished" << Result::Missing << QString();
    QTest::newRow("1 GB sparse") << "sparse" << Result::Unchanged << QString();
    QTest::newRow("/dev/zero") << "/dev/zero" << Result::Missing << QString();
    QTest::newRow("link to /dev/zero") << "zero-link" << Result::Missing << QString();
    QTest::newRow("link loop") << "loop" << Result::Missing << QString();
    QTest::newRow("name not valid UTF-8, typed as the toolkit reads it")
        << "nonutf8" << Result::Loaded << QStringLiteral("caf\u00e9 au lait");
    // Large files: within the memory budget they load, beyond it they are
    // refused before the box is touched.
    QTest::newRow("8 MiB of short lines") << "lines-8" << Result::Refused << QString();
    QTest::newRow("32 MiB of short lines") << "lines-32" << Result::Refused << QString();
    QTest::newRow("short lines at the budget")
        << "lines-budget" << Result::Loaded << QStringLiteral("a\n").repeated(2700000);
    QTest::newRow("one 16 MiB line") << "line-16" << Result::Refused << QString();
    QTest::newRow("the longest line allowed")
        << "line-longest" << Result::Loaded << QString(qsizetype(kMaxLineChars), u'w');
}

void BadFilesTest::openThroughTheDialog() {
    QFETCH(QString, name);
    QFETCH(Result, result);
    QFETCH(QString, expected);

    QString path = name.startsWith(u'/') ? name : dir_.filePath(name);
    if (name == QLatin1String("nonutf8")) {
        // Byte 0xFF is no UTF-8; the toolkit shows it as U+FFFD.
        const QByteArray native = QFile::encodeName(dir_.path()) + "/caf\xff.txt";
        QFile file;
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        QVERIFY(file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
        QVERIFY(file.write(expected.toUtf8()) > 0);
        path = QFile::decodeName(native);
    }
    if (name == QLatin1String("binary")) {
        QByteArray bytes;
        for (int i = 0; i < 1024; ++i)
            bytes += char((i * 167 + 13) & 0xFF);
        QVERIFY(Write(path, bytes));
    } else if (name == QLatin1String("invalid-utf8")) {
        QVERIFY(Write(path, "caf\xE9 na\xEFve\r\nok \xC0\xAF end"));
    } else if (name == QLatin1String("utf16le") || name == QLatin1String("utf16be")) {
        QVERIFY(Write(path, Utf16(expected, name.endsWith(QLatin1String("be")))));
    } else if (name == QLatin1String("utf16-lone")) {
        QVERIFY(Write(path, QByteArray("\xFF\xFE"
                                       "a\0\x3D\xD8"
                                       "b\0\x00\xDC",
                                       10)));
    } else if (name == QLatin1String("fffe-first")) {
        QVERIFY(Write(path, "\xEF\xBF\xBEhello, not swapped"));
    } else if (name == QLatin1String("empty")) {
        QVERIFY(Write(path, {}));
    } else if (name == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (name == QLatin1String("unreadable")) {
        QVERIFY(Write(path, "secret"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("this user reads files without read permission");
    } else if (name == QLatin1String("vanished")) {
        // Chosen by name, gone by the time Open looks for it.
        QVERIFY(Write(path, "here a moment ago"));
        QVERIFY(QFile::remove(path));
    } else if (name == QLatin1String("sparse")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(1) << 30));
    } else if (name == QLatin1String("zero-link")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else if (name == QLatin1String("loop")) {
        QCOMPARE(::symlink("loop", QFile::encodeName(path).constData()), 0);
    } else if (name.startsWith(QLatin1String("lines-")) && !expected.isEmpty()) {
        QVERIFY(Write(path, expected.toLatin1()));
    } else if (name.startsWith(QLatin1String("lines-"))) {
        QVERIFY(Write(path, Repeated("a\n", name.mid(6).toLongLong() * 1024 * 1024)));
    } else if (name == QLatin1String("line-16")) {
        QVERIFY(Write(path, Repeated("word ", 16 * 1024 * 1024)));
    } else if (name == QLatin1String("line-longest")) {
        QVERIFY(Write(path, expected.toLatin1()));
    }

    window_->txtSpeech()->setPlainText(kBefore);
    const long rssBefore = ProcStatus::Kib("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    int dialogs = 0;
    ProcStatus::ResetPeak();
    // A second answer of Cancel ends the loop when the dialog comes back.
    const QList<ModalAnswerer::Box> boxes = Open({path, QString()}, dialogs);
    qInfo("Open took %lld ms, RSS %+ld KiB", clock.elapsed(),
          ProcStatus::Kib("VmRSS:") - rssBefore);
    const long peak = ProcStatus::Kib("VmHWM:");
    QVERIFY2(peak < 0 || quint64(peak) * 1024 <= kMemoryBudgetBytes,
             qPrintable(QStringLiteral("peak RSS %1 KiB").arg(peak)));

    const QString text = window_->txtSpeech()->toPlainText();
    switch (result) {
    case Result::Loaded:
        QVERIFY(boxes.isEmpty());
        QCOMPARE(dialogs, 1);
        if (name == QLatin1String("binary")) {
            QVERIFY(text != kBefore);
            QVERIFY(text.contains(QChar(kReplacement)));
        } else if (expected.size() > 100000) {
            QVERIFY(text == expected); // no copy of a huge text in the log
        } else {
            QCOMPARE(text, AsShown(expected));
        }
        break;
    case Result::Refused:
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QStringLiteral("Zavren Speech"));
        QVERIFY2(boxes[0].text.contains(QStringLiteral("cannot be opened")) ||
                     boxes[0].text.contains(QStringLiteral("too large to open")),
                 qPrintable(boxes[0].text));
        QVERIFY(boxes[0].text.contains(QFileInfo(path).fileName()));
        QCOMPARE(dialogs, 1);
        QCOMPARE(text, kBefore);
        break;
    case Result::Unchanged:
        QVERIFY(boxes.isEmpty());
        QCOMPARE(dialogs, 1);
        QCOMPARE(text, kBefore);
        break;
    case Result::Missing:
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QStringLiteral("Zavren Speech"));
        QCOMPARE(boxes[0].text, QStringLiteral("File does not exist"));
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(dialogs, 2);
        QCOMPARE(text, kBefore);
        break;
    }
}

// The dialog itself never returns a folder: Enter on a folder's name opens
// the folder in the dialog, and Cancel then leaves the text alone.
void BadFilesTest::directoryIsEnteredNotLoaded() {
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("folder")));
    window_->txtSpeech()->setPlainText(kBefore);
    int dialogs = 0;
    const QList<ModalAnswerer::Box> boxes =
        Open({dir_.filePath(QStringLiteral("folder"))}, dialogs);
    QVERIFY(boxes.isEmpty());
    QCOMPARE(dialogs, 1);
    QCOMPARE(window_->txtSpeech()->toPlainText(), kBefore);
}

// Root reads every file whatever its permissions: become nobody first. The
// process stays dumpable so that LeakSanitizer can still inspect it.
static void DropRoot() {
    if (::geteuid() != 0)
        return;
    const gid_t nogroup = 65534;
    const uid_t nobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(nogroup, nogroup, nogroup) != 0 ||
        ::setresuid(nobody, nobody, nobody) != 0) {
        std::perror("dropping root");
        std::exit(1);
    }
    ::prctl(PR_SET_DUMPABLE, 1);
    qputenv("HOME", "/nonexistent");
    qunsetenv("XDG_RUNTIME_DIR");
}

int main(int argc, char *argv[]) {
    DropRoot();
    QApplication app(argc, argv);
    BadFilesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_badfiles.moc"
