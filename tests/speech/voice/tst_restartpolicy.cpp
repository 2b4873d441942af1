// When speech under way starts again for new settings or a new voice.
#include "speech/voice/restartpolicy.h"

#include <QtTest>

using Due = RestartPolicy::Due;
Q_DECLARE_METATYPE(Due)

class RestartPolicyTest : public QObject {
    Q_OBJECT
private slots:
    void due_data() {
        QTest::addColumn<int>("restartedAt"); // the word of the last restart; -1: none yet
        QTest::addColumn<bool>("settings");   // new pitch or speed wait to be heard
        QTest::addColumn<int>("voiceAt"); // the word heard when a new voice was chosen; -1: none
        QTest::addColumn<int>("heard");   // the word heard now; -1: none yet
        QTest::addColumn<Due>("due");
        QTest::newRow("nothing changed") << -1 << false << -1 << 3 << Due::Nothing;
        QTest::newRow("new settings, first restart") << -1 << true << -1 << 3 << Due::Settings;
        QTest::newRow("new settings, no word heard yet") << -1 << true << -1 << -1 << Due::Settings;
        QTest::newRow("new settings on the word just broken off")
            << 3 << true << -1 << 3 << Due::Nothing;
        QTest::newRow("new settings on the word after it") << 3 << true << -1 << 4 << Due::Nothing;
        QTest::newRow("new settings two words on") << 3 << true << -1 << 5 << Due::Settings;
        QTest::newRow("a voice waits for the next word") << -1 << false << 3 << 3 << Due::Nothing;
        QTest::newRow("a voice on the next word") << -1 << false << 3 << 4 << Due::Voice;
        QTest::newRow("a voice before any word") << -1 << false << 0 << -1 << Due::Voice;
        QTest::newRow("a voice and settings: the voice comes with them")
            << -1 << true << 3 << 4 << Due::Voice;
        QTest::newRow("settings, the voice not yet due") << -1 << true << 3 << 3 << Due::Settings;
        QTest::newRow("a voice on a word just broken off") << 4 << false << 3 << 5 << Due::Nothing;
    }
    void due() {
        QFETCH(int, restartedAt);
        QFETCH(bool, settings);
        QFETCH(int, voiceAt);
        QFETCH(int, heard);
        QFETCH(Due, due);
        RestartPolicy policy;
        if (restartedAt >= 0)
            policy.Restarted(std::uint64_t(restartedAt));
        policy.SetSettingsChanged(settings);
        if (voiceAt >= 0) {
            policy.SetVoiceChanged(true);
            policy.SetVoiceChosenAt(std::uint64_t(voiceAt));
        }
        QCOMPARE(policy.Check(heard >= 0, std::uint64_t(std::max(heard, 0))), due);
    }

    // What a restart took in is not due again; what it left is.
    void applied_data() {
        QTest::addColumn<bool>("withVoice");
        QTest::addColumn<Due>("after");
        QTest::newRow("settings and voice taken in") << true << Due::Nothing;
        QTest::newRow("settings only: the voice still waits") << false << Due::Voice;
    }
    void applied() {
        QFETCH(bool, withVoice);
        QFETCH(Due, after);
        RestartPolicy policy;
        policy.SetSettingsChanged(true);
        policy.SetVoiceChanged(true);
        policy.SetVoiceChosenAt(1);
        policy.Applied(withVoice);
        policy.Restarted(1);
        QCOMPARE(policy.Check(true, 3), after);
        policy.Clear();
        QCOMPARE(policy.Check(true, 3), Due::Nothing);
    }
};

QTEST_GUILESS_MAIN(RestartPolicyTest)
#include "tst_restartpolicy.moc"
