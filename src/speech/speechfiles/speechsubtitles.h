#pragma once

#include "speech/voice/speechtimeline.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// Subtitles for spoken text, built from its words as they are timed: SubRip
// (.srt) with one cue per sentence, and enhanced LRC (.lrc) with one line per
// sentence and a time for every word. Only the sentence under way is held,
// so a book costs no more memory than a line.
class SpeechSubtitles {
public:
    // `text` is what the word spans point into; it must outlive this object.
    SpeechSubtitles(const QString &text, int sampleRate);

    // A word begins at `sample` of the audio; words come in order.
    void AddWord(WordSpan word, std::uint64_t sample);
    // The audio ended at `sample`: the last sentence is complete.
    void Finish(std::uint64_t sample);

    // The subtitle text of the sentences completed since the last call, UTF-8.
    QByteArray TakeSrt();
    QByteArray TakeLrc();

    // "00:01:02,345" and "01:02.34".
    static QByteArray SrtTime(std::uint64_t ms);
    static QByteArray LrcTime(std::uint64_t ms);

private:
    struct TimedWord {
        WordSpan word;
        std::uint64_t sample;
    };
    void CloseSentence(std::uint64_t endSample);
    std::uint64_t Ms(std::uint64_t sample) const;

    const QString &text_;
    int sampleRate_;
    std::vector<TimedWord> sentence_;
    int cues_ = 0;
    QByteArray srt_;
    QByteArray lrc_;
};
