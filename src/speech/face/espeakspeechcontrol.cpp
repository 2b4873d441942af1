#include "espeakspeechcontrol.h"

#include "speech/face/pronunciationswindow.h"
#include "speech/face/voicemenu.h"
#include "speech/sound/audiooutput.h"
#include "speech/voice/speechengine.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <algorithm>
#include <utility>

EspeakSpeechControl::EspeakSpeechControl(std::unique_ptr<AudioOutput> output, QWidget *parent)
    : EspeakSpeechControl(std::move(output), nullptr, parent) {
}

EspeakSpeechControl::EspeakSpeechControl(std::unique_ptr<AudioOutput> output,
                                         const PlaybackClock &clock, QWidget *parent)
    : EspeakSpeechControl(std::move(output), &clock, parent) {
}

EspeakSpeechControl::EspeakSpeechControl(std::unique_ptr<AudioOutput> output,
                                         const PlaybackClock *clock, QWidget *parent)
    : SpeechControl(parent), session_(std::move(output), clock, this) {
    connect(&session_, &VoiceSession::SpeakingChanged, this, [this](bool speaking) {
        setAccessibleDescription(speaking ? tr("Speaking") : tr("Idle"));

        update();
        emit SpeakingChanged(speaking);
    });
    connect(&session_, &VoiceSession::WordReached, this, &SpeechControl::WordReached);
    connect(&session_, &VoiceSession::SpeakingFailed, this, &SpeechControl::SpeakingFailed);
    connect(&session_, &VoiceSession::MouthMoved, this,
            [this] { update(MouthBox().toAlignedRect().adjusted(-3, -3, 3, 3)); });
    setAccessibleName(tr("Voice"));
    setAccessibleDescription(tr("Idle"));
    setToolTip(tr("Right-click, or press the menu key, to choose a voice"));
    // Reached by Tab for its voice menu; a click leaves the focus where it was.
    setFocusPolicy(Qt::TabFocus);
}

EspeakSpeechControl::~EspeakSpeechControl() = default;

QSize EspeakSpeechControl::sizeHint() const {
    return {48, 48};
}

QRectF EspeakSpeechControl::MouthBox() const {
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal d = std::min(area.width(), area.height()) * 0.86;
    const QPointF c = area.center();
    return {c.x() - d * 0.26, c.y() + d * 0.08, d * 0.52, d * 0.3};
}

void EspeakSpeechControl::changeEvent(QEvent *event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        face_ = QPixmap();
    SpeechControl::changeEvent(event);
}

void EspeakSpeechControl::DrawFace(QPainter &p) const {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    const QPalette &pal = palette();
    p.setPen(QPen(pal.color(QPalette::Mid), 1));
    p.setBrush(pal.color(QPalette::Base));
    p.drawRoundedRect(area, 4, 4);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }

    const qreal d = std::min(area.width(), area.height()) * 0.86;
    if (d < 8)
        return;
    const QPointF c = area.center();
    const QColor ink(0x3a, 0x2a, 0x1a);
    const qreal line = std::max<qreal>(1.2, d * 0.03);

    // The face, lit a little warmer while the voice speaks.
    p.setPen(QPen(ink, line));
    p.setBrush(session_.IsSpeaking() ? QColor(0xfb, 0xd5, 0x5b) : QColor(0xf1, 0xd8, 0x8f));
    p.drawEllipse(c, d / 2, d / 2);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const qreal eye = d * 0.055;
    p.drawEllipse(QPointF(c.x() - d * 0.16, c.y() - d * 0.12), eye, eye * 1.3);
    p.drawEllipse(QPointF(c.x() + d * 0.16, c.y() - d * 0.12), eye, eye * 1.3);
}

