#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// A short, bounded queue of 16-bit mono samples between the synthesis thread
// and the sound device. Every utterance gets a new generation number; starting
// or cancelling one drops all queued audio of the previous one at once, and a
// producer still holding the old number is turned away. The bound is what keeps
// synthesis only a little ahead of the listener.
class PcmQueue {
public:
    explicit PcmQueue(std::size_t capacitySamples);

    // Control side (the speech control's thread).
    std::uint64_t Begin(); // new utterance: drops queued audio, returns its number
    void Cancel();         // drops queued audio; nothing is under way afterwards
    // Same utterance, new synthesis: drops queued audio, turns the old producer
    // away and continues the handed-over count from `position` (the point the
    // listener has reached; the device drops what it held beyond it). Returns
    // the new number.
    std::uint64_t Rewind(std::uint64_t position);
    void Close(); // for good: wakes and turns away every producer
    // Called on the producer's thread, under the queue's lock, when samples
    // arrive in an empty queue or synthesis ends: a device that waits for
    // work wakes on it. It must be quick and must not call the queue. Empty: none.
    void SetListener(std::function<void()> listener);

    // Producer side (synthesis thread). Blocks while the queue is full; returns
    // false when the utterance has been replaced or cancelled, or on Close.
    bool Push(std::uint64_t generation, const std::int16_t *samples, std::size_t count);
    // Synthesis of the utterance has ended: once the queue runs dry, it is done.
    void Finish(std::uint64_t generation);
    // Control side: more synthesis follows after all, for the same utterance.
    void Reopen(std::uint64_t generation);
    // True while the utterance is still current (not replaced or cancelled).
    bool IsCurrent(std::uint64_t generation) const;

    // Consumer side (sound device). Never blocks on the producer.
    std::size_t Pull(std::int16_t *out, std::size_t maxSamples);

    // The current utterance has been synthesized and handed over completely
    // (also true when nothing is under way).
    bool Drained() const;
    // Samples of the current utterance handed to the device so far: the
    // position in the played audio that later per-word events will refer to.
    std::uint64_t HandedOver() const;

private:
    void DropLocked();
    std::size_t Block() const { return std::max<std::size_t>(capacity_ / 4, 1); }

    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable space_;
    std::vector<std::int16_t> ring_;
    std::size_t head_ = 0;  // next sample to pull
    std::size_t count_ = 0; // samples queued
    std::uint64_t generation_ = 0;
    bool finished_ = true;
    bool closed_ = false;
    std::uint64_t handedOver_ = 0;
    std::function<void()> listener_;
};
