#pragma once

#include "speech/face/speechcontrol.h"
#include "speech/voice/voicesession.h"

#include <QByteArray>
#include <QPixmap>
#include <QPointer>
#include <memory>
#include <vector>

class PronunciationsWindow;
class QMenu;

// The speech control: a voice (VoiceSession) shown as a face whose mouth moves
// with what the listener hears, with the voice menu as its context menu.
class EspeakSpeechControl final : public SpeechControl {
    Q_OBJECT
public:
    explicit EspeakSpeechControl(std::unique_ptr<AudioOutput> output, QWidget *parent = nullptr);
    // Follows `clock` (which must outlive the control) instead of the output's
    // own idea of what has been played.
    EspeakSpeechControl(std::unique_ptr<AudioOutput> output, const PlaybackClock &clock,
                        QWidget *parent = nullptr);
    ~EspeakSpeechControl() override;

    SpeechStatus Speak(const QString &text) override { return session_.Speak(text); }
    std::int32_t Pitch() const override { return session_.Pitch(); }
    void SetPitch(std::int32_t pitch) override { session_.SetPitch(pitch); }
    void SetSpeed(std::int32_t speed) override { session_.SetSpeed(speed); }
    SpeechStatus StopSpeaking() override { return session_.StopSpeaking(); }
    void Continue(const QString &whole) override { session_.Continue(whole); }
    void Pause() override;
    SpeechStatus Resume() override;
    bool IsPaused() const override { return session_.IsPaused(); }

    bool IsSpeaking() const { return session_.IsSpeaking(); }
    std::int32_t Speed() const { return session_.Speed(); }
    QSize sizeHint() const override;

    const std::vector<SpeechVoice> &Voices() const { return session_.Voices(); }
    QByteArray Voice() const { return session_.Voice(); }
    bool SetVoice(const QByteArray &identifier) { return session_.SetVoice(identifier); }
    bool VoiceChosen() const { return session_.VoiceChosen(); }
    Viseme Mouth() const { return session_.Mouth(); }
    const SpeechTimeline &Timeline() const { return session_.Timeline(); }
    bool SynthesisDone() const { return session_.SynthesisDone(); }
    // The voice menu, opened as the context menu; the caller owns it.
    QMenu *CreateVoiceMenu();
    // The pronunciations window, opened from the voice menu.
    void OpenPronunciations();

signals:
    // Save Speech As was chosen from the voice menu.
    void SaveSpeechAsRequested();
    // The voice menu is about to open: the window adds its reading commands.
    void VoiceMenuOpening(QMenu *menu);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    EspeakSpeechControl(std::unique_ptr<AudioOutput> output, const PlaybackClock *clock,
                        QWidget *parent);
    void OpenVoiceMenu(const QPoint &globalPos);
    QRectF MouthBox() const;
    void DrawFace(QPainter &p) const;

    VoiceSession session_;
    bool voiceStarted_ = false;
    // Everything but the mouth, drawn once for each look it can have.
    QPixmap face_;
    bool faceLit_ = false;
    bool faceFocused_ = false;
    QPointer<PronunciationsWindow> pronunciations_;
};
