#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <optional>

// How far a speech file has come, as `--progress` writes it for another
// program (the Save Speech As dialog reads it back): "progress REACHED TOTAL".
struct SpeechProgress {
    qsizetype reached = 0;
    qsizetype total = 0;
};

QByteArray ProgressLine(SpeechProgress progress);

// The progress a line states, or nothing for a line that is not one (a line
// without its newline, trimmed of it).
std::optional<SpeechProgress> ParseProgressLine(QByteArrayView line);
