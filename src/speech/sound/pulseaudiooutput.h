#pragma once

#include "speech/sound/audiooutput.h"

#include <memory>

// Plays through the desktop's PulseAudio server (PipeWire serves the same
// protocol) from a thread of its own. The calling thread never waits on the
// server: Start waits a moment for its answer and otherwise leaves the
// verdict to the failure handler, and a server that stalls, dies or is
// replaced is noticed within two seconds. Each Start opens a new stream on
// the server's default device as it is then.
class PulseAudioOutput final : public AudioOutput {
public:
    PulseAudioOutput();
    ~PulseAudioOutput() override;

    SpeechStatus Start(PcmQueue &queue, int sampleRate) override;
    void Stop() override;
    bool Busy() const override;
    std::uint64_t PlayedSamples() const override;
    void SetFailureHandler(QObject *context, FailureHandler handler) override;

private:
    class Loop;
    std::shared_ptr<char> alive_; // queued failure reports check it
    std::unique_ptr<Loop> loop_;
    QObject *context_ = nullptr;
    FailureHandler handler_;
    std::uint64_t session_ = 0;        // the Start under way; 0 after Stop
    std::uint64_t lastSession_ = 0;    // sessions are never reused
    std::uint64_t answeredFailed_ = 0; // a session whose failure Start returned
    std::uint64_t base_ = 0;           // the queue's handed-over count at Start
};
