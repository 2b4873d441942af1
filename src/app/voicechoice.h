#pragma once

#include "speech/voice/voicelink.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// A voice by identifier, language or name, in that order, ignoring case.
std::optional<QByteArray> FindVoice(const std::vector<SpeechVoice> &voices, const QString &wanted);

// --list-voices: each voice's identifier, language and name, a line each;
// the exit code.
int ListVoices();
