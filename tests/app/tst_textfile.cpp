#include "app/textfile.h"
#include "platform/normalfile.h"
#include "platform/qt/nativename.h"
#include "platform/regularfile.h"
#include "textfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Make { File, Directory, Fifo, Missing, NullDevice, ReadError, NoPermission, Sparse };

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

std::filesystem::path Native(const QString &path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

Q_DECLARE_METATYPE(Make)
Q_DECLARE_METATYPE(ReadFileStatus)

class TextFileTest : public QObject {
    Q_OBJECT

private:
    QString Path(const QString &name) const { return dir_.filePath(name); }

    QString WriteFile(const QString &name, const QByteArray &bytes) {
        QFile file(Path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return file.fileName();
    }

    // Makes the thing a row asks for and returns its path.
    QString Prepare(Make make, const QByteArray &contents, qint64 size) {
        switch (make) {
        case Make::File:
            return WriteFile(QStringLiteral("file.txt"), contents);
        case Make::Directory:
            QDir(dir_.path()).mkdir(QStringLiteral("folder"));
            return Path(QStringLiteral("folder"));
        case Make::Fifo:
            ::mkfifo(QFile::encodeName(Path(QStringLiteral("fifo"))).constData(), 0600);
            return Path(QStringLiteral("fifo"));
        case Make::Missing:
            return Path(QStringLiteral("missing.txt"));
        case Make::NullDevice:
            return QStringLiteral("/dev/null");
        case Make::ReadError:
            // Opens like any file, even for root, and every read fails.
            return QStringLiteral("/proc/self/mem");
        case Make::NoPermission: {
            const QString path = WriteFile(QStringLiteral("locked.txt"), "secret");
            QFile::setPermissions(path, {});
            return path;
        }
        case Make::Sparse: {
            QFile file(Path(QStringLiteral("sparse.txt")));
            if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
                qFatal("cannot make a sparse file");
            return file.fileName();
        }
        }
        return {};
    }

    QTemporaryDir dir_;

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void cleanup() {
        QFile::setPermissions(Path(QStringLiteral("locked.txt")),
                              QFile::ReadOwner | QFile::WriteOwner);
        dir_.remove();
        dir_ = QTemporaryDir();
    }

    void readsWholeRegularFilesOnly_data() {
        QTest::addColumn<Make>("make");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qulonglong>("maxBytes");
        QTest::addColumn<ReadFileStatus>("status");

        const qulonglong limit = kMaxTextFileBytes;
        const QByteArray text("line one\r\nline two\n");
        QTest::newRow("text file") << Make::File << text << 0LL << limit << ReadFileStatus::Ok;
        QTest::newRow("empty file")
            << Make::File << QByteArray() << 0LL << limit << ReadFileStatus::Ok;
        QTest::newRow("exactly at the limit")
            << Make::File << text << 0LL << qulonglong(text.size()) << ReadFileStatus::Ok;
        QTest::newRow("one byte over the limit")
            << Make::File << text << 0LL << qulonglong(text.size() - 1) << ReadFileStatus::TooLarge;
        QTest::newRow("over 256 MB")
            << Make::Sparse << QByteArray() << qint64(kMaxTextFileBytes) + 1 << limit
            << ReadFileStatus::TooLarge;
        QTest::newRow("directory")
            << Make::Directory << QByteArray() << 0LL << limit << ReadFileStatus::NotRegular;
        QTest::newRow("fifo without writer")
            << Make::Fifo << QByteArray() << 0LL << limit << ReadFileStatus::NotRegular;
        QTest::newRow("device") << Make::NullDevice << QByteArray() << 0LL << limit
                                << ReadFileStatus::NotRegular;
        QTest::newRow("missing") << Make::Missing << QByteArray() << 0LL << limit
                                 << ReadFileStatus::CannotOpen;
        QTest::newRow("every read fails")
            << Make::ReadError << QByteArray() << 0LL << limit << ReadFileStatus::ReadFailed;
        QTest::newRow("no permission")
            << Make::NoPermission << QByteArray() << 0LL << limit << ReadFileStatus::CannotOpen;
    }
    void readsWholeRegularFilesOnly() {
        QFETCH(Make, make);
        QFETCH(QByteArray, contents);
        QFETCH(qint64, size);
        QFETCH(qulonglong, maxBytes);
        QFETCH(ReadFileStatus, status);
        if (make == Make::NoPermission && RunningAsRoot())
            QSKIP("root reads every file");
        if (make == Make::ReadError && !QFile::exists(QStringLiteral("/proc/self/mem")))
            QSKIP("no /proc here");

        const QString path = Prepare(make, contents, size);
        const FifoRescue rescue(path);
        std::string bytes = "left over";
        QCOMPARE(ReadRegularFile(QFile::encodeName(path).toStdString(), maxBytes, bytes), status);
        QVERIFY2(!rescue.Rescued(), "the read waited for a writer");
        QCOMPARE(QByteArray::fromStdString(bytes),
                 status == ReadFileStatus::Ok ? contents : QByteArray());
    }

    void decodes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");

        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("utf-8 without a mark (the system code page)")
            << QByteArray("h\xc3\xa9llo") << QStringLiteral("h\u00e9llo");
        QTest::newRow("utf-8 with a mark")
            << QByteArray("\xef\xbb\xbfh\xc3\xa9") << QStringLiteral("h\u00e9");
        QTest::newRow("utf-16le with a mark")
            << QByteArray("\xff\xfeh\0\xe9\0\x0d\0\x0a\0", 10) << QStringLiteral("h\u00e9\r\n");
        QTest::newRow("utf-16be with a mark")
            << QByteArray("\xfe\xff\0h\x04\x10", 6) << QStringLiteral("h\u0410");
        QTest::newRow("utf-16 cut off in the last character")
            << QByteArray("\xff\xfeh\0i", 5) << QStringLiteral("h\ufffd");
        QTest::newRow("utf-32le with a mark")
            << QByteArray("\xff\xfe\0\0h\0\0\0", 8) << QStringLiteral("h");
        QTest::newRow("invalid bytes become replacement characters")
            << QByteArray("a\xff"
                          "b\xc3z")
            << QStringLiteral("a\ufffdb\ufffdz");
        QTest::newRow("character cut off at the end")
            << QByteArray("ab\xe2\x82") << QStringLiteral("ab\ufffd\ufffd");
        QTest::newRow("binary bytes are kept")
            << QByteArray("\0\x01\x02x\0", 5) << QString::fromLatin1("\0\x01\x02x\0", 5);
        QTest::newRow("line breaks as they are")
            << QByteArray("a\r\nb\nc\rd") << QStringLiteral("a\r\nb\nc\rd");
    }
    void decodes() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const std::optional<QString> decoded =
            DecodeTextFile(std::string_view(bytes.constData(), size_t(bytes.size())));
        QVERIFY(decoded);
        QCOMPARE(*decoded, text);
    }

    // Lines as the text box counts them, and the least the undecoded bytes
    // could make: never more than the decoded text really has.
    void measuresLines_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qulonglong>("lines");
        QTest::addColumn<qulonglong>("longest");
        QTest::newRow("empty") << QByteArray() << 1ULL << 0ULL;
        QTest::newRow("no break") << QByteArray("abc") << 1ULL << 3ULL;
        QTest::newRow("LF, last line empty") << QByteArray("ab\ncdef\n") << 3ULL << 4ULL;
        QTest::newRow("CR LF is one break") << QByteArray("ab\r\ncd") << 2ULL << 2ULL;
        QTest::newRow("CR alone breaks") << QByteArray("ab\rcd\r") << 3ULL << 2ULL;
        QTest::newRow("LF CR is two") << QByteArray("a\n\rb") << 3ULL << 1ULL;
        QTest::newRow("paragraph separator breaks") << QByteArray("ab\xe2\x80\xa9"
                                                                  "c")
                                                    << 2ULL << 2ULL;
        QTest::newRow("utf-16 with its mark") << QByteArray("\xff\xfe"
                                                            "a\0\n\0\x0a\x0a",
                                                            8)
                                              << 2ULL << 1ULL;
    }
    void measuresLines() {
        QFETCH(QByteArray, bytes);
        QFETCH(qulonglong, lines);
        QFETCH(qulonglong, longest);
        const std::string_view view(bytes.constData(), size_t(bytes.size()));
        const std::optional<QString> text = DecodeTextFile(view);
        QVERIFY(text);
        const TextShape shape = MeasureText(*text);
        QCOMPARE(qulonglong(shape.lines), lines);
        QCOMPARE(qulonglong(shape.longestLine), longest);
        QCOMPARE(shape.chars, std::uint64_t(text->size()));
        // What a box filled with the text counts.
        QTextDocument box;
        box.setPlainText(*text);
        QCOMPARE(qulonglong(box.blockCount()), lines);
        const TextShape least = LeastShape(view);
        QVERIFY(least.lines <= shape.lines);
        QVERIFY(least.chars <= shape.chars);
        QVERIFY(least.longestLine <= shape.longestLine);
    }

    // A name the toolkit read with a replacement character finds its file
    // again, if only one file in the folder reads that way.
    void findsNamesThatAreNotUtf8_data() {
        QTest::addColumn<QByteArrayList>("files"); // made in the folder
        QTest::addColumn<QString>("asked");        // as the toolkit reads it
        QTest::addColumn<QByteArrayList>("found");
        const QString bad(QChar::ReplacementCharacter);
        QTest::newRow("valid name")
            << QByteArrayList{"caf\xc3\xa9.txt"} << QStringLiteral("caf\u00e9.txt")
            << QByteArrayList{"caf\xc3\xa9.txt"};
        QTest::newRow("byte 0xFF") << QByteArrayList{"caf\xff.txt", "other.txt"}
                                   << "caf" + bad + ".txt" << QByteArrayList{"caf\xff.txt"};
        QTest::newRow("Latin-1 e acute") << QByteArrayList{"caf\xe9.txt"} << "caf" + bad + ".txt"
                                         << QByteArrayList{"caf\xe9.txt"};
        QTest::newRow("two read alike")
            << QByteArrayList{"caf\xff.txt", "caf\xfe.txt"} << "caf" + bad + ".txt"
            << QByteArrayList{"caf\xfe.txt", "caf\xff.txt"};
        QTest::newRow("none reads so") << QByteArrayList{"cafe.txt"} << "caf" + bad + ".txt"
                                       << QByteArrayList{"caf\xef\xbf\xbd.txt"};
        QTest::newRow("a real replacement character")
            << QByteArrayList{"caf\xef\xbf\xbd.txt", "caf\xff.txt"} << "caf" + bad + ".txt"
            << QByteArrayList{"caf\xef\xbf\xbd.txt"};
    }
    void findsNamesThatAreNotUtf8() {
        QFETCH(QByteArrayList, files);
        QFETCH(QString, asked);
        QFETCH(QByteArrayList, found);
        const QByteArray folder = QFile::encodeName(dir_.path()) + '/';
        for (const QByteArray &name : files) {
            const int fd = ::open((folder + name).constData(), O_WRONLY | O_CREAT, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        QByteArrayList names;
        for (const std::string &native : NativeFileNames(Path(asked)))
            names << QByteArray::fromStdString(native).mid(folder.size());
        std::sort(names.begin(), names.end());
        QCOMPARE(names, found);
        if (found.size() == 1)
            QCOMPARE(ReadTextFile(std::filesystem::path(NativeFileNames(Path(asked)).front())),
                     files.contains(found.front()) ? std::optional<QString>(QString())
                                                   : std::nullopt);
        // As File > Open and the command line find it.
        const FoundTextFile file = FindTextFile(Path(asked));
        QCOMPARE(file.sameNames, std::size_t(found.size()));
        QCOMPARE(file.Found(), found.size() == 1 && files.contains(found.front()));
        if (file.Found())
            QCOMPARE(QByteArray::fromStdString(file.native), folder + found.front());
    }

    void readsLargeFileWhole() {
        QByteArray line("The quick brown fox jumps over the lazy dog. \xc3\xa9\xe2\x82\xac\r\n");
        QByteArray bytes;
        bytes.reserve(10 * 1024 * 1024 + line.size());
        while (bytes.size() < 10 * 1024 * 1024)
            bytes += line;
        const QString path = WriteFile(QStringLiteral("large.txt"), bytes);
        const std::optional<QString> text = ReadTextFile(Native(path));
        QVERIFY(text);
        QCOMPARE(*text, QString::fromUtf8(bytes));
    }

    // A file that passed the existence test and then vanished, or was
    // replaced by a FIFO, before it could be read.
    void changedAfterSearch_data() {
        QTest::addColumn<bool>("replaceWithFifo");
        QTest::newRow("vanished") << false;
        QTest::newRow("replaced by a fifo") << true;
    }
    void changedAfterSearch() {
        QFETCH(bool, replaceWithFifo);
        const QString path = WriteFile(QStringLiteral("brief.txt"), "here a moment");
        QVERIFY(NormalFileExists(QFile::encodeName(path).toStdString()));
        QVERIFY(QFile::remove(path));
        if (replaceWithFifo)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        const FifoRescue rescue(path);
        QVERIFY(!ReadTextFile(Native(path)));
        QVERIFY2(!rescue.Rescued(), "the read waited for a writer");
    }

    void neverLeavesFilesOpen() {
        const QString good = WriteFile(QStringLiteral("good.txt"), "fine");
        const QString big = WriteFile(QStringLiteral("big.txt"), "four");
        QDir(dir_.path()).mkdir(QStringLiteral("folder"));
        const QString fifo = Path(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const FifoRescue rescue(fifo);

        const int before = OpenDescriptorCount();
        for (int i = 0; i < 200; ++i) {
            QVERIFY(!ReadTextFile("/proc/self/mem"));
            QVERIFY(!ReadTextFile(Native(big), 3));
            QVERIFY(!ReadTextFile(Native(fifo)));
            QVERIFY(!ReadTextFile(Native(Path(QStringLiteral("folder")))));
            QVERIFY(!ReadTextFile(Native(Path(QStringLiteral("missing")))));
            QCOMPARE(ReadTextFile(Native(good)), QStringLiteral("fine"));
        }
        QCOMPARE(OpenDescriptorCount(), before);
    }
};

QTEST_GUILESS_MAIN(TextFileTest)
#include "tst_textfile.moc"
