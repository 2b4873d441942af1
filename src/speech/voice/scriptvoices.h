#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <utility>
#include <vector>

struct SpeechVoice;

// Which voice reads which part of a text. espeak-ng hands some scripts to a
// voice of their own by itself (Devanagari, Tamil, Georgian, Armenian,
// Hangul...), but a voice meeting others spells them letter by letter or not
// at all (Cyrillic, Greek, Hebrew, Arabic, Thai, Chinese, Japanese...). Runs
// of those go to a voice of a language written in them; everything else
// stays with the chosen voice.
class ScriptVoices {
public:
    explicit ScriptVoices(const std::vector<SpeechVoice> &voices);

    struct Run {
        qsizetype end = 0;
        QByteArray voice; // empty: the chosen voice
    };
    // The run of `text` from `from` (up to `limit`) that one voice reads, for
    // a chosen voice of `language` (e.g. "en-us").
    Run RunFrom(QStringView text, qsizetype from, qsizetype limit, QStringView language) const;

    // For a voice of an engine that reads only Latin letters (with their
    // accents, digits, blanks and punctuation): the run of whole words
    // from `from` that it reads (voice empty), or that `reader` reads for it
    // (emoji, other scripts).
    static Run LatinRunFrom(QStringView text, qsizetype from, qsizetype limit,
                            const QByteArray &reader);

    struct Script;

private:
    QByteArray VoiceFor(const Script &script, QStringView text, qsizetype from) const;

    std::vector<std::pair<QString, QByteArray>> languages_; // each voice's language and identifier
};
