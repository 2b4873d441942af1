#pragma once

#include "speech/sound/audiooutput.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <memory>

class QAudioSink;

// Plays through Qt Multimedia's QAudioSink in pull mode: the sink's own timer
// reads the queue on this thread, so a stop here can never race a read.
class QAudioSinkOutput final : public AudioOutput {
public:
    QAudioSinkOutput();
    ~QAudioSinkOutput() override;

    SpeechStatus Start(PcmQueue &queue, int sampleRate) override;
    void Stop() override;
    bool Busy() const override;
    // From the sink's own count of what it has played; everything read counts
    // as played once the device has run dry.
    std::uint64_t PlayedSamples() const override;

private:
    class QueueReader;
    std::unique_ptr<QueueReader> reader_;
    std::unique_ptr<QAudioSink> sink_;
    int sampleRate_ = 0;
    std::uint64_t base_ = 0; // the queue's handed-over count at the start
};
