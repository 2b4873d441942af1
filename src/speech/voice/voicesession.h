#pragma once

#include "speech/speechstatus.h"
#include "speech/voice/frameschedule.h"
#include "speech/voice/restartpolicy.h"
#include "speech/voice/speechtimeline.h"
#include "speech/voice/viseme.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QSizeF>
#include <QTimer>
#include <memory>
#include <vector>

class AudioOutput;
class PlaybackClock;
class SpeechEngine;
struct SpeechChannel;
struct SpeechVoice;

// The voice itself, without a face: an espeak-ng voice played through an
// AudioOutput, following what the listener hears. Speak hands the text to the
// engine's thread and returns; a speak while speech is under way replaces it.
// Pitch, speed and voice changed while speaking are heard at once: synthesis
// starts again at the word being heard. All methods run on the object's thread.
class VoiceSession final : public QObject {
    Q_OBJECT
public:
    // Follows `clock` (which must outlive the session) when given, else the
    // output's own idea of what has been played.
    VoiceSession(std::unique_ptr<AudioOutput> output, const PlaybackClock *clock,
                 QObject *parent = nullptr);
    ~VoiceSession() override;

    SpeechStatus Speak(const QString &text);
    std::int32_t Pitch() const { return pitch_; }
    void SetPitch(std::int32_t pitch);
    void SetSpeed(std::int32_t speed);
    SpeechStatus StopSpeaking();
    void Continue(const QString &whole);
    // Pause falls silent at once, the mouth and the word heard held as they
    // are; Resume speaks again from the start of that word. A speak or a stop
    // ends the pause. Pitch, speed and voice chosen meanwhile apply on resume.
    void Pause();
    SpeechStatus Resume();
    bool IsPaused() const { return paused_; }
    // Starts the voice now rather than when first needed.
    void StartVoice();

    bool IsSpeaking() const { return speaking_; }
    std::int32_t Speed() const { return speed_; }

    // The engine's voices, and the one chosen (its identifier). A choice made
    // while speaking is heard from the next word; it lasts as long as the
    // session.
    const std::vector<SpeechVoice> &Voices() const;
    QByteArray Voice() const;
    bool SetVoice(const QByteArray &identifier); // false for an unknown voice
    // Whether a voice was set at all, rather than the engine's default kept.
    bool VoiceChosen() const { return !voice_.isEmpty(); }

    // The mouth shape for what is heard now (Rest when silent), and the pose
    // drawn for it, easing towards that shape.
    Viseme Mouth() const { return mouth_; }
    const MouthPose &Pose() const { return pose_; }
    // How large the mouth is drawn, in pixels: easing ends within half a pixel.
    void SetMouthSize(const QSizeF &size) { mouthSize_ = size; }
    // Where the words and mouth shapes of the speech under way begin.
    const SpeechTimeline &Timeline() const;
    // Everything of the speech under way has been synthesized and handed to
    // the sound device (also true when nothing is under way).
    bool SynthesisDone() const;

signals:
    // As SpeechControl's.
    void SpeakingChanged(bool speaking);
    void WordReached(qsizetype start, qsizetype length);
    void SpeakingFailed(const QString &description);
    // The pose or shape of the mouth changed: the face is to be drawn again.
    void MouthMoved();

private slots:
    // New marks have come: a control asleep for want of them wakes.
    void MarksArrived();

private:
    void SetSpeaking(bool speaking);
    void Frame();
    void ScheduleFrame(std::uint64_t played);
    SpeechTimeline::Heard CatchUp();
    void RequestRestart();
    void MaybeRestart(const SpeechTimeline::Heard &heard);
    void Restart(const SpeechTimeline::Heard &heard, const QByteArray &voice);
    void Finish();
    void VoiceFailed(std::uint64_t generation, const QString &description);
    void SynthesizeRest();
    void SetMouth(Viseme mouth, bool atOnce);
    void Animate();

    SpeechEngine &Engine() const;
    SpeechStatus StartFrom(qsizetype from);

    mutable std::shared_ptr<SpeechEngine> engine_;
    std::shared_ptr<SpeechChannel> channel_;
    std::unique_ptr<AudioOutput> output_;
    const PlaybackClock *clock_;
    QTimer frames_;
    FrameSchedule schedule_;
    std::int32_t pitch_;
    std::int32_t speed_;
    bool speaking_ = false;
    bool paused_ = false;
    qsizetype pausedAt_ = 0; // where the word heard at the pause begins

    // The utterance under way and what its synthesis was started with.
    QString text_;
    std::uint64_t generation_ = 0; // of the synthesis under way
    // Where synthesis goes on once the text spoken so far is done; 0: nowhere.
    qsizetype restFrom_ = 0;
    QByteArray voice_; // empty: the engine's default
    QByteArray jobVoice_;
    int jobRate_ = 0;
    int jobPitch_ = 0;
    // Changes waiting to be heard, and the word where synthesis last restarted.
    RestartPolicy restart_;
    std::vector<WordSpan> passed_;
    // The voice failed: told once what it said before has been heard.
    QString failure_;

    // The mouth as drawn, easing towards the shape heard.
    Viseme mouth_ = Viseme::Rest;
    MouthPose pose_;
    QElapsedTimer sinceFrame_;
    QSizeF mouthSize_{24, 14};
};
