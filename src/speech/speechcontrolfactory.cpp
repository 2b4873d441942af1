#include "speechcontrolfactory.h"

#include "speechcontrol.h"

namespace {
// Stand-in until the espeak-ng control arrives.
class SilentSpeechControl final : public SpeechControl {
public:
    using SpeechControl::SpeechControl;
    SpeechStatus Speak(const QString &) override { return SpeechStatus::Ok(); }
    std::int32_t Pitch() const override { return pitch_; }
    void SetPitch(std::int32_t pitch) override { pitch_ = pitch; }
    void SetSpeed(std::int32_t) override {}
    SpeechStatus StopSpeaking() override { return SpeechStatus::Ok(); }

private:
    std::int32_t pitch_ = 200;
};
} // namespace

std::unique_ptr<SpeechControl> CreateSpeechControl(QWidget *parent) {
    return std::make_unique<SilentSpeechControl>(parent);
}
