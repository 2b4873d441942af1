#include "voicemenu.h"

#include "speech/voice/voicenames.h"

#include <QActionGroup>
#include <algorithm>
#include <map>

VoiceMenu::VoiceMenu(const std::vector<SpeechVoice> &voices, const QByteArray &chosen,
                     QWidget *parent)
    : QMenu(tr("Voice"), parent) {
    QMenu *menu = this;
    menu->setObjectName(QStringLiteral("voiceMenu"));
    menu->setAccessibleName(tr("Voice"));
    const auto addSave = [&] {
        QAction *save = menu->addAction(tr("Save Speech &As..."));
        save->setObjectName(QStringLiteral("mnuSaveSpeechAs"));
        connect(save, &QAction::triggered, this, &VoiceMenu::SaveSpeechAsChosen);
        QAction *pronunciations = menu->addAction(tr("Pro&nunciations..."));
        pronunciations->setObjectName(QStringLiteral("mnuPronunciations"));
        connect(pronunciations, &QAction::triggered, this, &VoiceMenu::PronunciationsChosen);
        menu->addSeparator();
    };
    if (voices.empty()) {
        addSave();
        menu->addAction(tr("No voices are available"))->setEnabled(false);
        return;
    }

    // The voice in use, named first.
    const auto inUse = std::find_if(voices.begin(), voices.end(),
                                    [&](const SpeechVoice &v) { return v.identifier == chosen; });
    QAction *current =
        menu->addAction(tr("Voice: %1")
                            .arg(inUse != voices.end() ? inUse->name : QString::fromUtf8(chosen))
                            .replace(u'&', QStringLiteral("&&")));
    current->setObjectName(QStringLiteral("voiceInUse"));
    current->setEnabled(false);
    addSave();

    // Each language by name, with its voices under it.
    struct Entry {
        QString variant;
        const SpeechVoice *voice;
    };
    std::map<QString, std::pair<QString, std::vector<Entry>>> languages;
    for (const SpeechVoice &voice : voices) {
        const VoiceNameParts parts = SplitVoiceName(voice.name);
        auto &language = languages[parts.language.toCaseFolded()];
        language.first = parts.language;
        language.second.push_back({parts.variant, &voice});
    }
    std::vector<const std::pair<QString, std::vector<Entry>> *> ordered;
    ordered.reserve(languages.size());
    for (const auto &entry : languages)
        ordered.push_back(&entry.second);
    std::sort(ordered.begin(), ordered.end(), [](const auto *a, const auto *b) {
        return QString::localeAwareCompare(a->first, b->first) < 0;
    });

    auto *group = new QActionGroup(menu);
    group->setExclusive(true);
    const auto addVoice = [&](QMenu *to, QString caption, const SpeechVoice &voice) {
        QAction *action = to->addAction(caption.replace(u'&', QStringLiteral("&&")));
        action->setCheckable(true);
        action->setChecked(voice.identifier == chosen);
        action->setData(voice.identifier);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, id = voice.identifier] { emit VoiceChosen(id); });
    };
    for (const auto *language : ordered) {
        const auto &[name, entries] = *language;
        // A language of one voice needs no submenu.
        if (entries.size() == 1) {
            const QString &variant = entries.front().variant;
            addVoice(menu, variant.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, variant),
                     *entries.front().voice);
            continue;
        }
        QMenu *sub = menu->addMenu(QString(name).replace(u'&', QStringLiteral("&&")));
        sub->setAccessibleName(name);
        for (const Entry &entry : entries) {
            QString caption = entry.variant.isEmpty() ? name : entry.variant;
            // Two voices of one name are told apart by their language codes.
            if (std::count_if(entries.begin(), entries.end(),
                              [&](const Entry &e) { return e.variant == entry.variant; }) > 1)
                caption += QStringLiteral(" [%1]").arg(entry.voice->language);
            addVoice(sub, caption, *entry.voice);
        }
    }
}
