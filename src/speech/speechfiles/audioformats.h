#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The kinds of audio file speech can be written to: one table, for the
// writer, the Save Speech As dialog and the command line alike.
enum class AudioFileFormat { Wav, Flac, Ogg, Opus, Mp3, M4b };

struct AudioFileKind {
    AudioFileFormat format;
    QStringList extensions; // the first is the one a new name gets
    QString name;           // as a person knows it: "Ogg Vorbis"
    int sampleRate;         // the file's own rate; 0: the voice's
};

const std::vector<AudioFileKind> &AudioFileKinds();
// The kind a name's extension (case-insensitive) asks for.
std::optional<AudioFileFormat> AudioFormatForPath(const QString &path);
// ".wav, .flac, .ogg, .opus, .mp3 or .m4b", for messages.
QString AudioExtensionsText();
// The Save dialog's filters: every kind together first, then each.
QStringList AudioNameFilters();
