#include "espeakspeechcontrol.h"

#include "audiooutput.h"
#include "speechengine.h"
#include "voicescale.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {
// Synthesis may run this far ahead of the device (100 ms at 22050 Hz).
constexpr std::size_t kQueueSamples = 2205;
constexpr int kFinishPollMs = 50;

bool HasSomethingToSay(const QString &text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return !c.isSpace() && c.category() != QChar::Other_Control;
    });
}
} // namespace

EspeakSpeechControl::EspeakSpeechControl(std::unique_ptr<AudioOutput> output, QWidget *parent)
    : SpeechControl(parent), engine_(SpeechEngine::Acquire()),
      channel_(std::make_shared<SpeechChannel>(kQueueSamples)), output_(std::move(output)),
      pitch_(VoiceScale::StartingPitch()), speed_(VoiceScale::StartingSpeed()) {
    channel_->pitch = VoiceScale::EspeakPitch(pitch_);
    channel_->rate = VoiceScale::EspeakRate(speed_);
    finishPoll_.setInterval(kFinishPollMs);
    connect(&finishPoll_, &QTimer::timeout, this, &EspeakSpeechControl::CheckFinished);
    setAccessibleName(tr("Voice"));
    setAccessibleDescription(tr("Idle"));
    setFocusPolicy(Qt::NoFocus);
}

EspeakSpeechControl::~EspeakSpeechControl() {
    // Closing the queue turns the engine away from this control at once, so
    // releasing the engine (and joining its thread) never waits on speech.
    channel_->queue.Close();
    output_->Stop();
    output_.reset();
    engine_.reset();
}

SpeechStatus EspeakSpeechControl::Speak(const QString &text) {
    if (const QString error = engine_->StartupError(); !error.isEmpty())
        return SpeechStatus::Failed(error);
    output_->Stop();
    if (!HasSomethingToSay(text)) {
        channel_->queue.Cancel();
        SetSpeaking(false);
        return SpeechStatus::Ok();
    }
    const std::uint64_t generation = channel_->queue.Begin();
    const SpeechStatus started = output_->Start(channel_->queue, engine_->SampleRate());
    if (!started.ok()) {
        channel_->queue.Cancel();
        SetSpeaking(false);
        return started;
    }
    engine_->Speak(channel_, generation, text);
    SetSpeaking(true);
    return SpeechStatus::Ok();
}

SpeechStatus EspeakSpeechControl::StopSpeaking() {
    channel_->queue.Cancel();
    output_->Stop();
    SetSpeaking(false);
    return SpeechStatus::Ok();
}

void EspeakSpeechControl::SetPitch(std::int32_t pitch) {
    pitch_ = VoiceScale::Clamp(pitch);
    channel_->pitch = VoiceScale::EspeakPitch(pitch_);
}

void EspeakSpeechControl::SetSpeed(std::int32_t speed) {
    speed_ = VoiceScale::Clamp(speed);
    channel_->rate = VoiceScale::EspeakRate(speed_);
}

void EspeakSpeechControl::CheckFinished() {
    if (channel_->queue.Drained() && !output_->Busy()) {
        output_->Stop();
        SetSpeaking(false);
    }
}

void EspeakSpeechControl::SetSpeaking(bool speaking) {
    if (speaking)
        finishPoll_.start();
    else
        finishPoll_.stop();
    if (speaking == speaking_)
        return;
    speaking_ = speaking;
    setAccessibleDescription(speaking ? tr("Speaking") : tr("Idle"));
    update();
    emit SpeakingChanged(speaking);
}

QSize EspeakSpeechControl::sizeHint() const {
    return {48, 48};
}

void EspeakSpeechControl::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    const QPalette &pal = palette();
    p.setPen(QPen(pal.color(QPalette::Mid), 1));
    p.setBrush(pal.color(QPalette::Base));
    p.drawRoundedRect(area, 4, 4);

    // A speaker cone, with sound waves while the voice is speaking.
    const qreal side = std::min(area.width(), area.height()) * 0.6;
    if (side < 4)
        return;
    const QPointF c = area.center();
    const QColor ink = speaking_ ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid);
    QPainterPath cone;
    cone.moveTo(c.x() - side * 0.5, c.y() - side * 0.15);
    cone.lineTo(c.x() - side * 0.3, c.y() - side * 0.15);
    cone.lineTo(c.x() - side * 0.05, c.y() - side * 0.4);
    cone.lineTo(c.x() - side * 0.05, c.y() + side * 0.4);
    cone.lineTo(c.x() - side * 0.3, c.y() + side * 0.15);
    cone.lineTo(c.x() - side * 0.5, c.y() + side * 0.15);
    cone.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(cone);
    if (!speaking_)
        return;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, std::max<qreal>(1.5, side * 0.06), Qt::SolidLine, Qt::RoundCap));
    for (int i = 1; i <= 2; ++i) {
        const qreal r = side * 0.18 * i;
        p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
    }
}
