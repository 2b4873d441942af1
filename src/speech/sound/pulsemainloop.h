#pragma once

#include <atomic>
#include <functional>
#include <thread>

struct pa_mainloop;
struct pa_mainloop_api;

// A thread of its own running a PulseAudio main loop. Each pass first runs
// the owner's `pass`, which says how long the loop may then wait for events
// (in microseconds; -1: until one comes or Wake), then waits and dispatches
// what came. libpulse is called on this thread alone.
class PulseMainLoop {
public:
    using Pass = std::function<int()>;
    using Finish = std::function<void()>;

    PulseMainLoop();
    ~PulseMainLoop();
    PulseMainLoop(const PulseMainLoop &) = delete;
    PulseMainLoop &operator=(const PulseMainLoop &) = delete;

    // Null when the loop could not be made; the thread then ends at once.
    pa_mainloop_api *Api() const;
    // Starts the thread; `finish` runs on it after the last pass.
    void Start(Pass pass, Finish finish);
    // Ends the thread and waits for it.
    void Quit();
    // Ends the wait of the pass under way, or of the next one. Any thread.
    void Wake();

private:
    void Run();

    pa_mainloop *loop_ = nullptr;
    std::thread thread_;
    Pass pass_;
    Finish finish_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> woken_{false};
};
