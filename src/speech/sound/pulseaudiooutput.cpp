#include "pulseaudiooutput.h"

#include "speech/sound/pcmqueue.h"
#include "speech/sound/serverwatchdog.h"

#include <QMetaObject>
#include <QObject>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {
using Clock = ServerWatchdog::Clock;

// Audio the server holds ahead of the listener; with the queue's own bound
// this keeps new pitch and speed audible within a few hundred ms.
constexpr int kDeviceBufferMs = 100;
// Playback starts once this much is queued (or synthesis has ended).
constexpr int kPrebufferMs = 20;
// How long Start waits for the server's answer before letting the failure
// handler deliver a late one. A server that answers does so in a few ms.
constexpr auto kStartWait = std::chrono::milliseconds(150);
// While a stream plays: how often the thread feeds it, reads the position
// and checks that the server still answers.
constexpr int kTickUs = 20 * 1000;

QString Unavailable(const char *why) {
    return QStringLiteral("No sound output is available (%1).").arg(QLatin1String(why));
}

QString Stopped(const char *why) {
    return QStringLiteral("The sound output stopped (%1).").arg(QLatin1String(why));
}
} // namespace

// The sound thread: it alone calls libpulse, on a main loop of its own that
// never blocks for longer than a tick while a stream is wanted.
class PulseAudioOutput::Loop {
public:
    using Report = std::function<void(std::uint64_t session, const QString &why)>;

    explicit Loop(Report report) : report_(std::move(report)) {
        loop_ = pa_mainloop_new();
        thread_ = std::thread([this] { Run(); });
    }

    ~Loop() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        Wake();
        thread_.join();
        pa_mainloop_free(loop_);
    }

    // --- The owner's thread ---

    // Asks for a stream for `session` and waits a moment for the verdict:
    // true with `error` set or empty when one came, false when still pending.
    bool Open(std::uint64_t session, PcmQueue &queue, int rate, QString *error) {
        std::unique_lock lock(mutex_);
        want_ = session;
        queue_ = &queue;
        rate_ = rate;
        played_ = written_ = 0;
        playing_ = true;
        lock.unlock();
        queue.SetListener([this] { Wake(); });
        Wake();
        lock.lock();
        const bool answered =
            answer_.wait_for(lock, kStartWait, [&] { return verdictFor_ == session; });
        if (answered)
            *error = verdict_;
        return answered;
    }

    // No more pulls from the queue once this returns; the thread closes the
    // stream, which drops what the server still holds.
    void Close() {
        PcmQueue *queue = nullptr;
        {
            std::lock_guard lock(mutex_);
            want_ = 0;
            queue = std::exchange(queue_, nullptr);
            playing_ = false;
        }
        if (queue)
            queue->SetListener({});
        Wake();
    }

    bool Busy() const {
        std::lock_guard lock(mutex_);
        return playing_ && played_ < written_;
    }

    std::uint64_t Played() const {
        std::lock_guard lock(mutex_);
        return std::min(played_, written_);
    }

    void Wake() {
        woken_ = true;
        if (loop_)
            pa_mainloop_wakeup(loop_);
    }

