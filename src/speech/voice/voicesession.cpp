#include "voicesession.h"

#include "speech/sound/audiooutput.h"
#include "speech/voice/speechengine.h"
#include "speech/voice/speechtext.h"
#include "speech/voice/voicescale.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
// Synthesis may run this far ahead of the device (100 ms at 22050 Hz).
constexpr std::size_t kQueueSamples = 2205;
constexpr int kFrameMs = FrameSchedule::kFrameMs;
// How quickly the drawn mouth settles on a new shape.
constexpr double kEaseMs = 28;

bool Near(const MouthPose &a, const MouthPose &b, double epsilon = 0.004) {
    return std::abs(a.open - b.open) < epsilon && std::abs(a.width - b.width) < epsilon &&
           std::abs(a.round - b.round) < epsilon;
}
} // namespace

VoiceSession::VoiceSession(std::unique_ptr<AudioOutput> output, const PlaybackClock *clock,
                           QObject *parent)
    : QObject(parent), channel_(std::make_shared<SpeechChannel>(kQueueSamples)),
      output_(std::move(output)), clock_(clock), frames_(this), pitch_(VoiceScale::StartingPitch()),
      speed_(VoiceScale::StartingSpeed()), pose_(PoseOf(Viseme::Rest)) {
    if (!clock_)
        clock_ = output_.get();
    channel_->pitch = VoiceScale::EspeakPitch(pitch_);
    channel_->rate = VoiceScale::EspeakRate(speed_);
    frames_.setInterval(kFrameMs);
    frames_.setTimerType(Qt::PreciseTimer);
    frames_.setSingleShot(true);
    connect(&frames_, &QTimer::timeout, this, &VoiceSession::Frame);
    // Marks that come while the control sleeps for want of them wake it. By
    // name: nothing of the engine's thread crosses over but the call itself.
    channel_->timeline.SetListener(
        [this] { QMetaObject::invokeMethod(this, "MarksArrived", Qt::QueuedConnection); });
    const auto fail = [this](const QString &description) {
        if (!speaking_)
            return;
        StopSpeaking().ok();
        emit SpeakingFailed(description);
    };
    output_->SetFailureHandler(this, fail);
    // The voice's helper failed: heard on the engine's thread, handled here.
    channel_->SetFaultHandler([this](std::uint64_t generation, const QString &description) {
        QMetaObject::invokeMethod(
            this, [this, generation, description] { VoiceFailed(generation, description); },
            Qt::QueuedConnection);
    });
}

VoiceSession::~VoiceSession() {
    // Closing the queue turns the engine away from this control at once, so
    // releasing the engine (and joining its thread) never waits on speech.
    channel_->timeline.SetListener({});
    channel_->SetFaultHandler({});
    channel_->queue.Close();
    channel_->timeline.Clear();
    output_->Stop();
    output_.reset();
    engine_.reset();
}

SpeechStatus VoiceSession::Speak(const QString &text) {
    if (const QString error = Engine().StartupError(); !error.isEmpty())
        return SpeechStatus::Failed(error);
    output_->Stop();
    paused_ = false;
    failure_.clear();
    restart_.Clear();
    restFrom_ = 0;
    if (!SpeechText::HasSomethingToSay(text)) {
        channel_->queue.Cancel();
        channel_->timeline.Clear();
        SetSpeaking(false);
        return SpeechStatus::Ok();
    }
    text_ = text;
    SpeechStatus started = StartFrom(0);
    if (!started.ok())
        return started;
    // A new text starts with the mouth at rest.
    SetMouth(Viseme::Rest, true);
    SetSpeaking(true);
    return SpeechStatus::Ok();
}

