#include "soundserver.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>

#include <chrono>

namespace {
constexpr auto kTimeout = std::chrono::seconds(2);
}

// A short-lived PulseAudio connection (PipeWire desktops serve the same
// protocol), resolving the server exactly as every client does.
std::string SoundServer::Problem() {
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop)
        return "the sound system could not be started";
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "Zavren Speech probe");
    std::string problem;
    if (!context) {
        problem = "the sound system could not be started";
    } else if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        problem = "no sound server is running";
    } else {
        const auto deadline = std::chrono::steady_clock::now() + kTimeout;
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY)
                break;
            if (!PA_CONTEXT_IS_GOOD(state)) {
                problem = "no sound server is running";
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                problem = "the sound server does not answer";
                break;
            }
            if (pa_mainloop_prepare(loop, 50 * 1000) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0) {
                problem = "the sound server does not answer";
                break;
            }
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return problem;
}
