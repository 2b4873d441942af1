// The watch on the sound server, on a clock of the test's own.
#include "speech/sound/serverwatchdog.h"

#include <QtTest>

using Verdict = ServerWatchdog::Verdict;
Q_DECLARE_METATYPE(Verdict)

class ServerWatchdogTest : public QObject {
    Q_OBJECT
private slots:
    void verdicts_data() {
        // Times in ms from the stream's request; -1: never.
        QTest::addColumn<int>("sent");     // a timing request went out
        QTest::addColumn<int>("answered"); // and came back
        QTest::addColumn<int>("again");    // a new stream was asked for
        QTest::addColumn<int>("at");
        QTest::addColumn<bool>("open");
        QTest::addColumn<Verdict>("verdict");
        QTest::newRow("opening, in time") << -1 << -1 << -1 << 1499 << false << Verdict::Fine;
        QTest::newRow("opening, too long")
            << -1 << -1 << -1 << 1500 << false << Verdict::SilentWhileOpening;
        QTest::newRow("open: the first request at once")
            << -1 << -1 << -1 << 10 << true << Verdict::Ping;
        QTest::newRow("request out, answer still due")
            << 10 << -1 << -1 << 1509 << true << Verdict::Fine;
        QTest::newRow("request never answered")
            << 10 << -1 << -1 << 1510 << true << Verdict::SilentWhilePlaying;
        QTest::newRow("answered, next request not yet")
            << 10 << 30 << -1 << 129 << true << Verdict::Fine;
        QTest::newRow("answered, next request due")
            << 10 << 30 << -1 << 130 << true << Verdict::Ping;
        QTest::newRow("a new stream forgets the request out")
            << 10 << -1 << 5000 << 5001 << false << Verdict::Fine;
        QTest::newRow("a new stream has its own deadline")
            << 10 << -1 << 5000 << 6500 << false << Verdict::SilentWhileOpening;
    }
    void verdicts() {
        QFETCH(int, sent);
        QFETCH(int, answered);
        QFETCH(int, again);
        QFETCH(int, at);
        QFETCH(bool, open);
        QFETCH(Verdict, verdict);
        const ServerWatchdog::Clock::time_point start{std::chrono::hours(1)};
        const auto ms = [&](int n) { return start + std::chrono::milliseconds(n); };
        ServerWatchdog watchdog;
        watchdog.Begin(start);
        if (sent >= 0)
            watchdog.PingSent(ms(sent));
        if (answered >= 0)
            watchdog.Answered(ms(answered));
        if (again >= 0)
            watchdog.Begin(ms(again));
        QCOMPARE(watchdog.Check(ms(at), open), verdict);
    }
};

QTEST_GUILESS_MAIN(ServerWatchdogTest)
#include "tst_serverwatchdog.moc"
