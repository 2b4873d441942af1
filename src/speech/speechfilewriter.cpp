#include "speechfilewriter.h"

#include "speech/speechengine.h"
#include "speech/speechsubtitles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <chrono>
#include <filesystem>
#include <memory>
#include <sndfile.h>
#include <system_error>
#include <thread>
#include <vector>

namespace {
// Synthesis may run up to a second ahead of the writing.
constexpr std::size_t kQueueSamples = 22050;
constexpr std::size_t kPullSamples = 8192;
// Opus takes only a few sample rates; the voice is raised to the nearest.
constexpr int kOpusRate = 24000;

QString Shown(const QString &path) {
    return QDir::toNativeSeparators(path);
}

QString WithSuffix(const QString &path, const char *suffix) {
    const QFileInfo info(path);
    const QString base = info.completeSuffix().isEmpty()
                             ? info.fileName()
                             : info.fileName().chopped(info.suffix().size() + 1);
    return info.dir().filePath(base + QLatin1String(suffix));
}

// A file being written under a hidden name beside its target; removed unless
// moved into place.
struct PendingFile {
    explicit PendingFile(const QString &target)
        : target(target),
          file(QFileInfo(target).absoluteDir().filePath(
              QLatin1Char('.') + QFileInfo(target).fileName() + QLatin1String(".XXXXXX"))) {}
    QString Open() {
        if (file.open())
            return {};
        return QStringLiteral("Cannot write to %1: %2")
            .arg(Shown(QFileInfo(target).absolutePath()), file.errorString());
    }
    QString target;
    QTemporaryFile file;
};

// Straight-line interpolation from one rate up to another: plenty for a voice.
class Upsampler {
public:
    Upsampler(int from, int to) : from_(std::uint64_t(from)), to_(std::uint64_t(to)) {}
    void Push(const std::int16_t *in, std::size_t n, std::vector<std::int16_t> &out) {
        const std::uint64_t end = inCount_ + n;
        const auto at = [&](std::uint64_t i) -> std::int64_t {
            return i < inCount_ ? prev_ : in[i - inCount_];
        };
        for (;;) {
            const std::uint64_t position = next_ * from_;
            const std::uint64_t k = position / to_;
            const std::int64_t frac = std::int64_t(position % to_);
            if (k + 1 >= end)
                break;
            out.push_back(std::int16_t((at(k) * (std::int64_t(to_) - frac) + at(k + 1) * frac) /
                                       std::int64_t(to_)));
            ++next_;
        }
        if (n > 0) {
            prev_ = in[n - 1];
            inCount_ = end;
        }
    }

private:
    std::uint64_t from_, to_;
    std::uint64_t inCount_ = 0; // input samples seen
    std::uint64_t next_ = 0;    // next output sample
    std::int16_t prev_ = 0;     // the last input sample
};

int SndFormat(AudioFileFormat format) {
    switch (format) {
    case AudioFileFormat::Wav:
        // RF64 only when a book outgrows the 4 GB a WAV file can hold.
        return SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    case AudioFileFormat::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFileFormat::Ogg:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case AudioFileFormat::Opus:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    case AudioFileFormat::Mp3:
        return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    }
    return 0;
}

struct SndCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};

// Moves every pending file into place; on a failure puts back none.
QString MoveIntoPlace(std::vector<std::unique_ptr<PendingFile>> &files, bool overwrite) {
    QStringList placed;
    QString error;
    for (auto &pending : files) {
        pending->file.close();
        pending->file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                     QFileDevice::ReadGroup | QFileDevice::ReadOther);
        bool moved = false;
        if (overwrite) {
            std::error_code code;
            std::filesystem::rename(
                std::filesystem::path(pending->file.fileName().toStdU16String()),
                std::filesystem::path(pending->target.toStdU16String()), code);
            moved = !code;
            if (!moved)
                error = QString::fromStdString(code.message());
        } else {
            // Refuses, without a race, to replace a file that appeared meanwhile.
            moved = pending->file.rename(pending->target);
            if (!moved)
                error = QFileInfo::exists(pending->target)
                            ? QStringLiteral("the file exists already")
                            : pending->file.errorString();
        }
        if (!moved) {
            for (const QString &done : placed)
                QFile::remove(done);
            return QStringLiteral("Cannot write %1: %2").arg(Shown(pending->target), error);
        }
        pending->file.setAutoRemove(false);
        placed << pending->target;
    }
    return {};
}
} // namespace

