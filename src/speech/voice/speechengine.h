#pragma once

#include "speech/sound/pcmqueue.h"
#include "speech/voice/helpersupervisor.h"
#include "speech/voice/markassembler.h"
#include "speech/voice/speechtimeline.h"
#include "speech/voice/voicelink.h"
#include "speech/voice/voiceprotocol.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class Pronunciations;
class ScriptVoices;
class SpokenText;

// What one speech control speaks through: its sample queue, the marks that
// say where in that audio each word and mouth shape begins, and the rate and
// pitch (in espeak-ng units) that synthesis picks up at its next chunk.
struct SpeechChannel {
    explicit SpeechChannel(std::size_t queueSamples) : queue(queueSamples) {}
    PcmQueue queue;
    SpeechTimeline timeline;
    std::atomic<int> rate;
    std::atomic<int> pitch;

    // The voice failed while speaking synthesis `generation` for this channel
    // (its helper crashed or stopped answering): `handler` hears why, on the
    // engine's thread, once the audio the voice gave before the fault is
    // queued and the queue finished. Empty: none.
    using FaultHandler = std::function<void(std::uint64_t generation, const QString &)>;
    void SetFaultHandler(FaultHandler handler);
    void ReportFault(std::uint64_t generation, const QString &description);
    QString Fault() const; // the last one reported, if any

private:
    mutable std::mutex faultMutex_;
    FaultHandler faultHandler_;
    QString fault_;
};

// What to synthesize: `text` from UTF-16 offset `from` on, in `voice` (empty:
// the engine's default), its audio starting at `streamBase` of the channel's
// handed-over count. Word marks count from the start of `text`.
struct SpeechRequest {
    QString text;
    qsizetype from = 0;
    std::uint64_t streamBase = 0;
    QByteArray voice;
};

// espeak-ng runs in a helper program of ours (zavren-voice), so a fault of
// its own can never reach the editor. This engine's thread is the only one
// that talks to the helper: requests reach it through a one-slot mailbox (a
// new request replaces one not yet started), and it hands the helper's samples
// and marks to the channel. Long texts go over a slice at a time. A helper that
// crashes or stops answering is replaced at once (by its HelperSupervisor);
// the speech it was giving fails with a message.
class SpeechEngine {
public:
    // The process's engine, started on first use and stopped when the last
    // holder lets go. Starting does not wait for the voice: what needs it
    // (StartupError and below) waits until it is ready.
    static std::shared_ptr<SpeechEngine> Acquire();
    // An engine of its own beside the process's, with helpers of its own: for
    // work that has several voices synthesize at once.
    static std::shared_ptr<SpeechEngine> Create();
    ~SpeechEngine();
    SpeechEngine(const SpeechEngine &) = delete;
    SpeechEngine &operator=(const SpeechEngine &) = delete;

    // Empty when espeak-ng is ready, otherwise why it is not. While no helper
    // has started, each call waits for a fresh start.
    QString StartupError();
    int SampleRate() const;

    // The voices espeak-ng offers, and the one it speaks with unless told.
    const std::vector<SpeechVoice> &Voices() const;
    QByteArray DefaultVoice() const;

    // The process id of the helper that speaks the default voice (0: none
    // running), how many times a helper has been replaced after a fault, and
    // where espeak-ng's program is.
    long long HelperId() const;
    int Restarts() const { return helpers_.Restarts(); }
    static QString HelperPath();
    // Where the helper program `name` is: beside the program, else where the
    // installed layout puts helpers.
    static QString HelperPath(const QString &name);

    // Synthesizes into the channel's queue and timeline for synthesis
    // `generation`, abandoning whatever is being synthesized now. Returns at once.
    void Speak(std::shared_ptr<SpeechChannel> channel, std::uint64_t generation,
               SpeechRequest request);

private:
    struct Job {
        std::shared_ptr<SpeechChannel> channel;
        std::uint64_t generation = 0;
        SpeechRequest request;
    };
    enum class Outcome { Done, Abandoned, Failed };
    using Message = VoiceLink::Message;
    using Received = VoiceLink::Received;

    SpeechEngine();
    void Run();
    // The voices' script runs, once the voices are known.
    const ScriptVoices *Scripts();
    // Has the job say the text as the user's pronunciations for `language` want.
    void Pronounce(Job &job, const QString &language);
    void Synthesize(Job &job);
    Outcome SynthesizeSlice(Job &job, const QByteArray &utf8, const QByteArray &voice,
                            QString &fault);
    Received Receive(Message &message, int timeoutMs);
    bool Send(const std::vector<char> &message);
    // One chunk of synthesized samples and the events that came with it.
    void OnChunk(const std::int16_t *samples, std::size_t count,
                 const std::vector<voice::Event> &events);
    // The current job's marks and audio, handed on to its channel.
    bool HandOn(const std::vector<SpeechMark> &marks, const std::vector<std::int16_t> &samples);

    // The job queue, between callers and the worker: under mutex_, which is
    // taken before the helpers' own lock, never while it is held.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> pending_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> interrupt_{false}; // a newer request or quit is waiting
    HelperSupervisor helpers_{[this] {
        std::lock_guard lock(mutex_);
        wake_.notify_all();
    }};

    // Owned by the worker thread.
    std::size_t active_ = 0; // the engine the worker talks to (HelperSupervisor::Link)
    std::unique_ptr<ScriptVoices> scripts_;
    std::uint64_t sliceSerial_ = 0;
    Job *current_ = nullptr;
    bool abandoned_ = false;
    MarkAssembler marks_{
        [this](const std::vector<SpeechMark> &marks, const std::vector<std::int16_t> &samples) {
            return HandOn(marks, samples);
        }};
    // The text as said, when pronunciations change it, for the text and list
    // it was made from; and the latest word shown in the user's text.
    std::shared_ptr<const SpokenText> spoken_;
    std::shared_ptr<const Pronunciations> spokenList_;
    QString spokenFrom_;
    QString spokenLanguage_;
    WordSpan lastShown_;

    std::thread worker_;
};
