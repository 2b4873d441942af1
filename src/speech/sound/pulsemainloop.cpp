#include "pulsemainloop.h"

#include <pulse/mainloop.h>

PulseMainLoop::PulseMainLoop() {
    loop_ = pa_mainloop_new();
}

PulseMainLoop::~PulseMainLoop() {
    Quit();
    if (loop_)
        pa_mainloop_free(loop_);
}

pa_mainloop_api *PulseMainLoop::Api() const {
    return loop_ ? pa_mainloop_get_api(loop_) : nullptr;
}

void PulseMainLoop::Start(Pass pass, Finish finish) {
    pass_ = std::move(pass);
    finish_ = std::move(finish);
    thread_ = std::thread([this] { Run(); });
}

void PulseMainLoop::Quit() {
    if (!thread_.joinable())
        return;
    quit_ = true;
    Wake();
    thread_.join();
}

void PulseMainLoop::Wake() {
    woken_ = true;
    if (loop_)
        pa_mainloop_wakeup(loop_);
}

void PulseMainLoop::Run() {
    if (!loop_)
        return;
    for (;;) {
        if (quit_)
            break;
        const int timeout = pass_();
        if (pa_mainloop_prepare(loop_, timeout) < 0)
            break;
        // Preparing empties the wake-up pipe: a Wake() that came since the
        // top of this pass would be lost.
        if (woken_.exchange(false))
            pa_mainloop_wakeup(loop_);
        if (pa_mainloop_poll(loop_) < 0 || pa_mainloop_dispatch(loop_) < 0)
            break;
    }
    finish_();
}
