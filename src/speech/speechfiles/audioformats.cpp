#include "audioformats.h"

#include <QFileInfo>

const std::vector<AudioFileKind> &AudioFileKinds() {
    // Opus takes only a few sample rates; the voice is raised to the nearest.
    static const std::vector<AudioFileKind> kinds = {
        {AudioFileFormat::Wav, {QStringLiteral("wav")}, QStringLiteral("WAV"), 0},
        {AudioFileFormat::Flac, {QStringLiteral("flac")}, QStringLiteral("FLAC"), 0},
        {AudioFileFormat::Ogg,
         {QStringLiteral("ogg"), QStringLiteral("oga")},
         QStringLiteral("Ogg Vorbis"),
         0},
        {AudioFileFormat::Opus, {QStringLiteral("opus")}, QStringLiteral("Opus"), 24000},
        {AudioFileFormat::Mp3, {QStringLiteral("mp3")}, QStringLiteral("MP3"), 0},
        {AudioFileFormat::M4b,
         {QStringLiteral("m4b"), QStringLiteral("m4a")},
         QStringLiteral("MPEG-4 audiobook"),
         0},
    };
    return kinds;
}

std::optional<AudioFileFormat> AudioFormatForPath(const QString &path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const AudioFileKind &kind : AudioFileKinds())
        if (kind.extensions.contains(suffix))
            return kind.format;
    return std::nullopt;
}

QString AudioExtensionsText() {
    QStringList names;
    for (const AudioFileKind &kind : AudioFileKinds())
        names << u'.' + kind.extensions.front();
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

QStringList AudioNameFilters() {
    QStringList each, all;
    for (const AudioFileKind &kind : AudioFileKinds()) {
        all << QStringLiteral("*.") + kind.extensions.front();
        each << QStringLiteral("%1 (*.%2)").arg(kind.name, kind.extensions.front());
    }
    return QStringList{QStringLiteral("Audio files (%1)").arg(all.join(u' '))} + each;
}
