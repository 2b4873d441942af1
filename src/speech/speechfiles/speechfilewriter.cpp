#include "speechfilewriter.h"

#include "platform/pendingfile.h"
#include "platform/qt/nativename.h"
#include "speech/speechfiles/mp4audiofile.h"
#include "speech/speechfiles/parallelvorbis.h"
#include "speech/speechfiles/speechsubtitles.h"
#include "speech/voice/parallelsynthesis.h"
#include "speech/voice/speechengine.h"

#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <filesystem>
#include <memory>
#include <sndfile.h>
#include <system_error>
#include <thread>
#include <vector>

namespace {
constexpr std::size_t kPullSamples = 8192;
// How long a piece of Ogg Vorbis grows before it is cut at the next pause, so
// that every encoder thread has one: long enough that cuts are rare.
constexpr int kVorbisPieceSeconds = 10;

QString Shown(const std::filesystem::path &path) {
    return ShownPath(path);
}

std::filesystem::path WithSuffix(std::filesystem::path path, const char *suffix) {
    return path.replace_extension(suffix);
}

QString CannotWrite(const std::filesystem::path &path, const std::string &why) {
    return QStringLiteral("Cannot write %1: %2").arg(Shown(path), QString::fromLocal8Bit(why));
}

// libsndfile writes through the pending file, so every byte's fate is known:
// an encoder that logs a failed write and carries on is caught all the same.
sf_count_t VioLength(void *file) {
    return static_cast<PendingFile *>(file)->Length();
}
sf_count_t VioSeek(sf_count_t offset, int whence, void *file) {
    return static_cast<PendingFile *>(file)->Seek(offset, whence);
}
sf_count_t VioRead(void *data, sf_count_t count, void *file) {
    return std::max<long long>(0, static_cast<PendingFile *>(file)->Read(data, std::size_t(count)));
}
sf_count_t VioWrite(const void *data, sf_count_t count, void *file) {
    return static_cast<PendingFile *>(file)->Write(data, std::size_t(count)) ? count : 0;
}
sf_count_t VioTell(void *file) {
    return static_cast<PendingFile *>(file)->Seek(0, SEEK_CUR);
}

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
    case AudioFileFormat::M4b:
        break; // not libsndfile's
    }
    return 0;
}

struct SndCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};

// Moves every finished file into place; on a failure puts back none.
QString MoveIntoPlace(std::vector<std::unique_ptr<PendingFile>> &files, bool overwrite) {
    std::vector<std::filesystem::path> placed;
    for (auto &pending : files) {
        std::string error;
        if (!pending->Place(overwrite, error)) {
            for (const std::filesystem::path &done : placed) {
                std::error_code ignored;
                std::filesystem::remove(done, ignored);
            }
            return CannotWrite(pending->Target(), error);
        }
        placed.push_back(pending->Target());
    }
    return {};
}
} // namespace

std::vector<std::filesystem::path> SpeechFileOutputs(const SpeechFileJob &job) {
    std::vector<std::filesystem::path> outputs{job.path};
    if (job.srt)
        outputs.push_back(WithSuffix(job.path, ".srt"));
    if (job.lrc)
        outputs.push_back(WithSuffix(job.path, ".lrc"));
    return outputs;
}

