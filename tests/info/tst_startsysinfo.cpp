#include "doubles.h"
#include "info/sysinfo.h"
#include "platform/normalfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The same search the About window uses, over real files.
bool Found(const std::string &path) {
    return NormalFileExists(path);
}

std::vector<unsigned char> Sz(const std::string &text) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

} // namespace

class TestStartSysInfo : public QObject {
    Q_OBJECT
private slots:
    void firstValue_data();
    void firstValue();
    void secondValue_data();
    void secondValue();
    void neitherValue();
    void everyKeyClosed_data();
    void everyKeyClosed();

private:
    QTemporaryDir dir_;
};

void TestStartSysInfo::firstValue_data() {
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("startWorks");
    QTest::addColumn<QByteArray>("startedPath");
    QTest::addColumn<bool>("result");

    const QByteArray nowhere("C:\\No Such Folder\\msinfo32.exe");
    // Started unchanged, without looking whether it exists.
    QTest::newRow("path that starts") << 1u << nowhere + '\0' << true << nowhere << true;
    QTest::newRow("path whose start fails") << 1u << nowhere + '\0' << false << nowhere << false;
    QTest::newRow("path with blanks, no zero") << 1u << QByteArray("/opt/sys info/tool") << true
                                               << QByteArray("/opt/sys info/tool") << true;
    // Another type leaves the path empty: the start of nothing fails.
    QTest::newRow("binary value") << 3u << QByteArray("\x01", 1) << false << QByteArray() << false;
    QTest::newRow("dword value") << 4u << QByteArray("\x07\x00\x00\x00", 4) << false
                                 << QByteArray("7") << false;
}

// Whatever becomes of the first value, the second is never read.
void TestStartSysInfo::firstValue() {
    QFETCH(uint, type);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, startWorks);
    QFETCH(QByteArray, startedPath);
    QFETCH(bool, result);

    QVERIFY(dir_.isValid());
    QFile program(dir_.filePath(QStringLiteral("MSINFO32.EXE")));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.close();

    RegistryDouble registry;
    registry.Set(SysInfo::kPathKey, "PATH", type, Bytes(bytes.toStdString()));
    registry.Set(SysInfo::kLocationKey, "MSINFO", Reg::kTypeSz,
                 Sz(QDir::toNativeSeparators(dir_.path()).toStdString()));
    ProcessDouble processes;
    processes.succeed = startWorks;

    QCOMPARE(SysInfo::StartSysInfo(registry, processes, Found), result);
    QCOMPARE(processes.started, std::vector<std::string>{startedPath.toStdString()});
    QCOMPARE(registry.keysAsked, std::vector<std::string>{SysInfo::kPathKey});
    QCOMPARE(registry.valuesAsked, std::vector<std::string>{"PATH"});
    QCOMPARE(registry.OpenNow(), 0);
}

void TestStartSysInfo::secondValue_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("asFolder");
    QTest::addColumn<bool>("trailingSeparator");
    QTest::addColumn<bool>("started");

    QTest::newRow("folder holding MSINFO32.EXE") << "MSINFO32.EXE" << false << false << true;
    QTest::newRow("folder with separator at its end") << "MSINFO32.EXE" << false << true << true;
    QTest::newRow("folder holding nothing") << QString() << false << false << false;
    QTest::newRow("folder holding another name") << "msinfo.exe" << false << false << false;
    QTest::newRow("MSINFO32.EXE is a folder") << "MSINFO32.EXE" << true << false << false;
}

void TestStartSysInfo::secondValue() {
    QFETCH(QString, fileName);
    QFETCH(bool, asFolder);
    QFETCH(bool, trailingSeparator);
    QFETCH(bool, started);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (asFolder) {
        QVERIFY(QDir(folder.path()).mkdir(fileName));
    } else if (!fileName.isEmpty()) {
        QFile file(folder.filePath(fileName));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    std::string folderText = QDir::toNativeSeparators(folder.path()).toStdString();
    if (trailingSeparator)
        folderText += kRegistryFolderSeparator;
    const std::string expected = folderText + kRegistryFolderSeparator + "MSINFO32.EXE";

    RegistryDouble registry;
    registry.Set(SysInfo::kLocationKey, "MSINFO", Reg::kTypeSz, Sz(folderText));
    ProcessDouble processes;

    QCOMPARE(SysInfo::StartSysInfo(registry, processes, Found), started);
    if (started)
        QCOMPARE(processes.started, std::vector<std::string>{expected});
    else
        QVERIFY(processes.started.empty());
    QCOMPARE(registry.keysAsked,
             (std::vector<std::string>{SysInfo::kPathKey, SysInfo::kLocationKey}));
    QCOMPARE(registry.OpenNow(), 0);
}

void TestStartSysInfo::neitherValue() {
    RegistryDouble registry;
    ProcessDouble processes;
    QVERIFY(!SysInfo::StartSysInfo(registry, processes, Found));
    QVERIFY(processes.started.empty());

    // The keys without the values come to the same.
    registry.SetKey(SysInfo::kPathKey);
    registry.SetKey(SysInfo::kLocationKey);
    QVERIFY(!SysInfo::StartSysInfo(registry, processes, Found));
    QVERIFY(processes.started.empty());
    QCOMPARE(registry.opens, 2);
    QCOMPARE(registry.closes, 2);
}

void TestStartSysInfo::everyKeyClosed_data() {
    QTest::addColumn<bool>("firstEmpty");
    QTest::addColumn<QByteArray>("secondBytes");
    QTest::addColumn<int>("keysOpened");

    // Empty data fails outright: the message, without reading the second value.
    QTest::newRow("first value with empty data") << true << QByteArray("x") << 1;
    QTest::newRow("second value with empty data") << false << QByteArray() << 1;
    QTest::newRow("second value of 2000 bytes") << false << QByteArray(2000, 'd') << 1;
    QTest::newRow("second value with a zero inside") << false << QByteArray("/bin\0/x", 7) << 1;
}

void TestStartSysInfo::everyKeyClosed() {
    QFETCH(bool, firstEmpty);
    QFETCH(QByteArray, secondBytes);
    QFETCH(int, keysOpened);

    RegistryDouble registry;
    if (firstEmpty)
        registry.Set(SysInfo::kPathKey, "PATH", Reg::kTypeSz, {});
    registry.Set(SysInfo::kLocationKey, "MSINFO", Reg::kTypeSz, Bytes(secondBytes.toStdString()));
    ProcessDouble processes;
    bool ok = true;
    QVERIFY(!SysInfo::StartSysInfo(registry, processes, [&](const std::string &path) {
        // A zero byte would cut the name short; it must never get this far.
        ok = path.find('\0') == std::string::npos;
        return Found(path);
    }));
    QVERIFY(ok);
    QVERIFY(processes.started.empty());
    QCOMPARE(registry.opens, keysOpened);
    QCOMPARE(registry.closes, keysOpened);
}

QTEST_GUILESS_MAIN(TestStartSysInfo)
#include "tst_startsysinfo.moc"
