#include "pulsestream.h"

#include "speech/sound/pcmqueue.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <algorithm>
#include <chrono>
#include <utility>

namespace {
using Clock = ServerWatchdog::Clock;

// Audio the server holds ahead of the listener; with the queue's own bound
// this keeps new pitch and speed audible within a few hundred ms.
constexpr int kDeviceBufferMs = 100;
// Playback starts once this much is queued (or synthesis has ended).
constexpr int kPrebufferMs = 20;
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

PulseStream::PulseStream(pa_mainloop_api *api, Shared &shared, Report report)
    : api_(api), shared_(shared), report_(std::move(report)) {
}

int PulseStream::Pass() {
    std::uint64_t want = 0;
    {
        std::lock_guard lock(shared_.mutex);
        want = shared_.want;
        streamRate_ = shared_.rate;
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
    // An idle connection needs no ticks: its own events and Wake() end the
    // wait.
    return session_ && !failed_ ? kTickUs : -1;
}

void PulseStream::Finish() {
    CloseStream();
    DropContext();
}

void PulseStream::Begin() {
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
    context_ = pa_context_new(api_, "Zavren Speech");
    if (!context_) {
        Fail(Unavailable("the sound system could not be started"));
        return;
    }
    pa_context_set_state_callback(context_, &PulseStream::ContextState, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        Fail(Unavailable("no sound server is running"));
}

void PulseStream::ContextState(pa_context *context, void *self) {
    auto *that = static_cast<PulseStream *>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        if (that->session_ && !that->failed_ && !that->stream_)
            that->OpenStream();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        if (that->session_ && !that->failed_) {
            that->Fail(that->stream_ && that->ready_ ? Stopped("the sound server went away")
                                                     : Unavailable("no sound server is running"));
        } else {
            that->DropContext();
        }
        break;
    default:
        break;
    }
}

void PulseStream::OpenStream() {
    const pa_sample_spec format{PA_SAMPLE_S16LE, std::uint32_t(streamRate_), 1};
    stream_ = pa_stream_new(context_, "Speech", &format, nullptr);
    if (!stream_) {
        Fail(Unavailable("the sound server refused the stream"));
        return;
    }
    ready_ = false;
    pa_stream_set_state_callback(stream_, &PulseStream::StreamState, this);
    pa_stream_set_underflow_callback(stream_, &PulseStream::Underflow, this);
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

void PulseStream::StreamState(pa_stream *stream, void *self) {
    auto *that = static_cast<PulseStream *>(self);
    if (stream != that->stream_)
        return;
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        that->ready_ = true;
        that->Answer(QString());
        that->Feed();
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        that->Fail(that->ready_ ? Stopped("the sound server ended the stream")
                                : Unavailable("the sound server refused the stream"));
        break;
    default:
        break;
    }
}

// The server ran out of our audio: all of it written so far has played.
// The stream's time alone may stop short of the end when the last piece
// came after a run-out.
void PulseStream::Underflow(pa_stream *stream, void *self) {
    auto *that = static_cast<PulseStream *>(self);
    if (stream == that->stream_)
        that->ranOutAt_ = that->written_local_;
}

// Moves what the queue holds to the server, as far as it takes it.
void PulseStream::Feed() {
    if (!stream_ || !ready_)
        return;
    std::size_t writable = pa_stream_writable_size(stream_);
    if (writable == std::size_t(-1))
        return;
    while (writable >= 2) {
        const std::size_t want = std::min(writable / 2, buffer_.size());
        std::size_t got = 0;
        {
            std::lock_guard lock(shared_.mutex);
            if (shared_.want != session_ || !shared_.queue)
                return; // stopped meanwhile: not one more sample
            got = shared_.queue->Pull(buffer_.data(), want);
        }
        if (got == 0)
            break;
        if (pa_stream_write(stream_, buffer_.data(), got * 2, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            Fail(Stopped("the sound server ended the stream"));
            return;
        }
        written_local_ += got;
        writable -= got * 2;
        triggered_ = false;
    }
    bool drained = false;
    {
        std::lock_guard lock(shared_.mutex);
        drained = shared_.want == session_ && shared_.queue && shared_.queue->Drained();
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
    std::lock_guard lock(shared_.mutex);
    if (shared_.want == session_) {
        shared_.written = written_local_;
        shared_.played = std::max({shared_.played, played, ranOutAt_});
    }
}

// Gives up on a server that does not answer.
void PulseStream::Watch() {
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
        if (pa_operation *op = pa_stream_update_timing_info(stream_, &PulseStream::Pong, this)) {
            pa_operation_unref(op);
            watchdog_.PingSent(now);
        }
        break;
    }
}

void PulseStream::Pong(pa_stream *stream, int, void *self) {
    auto *that = static_cast<PulseStream *>(self);
    if (stream == that->stream_)
        that->watchdog_.Answered(Clock::now());
}

// The verdict on the session's start, for Start's short wait.
void PulseStream::Answer(const QString &error) {
    std::lock_guard lock(shared_.mutex);
    if (shared_.verdictFor == session_)
        return;
    shared_.verdictFor = session_;
    shared_.verdict = error;
    shared_.answer.notify_all();
}

void PulseStream::Fail(const QString &why) {
    failed_ = true;
    CloseStream();
    // A fresh connection next time: the server may have been replaced.
    DropContext();
    Answer(why);
    report_(session_, why);
}

void PulseStream::CloseStream() {
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

void PulseStream::DropContext() {
    if (!context_)
        return;
    CloseStream();
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}
