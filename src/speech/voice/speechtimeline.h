#pragma once

#include "speech/voice/viseme.h"

#include <QtGlobal>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// A word of the spoken text, in UTF-16 units of the text handed to Speak.
struct WordSpan {
    qsizetype start = 0;
    qsizetype length = 0;
    friend bool operator==(const WordSpan &a, const WordSpan &b) {
        return a.start == b.start && a.length == b.length;
    }
};

// Something that begins at a point of the played audio: a word or a mouth
// shape. Positions count samples handed to the sound device since the
// utterance began.
struct SpeechMark {
    enum class Kind : unsigned char { Word, Mouth };
    std::uint64_t sample = 0;
    Kind kind = Kind::Word;
    Viseme mouth = Viseme::Rest;
    WordSpan word;
};

// The marks of the utterance under way, written by the synthesis thread ahead
// of the audio and read on the control's thread as the listener reaches them.
// Like the sample queue it knows which synthesis is current and turns marks
// of an abandoned one away.
class SpeechTimeline {
public:
    // What the listener hears at some point of the audio.
    struct Heard {
        bool hasWord = false;
        WordSpan word;
        std::uint64_t wordSample = 0;
        // Counts the word marks reached in this utterance, so a caller can
        // tell a new word from the same one met again.
        std::uint64_t wordSerial = 0;
        Viseme mouth = Viseme::Rest;
        // The mouth has come to rest since the word began: the word is over.
        bool afterWord = false;
    };

    // A new utterance: forgets everything.
    void Begin(std::uint64_t generation);
    // Nothing under way: forgets everything and accepts no marks.
    void Clear();
    // Synthesis starts again at `position` as `generation`: marks from there on
    // were never heard and are dropped.
    void Rewind(std::uint64_t generation, std::uint64_t position);

    // Synthesis side. Marks come in order of their sample position.
    void Add(std::uint64_t generation, const std::vector<SpeechMark> &marks);

    // Takes in every mark reached once `played` samples have been played,
    // appending the words passed on the way (in order) to `passed` when given.
    Heard Advance(std::uint64_t played, std::vector<WordSpan> *passed = nullptr);
    // The marks not reached yet, in order.
    std::vector<SpeechMark> Pending() const;
    // Where the first mark not reached yet begins; none when none has come.
    // With `callWhenNone`, the listener is called once the next marks come.
    std::optional<std::uint64_t> NextMark(bool callWhenNone = false);
    // Called on the synthesis thread, under the timeline's lock: it must be
    // quick and must not call the timeline. Empty: none.
    void SetListener(std::function<void()> listener);

private:
    // Marks kept when nobody reads them: enough for minutes of speech ahead.
    static constexpr std::size_t kMaxPending = 1 << 16;

    mutable std::mutex mutex_;
    std::uint64_t generation_ = 0;
    std::deque<SpeechMark> pending_;
    Heard heard_;
    std::function<void()> listener_;
    bool waiting_ = false;
};
