#include "doubles.h"
#include "info/sysinfo.h"
#include "platform/registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void MakeFile(const QString &path, bool executable) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nexit 0\n");
    file.close();
    QFileDevice::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        permissions |= QFile::ExeOwner;
    QVERIFY(file.setPermissions(permissions));
}

// The view reads PATH each time the key is opened.
class SearchPath {
public:
    explicit SearchPath(const QByteArray &value) : saved_(qgetenv("PATH")) {
        qputenv("PATH", value);
    }
    ~SearchPath() { qputenv("PATH", saved_); }

private:
    QByteArray saved_;
};

std::string ReadSysInfoPath(Registry &registry, bool *read) {
    std::string value;
    *read = SysInfo::GetKeyValue(registry, Reg::kHKeyLocalMachine, SysInfo::kPathKey,
                                 SysInfo::kPathValue, value);
    return value;
}

} // namespace

class TestHostRegistry : public QObject {
    Q_OBJECT
private slots:
    void findsSysInfoProgram_data();
    void findsSysInfoProgram();
    void keepsToRegistryConventions();
    void emptyViewMeansUnavailable();

private:
    QTemporaryDir dir_;
};

void TestHostRegistry::findsSysInfoProgram_data() {
    QTest::addColumn<QStringList>("files");      // folder/name, a leading ! for not executable
    QTest::addColumn<QStringList>("searchPath"); // folders below the temporary one
    QTest::addColumn<QString>("expected");       // folder/name, or empty for an empty view

    QTest::newRow("nothing installed") << QStringList{} << QStringList{"a", "b"} << QString();
    QTest::newRow("one program") << QStringList{"b/gnome-system-monitor"} << QStringList{"a", "b"}
                                 << "b/gnome-system-monitor";
    QTest::newRow("earlier folder wins for the same program")
        << QStringList{"a/kinfocenter", "b/kinfocenter"} << QStringList{"a", "b"}
        << "a/kinfocenter";
    QTest::newRow("better-known program wins over folder order")
        << QStringList{"a/gnome-system-monitor", "b/hardinfo"} << QStringList{"a", "b"}
        << "b/hardinfo";
    QTest::newRow("not executable is skipped")
        << QStringList{"!a/hardinfo", "b/kinfocenter"} << QStringList{"a", "b"} << "b/kinfocenter";
    QTest::newRow("folder with the name is skipped")
        << QStringList{"a/hardinfo/x", "b/kinfocenter"} << QStringList{"a", "b"} << "b/kinfocenter";
    QTest::newRow("folder outside the search path")
        << QStringList{"c/hardinfo"} << QStringList{"a", "b"} << QString();
    QTest::newRow("trailing slash and empty entries")
        << QStringList{"b/mate-system-monitor"} << QStringList{"", "b/", ""}
        << "b/mate-system-monitor";
}

void TestHostRegistry::findsSysInfoProgram() {
    QFETCH(QStringList, files);
    QFETCH(QStringList, searchPath);
    QFETCH(QString, expected);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    for (QString file : files) {
        const bool executable = !file.startsWith(QLatin1Char('!'));
        if (!executable)
            file.remove(0, 1);
        const QString path = root.filePath(file);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        MakeFile(path, executable);
    }
    QStringList folders;
    for (const QString &folder : searchPath) {
        QVERIFY(QDir().mkpath(root.filePath(folder.isEmpty() ? QStringLiteral(".") : folder)));
        folders << (folder.isEmpty() ? QString() : root.filePath(folder));
    }
    // A relative folder gives no full path, even when it holds a program.
    folders.prepend(QStringLiteral("relative"));
    const SearchPath path(folders.join(QLatin1Char(':')).toLocal8Bit());

    const auto registry = CreateSystemRegistry();
    bool read = false;
    const std::string value = ReadSysInfoPath(*registry, &read);
    QCOMPARE(read, !expected.isEmpty());
    if (read)
        QCOMPARE(QString::fromStdString(value), root.filePath(expected));
    else
        QVERIFY(value.empty());
}

void TestHostRegistry::keepsToRegistryConventions() {
    QVERIFY(dir_.isValid());
    MakeFile(dir_.filePath(QStringLiteral("hardinfo")), true);
    const SearchPath path(dir_.path().toLocal8Bit());
    const std::string program = dir_.filePath(QStringLiteral("hardinfo")).toStdString();
    const auto registry = CreateSystemRegistry();
    const Reg::Key hklm = Reg::RootKey(Reg::kHKeyLocalMachine);

    Reg::Key key = 0;
    QCOMPARE(registry->OpenKey(hklm, "software\\microsoft\\shared tools\\msinfo", 0x2003F, &key),
             Reg::kErrorSuccess);

    // The needed size first, then too small a buffer, then enough.
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    QCOMPARE(registry->QueryValue(key, "Path", &type, nullptr, &size), Reg::kErrorSuccess);
    QCOMPARE(type, Reg::kTypeSz);
    QCOMPARE(size, std::uint32_t(program.size() + 1));
    std::vector<unsigned char> buffer(size, 0xAA);
    size = 3;
    QCOMPARE(registry->QueryValue(key, "PATH", &type, buffer.data(), &size), Reg::kErrorMoreData);
    QCOMPARE(size, std::uint32_t(program.size() + 1));
    QCOMPARE(registry->QueryValue(key, "PATH", &type, buffer.data(), &size), Reg::kErrorSuccess);
    QCOMPARE(std::string(buffer.begin(), buffer.end()), program + '\0');

    QCOMPARE(registry->QueryValue(key, "MSINFO", &type, buffer.data(), &size),
             Reg::kErrorFileNotFound);
    QCOMPARE(registry->CloseKey(key), Reg::kErrorSuccess);
    QCOMPARE(registry->CloseKey(key), Reg::kErrorInvalidHandle);
    QCOMPARE(registry->QueryValue(key, "PATH", &type, buffer.data(), &size),
             Reg::kErrorInvalidHandle);

    // Nothing else is in the view.
    for (const char *other : {"SOFTWARE\\Microsoft\\Shared Tools Location", "SOFTWARE",
                              "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO\\x", ""}) {
        QCOMPARE(registry->OpenKey(hklm, other, 0x2003F, &key), Reg::kErrorFileNotFound);
    }
    QCOMPARE(
        registry->OpenKey(Reg::RootKey(Reg::kHKeyCurrentUser), SysInfo::kPathKey, 0x2003F, &key),
        Reg::kErrorFileNotFound);
    QCOMPARE(registry->OpenKey(0x1234, SysInfo::kPathKey, 0x2003F, &key), Reg::kErrorInvalidHandle);
}

// With no tool installed, System Info has nothing to start.
void TestHostRegistry::emptyViewMeansUnavailable() {
    QTemporaryDir empty;
    const SearchPath path(empty.path().toLocal8Bit());
    const auto registry = CreateSystemRegistry();
    ProcessDouble processes;
    QVERIFY(!SysInfo::StartSysInfo(*registry, processes, [](const std::string &) { return true; }));
    QVERIFY(processes.started.empty());
}

QTEST_GUILESS_MAIN(TestHostRegistry)
#include "tst_hostregistry.moc"