// Synthesis of text_ from `from` on, as a new utterance whose words still
// count from the start of text_.
SpeechStatus VoiceSession::StartFrom(qsizetype from) {
    const std::uint64_t generation = channel_->queue.Begin();
    channel_->timeline.Begin(generation);
    SpeechStatus started = output_->Start(channel_->queue, Engine().SampleRate());
    if (!started.ok()) {
        channel_->queue.Cancel();
        channel_->timeline.Clear();
        SetSpeaking(false);
        return started;
    }
    generation_ = generation;
    jobVoice_ = voice_;
    jobRate_ = channel_->rate;
    jobPitch_ = channel_->pitch;
    Engine().Speak(channel_, generation, SpeechRequest{text_, from, 0, jobVoice_});
    return SpeechStatus::Ok();
}

void VoiceSession::Pause() {
    if (!speaking_ || paused_)
        return;
    const SpeechTimeline::Heard heard = CatchUp();
    if (!speaking_)
        return;
    // Dropping what is queued is what makes the silence immediate; resuming
    // synthesizes again from the word, which costs less than the first sound.
    pausedAt_ = heard.hasWord ? std::clamp<qsizetype>(heard.word.start, 0, text_.size()) : 0;
    channel_->queue.Cancel();
    channel_->timeline.Clear();
    output_->Stop();
    frames_.stop();
    failure_.clear(); // resuming starts a fresh voice
    restFrom_ = 0;    // the whole text goes on from the pause
    restart_.Clear();
    paused_ = true;
}

SpeechStatus VoiceSession::Resume() {
    if (!paused_)
        return SpeechStatus::Ok();
    paused_ = false;
    if (!SpeechText::HasSomethingToSay(QStringView(text_).sliced(pausedAt_))) {
        SetSpeaking(false);
        return SpeechStatus::Ok();
    }
    SpeechStatus started = StartFrom(pausedAt_);
    if (!started.ok())
        return started;
    sinceFrame_.start();
    schedule_.Start(clock_->PlayedSamples());
    frames_.start(kFrameMs);
    return SpeechStatus::Ok();
}

SpeechStatus VoiceSession::StopSpeaking() {
    paused_ = false;
    failure_.clear();
    channel_->queue.Cancel();
    channel_->timeline.Clear();
    output_->Stop();
    SetSpeaking(false);
    return SpeechStatus::Ok();
}

void VoiceSession::Continue(const QString &whole) {
    if (!speaking_ || restFrom_ > 0 || !failure_.isEmpty() || whole.size() <= text_.size() ||
        !whole.startsWith(text_))
        return;
    if (paused_) {
        text_ = whole; // resuming synthesizes it all
        return;
    }
    restFrom_ = text_.size();
    text_ = whole;
    // Synthesis may have run to the end of the beginning already.
    frames_.start(0);
}

// Goes on where the text spoken so far ended, its audio right after the
// audio already handed to the device.
void VoiceSession::SynthesizeRest() {
    const qsizetype from = std::exchange(restFrom_, 0);
    channel_->queue.Reopen(generation_);
    Engine().Speak(channel_, generation_,
                   SpeechRequest{text_, from, channel_->queue.HandedOver(), jobVoice_});
}

void VoiceSession::SetPitch(std::int32_t pitch) {
    pitch_ = VoiceScale::Clamp(pitch);
    channel_->pitch = VoiceScale::EspeakPitch(pitch_);
    RequestRestart();
}

void VoiceSession::SetSpeed(std::int32_t speed) {
    speed_ = VoiceScale::Clamp(speed);
    channel_->rate = VoiceScale::EspeakRate(speed_);
    RequestRestart();
}

const SpeechTimeline &VoiceSession::Timeline() const {
    return channel_->timeline;
}

bool VoiceSession::SynthesisDone() const {
    return channel_->queue.Drained();
}

const std::vector<SpeechVoice> &VoiceSession::Voices() const {
    return Engine().Voices();
}

void VoiceSession::StartVoice() {
    Engine();
}

// The voice starts once the window has been painted, or when first needed.
SpeechEngine &VoiceSession::Engine() const {
    if (!engine_)
        engine_ = SpeechEngine::Acquire();
    return *engine_;
}

