#pragma once

#include "speech/sound/audiooutput.h"

#include <QElapsedTimer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// An in-memory sound device for tests and benchmarks: a thread of its own
// pulls from the queue, either as fast as samples come or at a multiple of
// real time, and keeps every sample with the time it was handed over.
class MemoryAudioOutput final : public AudioOutput {
public:
    // speedFactor 0: pull as fast as samples arrive; otherwise pull at that
    // many times real time.
    explicit MemoryAudioOutput(double speedFactor = 0);
    ~MemoryAudioOutput() override;

    SpeechStatus Start(PcmQueue &queue, int sampleRate) override;
    void Stop() override;
    bool Busy() const override { return false; }
    // Nothing is held back: what has been handed over counts as played.
    std::uint64_t PlayedSamples() const override;

    // Everything recorded so far (all utterances, in order).
    std::vector<std::int16_t> Samples() const;
    std::size_t SampleCount() const;
    void ClearSamples();
    int SampleRate() const { return sampleRate_; }
    // Nanoseconds on Clock() at which the first and the latest non-empty
    // handover happened since ClearSamples(); -1 if none.
    std::int64_t FirstHandoverNs() const;
    std::int64_t LastHandoverNs() const;
    // When the sample at `index` of Samples() was handed over; -1 if not yet.
    std::int64_t HandoverNsOfSample(std::size_t index) const;
    // The clock those times are read on.
    std::int64_t ClockNs() const { return clock_.nsecsElapsed(); }

private:
    void Pump();

    const double speedFactor_;
    QElapsedTimer clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    PcmQueue *queue_ = nullptr;
    int sampleRate_ = 0;
    bool quit_ = false;
    std::uint64_t starts_ = 0; // wakes a paced pump at once on Start
    std::vector<std::int16_t> samples_;
    std::uint64_t played_ = 0; // queue position reached, kept across a stop
    // (samples recorded after the handover, when) for every handover
    std::vector<std::pair<std::size_t, std::int64_t>> handovers_;
    std::int64_t firstNs_ = -1;
    std::int64_t lastNs_ = -1;
    std::thread pump_;
};
