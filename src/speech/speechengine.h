#pragma once

#include "pcmqueue.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// What one speech control speaks through: its sample queue and the rate and
// pitch (in espeak-ng units) that synthesis picks up at its next chunk.
struct SpeechChannel {
    explicit SpeechChannel(std::size_t queueSamples) : queue(queueSamples) {}
    PcmQueue queue;
    std::atomic<int> rate;
    std::atomic<int> pitch;
};

// espeak-ng is one global, non-thread-safe instance: this engine's worker
// thread is the only one that calls it. Requests reach the worker through a
// one-slot mailbox (a new request replaces one not yet started); a running
// synthesis is abandoned from inside the synthesis callback, which is the
// only way to stop espeak-ng promptly in synchronous mode.
class SpeechEngine {
public:
    // The process's engine, started on first use and stopped when the last
    // holder lets go.
    static std::shared_ptr<SpeechEngine> Acquire();
    ~SpeechEngine();
    SpeechEngine(const SpeechEngine &) = delete;
    SpeechEngine &operator=(const SpeechEngine &) = delete;

    // Empty when espeak-ng is ready, otherwise why it is not.
    QString StartupError() const { return startupError_; }
    int SampleRate() const { return sampleRate_; }

    // Synthesizes text into the channel's queue for utterance `generation`,
    // abandoning whatever is being synthesized now. Returns at once.
    void Speak(std::shared_ptr<SpeechChannel> channel, std::uint64_t generation, QString text);

    // Text as it goes to espeak-ng: UTF-8, with control characters (which
    // espeak-ng would take as embedded commands) turned into spaces.
    static QByteArray EngineText(QStringView text);
    // Long texts go to espeak-ng a slice at a time, so the first sound never
    // waits for the whole text to be converted. A slice ends after a sentence
    // or line where possible, else after a space. Returns the end of the slice
    // starting at `from`.
    static qsizetype SliceEnd(QStringView text, qsizetype from);

    // One chunk of synthesized samples, on the worker thread; true to go on,
    // false to abandon the synthesis.
    bool OnChunk(const short *samples, int count);

private:
    struct Job {
        std::shared_ptr<SpeechChannel> channel;
        std::uint64_t generation = 0;
        QString text;
    };

    SpeechEngine();
    void Run();
    void Synthesize(Job &job);
    void ApplySettings(const SpeechChannel &channel);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> pending_;
    bool quit_ = false;
    std::atomic<bool> interrupt_{false}; // a newer request or quit is waiting

    // Owned by the worker thread.
    Job *current_ = nullptr;
    bool abandoned_ = false;
    int appliedRate_ = -1;
    int appliedPitch_ = -1;

    QString startupError_;
    int sampleRate_ = 0;
    std::thread worker_;
};
