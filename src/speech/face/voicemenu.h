#pragma once

#include "speech/voice/voicelink.h"

#include <QMenu>
#include <vector>

// The voice's context menu: the voice in use named at the top, Save Speech
// As and Pronunciations, then each language by name with its voices, the chosen one checked.
class VoiceMenu final : public QMenu {
    Q_OBJECT
public:
    VoiceMenu(const std::vector<SpeechVoice> &voices, const QByteArray &chosen,
              QWidget *parent = nullptr);

signals:
    void VoiceChosen(const QByteArray &identifier);
    void SaveSpeechAsChosen();
    void PronunciationsChosen();
};
