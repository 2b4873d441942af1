#include "platform/process.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString Write(const QString &path, const QByteArray &content, bool executable) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(content);
    file.close();
    QFileDevice::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        permissions |= QFile::ExeOwner;
    file.setPermissions(permissions);
    return path;
}

} // namespace

class TestProcessStart : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void failedStartIsReported_data();
    void failedStartIsReported();
    void startsDetachedWithoutWaiting();
    void passesOnlyStandardDescriptors_data();
    void passesOnlyStandardDescriptors();

private:
    QTemporaryDir dir_;
};

void TestProcessStart::initTestCase() {
    QVERIFY(dir_.isValid());
}

void TestProcessStart::failedStartIsReported_data() {
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no such file") << (dir_.path() + QStringLiteral("/nothing")).toLocal8Bit();
    QTest::newRow("folder") << dir_.path().toLocal8Bit();
    QTest::newRow("not executable")
        << Write(dir_.filePath(QStringLiteral("plain")), "#!/bin/sh\nexit 0\n", false)
               .toLocal8Bit();
    QTest::newRow("executable but not a program")
        << Write(dir_.filePath(QStringLiteral("noscript")), "echo hello\n", true).toLocal8Bit();
    QTest::newRow("bare name, no search") << QByteArray("sh");
    QTest::newRow("zero inside the path") << QByteArray("/bin/sh\0-c", 10);
}

void TestProcessStart::failedStartIsReported() {
    QFETCH(QByteArray, path);
    const auto processes = CreateSystemProcessStarter();
    QVERIFY(!processes->StartDetached(path.toStdString()));
    // The helper process is reaped; nothing is left for us to wait for.
    QCOMPARE(::waitpid(-1, nullptr, WNOHANG), pid_t(-1));
    QCOMPARE(errno, ECHILD);
}

void TestProcessStart::startsDetachedWithoutWaiting() {
    const QString started = dir_.filePath(QStringLiteral("started"));
    const QString release = dir_.filePath(QStringLiteral("release"));
    const QString finished = dir_.filePath(QStringLiteral("finished"));
    // Tells it has started and how, then waits (at most 30 s) to be released.
    const QByteArray script = "#!/bin/sh\n"
                              "echo \"$# $0\" > '" +
                              started.toLocal8Bit() +
                              "'\n"
                              "n=0\n"
                              "while [ ! -e '" +
                              release.toLocal8Bit() +
                              "' ] && [ $n -lt 300 ]; do sleep 0.1; n=$((n+1)); done\n"
                              "touch '" +
                              finished.toLocal8Bit() + "'\n";
    const QString program = Write(dir_.filePath(QStringLiteral("tool with blank")), script, true);
    QVERIFY(!program.isEmpty());

    const auto processes = CreateSystemProcessStarter();
    QVERIFY(processes->StartDetached(program.toStdString()));
    // Returned while the program still runs, and it is not our child.
    QVERIFY(!QFile::exists(finished));
    QCOMPARE(::waitpid(-1, nullptr, WNOHANG), pid_t(-1));
    QCOMPARE(errno, ECHILD);

    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(started).size() > 0, 20000);
    QFile report(started);
    QVERIFY(report.open(QIODevice::ReadOnly));
    QCOMPARE(report.readAll().trimmed(), "0 " + program.toLocal8Bit());

    QVERIFY(Write(release, "", false) == release);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(finished), 20000);
}

void TestProcessStart::passesOnlyStandardDescriptors_data() {
    QTest::addColumn<int>("extra"); // a descriptor held open without close-on-exec; -1: none
    QTest::newRow("nothing extra") << -1;
    QTest::newRow("extra at 3") << 3;
    QTest::newRow("extra at 10") << 10;
    QTest::newRow("extra at 1000") << 1000;
}

void TestProcessStart::passesOnlyStandardDescriptors() {
    QFETCH(int, extra);
    const QString list = dir_.filePath(QStringLiteral("descriptors"));
    QFile::remove(list);
    // ls lists its own descriptors: 0 to 2 and the one it reads the folder with.
    const QString program =
        Write(dir_.filePath(QStringLiteral("list descriptors")),
              "#!/bin/sh\nls /proc/self/fd > '" + list.toLocal8Bit() + ".part' && mv '" +
                  list.toLocal8Bit() + ".part' '" + list.toLocal8Bit() + "'\n",
              true);
    int held = -1;
    if (extra >= 0) {
        const int fd = ::open("/dev/null", O_RDONLY); // inherited unless closed
        QVERIFY(fd >= 0);
        held = fd == extra ? fd : ::dup2(fd, extra);
        if (fd != extra)
            ::close(fd);
        QCOMPARE(held, extra);
    }
    const auto processes = CreateSystemProcessStarter();
    const bool started = processes->StartDetached(program.toStdString());
    if (held >= 0)
        ::close(held);
    QVERIFY(started);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(list), 20000);
    QFile report(list);
    QVERIFY(report.open(QIODevice::ReadOnly));
    QCOMPARE(report.readAll().simplified(), QByteArray("0 1 2 3"));
}

QTEST_GUILESS_MAIN(TestProcessStart)
#include "tst_processstart.moc"
