#include "pcmqueue.h"

#include <algorithm>
#include <utility>

PcmQueue::PcmQueue(std::size_t capacitySamples)
    : capacity_(std::max<std::size_t>(capacitySamples, 1)), ring_(capacity_) {
}

void PcmQueue::DropLocked() {
    head_ = 0;
    count_ = 0;
    handedOver_ = 0;
}

std::uint64_t PcmQueue::Begin() {
    std::lock_guard lock(mutex_);
    DropLocked();
    ++generation_;
    finished_ = false;
    space_.notify_all();
    return generation_;
}

void PcmQueue::Cancel() {
    std::lock_guard lock(mutex_);
    DropLocked();
    ++generation_;
    finished_ = true;
    space_.notify_all();
}

std::uint64_t PcmQueue::Rewind(std::uint64_t position) {
    std::lock_guard lock(mutex_);
    const std::uint64_t handedOver = std::min(handedOver_, position);
    DropLocked();
    handedOver_ = handedOver;
    ++generation_;
    finished_ = closed_;
    space_.notify_all();
    return generation_;
}

void PcmQueue::Close() {
    std::lock_guard lock(mutex_);
    DropLocked();
    ++generation_;
    finished_ = true;
    closed_ = true;
    space_.notify_all();
}

bool PcmQueue::Push(std::uint64_t generation, const std::int16_t *samples, std::size_t count) {
    std::unique_lock lock(mutex_);
    while (count > 0) {
        // Woken for a fair block of room, not for every sample the device takes.
        const std::size_t room = std::min(count, Block());
        space_.wait(lock, [&] {
            return closed_ || generation != generation_ || capacity_ - count_ >= room;
        });
        if (closed_ || generation != generation_)
            return false;
        const std::size_t n = std::min(count, capacity_ - count_);
        for (std::size_t i = 0; i < n; ++i)
            ring_[(head_ + count_ + i) % capacity_] = samples[i];
        // A device that found the queue empty waits to hear of more; one
        // that left samples in it comes back for them by itself.
        const bool wasEmpty = count_ == 0;
        count_ += n;
        samples += n;
        count -= n;
        if (listener_ && wasEmpty)
            listener_();
    }
    return !closed_ && generation == generation_;
}

void PcmQueue::Finish(std::uint64_t generation) {
    std::lock_guard lock(mutex_);
    if (generation == generation_) {
        finished_ = true;
        if (listener_)
            listener_();
    }
}

void PcmQueue::Reopen(std::uint64_t generation) {
    std::lock_guard lock(mutex_);
    if (generation == generation_ && !closed_)
        finished_ = false;
}

void PcmQueue::SetListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

bool PcmQueue::IsCurrent(std::uint64_t generation) const {
    std::lock_guard lock(mutex_);
    return !closed_ && generation == generation_;
}

std::size_t PcmQueue::Pull(std::int16_t *out, std::size_t maxSamples) {
    std::lock_guard lock(mutex_);
    const std::size_t n = std::min(maxSamples, count_);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = ring_[(head_ + i) % capacity_];
    head_ = (head_ + n) % capacity_;
    count_ -= n;
    handedOver_ += n;
    // A producer waits for at most a block of room: told when that much is free.
    if (capacity_ - count_ >= Block() && capacity_ - count_ - n < Block())
        space_.notify_all();
    return n;
}

bool PcmQueue::Drained() const {
    std::lock_guard lock(mutex_);
    return finished_ && count_ == 0;
}

std::uint64_t PcmQueue::HandedOver() const {
    std::lock_guard lock(mutex_);
    return handedOver_;
}
