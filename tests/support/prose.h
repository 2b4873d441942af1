#pragma once

#include <QString>
#include <iterator>

// Ordinary prose for benchmarks: sentences of varied length and punctuation,
// repeated to `bytes` characters.
inline QString Prose(qsizetype bytes) {
    static const char *const kSentences[] = {
        "The morning train was late again, so she read the paper on the platform. ",
        "Nobody knew why the old clock in the square had stopped at ten past four! ",
        "He asked whether the library would stay open through the winter holidays. ",
        "In 1987, the river flooded twice; the town rebuilt its bridge the year after. ",
        "Would you like tea, coffee, or something a little stronger? ",
        "The committee met on Thursday and agreed, after a long argument, to wait.\n",
    };
    QString text;
    text.reserve(bytes);
    for (std::size_t i = 0; text.size() < bytes; ++i)
        text += QString::fromLatin1(kSentences[i % std::size(kSentences)]);
    text.truncate(bytes);
    return text;
}
