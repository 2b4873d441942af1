#pragma once

#include "speech/voice/voicelink.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// The helper programs one engine speaks through: espeak-ng's (engine 0), then
// each other engine's in a helper of its own. It starts them, learns from
// their hellos which voices there are, replaces one that crashed or stopped
// answering, reaps them on quit, and says which helper a voice belongs to.
//
// Threads: one worker (the speech engine's) starts, replaces and talks to the
// helpers: the calls under "Worker" below. Any thread may ask what they offer,
// ask for a start while none has succeeded, wake them or quit. mutex_ guards
// what both see; a link is replaced under it and used by the worker without.
class HelperSupervisor {
public:
    // `askWorker` has the worker look at StartAsked again; it is called with
    // mutex_ not held.
    explicit HelperSupervisor(std::function<void()> askWorker);
    ~HelperSupervisor();
    HelperSupervisor(const HelperSupervisor &) = delete;
    HelperSupervisor &operator=(const HelperSupervisor &) = delete;

    // Where the helper program `name` is: beside the program, else where the
    // installed layout puts helpers.
    static QString HelperPath(const QString &name);

    // Empty when espeak-ng is ready, otherwise why it is not. While no helper
    // has started, each call waits for a fresh start.
    QString StartupError();
    // A helper has said hello: the voices are known, and stay as they are.
    bool Known() const;
    // Wait until the first start has ended.
    int SampleRate() const;
    const std::vector<SpeechVoice> &Voices() const;
    QByteArray DefaultVoice() const;
    // espeak-ng's own default, which reads what the other engines cannot.
    QByteArray EspeakDefault() const;

    long long HelperId() const;
    int Restarts() const { return restarts_; }
    // Whichever helper the worker waits on stops waiting.
    void Wake();
    // Starts under way give up; StartupError returns.
    void Quit();
    // A caller of StartupError waits for a start.
    bool StartAsked() const;

    // Worker.
    // Starts the helper of `engine` (0: espeak-ng); espeak-ng's first hello
    // tells what the voice offers and has the other engines asked.
    void StartEngine(std::size_t engine);
    // Starts espeak-ng's helper for the callers of StartupError waiting now.
    void StartAskedHelper();
    // While idle: whether espeak-ng's helper is there to watch, and waiting
    // for it to say something, die (collected at once) or be woken.
    bool CanWatch() const { return helper_ != nullptr; }
    void WatchIdle();
    // Helpers that died while nobody was speaking are replaced without a word.
    void ReplaceGone();
    // The engine that speaks `voice`, and the voice's name in it.
    std::size_t EngineOf(const QByteArray &voice, QByteArray &own) const;
    bool IsEspeakVoice(const QByteArray &voice) const;
    // Null while the engine has no helper.
    VoiceLink *Link(std::size_t engine) const;
    // Whatever it was doing, this helper is not used again.
    void Drop(std::size_t engine);
    // A helper failed while speaking: counted, and started afresh.
    void Replace(std::size_t engine);
    // Why espeak-ng could not be started, if it never was.
    QString StartFailure() const;
    // On quit.
    void Reap();

private:
    // Starts espeak-ng's helper and waits for its hello.
    void StartHelper();
    std::unique_ptr<VoiceLink> &LinkSlot(std::size_t engine);
    void ReplaceIfGone(std::size_t engine);
    void WakeLinks();
    void WaitReady() const;

    std::function<void()> askWorker_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::atomic<bool> quit_{false};
    std::atomic<int> restarts_{0};
    std::unique_ptr<VoiceLink> helper_;
    // The other engines: their voices' identifiers begin with their prefix
    // ("flite:slt"). One that is not installed, or fails to start at first,
    // offers no voices.
    struct Other {
        QByteArray prefix;
        QString program;
        std::unique_ptr<VoiceLink> link; // as helper_
        bool offered = false;            // said hello once: its voices are listed
    };
    std::vector<Other> others_;

    // Known once the first helper has said hello (ready_).
    bool ready_ = false;
    bool known_ = false; // a helper has said hello
    std::uint64_t startsAsked_ = 0;
    std::uint64_t startsDone_ = 0;
    QString startupError_;
    int sampleRate_ = 0;
    std::vector<SpeechVoice> voices_;
    QByteArray defaultVoice_;
    QByteArray espeakDefault_;
};