std::optional<AudioFileFormat> AudioFormatForPath(const QString &path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("wav"))
        return AudioFileFormat::Wav;
    if (suffix == QLatin1String("flac"))
        return AudioFileFormat::Flac;
    if (suffix == QLatin1String("ogg") || suffix == QLatin1String("oga"))
        return AudioFileFormat::Ogg;
    if (suffix == QLatin1String("opus"))
        return AudioFileFormat::Opus;
    if (suffix == QLatin1String("mp3"))
        return AudioFileFormat::Mp3;
    return std::nullopt;
}

QStringList AudioFileExtensions() {
    return {QStringLiteral("wav"), QStringLiteral("flac"), QStringLiteral("ogg"),
            QStringLiteral("opus"), QStringLiteral("mp3")};
}

QStringList SpeechFileOutputs(const SpeechFileJob &job) {
    QStringList outputs{job.path};
    if (job.srt)
        outputs << WithSuffix(job.path, ".srt");
    if (job.lrc)
        outputs << WithSuffix(job.path, ".lrc");
    return outputs;
}

QString WriteSpeechFile(const SpeechFileJob &job,
                        const std::function<bool(const SpeechFileProgress &)> &progress) {
    const std::optional<AudioFileFormat> format = AudioFormatForPath(job.path);
    if (!format)
        return QStringLiteral("Cannot tell the kind of audio file from the name %1: it should end "
                              "in .wav, .flac, .ogg, .opus or .mp3")
            .arg(Shown(job.path));
    const QStringList outputs = SpeechFileOutputs(job);
    for (const QString &out : outputs) {
        const QFileInfo info(out);
        if (info.isDir())
            return QStringLiteral("%1 is a folder").arg(Shown(out));
        if (info.exists() && !job.overwrite)
            return QStringLiteral("%1 exists already").arg(Shown(out));
    }

    const std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
    if (const QString error = engine->StartupError(); !error.isEmpty())
        return error;
    const int voiceRate = engine->SampleRate();
    const int fileRate = *format == AudioFileFormat::Opus ? kOpusRate : voiceRate;

    std::vector<std::unique_ptr<PendingFile>> files;
    for (const QString &out : outputs) {
        files.push_back(std::make_unique<PendingFile>(out));
        if (const QString error = files.back()->Open(); !error.isEmpty())
            return error;
    }
    QTemporaryFile &audioFile = files.front()->file;
    QTemporaryFile *srtFile = job.srt ? &files[1]->file : nullptr;
    QTemporaryFile *lrcFile = job.lrc ? &files.back()->file : nullptr;

    SF_INFO info{};
    info.samplerate = fileRate;
    info.channels = 1;
    info.format = SndFormat(*format);
    std::unique_ptr<SNDFILE, SndCloser> sound(
        sf_open_fd(audioFile.handle(), SFM_WRITE, &info, SF_FALSE));
    if (!sound)
        return QStringLiteral("Cannot write %1: %2").arg(Shown(job.path), sf_strerror(nullptr));
    if (*format == AudioFileFormat::Wav)
        sf_command(sound.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);

    auto channel = std::make_shared<SpeechChannel>(kQueueSamples);
    channel->rate = VoiceScale::EspeakRate(job.speed);
    channel->pitch = VoiceScale::EspeakPitch(job.pitch);
    const std::uint64_t generation = channel->queue.Begin();
    channel->timeline.Begin(generation);
    engine->Speak(channel, generation, SpeechRequest{job.text, 0, 0, job.voice});
    // However the writing ends, the engine lets go of the channel.
    struct Abandon {
        SpeechChannel &channel;
        ~Abandon() { channel.queue.Close(); }
    } abandon{*channel};

    SpeechSubtitles subtitles(job.text, voiceRate);
    std::optional<Upsampler> upsampler;
    if (fileRate != voiceRate)
        upsampler.emplace(voiceRate, fileRate);
    std::vector<std::int16_t> pulled(kPullSamples);
    std::vector<std::int16_t> raised;
    SpeechFileProgress state{0, job.text.size(), 0, voiceRate};

    const auto writeSubtitles = [&]() -> QString {
        const auto put = [&](QTemporaryFile *file, const QByteArray &bytes) {
            return !file || bytes.isEmpty() || file->write(bytes) == bytes.size();
        };
        if (!put(srtFile, subtitles.TakeSrt()) || !put(lrcFile, subtitles.TakeLrc()))
            return QStringLiteral("Cannot write the subtitles beside %1: %2")
                .arg(Shown(job.path),
                     (srtFile && srtFile->error() != QFileDevice::NoError ? srtFile : lrcFile)
                         ->errorString());
        return {};
    };

    for (;;) {
        const std::size_t n = channel->queue.Pull(pulled.data(), pulled.size());
        if (n == 0) {
            if (channel->queue.Drained())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const std::int16_t *out = pulled.data();
        std::size_t outCount = n;
        if (upsampler) {
            raised.clear();
            upsampler->Push(pulled.data(), n, raised);
            out = raised.data();
            outCount = raised.size();
        }
        if (outCount > 0 &&
            sf_write_short(sound.get(), out, sf_count_t(outCount)) != sf_count_t(outCount))
            return QStringLiteral("Cannot write %1: %2")
                .arg(Shown(job.path), sf_strerror(sound.get()));
        state.samples += n;

        // Every mark before the audio taken has arrived: marks go in ahead of
        // their audio.
        std::uint64_t upTo = 0;
        for (const SpeechMark &mark : channel->timeline.Pending()) {
            if (mark.sample >= state.samples)
                break;
            upTo = mark.sample + 1;
            if (mark.kind != SpeechMark::Kind::Word)
                continue;
            state.reached = std::min(mark.word.start + mark.word.length, state.total);
            if (srtFile || lrcFile)
                subtitles.AddWord(mark.word, mark.sample);
        }
        if (upTo > 0)
            channel->timeline.Advance(upTo);
        if (const QString error = writeSubtitles(); !error.isEmpty())
            return error;
        if (progress && !progress(state))
            return QStringLiteral("Cancelled");
    }
    // A voice that failed on the text finished its queue early: no file.
    if (const QString fault = channel->Fault(); !fault.isEmpty())
        return fault;
    if (state.samples == 0)
        return QStringLiteral("There is nothing to speak in the text");
    subtitles.Finish(state.samples);
    if (const QString error = writeSubtitles(); !error.isEmpty())
        return error;
    // Encoders hold their last pages until closed: only then is the file whole.
    if (const int error = sf_close(sound.release()); error != SF_ERR_NO_ERROR)
        return QStringLiteral("Cannot write %1: %2").arg(Shown(job.path), sf_error_number(error));
    for (auto &pending : files)
        if (!pending->file.flush())
            return QStringLiteral("Cannot write %1: %2")
                .arg(Shown(pending->target), pending->file.errorString());
    state.reached = state.total;
    if (progress)
        progress(state);
    return MoveIntoPlace(files, job.overwrite);
}

QString TimeLeftText(std::int64_t elapsedMs, double fraction) {
    if (fraction <= 0.005 || elapsedMs < 500)
        return {};
    if (fraction >= 1)
        return QStringLiteral("done");
    const double seconds = double(elapsedMs) / 1000 * (1 - fraction) / fraction;
    if (seconds < 1.5)
        return QStringLiteral("about a second left");
    if (seconds < 60)
        return QStringLiteral("about %1 seconds left").arg(int(seconds + 0.5));
    if (seconds < 90)
        return QStringLiteral("about a minute left");
    if (seconds < 3600 * 2)
        return QStringLiteral("about %1 minutes left").arg(int(seconds / 60 + 0.5));
    return QStringLiteral("about %1 hours left").arg(int(seconds / 3600 + 0.5));
}
