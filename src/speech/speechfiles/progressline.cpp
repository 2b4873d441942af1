#include "progressline.h"

#include <QList>

QByteArray ProgressLine(SpeechProgress progress) {
    return "progress " + QByteArray::number(progress.reached) + ' ' +
           QByteArray::number(progress.total) + '\n';
}

std::optional<SpeechProgress> ParseProgressLine(QByteArrayView line) {
    const QList<QByteArray> words = line.toByteArray().trimmed().split(' ');
    if (words.size() != 3 || words[0] != "progress")
        return std::nullopt;
    bool reachedOk = false, totalOk = false;
    const SpeechProgress progress{words[1].toLongLong(&reachedOk), words[2].toLongLong(&totalOk)};
    if (!reachedOk || !totalOk || progress.reached < 0 || progress.total < 0)
        return std::nullopt;
    return progress;
}
