#pragma once

#include "speech/pcmqueue.h"
#include "speech/speechtimeline.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// What one speech control speaks through: its sample queue, the marks that
// say where in that audio each word and mouth shape begins, and the rate and
// pitch (in espeak-ng units) that synthesis picks up at its next chunk.
struct SpeechChannel {
    explicit SpeechChannel(std::size_t queueSamples) : queue(queueSamples) {}
    PcmQueue queue;
    SpeechTimeline timeline;
    std::atomic<int> rate;
    std::atomic<int> pitch;
};

// One of espeak-ng's voices.
struct SpeechVoice {
    QString name;          // e.g. "English (America)"
    QString language;      // e.g. "en-us"
    QByteArray identifier; // what selects it, e.g. "gmw/en-US"
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

    // The voices espeak-ng offers, and the one it speaks with unless told.
    const std::vector<SpeechVoice> &Voices() const { return voices_; }
    QByteArray DefaultVoice() const { return defaultVoice_; }

    // Synthesizes into the channel's queue and timeline for synthesis
    // `generation`, abandoning whatever is being synthesized now. Returns at once.
    void Speak(std::shared_ptr<SpeechChannel> channel, std::uint64_t generation,
               SpeechRequest request);
    void Speak(std::shared_ptr<SpeechChannel> channel, std::uint64_t generation, QString text) {
        Speak(std::move(channel), generation, SpeechRequest{std::move(text), 0, 0, {}});
    }

    // Text as it goes to espeak-ng: UTF-8, with control characters (which
    // espeak-ng would take as embedded commands) and characters it mishandles
    // turned into spaces, lone surrogates into U+FFFD, so every code point
    // stands for one UTF-16 unit or one surrogate pair of the text.
    static QByteArray EngineText(QStringView text);
    // Whether espeak-ng may be handed this character.
    static bool EngineSafe(char32_t codePoint);
    // espeak-ng reports word positions in code points; this gives the UTF-16
    // offset of every code point of `text`, plus its end.
    static std::vector<qsizetype> CodePointOffsets(QStringView text);
    // A word as espeak-ng placed it, fitted to the text: without surrounding
    // blanks (none left: not a word to show), and, when it lands inside the
    // word before (as for the second word of a phrase it knows as a whole,
    // "déjà vu"), moved to the word that follows that one.
    static std::optional<WordSpan> FitWord(QStringView text, WordSpan word, WordSpan previous);
    // A word widened over the letters right after it, up to `limit`: what an
    // engine spoke as part of the word without placing them.
    static WordSpan WidenWord(QStringView text, WordSpan word, qsizetype limit);
    // Long texts go to espeak-ng a slice at a time, so the first sound never
    // waits for the whole text to be converted. A slice ends after a sentence
    // or line where possible, else after a space. Returns the end of the slice
    // starting at `from`.
    static qsizetype SliceEnd(QStringView text, qsizetype from);

    // One chunk of synthesized samples and the events that came with it, on
    // the worker thread; true to go on, false to abandon the synthesis.
    bool OnChunk(const short *samples, int count, const void *events);

private:
    struct Job {
        std::shared_ptr<SpeechChannel> channel;
        std::uint64_t generation = 0;
        SpeechRequest request;
    };

    SpeechEngine();
    void Run();
    void Synthesize(Job &job);
    void ApplySettings(const SpeechChannel &channel);
    void ApplyVoice(const QByteArray &voice);
    void ListVoices();
    // Hands the held marks and audio on, the held word widened up to
    // `nextWord` (where the engine placed the next one).
    void ReleaseHeld(Job &job, qsizetype nextWord);
    void DropHeld();

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
    QByteArray appliedVoice_;
    // Where the slice being synthesized sits: its offset in the text, the
    // UTF-16 offset of each of its code points, and the job's samples before it.
    qsizetype sliceFrom_ = 0;
    std::vector<qsizetype> sliceOffsets_;
    std::uint64_t sliceBase_ = 0;
    std::uint64_t produced_ = 0;        // samples of the job so far
    std::vector<SpeechMark> heldMarks_; // from the latest word mark on, if any
    std::vector<std::int16_t> heldSamples_;
    std::optional<std::size_t> heldWord_; // its place in heldMarks_
    WordSpan lastWord_;                   // the job's latest word mark

    QString startupError_;
    int sampleRate_ = 0;
    std::vector<SpeechVoice> voices_;
    QByteArray defaultVoice_;
    std::thread worker_;
};
