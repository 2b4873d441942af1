// How long a session sleeps between frames, at 22050 samples a second.
#include "speech/voice/frameschedule.h"

#include <QtTest>

class FrameScheduleTest : public QObject {
    Q_OBJECT
private slots:
    void wait_data() {
        QTest::addColumn<int>("before"); // the clock at the frame before
        QTest::addColumn<int>("played");
        QTest::addColumn<bool>("easing");
        QTest::addColumn<int>("mark"); // the next mark's first sample; -1: none come
        QTest::addColumn<bool>("restDue");
        QTest::addColumn<int>("end"); // all audio handed over, this much; -1: not yet
        QTest::addColumn<int>("wait");
        constexpr int frame = FrameSchedule::kFrameMs;
        constexpr int idle = FrameSchedule::kIdleMs;
        QTest::newRow("the mouth eases: every frame")
            << 0 << 2205 << true << 2300 << false << -1 << frame;
        QTest::newRow("a mark 10 ms ahead, clock moving")
            << 0 << 2205 << false << 2425 << false << -1 << 11;
        QTest::newRow("a mark 1 ms ahead, clock moving")
            << 0 << 2205 << false << 2226 << false << -1 << 1;
        QTest::newRow("a mark ahead, clock standing still")
            << 2205 << 2205 << false << 2226 << false << -1 << frame;
        QTest::newRow("a mark far ahead: at most the idle wait")
            << 0 << 2205 << false << 22050 << false << -1 << idle;
        QTest::newRow("a mark just reached") << 0 << 2205 << false << 2204 << false << -1 << frame;
        QTest::newRow("no mark, the rest of the text due")
            << 0 << 2205 << false << -1 << true << -1 << frame;
        QTest::newRow("no mark, audio still coming")
            << 0 << 2205 << false << -1 << false << -1 << idle;
        QTest::newRow("no mark, the end of the audio 50 ms ahead")
            << 0 << 2205 << false << -1 << false << 3307 << 50;
        QTest::newRow("no mark, the end of the audio played")
            << 0 << 3307 << false << -1 << false << 3307 << frame;
    }
    void wait() {
        QFETCH(int, before);
        QFETCH(int, played);
        QFETCH(bool, easing);
        QFETCH(int, mark);
        QFETCH(bool, restDue);
        QFETCH(int, end);
        QFETCH(int, wait);
        FrameSchedule schedule;
        schedule.Start(std::uint64_t(before));
        FrameSchedule::Sight sight;
        sight.played = std::uint64_t(played);
        sight.easing = easing;
        if (mark >= 0)
            sight.mark = std::uint64_t(mark);
        sight.restDue = restDue;
        sight.drained = end >= 0;
        sight.end = std::uint64_t(std::max(end, 0));
        sight.sampleRate = 22050;
        QCOMPARE(schedule.Wait(sight), wait);
    }
};

QTEST_GUILESS_MAIN(FrameScheduleTest)
#include "tst_frameschedule.moc"
