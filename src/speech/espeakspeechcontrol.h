#pragma once

#include "speechcontrol.h"

#include <QTimer>
#include <memory>

class AudioOutput;
class SpeechEngine;
struct SpeechChannel;

// The speech control: an espeak-ng voice played through an AudioOutput. Speak
// hands the text to the engine's thread and returns; a speak while speech is
// under way replaces it. All methods run on the widget's thread.
class EspeakSpeechControl final : public SpeechControl {
    Q_OBJECT
public:
    explicit EspeakSpeechControl(std::unique_ptr<AudioOutput> output, QWidget *parent = nullptr);
    ~EspeakSpeechControl() override;

    SpeechStatus Speak(const QString &text) override;
    std::int32_t Pitch() const override { return pitch_; }
    void SetPitch(std::int32_t pitch) override;
    void SetSpeed(std::int32_t speed) override;
    SpeechStatus StopSpeaking() override;

    bool IsSpeaking() const { return speaking_; }
    std::int32_t Speed() const { return speed_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void SetSpeaking(bool speaking);
    void CheckFinished();

    std::shared_ptr<SpeechEngine> engine_;
    std::shared_ptr<SpeechChannel> channel_;
    std::unique_ptr<AudioOutput> output_;
    QTimer finishPoll_;
    std::int32_t pitch_;
    std::int32_t speed_;
    bool speaking_ = false;
};
