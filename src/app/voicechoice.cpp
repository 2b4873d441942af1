#include "voicechoice.h"

#include "app/commandoptions.h"
#include "speech/voice/speechengine.h"

int ListVoices() {
    const std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
    if (const QString error = engine->StartupError(); !error.isEmpty())
        return Fail(error);
    QString list;
    for (const SpeechVoice &voice : engine->Voices())
        list += QStringLiteral("%1\t%2\t%3\n")
                    .arg(QString::fromUtf8(voice.identifier), voice.language, voice.name);
    return PrintAll(list);
}

std::optional<QByteArray> FindVoice(const std::vector<SpeechVoice> &voices, const QString &wanted) {
    const auto find = [&](auto key) -> std::optional<QByteArray> {
        for (const SpeechVoice &voice : voices)
            if (key(voice).compare(wanted, Qt::CaseInsensitive) == 0)
                return voice.identifier;
        return std::nullopt;
    };
    if (auto found = find([](const SpeechVoice &v) { return QString::fromUtf8(v.identifier); }))
        return found;
    if (auto found = find([](const SpeechVoice &v) { return v.language; }))
        return found;
    return find([](const SpeechVoice &v) { return v.name; });
}
