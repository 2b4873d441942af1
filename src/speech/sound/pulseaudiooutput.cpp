#include "pulseaudiooutput.h"

#include "speech/sound/pcmqueue.h"
#include "speech/sound/pulsemainloop.h"
#include "speech/sound/pulsestream.h"
#include "speech/sound/serverwatchdog.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <utility>

namespace {
// How long Start waits for the server's answer before letting the failure
// handler deliver a late one. A server that answers does so in a few ms.
constexpr auto kStartWait = std::chrono::milliseconds(150);
} // namespace

// The owner's side of the sound thread: asks it for a session's stream and
// reads back how far it has played.
class PulseAudioOutput::Loop {
public:
    explicit Loop(PulseStream::Report report)
        : stream_(mainLoop_.Api(), shared_, std::move(report)) {
        mainLoop_.Start([this] { return stream_.Pass(); }, [this] { stream_.Finish(); });
    }

    ~Loop() { mainLoop_.Quit(); }

    // Asks for a stream for `session` and waits a moment for the verdict:
    // true with `error` set or empty when one came, false when still pending.
    bool Open(std::uint64_t session, PcmQueue &queue, int rate, QString *error) {
        std::unique_lock lock(shared_.mutex);
        shared_.want = session;
        shared_.queue = &queue;
        shared_.rate = rate;
        shared_.played = shared_.written = 0;
        shared_.playing = true;
        lock.unlock();
        queue.SetListener([this] { Wake(); });
        Wake();
        lock.lock();
        const bool answered = shared_.answer.wait_for(
            lock, kStartWait, [&] { return shared_.verdictFor == session; });
        if (answered)
            *error = shared_.verdict;
        return answered;
    }

    // No more pulls from the queue once this returns; the thread closes the
    // stream, which drops what the server still holds.
    void Close() {
        PcmQueue *queue = nullptr;
        {
            std::lock_guard lock(shared_.mutex);
            shared_.want = 0;
            queue = std::exchange(shared_.queue, nullptr);
            shared_.playing = false;
        }
        if (queue)
            queue->SetListener({});
        Wake();
    }

    bool Busy() const {
        std::lock_guard lock(shared_.mutex);
        return shared_.playing && shared_.played < shared_.written;
    }

    std::uint64_t Played() const {
        std::lock_guard lock(shared_.mutex);
        return std::min(shared_.played, shared_.written);
    }

    void Wake() { mainLoop_.Wake(); }

private:
    PulseStream::Shared shared_;
    PulseMainLoop mainLoop_;
    PulseStream stream_;
};

PulseAudioOutput::PulseAudioOutput() : alive_(std::make_shared<char>()) {
    loop_ = std::make_unique<Loop>(
        [this, alive = std::weak_ptr<char>(alive_)](std::uint64_t session, const QString &why) {
            // From the sound thread, which sees a context set before any Start;
            // judged on the context's thread, where a later Start or Stop may
            // already have made it old news.
            if (!context_)
                return;
            QMetaObject::invokeMethod(
                context_,
                [this, alive, session, why] {
                    if (alive.expired())
                        return;
                    if (session == session_ && session != answeredFailed_ && handler_)
                        handler_(why);
                },
                Qt::QueuedConnection);
        });
}

PulseAudioOutput::~PulseAudioOutput() {
    Stop();
    loop_.reset();
}

void PulseAudioOutput::SetFailureHandler(QObject *context, FailureHandler handler) {
    context_ = context;
    handler_ = std::move(handler);
}

SpeechStatus PulseAudioOutput::Start(PcmQueue &queue, int sampleRate) {
    Stop();
    session_ = ++lastSession_;
    base_ = queue.HandedOver(); // before the first pull
    QString error;
    if (loop_->Open(session_, queue, sampleRate, &error) && !error.isEmpty()) {
        answeredFailed_ = session_;
        Stop();
        return SpeechStatus::Failed(error);
    }
    return SpeechStatus::Ok();
}

void PulseAudioOutput::Stop() {
    if (!session_)
        return;
    loop_->Close();
    session_ = 0;
}

bool PulseAudioOutput::Busy() const {
    return session_ && loop_->Busy();
}

std::uint64_t PulseAudioOutput::PlayedSamples() const {
    return session_ ? base_ + loop_->Played() : base_;
}
