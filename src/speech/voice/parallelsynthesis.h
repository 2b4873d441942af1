#pragma once

#include "speech/voice/speechtimeline.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class SpeechEngine;
struct SpeechChannel;

// A text read by several voice helpers at once and handed on as one stream,
// in the text's order, as one voice reading it through would give it. The
// text is cut only where a voice pauses anyway, between sentences, and each
// part goes to the next helper that is free, every helper in an engine of
// its own. A helper runs at most a few seconds of audio ahead of the reader:
// one further ahead waits. Used from one thread.
class ParallelSynthesis {
public:
    // Seconds of audio a helper may have waiting to be taken.
    static constexpr int kAheadSeconds = 5;

    // `rate` and `pitch` in espeak-ng's units; `voice` empty for the default.
    // With `jobs` 1 the process's engine reads the text whole.
    ParallelSynthesis(QString text, QByteArray voice, int rate, int pitch, int jobs);
    ~ParallelSynthesis(); // stops every helper at once
    ParallelSynthesis(const ParallelSynthesis &) = delete;
    ParallelSynthesis &operator=(const ParallelSynthesis &) = delete;

    // Starts the helpers and the reading: empty when they are under way,
    // otherwise why they could not start.
    QString Start();
    int SampleRate() const { return sampleRate_; }

    // Takes up to `max` samples following those taken before, and appends to
    // `marks` every mark that begins before the end of all samples taken.
    // Marks count samples of the whole stream and UTF-16 units of the whole
    // text. Returns 0 while nothing more is ready.
    std::size_t Pull(std::int16_t *out, std::size_t max, std::vector<SpeechMark> &marks);
    // Everything has been taken, or a voice failed (Fault says how).
    bool Drained() const;
    QString Fault() const { return fault_; }

    // Where `text` may be cut: at the start of a sentence that follows the
    // end of another (., ! or ? and a blank, not after an initial or a short
    // title such as "Mr."; a wide 。！？ with no blank; a blank line), each at least
    // `minimum` units after the one before.
    static std::vector<qsizetype> Cuts(QStringView text, qsizetype minimum);

private:
    struct Part {
        qsizetype from = 0;
        qsizetype to = 0;
        qsizetype lead = 0; // the start of the text asked for: a few words before `from`
        qsizetype ask = 0;  // the end of the text asked for: a word past `to`
        std::size_t helper = 0;
        std::shared_ptr<SpeechChannel> channel; // while given and not yet taken
        std::optional<std::uint64_t> begin;     // where its first word is heard
        std::optional<std::uint64_t> end;       // where the next part's is
        std::uint64_t pulled = 0;               // samples pulled from the helper
    };
    // Hands the next part nobody has yet to `helper`.
    void Give(std::size_t helper);
    // Moves the marks of the part being taken to `marks_`, placed in the whole.
    void TakeMarks(Part &part);

    QString text_;
    QByteArray voice_;
    int rate_;
    int pitch_;
    int jobs_;
    std::vector<std::shared_ptr<SpeechEngine>> engines_;
    std::vector<std::shared_ptr<SpeechChannel>> channels_; // one a helper
    std::vector<Part> parts_;
    std::size_t capacity_ = 0; // samples a part's queue holds
    std::size_t given_ = 0;    // parts handed to a helper so far
    std::size_t current_ = 0;  // the part being taken
    std::uint64_t before_ = 0; // samples of the parts before it
    std::uint64_t taken_ = 0;  // samples handed on of it
    std::deque<SpeechMark> marks_;
    QString fault_;
    int sampleRate_ = 0;
};