private:
    // --- The sound thread ---

    void Run() {
        if (!loop_)
            return;
        for (;;) {
            std::uint64_t want = 0;
            {
                std::lock_guard lock(mutex_);
                if (quit_)
                    break;
                want = want_;
                streamRate_ = rate_;
            }
            if (want != session_) {
                CloseStream();
                session_ = want;
                failed_ = false;
                if (session_)
                    Begin();
            }
            if (session_ && !failed_) {
                Feed();
                Watch();
            }
            // An idle connection needs no ticks: its own events and Wake()
            // end the wait.
            const int timeout = session_ && !failed_ ? kTickUs : -1;
            if (pa_mainloop_prepare(loop_, timeout) < 0)
                break;
            // Preparing empties the wake-up pipe: a Wake() that came since the
            // top of this pass would be lost.
            if (woken_.exchange(false))
                pa_mainloop_wakeup(loop_);
            if (pa_mainloop_poll(loop_) < 0 || pa_mainloop_dispatch(loop_) < 0)
                break;
        }
        CloseStream();
        DropContext();
    }

    void Begin() {
        watchdog_.Begin(Clock::now());
        written_local_ = 0;
        ranOutAt_ = 0;
        triggered_ = false;
        if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) {
            OpenStream();
            return;
        }
        if (context_)
            return; // still connecting: OpenStream follows when it is ready
        context_ = pa_context_new(pa_mainloop_get_api(loop_), "Zavren Speech");
        if (!context_) {
            Fail(Unavailable("the sound system could not be started"));
            return;
        }
        pa_context_set_state_callback(context_, &Loop::ContextState, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            Fail(Unavailable("no sound server is running"));
    }

    static void ContextState(pa_context *context, void *self) {
        auto *loop = static_cast<Loop *>(self);
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (loop->session_ && !loop->failed_ && !loop->stream_)
                loop->OpenStream();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            if (loop->session_ && !loop->failed_) {
                loop->Fail(loop->stream_ && loop->ready_
                               ? Stopped("the sound server went away")
                               : Unavailable("no sound server is running"));
            } else {
                loop->DropContext();
            }
            break;
        default:
            break;
        }
    }

    void OpenStream() {
        const pa_sample_spec format{PA_SAMPLE_S16LE, std::uint32_t(streamRate_), 1};
        stream_ = pa_stream_new(context_, "Speech", &format, nullptr);
        if (!stream_) {
            Fail(Unavailable("the sound server refused the stream"));
            return;
        }
        ready_ = false;
        pa_stream_set_state_callback(stream_, &Loop::StreamState, this);
        pa_stream_set_underflow_callback(stream_, &Loop::Underflow, this);
        const auto bytes = [&](int ms) { return std::uint32_t(streamRate_ * 2 / 1000 * ms); };
        pa_buffer_attr attr{};
        attr.maxlength = std::uint32_t(-1);
        attr.tlength = bytes(kDeviceBufferMs);
        attr.prebuf = bytes(kPrebufferMs);
        // Asked for a quarter of the buffer at a time, not every 10 ms.
        attr.minreq = bytes(kDeviceBufferMs / 4);
        attr.fragsize = std::uint32_t(-1);
        // No device named: the server's default as it is now.
        if (pa_stream_connect_playback(
                stream_, nullptr, &attr,
                // Timing comes with the pings that watch the
                // server; interpolated between them.
                pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY), nullptr,
                nullptr) < 0)
            Fail(Unavailable("the sound server refused the stream"));
    }

    static void StreamState(pa_stream *stream, void *self) {
        auto *loop = static_cast<Loop *>(self);
        if (stream != loop->stream_)
            return;
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            loop->ready_ = true;
            loop->Answer(QString());
            loop->Feed();
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            loop->Fail(loop->ready_ ? Stopped("the sound server ended the stream")
                                    : Unavailable("the sound server refused the stream"));
            break;
        default:
            break;
        }
    }

    // The server ran out of our audio: all of it written so far has played.
    // The stream's time alone may stop short of the end when the last piece
    // came after a run-out.
    static void Underflow(pa_stream *stream, void *self) {
        auto *loop = static_cast<Loop *>(self);
        if (stream == loop->stream_)
            loop->ranOutAt_ = loop->written_local_;
    }

    // Moves what the queue holds to the server, as far as it takes it.
    void Feed() {
        if (!stream_ || !ready_)
            return;
        std::size_t writable = pa_stream_writable_size(stream_);
        if (writable == std::size_t(-1))
            return;
        while (writable >= 2) {
            const std::size_t want = std::min(writable / 2, buffer_.size());
            std::size_t got = 0;
            {
                std::lock_guard lock(mutex_);
                if (want_ != session_ || !queue_)
                    return; // stopped meanwhile: not one more sample
                got = queue_->Pull(buffer_.data(), want);
            }
            if (got == 0)
                break;
            if (pa_stream_write(stream_, buffer_.data(), got * 2, nullptr, 0, PA_SEEK_RELATIVE) <
                0) {
                Fail(Stopped("the sound server ended the stream"));
                return;
            }
            written_local_ += got;
            writable -= got * 2;
            triggered_ = false;
        }
        bool drained = false;
        {
            std::lock_guard lock(mutex_);
            drained = want_ == session_ && queue_ && queue_->Drained();
        }
        // The end of the speech plays even when it is shorter than the prebuffer.
        if (drained && !triggered_ && written_local_ > 0) {
            if (pa_operation *op = pa_stream_trigger(stream_, nullptr, nullptr))
                pa_operation_unref(op);
            triggered_ = true;
        }
        pa_usec_t usec = 0;
        std::uint64_t played = 0;
        // To the nearest sample: the time is rounded down from a byte count,
        // and rounding down twice could leave the end one sample short of
        // played for ever.
        if (pa_stream_get_time(stream_, &usec) == 0)
            played = (usec * std::uint64_t(streamRate_) + 500000) / 1000000;
        std::lock_guard lock(mutex_);
        if (want_ == session_) {
            written_ = written_local_;
            played_ = std::max({played_, played, ranOutAt_});
        }
    }

    // Gives up on a server that does not answer.
    void Watch() {
        const auto now = Clock::now();
        switch (watchdog_.Check(now, ready_)) {
        case ServerWatchdog::Verdict::Fine:
            break;
        case ServerWatchdog::Verdict::SilentWhileOpening:
            Fail(Unavailable("the sound server does not answer"));
            break;
        case ServerWatchdog::Verdict::SilentWhilePlaying:
            Fail(Stopped("the sound server does not answer"));
            break;
        case ServerWatchdog::Verdict::Ping:
            if (pa_operation *op = pa_stream_update_timing_info(stream_, &Loop::Pong, this)) {
                pa_operation_unref(op);
                watchdog_.PingSent(now);
            }
            break;
        }
    }

    static void Pong(pa_stream *stream, int, void *self) {
        auto *loop = static_cast<Loop *>(self);
        if (stream == loop->stream_)
            loop->watchdog_.Answered(Clock::now());
    }

    // The verdict on the session's start, for Start's short wait.
    void Answer(const QString &error) {
        std::lock_guard lock(mutex_);
        if (verdictFor_ == session_)
            return;
        verdictFor_ = session_;
        verdict_ = error;
        answer_.notify_all();
    }

    void Fail(const QString &why) {
        failed_ = true;
        CloseStream();
        // A fresh connection next time: the server may have been replaced.
        DropContext();
        Answer(why);
        report_(session_, why);
    }

    void CloseStream() {
        if (!stream_)
            return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
        // Disconnecting drops what the server still holds.
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
            pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
        ready_ = false;
    }

    void DropContext() {
        if (!context_)
            return;
        CloseStream();
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }

    Report report_;
    pa_mainloop *loop_ = nullptr;
    std::thread thread_;

    std::atomic<bool> woken_{false};
    mutable std::mutex mutex_;
    std::condition_variable answer_;
    bool quit_ = false;
    std::uint64_t want_ = 0;
    PcmQueue *queue_ = nullptr;
    int rate_ = 0;
    std::uint64_t played_ = 0;
    std::uint64_t written_ = 0;
    bool playing_ = false;
    std::uint64_t verdictFor_ = 0;
    QString verdict_;

    // The sound thread's own.
    int streamRate_ = 0;
    std::uint64_t session_ = 0;
    bool failed_ = false;
    pa_context *context_ = nullptr;
    pa_stream *stream_ = nullptr;
    bool ready_ = false;
    ServerWatchdog watchdog_;
    std::uint64_t written_local_ = 0;
    std::uint64_t ranOutAt_ = 0;
    bool triggered_ = false;
    std::vector<std::int16_t> buffer_ = std::vector<std::int16_t>(4096);
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
