#pragma once

#include "speech/speechstatus.h"

#include <QString>
#include <QWidget>
#include <cstdint>

// The voice hosted on the speech window: a widget that owns its rectangle and
// offers exactly the operations the window relies on. Speak returns at once
// while the voice goes on; StopSpeaking silences it at once.
class SpeechControl : public QWidget {
    Q_OBJECT
public:
    explicit SpeechControl(QWidget *parent = nullptr) : QWidget(parent) {}
    ~SpeechControl() override = default;

    virtual SpeechStatus Speak(const QString &text) = 0;
    virtual std::int32_t Pitch() const = 0;
    virtual void SetPitch(std::int32_t pitch) = 0;
    virtual void SetSpeed(std::int32_t speed) = 0;
    virtual SpeechStatus StopSpeaking() = 0;
    // The text last handed to Speak is the beginning of `whole`: once that
    // has been said, the voice goes on with the rest, and words are reported
    // where they stand in `whole`. Ignored unless that speech is under way.
    virtual void Continue(const QString &whole) { (void)whole; }
    // Holds speech where it is, silent at once; Resume goes on from the word
    // that was being heard. Speak and StopSpeaking end a pause. A voice that
    // cannot pause keeps speaking.
    virtual void Pause() {}
    virtual SpeechStatus Resume() { return SpeechStatus::Ok(); }
    virtual bool IsPaused() const { return false; }

signals:
    // The voice started (a speak with something to say) or fell silent
    // (finished, stopped or replaced by nothing).
    void SpeakingChanged(bool speaking);
    // The listener has reached a word: where it stands in the text last handed
    // to Speak, in UTF-16 units. Comes for every word, in the order heard.
    void WordReached(qsizetype start, qsizetype length);
    // The voice fell silent by itself because its sound output failed (the
    // sound server went away or stopped answering). `description` says why,
    // as a failed Speak's does. SpeakingChanged(false) comes first.
    void SpeakingFailed(const QString &description);
};
