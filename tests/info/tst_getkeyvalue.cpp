#include "doubles.h"
#include "info/sysinfo.h"

#include <QtTest>

namespace {
constexpr char kKey[] = "SOFTWARE\\Test\\Key";
constexpr char kValue[] = "Value";
} // namespace

class TestGetKeyValue : public QObject {
    Q_OBJECT
private slots:
    void readsValue_data();
    void readsValue();
    void failsWithEmptyText_data();
    void failsWithEmptyText();
    void unreadableValueFailsOutright_data();
    void unreadableValueFailsOutright();
    void asksForTheDesignedAccessAndBuffer();
    void fallsBackToReadAccessWhenRefused();
};

void TestGetKeyValue::readsValue_data() {
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray path("C:\\Program Files\\MSInfo\\msinfo32.exe");
    QTest::newRow("string with its terminating zero") << 1u << path + '\0' << path;
    QTest::newRow("string without terminating zero") << 1u << path << path;
    QTest::newRow("string of only a zero") << 1u << QByteArray(1, '\0') << QByteArray();
    QTest::newRow("string with two zeros keeps one")
        << 1u << QByteArray("ab\0\0", 4) << QByteArray("ab\0", 3);
    QTest::newRow("zero inside a string is kept")
        << 1u << QByteArray("ab\0cd", 5) << QByteArray("ab\0cd", 5);
    QTest::newRow("string of 1024 bytes, no zero")
        << 1u << QByteArray(1024, 'x') << QByteArray(1024, 'x');
    QTest::newRow("string of 1024 bytes with zero")
        << 1u << QByteArray(1023, 'y') + '\0' << QByteArray(1023, 'y');
    QTest::newRow("high bytes kept as they are")
        << 1u << QByteArray("caf\xe9\0", 5) << QByteArray("caf\xe9");

    QTest::newRow("dword 01 00 00 00")
        << 4u << QByteArray("\x01\x00\x00\x00", 4) << QByteArray("1");
    QTest::newRow("dword FF FF FF FF")
        << 4u << QByteArray("\xff\xff\xff\xff", 4) << QByteArray("-1");
    QTest::newRow("dword 00 00 00 00") << 4u << QByteArray(4, '\0') << QByteArray("0");
    QTest::newRow("dword 00 01 00 00")
        << 4u << QByteArray("\x00\x01\x00\x00", 4) << QByteArray("256");
    QTest::newRow("dword 00 00 00 01")
        << 4u << QByteArray("\x00\x00\x00\x01", 4) << QByteArray("16777216");
    QTest::newRow("dword largest")
        << 4u << QByteArray("\xff\xff\xff\x7f", 4) << QByteArray("2147483647");
    QTest::newRow("dword smallest")
        << 4u << QByteArray("\x00\x00\x00\x80", 4) << QByteArray("-2147483648");
    QTest::newRow("dword of two bytes FF FF")
        << 4u << QByteArray("\xff\xff", 2) << QByteArray("65535");
    QTest::newRow("dword of five bytes ending in zero")
        << 4u << QByteArray("\x2a\x00\x00\x00\x00", 5) << QByteArray("42");

    // Any other type leaves KeyVal as it was.
    QTest::newRow("binary") << 3u << QByteArray("\x01\x02", 2) << QByteArray("as it was");
    QTest::newRow("expandable string")
        << 2u << QByteArray("%SystemRoot%\0", 13) << QByteArray("as it was");
    QTest::newRow("multi-string") << 7u << QByteArray("a\0b\0\0", 5) << QByteArray("as it was");
    QTest::newRow("qword") << 11u << QByteArray(8, '\x01') << QByteArray("as it was");
}

void TestGetKeyValue::readsValue() {
    QFETCH(uint, type);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);

    RegistryDouble registry;
    registry.Set(kKey, kValue, type, Bytes(bytes.toStdString()));
    std::string keyVal = "as it was";
    QVERIFY(SysInfo::GetKeyValue(registry, Reg::kHKeyLocalMachine, kKey, kValue, keyVal));
    QCOMPARE(QByteArray::fromStdString(keyVal), expected);
    QCOMPARE(registry.opens, 1);
    QCOMPARE(registry.closes, 1);
}