QByteArray VoiceSession::Voice() const {
    return voice_.isEmpty() ? Engine().DefaultVoice() : voice_;
}

bool VoiceSession::SetVoice(const QByteArray &identifier) {
    const auto &voices = Voices();
    if (std::none_of(voices.begin(), voices.end(),
                     [&](const SpeechVoice &v) { return v.identifier == identifier; }))
        return false;
    voice_ = identifier;
    if (!speaking_ || paused_)
        return true;
    restart_.SetVoiceChanged(voice_ != (jobVoice_.isEmpty() ? Engine().DefaultVoice() : jobVoice_));
    const SpeechTimeline::Heard heard = CatchUp();
    restart_.SetVoiceChosenAt(heard.wordSerial);
    if (speaking_)
        MaybeRestart(heard);
    return true;
}

void VoiceSession::RequestRestart() {
    if (!speaking_ || paused_)
        return;
    restart_.SetSettingsChanged(channel_->rate != jobRate_ || channel_->pitch != jobPitch_);
    if (!restart_.SettingsChanged())
        return;
    const SpeechTimeline::Heard heard = CatchUp();
    if (speaking_)
        MaybeRestart(heard);
}

// Takes in what the listener has reached and reports the words passed.
SpeechTimeline::Heard VoiceSession::CatchUp() {
    passed_.clear();
    const SpeechTimeline::Heard heard =
        channel_->timeline.Advance(clock_->PlayedSamples(), &passed_);
    const std::vector<WordSpan> words = std::move(passed_);
    for (const WordSpan &word : words) {
        emit WordReached(word.start, word.length);
        if (!speaking_)
            break; // a receiver stopped the voice
    }
    return heard;
}

void VoiceSession::MaybeRestart(const SpeechTimeline::Heard &heard) {
    if (!failure_.isEmpty())
        return; // the voice is heard out as it was
    const RestartPolicy::Due due = restart_.Check(heard.hasWord, heard.wordSerial);
    if (due == RestartPolicy::Due::Nothing)
        return;
    Restart(heard, due == RestartPolicy::Due::Voice ? voice_ : jobVoice_);
}

// Starts synthesis again at the word being heard with the settings as they
// are now, dropping the audio synthesized ahead (queued or in the device).
void VoiceSession::Restart(const SpeechTimeline::Heard &heard, const QByteArray &voice) {
    qsizetype from = 0;
    if (heard.hasWord)
        from = heard.afterWord ? heard.word.start + heard.word.length : heard.word.start;
    from = std::clamp<qsizetype>(from, 0, text_.size());
    restart_.Applied(voice != jobVoice_);
    // Synthesis from here on runs to the end of the whole text.
    restFrom_ = 0;
    if (!SpeechText::HasSomethingToSay(QStringView(text_).sliced(from)))
        return; // nothing left to say differently: let the voice finish

    // Where the listener is, read before the device lets go of its audio.
    const std::uint64_t listener = clock_->PlayedSamples();
    output_->Stop();
    const std::uint64_t generation = channel_->queue.Rewind(listener);
    generation_ = generation;
    const std::uint64_t played = channel_->queue.HandedOver();
    channel_->timeline.Rewind(generation, played);
    SpeechStatus started = output_->Start(channel_->queue, Engine().SampleRate());
    if (!started.ok()) {
        // The sound output went away under the voice: it falls silent.
        StopSpeaking().ok();
        return;
    }
    jobVoice_ = voice;
    jobRate_ = channel_->rate;
    jobPitch_ = channel_->pitch;
    Engine().Speak(channel_, generation, SpeechRequest{text_, from, played, jobVoice_});
    restart_.Restarted(heard.wordSerial);
    // The marks waited for were dropped: look again for the new ones.
    frames_.start(0);
}

