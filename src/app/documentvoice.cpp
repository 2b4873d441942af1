#include "documentvoice.h"

#include "speech/voice/voicelink.h"

#include <functional>

QByteArray VoiceForLanguage(const std::vector<SpeechVoice> &voices, const QString &language) {
    const QString wanted = language.toLower().replace(u'_', u'-');
    if (wanted.isEmpty())
        return {};
    const QString base = wanted.section(u'-', 0, 0);
    const auto find = [&](const std::function<bool(const QString &)> &fits) -> QByteArray {
        for (const SpeechVoice &voice : voices)
            if (fits(voice.language.toLower()))
                return voice.identifier;
        return {};
    };
    for (const auto &fits : std::initializer_list<std::function<bool(const QString &)>>{
             [&](const QString &l) { return l == wanted; },
             [&](const QString &l) { return l == base; },
             [&](const QString &l) { return l == base + u'-' + base; },
             [&](const QString &l) { return l.startsWith(base + u'-'); }})
        if (QByteArray found = find(fits); !found.isEmpty())
            return found;
    return {};
}
