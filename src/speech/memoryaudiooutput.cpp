#include "memoryaudiooutput.h"

#include "pcmqueue.h"

#include <chrono>

namespace {
constexpr std::size_t kPeriodSamples = 441; // 20 ms at 22050 Hz
}

MemoryAudioOutput::MemoryAudioOutput(double speedFactor) : speedFactor_(speedFactor) {
    clock_.start();
    pump_ = std::thread([this] { Pump(); });
}

MemoryAudioOutput::~MemoryAudioOutput() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        queue_ = nullptr;
    }
    wake_.notify_all();
    pump_.join();
}

SpeechStatus MemoryAudioOutput::Start(PcmQueue &queue, int sampleRate) {
    {
        std::lock_guard lock(mutex_);
        queue_ = &queue;
        sampleRate_ = sampleRate;
        ++starts_;
    }
    wake_.notify_all();
    return SpeechStatus::Ok();
}

void MemoryAudioOutput::Stop() {
    // Taking the lock waits out a handover in progress.
    std::lock_guard lock(mutex_);
    queue_ = nullptr;
}

void MemoryAudioOutput::Pump() {
    std::int16_t buffer[kPeriodSamples];
    std::unique_lock lock(mutex_);
    while (!quit_) {
        const std::uint64_t starts = starts_;
        std::size_t n = 0;
        if (queue_) {
            n = queue_->Pull(buffer, kPeriodSamples);
            if (n > 0) {
                const std::int64_t now = clock_.nsecsElapsed();
                if (firstNs_ < 0)
                    firstNs_ = now;
                lastNs_ = now;
                samples_.insert(samples_.end(), buffer, buffer + n);
            }
        }
        // Paced: wait as long as the pulled audio lasts. Otherwise poll
        // briefly for more; the queue has no consumer wake-up of its own.
        std::chrono::microseconds wait(200);
        if (n > 0 && speedFactor_ > 0 && sampleRate_ > 0)
            wait = std::chrono::microseconds(
                static_cast<std::int64_t>(1e6 * double(n) / sampleRate_ / speedFactor_));
        else if (n > 0)
            continue;
        wake_.wait_for(lock, wait, [&] { return quit_ || starts_ != starts; });
    }
}

std::vector<std::int16_t> MemoryAudioOutput::Samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

std::size_t MemoryAudioOutput::SampleCount() const {
    std::lock_guard lock(mutex_);
    return samples_.size();
}

void MemoryAudioOutput::ClearSamples() {
    std::lock_guard lock(mutex_);
    samples_.clear();
    firstNs_ = -1;
    lastNs_ = -1;
}

std::int64_t MemoryAudioOutput::FirstHandoverNs() const {
    std::lock_guard lock(mutex_);
    return firstNs_;
}

std::int64_t MemoryAudioOutput::LastHandoverNs() const {
    std::lock_guard lock(mutex_);
    return lastNs_;
}
