#include "qaudiosinkoutput.h"

#include "platform/soundserver.h"
#include "speech/sound/pcmqueue.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>

namespace {
// Audio the sound server holds ahead of the listener; with the queue's own
// bound this keeps new pitch and speed audible within a few hundred ms.
constexpr int kDeviceBufferMs = 100;
// After the last read, how long the device may still be playing.
constexpr qint64 kTailMs = kDeviceBufferMs + 150;

// Qt 6.4 connects to the sound server once, when its audio layer is first
// used, and never retries a connection that failed. So it is not touched
// until a server has been seen; after that, Qt keeps its own connection.
bool qtAudioConnected = false;
} // namespace

// Hands the queue's samples to the sink, which reads on this thread.
class QAudioSinkOutput::QueueReader final : public QIODevice {
public:
    explicit QueueReader(PcmQueue &queue) : queue_(queue) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    bool RecentlyRead() const { return lastRead_.isValid() && lastRead_.elapsed() < kTailMs; }
    std::uint64_t SamplesRead() const { return read_; }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        const std::size_t n = queue_.Pull(reinterpret_cast<std::int16_t *>(data),
                                          static_cast<std::size_t>(maxSize) / 2);
        if (n > 0)
            lastRead_.start();
        read_ += n;
        return static_cast<qint64>(n) * 2;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    PcmQueue &queue_;
    QElapsedTimer lastRead_;
    std::uint64_t read_ = 0;
};

QAudioSinkOutput::QAudioSinkOutput() = default;

QAudioSinkOutput::~QAudioSinkOutput() {
    Stop();
}

SpeechStatus QAudioSinkOutput::Start(PcmQueue &queue, int sampleRate) {
    Stop();
    if (!qtAudioConnected) {
        const QString problem = QString::fromStdString(SoundServer::Problem());
        if (!problem.isEmpty())
            return SpeechStatus::Failed(
                QStringLiteral("No sound output is available (%1).").arg(problem));
    }
    // Asked afresh each time, so a device plugged in meanwhile is used.
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return SpeechStatus::Failed(QStringLiteral("No sound output device was found."));
    qtAudioConnected = true;

    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);

    sampleRate_ = sampleRate;
    base_ = queue.HandedOver(); // before the sink's first read
    auto sink = std::make_unique<QAudioSink>(device, format);
    sink->setBufferSize(format.bytesForDuration(qint64{kDeviceBufferMs} * 1000));
    auto reader = std::make_unique<QueueReader>(queue);
    sink->start(reader.get());
    // Qt 6.4 reports a failed start only here, with no signal.
    if (sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState) {
        const QString why = sink->error() == QAudio::OpenError
                                ? QStringLiteral("the sound device could not be opened")
                                : QStringLiteral("the sound server refused the connection");
        sink->stop();
        return SpeechStatus::Failed(QStringLiteral("No sound output is available (%1).").arg(why));
    }
    reader_ = std::move(reader);
    sink_ = std::move(sink);
    return SpeechStatus::Ok();
}

void QAudioSinkOutput::Stop() {
    if (sink_) {
        // Disconnecting the stream drops what the server still holds.
        sink_->stop();
        sink_.reset();
    }
    reader_.reset();
}

bool QAudioSinkOutput::Busy() const {
    return sink_ && sink_->state() == QAudio::ActiveState && reader_ && reader_->RecentlyRead();
}

std::uint64_t QAudioSinkOutput::PlayedSamples() const {
    if (!reader_ || !sink_)
        return base_;
    const std::uint64_t read = reader_->SamplesRead();
    // A stopped sink (a failure) or one whose tail has run out holds nothing.
    if (sink_->state() == QAudio::StoppedState || !reader_->RecentlyRead())
        return base_ + read;
    const qint64 usecs = std::max<qint64>(sink_->processedUSecs(), 0);
    const auto played = static_cast<std::uint64_t>(usecs) * std::uint64_t(sampleRate_) / 1000000;
    return base_ + std::min(played, read);
}
