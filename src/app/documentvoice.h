#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

struct SpeechVoice;

// The voice that reads a document written in `language` (a tag such as
// "fr" or "en-GB"): one of that very language, else of its base language.
// Empty when there is none.
QByteArray VoiceForLanguage(const std::vector<SpeechVoice> &voices, const QString &language);