void TestGetKeyValue::failsWithEmptyText_data() {
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("opened");

    QTest::newRow("missing key") << false << QByteArray() << 0;
    QTest::newRow("missing value") << true << QByteArray() << 1;
    QTest::newRow("string of 1025 bytes") << true << QByteArray(1025, 'z') << 1;
    QTest::newRow("string of 4000 bytes") << true << QByteArray(4000, 'z') << 1;
}

void TestGetKeyValue::failsWithEmptyText() {
    QFETCH(bool, keyExists);
    QFETCH(QByteArray, bytes);
    QFETCH(int, opened);

    RegistryDouble registry;
    if (keyExists)
        registry.SetKey(kKey);
    if (!bytes.isEmpty())
        registry.Set(kKey, kValue, Reg::kTypeSz, Bytes(bytes.toStdString()));
    std::string keyVal = "left over";
    QVERIFY(!SysInfo::GetKeyValue(registry, Reg::kHKeyLocalMachine, kKey, kValue, keyVal));
    QVERIFY(keyVal.empty());
    QCOMPARE(registry.opens, opened);
    QCOMPARE(registry.closes, opened);
}

void TestGetKeyValue::unreadableValueFailsOutright_data() {
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty string") << 1u << QByteArray();
    QTest::newRow("empty dword") << 4u << QByteArray();
    QTest::newRow("empty binary") << 3u << QByteArray();
    QTest::newRow("dword of one zero byte, no digits") << 4u << QByteArray(1, '\0');
    QTest::newRow("dword of more than 32 bits") << 4u << QByteArray("\x01\x00\x00\x00\x01", 5);
}

void TestGetKeyValue::unreadableValueFailsOutright() {
    QFETCH(uint, type);
    QFETCH(QByteArray, bytes);

    RegistryDouble registry;
    registry.Set(kKey, kValue, type, Bytes(bytes.toStdString()));
    std::string keyVal;
    QVERIFY_THROWS_EXCEPTION(
        SysInfo::KeyValueError,
        SysInfo::GetKeyValue(registry, Reg::kHKeyLocalMachine, kKey, kValue, keyVal));
    QCOMPARE(registry.opens, 1);
    QCOMPARE(registry.closes, 1);
}

void TestGetKeyValue::asksForTheDesignedAccessAndBuffer() {
    RegistryDouble registry;
    registry.Set(kKey, kValue, Reg::kTypeSz, Bytes(std::string("x")));
    std::string keyVal;
    QVERIFY(SysInfo::GetKeyValue(registry, Reg::kHKeyLocalMachine, kKey, kValue, keyVal));
    QCOMPARE(registry.accessAsked, std::vector<std::uint32_t>{0x2003F});
    QCOMPARE(registry.keysAsked, std::vector<std::string>{kKey});
    QCOMPARE(registry.valuesAsked, std::vector<std::string>{kValue});
    QCOMPARE(registry.roomOffered, std::vector<std::uint32_t>{1024});

    // Another root is another root: this registry has the key only below HKLM.
    QVERIFY(!SysInfo::GetKeyValue(registry, Reg::kHKeyCurrentUser, kKey, kValue, keyVal));
    QCOMPARE(registry.OpenNow(), 0);
}

void TestGetKeyValue::fallsBackToReadAccessWhenRefused() {
    RegistryDouble registry;
    registry.Set(kKey, kValue, Reg::kTypeSz, Bytes(std::string("read anyway")));
    registry.DenyAccess(0x2003F);
    std::string keyVal;
    QVERIFY(SysInfo::GetKeyValue(registry, Reg::kHKeyLocalMachine, kKey, kValue, keyVal));
    QCOMPARE(keyVal, std::string("read anyway"));
    QCOMPARE(registry.accessAsked, (std::vector<std::uint32_t>{0x2003F, Reg::kKeyRead}));
    QCOMPARE(registry.opens, 1);
    QCOMPARE(registry.closes, 1);

    RegistryDouble refused;
    refused.Set(kKey, kValue, Reg::kTypeSz, Bytes(std::string("x")));
    refused.DenyAccess(0x2003F);
    refused.DenyAccess(Reg::kKeyRead);
    keyVal = "left over";
    QVERIFY(!SysInfo::GetKeyValue(refused, Reg::kHKeyLocalMachine, kKey, kValue, keyVal));
    QVERIFY(keyVal.empty());
    QCOMPARE(refused.closes, 0);
}

QTEST_GUILESS_MAIN(TestGetKeyValue)
#include "tst_getkeyvalue.moc"