QString WriteSpeechFile(const SpeechFileJob &job,
                        const std::function<bool(const SpeechFileProgress &)> &progress) {
    const std::optional<AudioFileFormat> format = AudioFormatForPath(Shown(job.path));
    if (!format)
        return QStringLiteral("Cannot tell the kind of audio file from the name %1: it should end "
                              "in %2")
            .arg(Shown(job.path), AudioExtensionsText());
    if (!job.chapters.empty() && !HoldsChapterMarks(*format))
        return QStringLiteral("%1: WAV files hold no chapter marks; choose a name ending in .ogg, "
                              ".opus, .flac, .mp3 or .m4b")
            .arg(Shown(job.path));
    const std::vector<std::filesystem::path> outputs = SpeechFileOutputs(job);
    for (const std::filesystem::path &out : outputs) {
        std::error_code code;
        if (!job.source.empty() && SameFile(out, job.source))
            return QStringLiteral("%1 is the text being spoken; choose another name for the "
                                  "speech")
                .arg(Shown(out));
        if (std::filesystem::is_directory(out, code))
            return QStringLiteral("%1 is a folder").arg(Shown(out));
        if (std::filesystem::exists(std::filesystem::symlink_status(out, code)) && !job.overwrite)
            return QStringLiteral("%1 exists already").arg(Shown(out));
    }

    ParallelSynthesis synthesis(job.text, job.voice, VoiceScale::EspeakRate(job.speed),
                                VoiceScale::EspeakPitch(job.pitch), job.jobs);
    if (QString error = synthesis.Start(); !error.isEmpty())
        return error;
    const int voiceRate = synthesis.SampleRate();
    int fileRate = voiceRate;
    for (const AudioFileKind &kind : AudioFileKinds())
        if (kind.format == *format && kind.sampleRate > 0)
            fileRate = kind.sampleRate;

    std::vector<std::unique_ptr<PendingFile>> files;
    for (const std::filesystem::path &out : outputs) {
        std::string error;
        files.push_back(PendingFile::Create(out, error));
        if (!files.back()) {
            const std::filesystem::path folder = out.parent_path();
            return QStringLiteral("Cannot write to %1: %2")
                .arg(Shown(folder.empty() ? std::filesystem::path(".") : folder),
                     QString::fromLocal8Bit(error));
        }
    }
    PendingFile &audioFile = *files.front();
    PendingFile *srtFile = job.srt ? files[1].get() : nullptr;
    PendingFile *lrcFile = job.lrc ? files.back().get() : nullptr;
    // What went wrong with the audio: the file's own failure first, since an
    // encoder may only say it failed.
    const auto audioFailed = [&](const char *encoder) {
        return CannotWrite(job.path, !audioFile.Error().empty() ? audioFile.Error() : encoder);
    };

    const QString track = job.tags.track > 0 ? QString::number(job.tags.track) : QString();
    // Each tag as libsndfile and as a Vorbis comment names it.
    const struct {
        int kind;
        const char *comment;
        const QString *value;
    } tags[] = {{SF_STR_TITLE, "TITLE", &job.tags.title},
                {SF_STR_ARTIST, "ARTIST", &job.tags.artist},
                {SF_STR_ALBUM, "ALBUM", &job.tags.album},
                {SF_STR_TRACKNUMBER, "TRACKNUMBER", &track}};
    // Ogg Vorbis is encoded on as many threads as there are voices, the
    // MPEG-4 audiobook by libavformat, the rest by libsndfile.
    std::unique_ptr<ParallelVorbis> vorbis;
    std::unique_ptr<Mp4AudioFile> book;
    std::unique_ptr<SNDFILE, SndCloser> sound;
    if (*format == AudioFileFormat::M4b) {
        std::vector<QString> titles;
        for (const SpeechChapter &chapter : job.chapters)
            titles.push_back(chapter.title);
        book = std::make_unique<Mp4AudioFile>(audioFile, fileRate, job.tags, titles);
        if (const std::string error = book->Open(); !error.empty())
            return CannotWrite(job.path, error);
    } else if (*format == AudioFileFormat::Ogg) {
        std::vector<std::pair<std::string, std::string>> comments;
        for (const auto &tag : tags)
            if (!tag.value->isEmpty())
                comments.emplace_back(tag.comment, tag.value->toStdString());
        vorbis = std::make_unique<ParallelVorbis>(
            fileRate, std::max(1, job.jobs), comments,
            [&audioFile](const unsigned char *data, std::size_t size) {
                return audioFile.Write(data, size);
            },
            std::size_t(fileRate) * kVorbisPieceSeconds);
        if (!vorbis->Error().empty())
            return audioFailed(vorbis->Error().c_str());
    } else {
        SF_INFO info{};
        info.samplerate = fileRate;
        info.channels = 1;
        info.format = SndFormat(*format);
        SF_VIRTUAL_IO io{VioLength, VioSeek, VioRead, VioWrite, VioTell};
        sound.reset(sf_open_virtual(&io, SFM_WRITE, &info, &audioFile));
        if (!sound)
            return audioFailed(sf_strerror(nullptr));
        if (*format == AudioFileFormat::Wav)
            sf_command(sound.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
        // Before the first sound: encoders write their tags in the header.
        for (const auto &tag : tags)
            if (!tag.value->isEmpty())
                sf_set_string(sound.get(), tag.kind, tag.value->toUtf8().constData());
    }
    const auto vorbisFailed = [&] {
        return audioFailed(vorbis->Error().empty() ? "the Vorbis encoder failed"
                                                   : vorbis->Error().c_str());
    };

    SpeechSubtitles subtitles(job.text, voiceRate);
    std::optional<Upsampler> upsampler;
    if (fileRate != voiceRate)
        upsampler.emplace(voiceRate, fileRate);
    std::vector<std::int16_t> pulled(kPullSamples);
    std::vector<std::int16_t> raised;
    SpeechFileProgress state{0, job.text.size(), 0, voiceRate};
    ChapterClock chapters(job.chapters);

    const auto writeSubtitles = [&]() -> QString {
        const auto put = [&](PendingFile *file, const QByteArray &bytes) {
            return !file || bytes.isEmpty() || file->Write(bytes.constData(), bytes.size());
        };
        for (const auto &[file, bytes] :
             {std::pair{srtFile, subtitles.TakeSrt()}, std::pair{lrcFile, subtitles.TakeLrc()}})
            if (!put(file, bytes))
                return CannotWrite(file->Target(), file->Error());
        return {};
    };

    // Words wait until the encoder knows where they are heard; sentence
    // starts tell it where it may cut.
    std::deque<std::pair<WordSpan, std::uint64_t>> words;
    const std::vector<qsizetype> sentences =
        vorbis && job.jobs > 1 ? ParallelSynthesis::Cuts(job.text, 0) : std::vector<qsizetype>{};
    auto sentence = sentences.begin();
    std::uint64_t lastWord = 0;
    const auto placeWords = [&] {
        while (!words.empty()) {
            const std::optional<std::uint64_t> heard =
                vorbis ? vorbis->Place(words.front().second) : words.front().second;
            if (!heard)
                break;
            chapters.Word(words.front().first.start, *heard);
            if (srtFile || lrcFile)
                subtitles.AddWord(words.front().first, *heard);
            words.pop_front();
        }
    };

    std::vector<SpeechMark> marks;
    for (;;) {
        marks.clear();
        const std::size_t n = synthesis.Pull(pulled.data(), pulled.size(), marks);
        if (n == 0 && marks.empty()) {
            if (synthesis.Drained())
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
        if (book && outCount > 0)
            if (const std::string error = book->Write(out, outCount); !error.empty())
                return CannotWrite(job.path, error);
        if (vorbis && outCount > 0 && !vorbis->Write(out, outCount))
            return vorbisFailed();
        if (sound && outCount > 0 &&
            (sf_write_short(sound.get(), out, sf_count_t(outCount)) != sf_count_t(outCount) ||
             sf_error(sound.get()) != SF_ERR_NO_ERROR || !audioFile.Error().empty()))
            return audioFailed(sf_strerror(sound.get()));
        state.samples += n;

        for (const SpeechMark &mark : marks) {
            if (mark.kind != SpeechMark::Kind::Word)
                continue;
            state.reached = std::min(mark.word.start + mark.word.length, state.total);
            // The first word at or after a sentence's start opens it.
            bool opens = false;
            for (; sentence != sentences.end() && *sentence <= mark.word.start; ++sentence)
                opens = true;
            if (opens)
                vorbis->Pause(lastWord, mark.sample);
            lastWord = mark.sample;
            words.emplace_back(mark.word, mark.sample);
        }
        placeWords();
        if (QString error = writeSubtitles(); !error.isEmpty())
            return error;
        if (progress && !progress(state))
            return QStringLiteral("Cancelled");
    }
    // A voice that failed on the text finished its queue early: no file.
    if (QString fault = synthesis.Fault(); !fault.isEmpty())
        return fault;
    if (state.samples == 0)
        return QStringLiteral("There is nothing to speak in the text");
    // Encoders hold their last pages until closed: only then is the file whole.
    std::uint64_t length = state.samples;
    if (vorbis) {
        if (!vorbis->Finish())
            return vorbisFailed();
        length = vorbis->Length();
        placeWords();
    } else if (book) {
        if (const std::string error =
                book->Finish(chapters.Marks(length, voiceRate),
                             std::int64_t(length * 1000 / std::uint64_t(voiceRate)));
            !error.empty())
            return CannotWrite(job.path, error);
    } else if (const int error = sf_close(sound.release());
               error != SF_ERR_NO_ERROR || !audioFile.Error().empty()) {
        return audioFailed(sf_error_number(error));
    }
    subtitles.Finish(length);
    if (QString error = writeSubtitles(); !error.isEmpty())
        return error;
    // Marked where the audio written says each chapter begins.
    if (!job.chapters.empty() && !book)
        if (const std::string error =
                WriteChapterMarks(audioFile, *format, chapters.Marks(length, voiceRate),
                                  std::int64_t(length * 1000 / std::uint64_t(voiceRate)),
                                  job.tags.title, job.tags.artist, job.tags.album);
            !error.empty())
            return CannotWrite(job.path, error);
    for (auto &pending : files)
        if (!pending->Finish())
            return CannotWrite(pending->Target(), pending->Error());
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
        return QStringLiteral("about %1 seconds left").arg(int(std::lround(seconds)));
    if (seconds < 90)
        return QStringLiteral("about a minute left");
    if (seconds < 3600 * 2)
        return QStringLiteral("about %1 minutes left").arg(int(std::lround(seconds / 60)));
    return QStringLiteral("about %1 hours left").arg(int(std::lround(seconds / 3600)));
}
