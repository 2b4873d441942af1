#include "speech/sound/pcmqueue.h"

#include <QtTest>
#include <future>
#include <numeric>
#include <thread>

class PcmQueueTest : public QObject {
    Q_OBJECT
private slots:
    void keepsOrderAcrossTheRingEdge();
    void fullQueueHoldsTheProducerUntilPulled();
    void blockedProducerIsTurnedAway_data();
    void blockedProducerIsTurnedAway();
    void drained_data();
    void drained();
    void rewindContinuesFromTheListener_data();
    void rewindContinuesFromTheListener();
};

void PcmQueueTest::keepsOrderAcrossTheRingEdge() {
    PcmQueue queue(7);
    const auto g = queue.Begin();
    std::vector<std::int16_t> in(5), out;
    std::int16_t next = 0;
    for (int round = 0; round < 6; ++round) {
        std::iota(in.begin(), in.end(), next);
        next += 5;
        QVERIFY(queue.Push(g, in.data(), in.size()));
        std::int16_t buf[8];
        const std::size_t n = queue.Pull(buf, 8);
        QCOMPARE(n, std::size_t(5));
        out.insert(out.end(), buf, buf + n);
    }
    std::vector<std::int16_t> expected(30);
    std::iota(expected.begin(), expected.end(), std::int16_t(0));
    QCOMPARE(out, expected);
    QCOMPARE(queue.HandedOver(), std::uint64_t(30));
}

void PcmQueueTest::fullQueueHoldsTheProducerUntilPulled() {
    PcmQueue queue(100);
    const auto g = queue.Begin();
    std::vector<std::int16_t> big(250, 1);
    auto pushed = std::async(std::launch::async, [&] { return queue.Push(g, big.data(), 250); });
    QVERIFY(pushed.wait_for(std::chrono::milliseconds(100)) == std::future_status::timeout);
    std::int16_t buf[100];
    std::size_t total = 0;
    while (pushed.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        total += queue.Pull(buf, 100);
    QVERIFY(pushed.get());
    total += queue.Pull(buf, 100);
    QCOMPARE(total, std::size_t(250));
}

void PcmQueueTest::blockedProducerIsTurnedAway_data() {
    QTest::addColumn<int>("action");
    QTest::newRow("a new utterance begins") << 0;
    QTest::newRow("cancelled") << 1;
    QTest::newRow("closed") << 2;
    QTest::newRow("rewound") << 3;
}

void PcmQueueTest::blockedProducerIsTurnedAway() {
    QFETCH(int, action);
    PcmQueue queue(10);
    const auto g = queue.Begin();
    std::vector<std::int16_t> samples(50, 7);
    auto pushed = std::async(std::launch::async, [&] { return queue.Push(g, samples.data(), 50); });
    QVERIFY(pushed.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout);
    if (action == 0)
        queue.Begin();
    else if (action == 1)
        queue.Cancel();
    else if (action == 2)
        queue.Close();
    else
        queue.Rewind(0);
    QVERIFY(pushed.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
    QVERIFY(!pushed.get());
    std::int16_t buf[10];
    QCOMPARE(queue.Pull(buf, 10), std::size_t(0)); // the old audio is gone
    QVERIFY(!queue.IsCurrent(g));
    QVERIFY(!queue.Push(g, samples.data(), 1));
}

void PcmQueueTest::drained_data() {
    QTest::addColumn<bool>("push");
    QTest::addColumn<bool>("finish");
    QTest::addColumn<bool>("pull");
    QTest::addColumn<bool>("drained");
    QTest::newRow("still synthesizing") << true << false << true << false;
    QTest::newRow("finished, not yet handed over") << true << true << false << false;
    QTest::newRow("finished and handed over") << true << true << true << true;
    QTest::newRow("finished with no sound") << false << true << false << true;
}

void PcmQueueTest::drained() {
    QFETCH(bool, push);
    QFETCH(bool, finish);
    QFETCH(bool, pull);
    QFETCH(bool, drained);
    PcmQueue queue(10);
    QVERIFY(queue.Drained()); // nothing under way
    const auto g = queue.Begin();
    std::int16_t samples[4] = {1, 2, 3, 4};
    if (push)
        QVERIFY(queue.Push(g, samples, 4));
    if (finish)
        queue.Finish(g);
    if (pull)
        queue.Pull(samples, 4);
    QCOMPARE(queue.Drained(), drained);
    queue.Finish(g - 1); // a stale finish changes nothing
    QCOMPARE(queue.Drained(), drained);
}

void PcmQueueTest::rewindContinuesFromTheListener_data() {
    QTest::addColumn<int>("heard");     // where the listener is when rewound
    QTest::addColumn<int>("continues"); // the handed-over count afterwards
    QTest::newRow("behind what was handed over") << 5 << 5;
    QTest::newRow("at it") << 8 << 8;
    QTest::newRow("never past it") << 20 << 8;
}

void PcmQueueTest::rewindContinuesFromTheListener() {
    QFETCH(int, heard);
    QFETCH(int, continues);
    PcmQueue queue(10);
    const auto g = queue.Begin();
    std::int16_t samples[10] = {};
    QVERIFY(queue.Push(g, samples, 10));
    QCOMPARE(queue.Pull(samples, 8), std::size_t(8));
    queue.Finish(g);

    const auto again = queue.Rewind(std::uint64_t(heard));
    QVERIFY(again != g);
    QCOMPARE(queue.HandedOver(), std::uint64_t(continues));
    QVERIFY(!queue.Drained());                         // the new synthesis has yet to finish
    QCOMPARE(queue.Pull(samples, 10), std::size_t(0)); // what was queued is gone
    QVERIFY(queue.Push(again, samples, 3));
    QCOMPARE(queue.Pull(samples, 10), std::size_t(3));
    QCOMPARE(queue.HandedOver(), std::uint64_t(continues + 3));
    queue.Finish(again);
    QVERIFY(queue.Drained());
}

QTEST_APPLESS_MAIN(PcmQueueTest)
#include "tst_pcmqueue.moc"
