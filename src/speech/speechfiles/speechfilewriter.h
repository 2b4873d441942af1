#pragma once

#include "speech/speechfiles/audioformats.h"
#include "speech/speechfiles/chaptermarks.h"
#include "speech/voice/voicescale.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

// What an audio file says of itself, in the tags its kind holds; empty
// fields and a track of 0 are left out.
struct SpeechFileTags {
    QString title;
    QString artist;
    QString album;
    int track = 0;
};

// What to write: the text, in a voice (an engine identifier; empty for the
// default) at slider positions for pitch and speed, to `path` (the system's
// own spelling, every byte kept). Subtitles go beside it, under the same name
// with .srt (a cue per sentence) or .lrc (a line per sentence, every word
// timed). `source` is the file the text was read from, if any: no output may
// be that file, by any name. `chapters`, when given, are marked in the file
// (in order, the first at offset 0); a WAV file is refused then. `jobs`
// voice helpers read at once, each a part of the text cut between sentences,
// joined as one reading gives it.
struct SpeechFileJob {
    QString text;
    QByteArray voice;
    std::int32_t pitch = VoiceScale::StartingPitch();
    std::int32_t speed = VoiceScale::StartingSpeed();
    std::filesystem::path path;
    std::filesystem::path source;
    bool overwrite = false;
    bool srt = false;
    bool lrc = false;
    SpeechFileTags tags;
    std::vector<SpeechChapter> chapters;
    int jobs = 1;
};

// How far the writing has got, in UTF-16 units of the text (reached of
// total), and the audio written so far.
struct SpeechFileProgress {
    qsizetype reached = 0;
    qsizetype total = 0;
    std::uint64_t samples = 0;
    int sampleRate = 0;
};

// The files a job produces: the audio and whichever subtitles it asks for.
std::vector<std::filesystem::path> SpeechFileOutputs(const SpeechFileJob &job);

// Synthesizes the job's text as fast as the engine goes and writes it. Every
// file is written under a hidden temporary name in the target's folder and
// renamed only when all of them are complete, every write checked, synced
// and closed, so a failure or a cancel leaves nothing under the names asked
// for and a file replaced stays as it was. `progress` is called as the audio grows;
// returning false cancels. Returns an empty string on success, otherwise what
// went wrong, for a person to read. Uses the process's speech engine (and
// engines of its own for more jobs), so nothing else in the process should
// speak meanwhile.
QString WriteSpeechFile(const SpeechFileJob &job,
                        const std::function<bool(const SpeechFileProgress &)> &progress = {});

// "about 3 minutes left", reckoned from the rate so far: `elapsedMs` spent on
// `fraction` (0..1) of the work. Empty while too little is done to tell.
QString TimeLeftText(std::int64_t elapsedMs, double fraction);
