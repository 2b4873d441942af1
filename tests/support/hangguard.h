#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

// Ends the process, naming the step it was on, when no step finishes in time
// (a minute unless told): a deadlock shows as a named failure instead of a
// silent timeout.
class HangGuard {
public:
    explicit HangGuard(int seconds = 60) : seconds_(seconds), thread_([this] { Watch(); }) {}
    ~HangGuard() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void Step(const char *what) {
        std::lock_guard lock(mutex_);
        what_ = what;
        ++steps_;
    }

private:
    void Watch() {
        std::unique_lock lock(mutex_);
        unsigned long seen = steps_;
        while (!wake_.wait_for(lock, std::chrono::seconds(seconds_), [&] { return done_; })) {
            if (steps_ == seen) {
                std::fprintf(stderr, "HANG: no progress for %d s, last step: %s\n", seconds_,
                             what_);
                std::abort();
            }
            seen = steps_;
        }
    }

    const int seconds_;
    std::mutex mutex_;
    std::condition_variable wake_;
    const char *what_ = "starting";
    unsigned long steps_ = 0;
    bool done_ = false;
    std::thread thread_;
};
