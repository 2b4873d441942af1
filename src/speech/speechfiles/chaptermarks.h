#pragma once

#include "speech/speechfiles/audioformats.h"

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class PendingFile;

// A chapter of a book spoken into one file: its title, and where it begins
// in the text, in UTF-16 units.
struct SpeechChapter {
    QString title;
    qsizetype offset = 0;
};

// A chapter as the file marks it: its title and where it begins in the audio.
struct ChapterMark {
    QString title;
    std::int64_t startMs = 0;
};

// Whether files of this kind hold chapter marks: all but WAV.
bool HoldsChapterMarks(AudioFileFormat format);

// Where each chapter begins in the audio: the first chapter at the start,
// every other one where the first word at or after its offset is heard.
class ChapterClock {
public:
    explicit ChapterClock(std::vector<SpeechChapter> chapters);
    // A word starting at `textStart` is heard from `sample` on; words come
    // in order.
    void Word(qsizetype textStart, std::uint64_t sample);
    // The marks for audio of `samples` at `rate`: a chapter no word was heard
    // of starts where the one before it does, or at the end.
    std::vector<ChapterMark> Marks(std::uint64_t samples, int rate) const;

private:
    std::vector<SpeechChapter> chapters_;
    std::vector<std::uint64_t> starts_; // one per chapter reached so far
};

// Adds `marks` to the finished audio in `file` (written, not yet placed),
// keeping the tags it has: Vorbis comments CHAPTER001=00:01:02.500 and
// CHAPTER001NAME for FLAC, Ogg Vorbis and Opus; ID3v2 chapter frames under
// one table of contents for MP3, whose ID3v2 tag also gets the book's
// `title`, `artist` and `album` where given (the encoder wrote only ID3v1,
// which holds 30 Latin-1 letters). `lengthMs` is where the last one ends.
// Returns what went wrong, in words; empty on success.
std::string WriteChapterMarks(PendingFile &file, AudioFileFormat format,
                              const std::vector<ChapterMark> &marks, std::int64_t lengthMs,
                              const QString &title = {}, const QString &artist = {},
                              const QString &album = {});
