#include "memoryaudiooutput.h"

#include "speech/sound/pcmqueue.h"

#include <algorithm>
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
        played_ = queue.HandedOver();
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
                handovers_.emplace_back(samples_.size(), now);
                played_ = queue_->HandedOver();
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
    handovers_.clear();
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

std::int64_t MemoryAudioOutput::HandoverNsOfSample(std::size_t index) const {
    std::lock_guard lock(mutex_);
    const auto it = std::upper_bound(
        handovers_.begin(), handovers_.end(), index,
        [](std::size_t i, const std::pair<std::size_t, std::int64_t> &h) { return i < h.first; });
    return it == handovers_.end() ? -1 : it->second;
}

std::uint64_t MemoryAudioOutput::PlayedSamples() const {
    std::lock_guard lock(mutex_);
    return played_;
}