void EspeakSpeechControl::paintEvent(QPaintEvent *) {
    // The voice comes up once the window has been painted.
    if (!voiceStarted_) {
        voiceStarted_ = true;
        QTimer::singleShot(0, this, [this] { session_.StartVoice(); });
    }
    session_.SetMouthSize(MouthBox().size());
    // The mouth moves many times a second; the rest of the face is copied.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (face_.size() != pixels || face_.devicePixelRatio() != ratio ||
        faceLit_ != session_.IsSpeaking() || faceFocused_ != hasFocus()) {
        face_ = QPixmap(pixels);
        face_.setDevicePixelRatio(ratio);
        face_.fill(Qt::transparent);
        QPainter onFace(&face_);
        DrawFace(onFace);
        faceLit_ = session_.IsSpeaking();
        faceFocused_ = hasFocus();
    }
    QPainter p(this);
    p.drawPixmap(0, 0, face_);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal d = std::min(area.width(), area.height()) * 0.86;
    if (d < 8)
        return;
    const QColor ink(0x3a, 0x2a, 0x1a);
    const qreal line = std::max<qreal>(1.2, d * 0.03);

    // The mouth: its width, opening and rounding come from the pose.
    const MouthPose &pose = session_.Pose();
    const Viseme mouth = session_.Mouth();
    const QRectF box = MouthBox();
    const qreal w = std::max<qreal>(line * 2, box.width() * pose.width);
    const qreal h = box.height() * pose.open;
    const QPointF m = box.center();
    if (h < line * 1.2) {
        // Closed lips: a faint smile at rest, pressed flat for p, b, m.
        QPainterPath lips;
        const qreal curve = mouth == Viseme::Closed ? 0 : box.height() * 0.18;
        lips.moveTo(m.x() - w / 2, m.y());
        lips.quadTo(m.x(), m.y() + curve, m.x() + w / 2, m.y());
        p.setPen(
            QPen(ink, mouth == Viseme::Closed ? line * 1.6 : line, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(lips);
        return;
    }
    const QRectF opening(m.x() - w / 2, m.y() - h / 2, w, h);
    // Relative corner radii: 100 draws an ellipse, for rounded lips.
    const qreal radius = Lerp(70, 100, pose.round);
    p.setPen(QPen(ink, line));
    p.setBrush(QColor(0x7d, 0x1f, 0x22));
    p.drawRoundedRect(opening, radius, radius, Qt::RelativeSize);
    if (mouth == Viseme::LipTeeth || mouth == Viseme::Spread || mouth == Viseme::Narrow) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(opening.left() + w * 0.2, opening.top() + line / 2, w * 0.6,
                          std::min(h * 0.35, box.height() * 0.1)));
    }
}

void EspeakSpeechControl::focusInEvent(QFocusEvent *event) {
    SpeechControl::focusInEvent(event);
    update();
}

void EspeakSpeechControl::focusOutEvent(QFocusEvent *event) {
    SpeechControl::focusOutEvent(event);
    update();
}

QMenu *EspeakSpeechControl::CreateVoiceMenu() {
    auto *menu = new VoiceMenu(session_.Voices(), session_.Voice(), this);
    connect(menu, &VoiceMenu::VoiceChosen, this,
            [this](const QByteArray &identifier) { session_.SetVoice(identifier); });
    connect(menu, &VoiceMenu::SaveSpeechAsChosen, this,
            &EspeakSpeechControl::SaveSpeechAsRequested);
    connect(menu, &VoiceMenu::PronunciationsChosen, this, &EspeakSpeechControl::OpenPronunciations);
    emit VoiceMenuOpening(menu);
    return menu;
}

void EspeakSpeechControl::Pause() {
    if (!session_.IsSpeaking() || session_.IsPaused())
        return;
    session_.Pause();
    setAccessibleDescription(tr("Paused"));
}

SpeechStatus EspeakSpeechControl::Resume() {
    if (!session_.IsPaused())
        return SpeechStatus::Ok();
    SpeechStatus status = session_.Resume();
    if (session_.IsSpeaking())
        setAccessibleDescription(tr("Speaking"));
    return status;
}

void EspeakSpeechControl::OpenVoiceMenu(const QPoint &globalPos) {
    QMenu *menu = CreateVoiceMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

void EspeakSpeechControl::contextMenuEvent(QContextMenuEvent *event) {
    OpenVoiceMenu(event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                              : mapToGlobal(rect().center()));
    event->accept();
}

void EspeakSpeechControl::keyPressEvent(QKeyEvent *event) {
    // The menu key, or Shift+F10 as on most desktops, opens the voice menu.
    if (event->key() == Qt::Key_Menu ||
        (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        OpenVoiceMenu(mapToGlobal(rect().center()));
        event->accept();
        return;
    }
    SpeechControl::keyPressEvent(event);
}

void EspeakSpeechControl::OpenPronunciations() {
    // One window, raised again when asked for again.
    if (!pronunciations_) {
        pronunciations_ = new PronunciationsWindow(window());
        pronunciations_->setAttribute(Qt::WA_DeleteOnClose);
    }
    pronunciations_->show();
    pronunciations_->raise();
    pronunciations_->activateWindow();
}