void VoiceSession::Frame() {
    if (paused_)
        return; // held as it was
    const SpeechTimeline::Heard heard = CatchUp();
    if (!speaking_)
        return;
    SetMouth(heard.mouth, false);
    MaybeRestart(heard);
    if (!speaking_)
        return;
    const std::uint64_t played = clock_->PlayedSamples();
    if (restFrom_ > 0 && channel_->queue.Drained())
        SynthesizeRest();
    else if (channel_->queue.Drained() && !output_->Busy() &&
             played >= channel_->queue.HandedOver()) {
        Finish();
        return;
    }
    Animate();
    ScheduleFrame(played);
}

// Sleeps until something may change (see FrameSchedule), reading only what
// the schedule looks at.
void VoiceSession::ScheduleFrame(std::uint64_t played) {
    FrameSchedule::Sight sight;
    sight.played = played;
    sight.easing = !Near(pose_, PoseOf(mouth_));
    if (!sight.easing) {
        sight.mark = channel_->timeline.NextMark(true);
        sight.restDue = !sight.mark && restFrom_ > 0;
        sight.drained = !sight.mark && !sight.restDue && channel_->queue.Drained();
        if (sight.drained)
            sight.end = channel_->queue.HandedOver();
        if (sight.mark || sight.drained)
            sight.sampleRate = Engine().SampleRate();
    }
    frames_.start(schedule_.Wait(sight));
}

void VoiceSession::Finish() {
    CatchUp();
    if (!speaking_)
        return;
    const QString failure = std::exchange(failure_, QString());
    output_->Stop();
    channel_->timeline.Clear();
    SetSpeaking(false);
    if (!failure.isEmpty())
        emit SpeakingFailed(failure);
}

// The voice failed on synthesis `generation`: what it said before is played
// out and its words shown, then the failure is told (Finish).
void VoiceSession::VoiceFailed(std::uint64_t generation, const QString &description) {
    if (!speaking_ || paused_ || generation != generation_)
        return;
    failure_ = description;
    restFrom_ = 0;
    restart_.Clear();
    frames_.start(0);
}

void VoiceSession::SetSpeaking(bool speaking) {
    if (speaking) {
        sinceFrame_.start();
        schedule_.Start(clock_->PlayedSamples());
        frames_.start(kFrameMs);
    } else {
        frames_.stop();
        paused_ = false;
        text_.clear();
        restFrom_ = 0;
        restart_.Clear();
        // Silence shuts the mouth at once.
        SetMouth(Viseme::Rest, true);
    }
    if (speaking == speaking_)
        return;
    speaking_ = speaking;
    emit SpeakingChanged(speaking);
}

void VoiceSession::SetMouth(Viseme mouth, bool atOnce) {
    mouth_ = mouth;
    if (atOnce && !Near(pose_, PoseOf(mouth))) {
        pose_ = PoseOf(mouth);
        emit MouthMoved();
    }
}

// Eases the drawn mouth towards the shape heard; repaints only the mouth, and
// only when it moved.
void VoiceSession::Animate() {
    // After a sleep the ease starts now, not where the sleep began.
    const double elapsed =
        sinceFrame_.isValid() ? std::min<double>(sinceFrame_.restart(), kFrameMs) : kFrameMs;
    const MouthPose target = PoseOf(mouth_);
    if (Near(pose_, target))
        return;
    const double t = 1.0 - std::exp(-std::max(elapsed, 1.0) / kEaseMs);
    MouthPose next{Lerp(pose_.open, target.open, t), Lerp(pose_.width, target.width, t),
                   Lerp(pose_.round, target.round, t)};
    // Settled once what is left would move the lips by less than half a pixel.
    if (Near(next, target,
             std::max(0.004, 0.5 / std::max({mouthSize_.width(), mouthSize_.height(), 1.0}))))
        next = target;
    pose_ = next;
    emit MouthMoved();
}

void VoiceSession::MarksArrived() {
    if (speaking_ && !paused_)
        frames_.start(0);
}
