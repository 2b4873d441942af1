#pragma once

#include "speech/speechfiles/chaptermarks.h"
#include "speech/speechfiles/speechfilewriter.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class PendingFile;

// Speech as AAC in an MPEG-4 audiobook (.m4b), through libavformat and
// libavcodec: the one kind of file libsndfile does not write. Chapters go in
// both as a chapter track (Apple's players) and as a Nero chapter list
// (most others).
class Mp4AudioFile {
public:
    // Writes into `file`, which must seek. `chapterTitles`: one per chapter
    // the book will have, in order; their times are known only at the end.
    Mp4AudioFile(PendingFile &file, int sampleRate, const SpeechFileTags &tags,
                 const std::vector<QString> &chapterTitles);
    ~Mp4AudioFile();
    Mp4AudioFile(const Mp4AudioFile &) = delete;
    Mp4AudioFile &operator=(const Mp4AudioFile &) = delete;

    // Each returns what went wrong, in words; empty on success.
    std::string Open();
    std::string Write(const std::int16_t *samples, std::size_t count);
    // The last sound, the chapters where the audio says they begin, and the
    // index. `marks` as many as the titles given.
    std::string Finish(const std::vector<ChapterMark> &marks, std::int64_t lengthMs);

private:
    struct Av;
    std::string Encode(bool last);

    PendingFile &file_;
    int rate_;
    SpeechFileTags tags_;
    std::vector<QString> chapterTitles_;
    std::unique_ptr<Av> av_;
    std::vector<float> waiting_; // samples short of a whole AAC frame
    std::int64_t next_ = 0;      // the next frame's first sample
};
