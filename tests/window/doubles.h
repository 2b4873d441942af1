#pragma once

#include "messagebox.h"
#include "speechcontrol.h"

#include <QPointer>
#include <QStringList>
#include <vector>

// Records every call the window makes on its voice; fails the speaking
// operations with a set description when asked to.
class RecordingVoice final : public SpeechControl {
public:
    explicit RecordingVoice(std::int32_t pitch = 200, QWidget *parent = nullptr)
        : SpeechControl(parent), pitch_(pitch) {}

    SpeechStatus Speak(const QString &text) override {
        calls << QStringLiteral("Speak:") + text;
        return Outcome();
    }
    std::int32_t Pitch() const override { return pitch_; }
    void SetPitch(std::int32_t pitch) override {
        calls << QStringLiteral("SetPitch:%1").arg(pitch);
        pitch_ = pitch;
    }
    void SetSpeed(std::int32_t speed) override {
        calls << QStringLiteral("SetSpeed:%1").arg(speed);
    }
    SpeechStatus StopSpeaking() override {
        calls << QStringLiteral("StopSpeaking");
        return Outcome();
    }
    void Continue(const QString &whole) override { calls << QStringLiteral("Continue:") + whole; }

    QStringList calls;
    QString failWith; // empty: every operation succeeds

private:
    SpeechStatus Outcome() const {
        return failWith.isEmpty() ? SpeechStatus::Ok() : SpeechStatus::Failed(failWith);
    }
    std::int32_t pitch_;
};

struct ShownBox {
    QPointer<QWidget> parent;
    QString title;
    QString text;
    MessageIcon icon;
};

class RecordingBoxes final : public MessageBoxes {
public:
    void Show(QWidget *parent, const QString &title, const QString &text,
              MessageIcon icon) override {
        shown.push_back({parent, title, text, icon});
    }
    std::vector<ShownBox> shown;
};
