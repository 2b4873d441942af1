#pragma once

#include "speech/sound/serverwatchdog.h"

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class PcmQueue;
struct pa_context;
struct pa_mainloop_api;
struct pa_stream;

// The sound thread's half of the PulseAudio output: the connection to the
// server and the stream of the session asked for, fed from its queue and
// watched for a server that stops answering. Called on that thread alone,
// once a pass of its main loop.
class PulseStream {
public:
    using Report = std::function<void(std::uint64_t session, const QString &why)>;

    // What the owner's thread asks for and reads back, under `mutex`.
    struct Shared {
        mutable std::mutex mutex;
        std::condition_variable answer;
        std::uint64_t want = 0; // the session asked for; 0: none
        PcmQueue *queue = nullptr;
        int rate = 0;
        std::uint64_t played = 0;
        std::uint64_t written = 0;
        bool playing = false;
        std::uint64_t verdictFor = 0; // the latest session whose start was answered
        QString verdict;              // empty: it plays
    };

    // `report` hears of each failure, on the sound thread.
    PulseStream(pa_mainloop_api *api, Shared &shared, Report report);
    PulseStream(const PulseStream &) = delete;
    PulseStream &operator=(const PulseStream &) = delete;

    // Follows the session asked for, feeding and watching its stream; returns
    // how long the main loop may wait (µs; -1: for events only).
    int Pass();
    // The thread ends: nothing stays open.
    void Finish();

private:
    void Begin();
    static void ContextState(pa_context *context, void *self);
    void OpenStream();
    static void StreamState(pa_stream *stream, void *self);
    static void Underflow(pa_stream *stream, void *self);
    void Feed();
    void Watch();
    static void Pong(pa_stream *stream, int, void *self);
    void Answer(const QString &error);
    void Fail(const QString &why);
    void CloseStream();
    void DropContext();

    pa_mainloop_api *api_;
    Shared &shared_;
    Report report_;

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
