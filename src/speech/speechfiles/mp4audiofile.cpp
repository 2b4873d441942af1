#include "mp4audiofile.h"

#include "platform/pendingfile.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace {
constexpr int kIoBufferBytes = 64 * 1024;
// Speech in one channel: as clear at this rate as Ogg Vorbis's default.
constexpr std::int64_t kBitsPerSecond = 64000;

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// FFmpeg 7 made the buffer const; either kind is taken.
template <typename Byte> int WritePacket(void *opaque, Byte *data, int size) {
    auto *file = static_cast<PendingFile *>(opaque);
    return file->Write(data, std::size_t(size)) ? size : AVERROR(EIO);
}

std::int64_t SeekPacket(void *opaque, std::int64_t offset, int whence) {
    auto *file = static_cast<PendingFile *>(opaque);
    if (whence & AVSEEK_SIZE)
        return file->Length();
    const long long at = file->Seek(offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(EIO) : at;
}
} // namespace

struct Mp4AudioFile::Av {
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    AVStream *stream = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    AVIOContext *io = nullptr;

    Av() = default;
    Av(const Av &) = delete;
    Av &operator=(const Av &) = delete;
    ~Av() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (io)
            av_freep(&io->buffer);
        avio_context_free(&io);
        avformat_free_context(format); // its chapters and tags too
    }
};

Mp4AudioFile::Mp4AudioFile(PendingFile &file, int sampleRate, const SpeechFileTags &tags,
                           const std::vector<QString> &chapterTitles)
    : file_(file), rate_(sampleRate), tags_(tags), chapterTitles_(chapterTitles) {
}

Mp4AudioFile::~Mp4AudioFile() = default;

std::string Mp4AudioFile::Open() {
    // Failures come back as codes, said in the writer's words; the library's
    // own lines on stderr would only be noise on the command line.
    av_log_set_level(AV_LOG_QUIET);
    av_ = std::make_unique<Av>();
    const AVOutputFormat *muxer = av_guess_format("ipod", nullptr, nullptr);
    const AVCodec *aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!muxer || !aac)
        return "this system's libavformat writes no AAC audiobooks";
    if (const int error = avformat_alloc_output_context2(&av_->format, muxer, nullptr, nullptr);
        error < 0)
        return AvError(error);
    AVFormatContext &format = *av_->format;

    av_->codec = avcodec_alloc_context3(aac);
    if (!av_->codec)
        return AvError(AVERROR(ENOMEM));
    AVCodecContext &codec = *av_->codec;
    codec.sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec.sample_rate = rate_;
    av_channel_layout_default(&codec.ch_layout, 1);
    codec.bit_rate = kBitsPerSecond;
    codec.time_base = AVRational{1, rate_};
    if (format.oformat->flags & AVFMT_GLOBALHEADER)
        codec.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int error = avcodec_open2(&codec, aac, nullptr); error < 0)
        return AvError(error);

    av_->stream = avformat_new_stream(&format, nullptr);
    if (!av_->stream)
        return AvError(AVERROR(ENOMEM));
    if (const int error = avcodec_parameters_from_context(av_->stream->codecpar, &codec); error < 0)
        return AvError(error);
    av_->stream->time_base = codec.time_base;

    auto *buffer = static_cast<unsigned char *>(av_malloc(kIoBufferBytes));
    av_->io = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, &file_, nullptr, &WritePacket,
                                          &SeekPacket)
                     : nullptr;
    if (!av_->io) {
        av_free(buffer);
        return AvError(AVERROR(ENOMEM));
    }
    format.pb = av_->io;
    format.flags |= AVFMT_FLAG_CUSTOM_IO;

    const auto tag = [&](const char *key, const QString &value) {
        if (!value.isEmpty())
            av_dict_set(&format.metadata, key, value.toUtf8().constData(), 0);
    };
    tag("title", tags_.title);
    tag("artist", tags_.artist);
    tag("album", tags_.album);
    if (tags_.track > 0)
        tag("track", QString::number(tags_.track));
    tag("genre", chapterTitles_.empty() ? QString() : QStringLiteral("Audiobook"));

    // The muxer plans its chapter track at the start; the times come at the end.
    if (!chapterTitles_.empty()) {
        format.chapters =
            static_cast<AVChapter **>(av_calloc(chapterTitles_.size(), sizeof(AVChapter *)));
        if (!format.chapters)
            return AvError(AVERROR(ENOMEM));
        for (const QString &title : chapterTitles_) {
            auto *chapter = static_cast<AVChapter *>(av_mallocz(sizeof(AVChapter)));
            if (!chapter)
                return AvError(AVERROR(ENOMEM));
            chapter->id = format.nb_chapters;
            chapter->time_base = AVRational{1, 1000};
            av_dict_set(&chapter->metadata, "title", title.toUtf8().constData(), 0);
            format.chapters[format.nb_chapters++] = chapter;
        }
    }

    if (const int error = avformat_write_header(&format, nullptr); error < 0)
        return !file_.Error().empty() ? file_.Error() : AvError(error);

    av_->frame = av_frame_alloc();
    av_->packet = av_packet_alloc();
    if (!av_->frame || !av_->packet)
        return AvError(AVERROR(ENOMEM));
    av_->frame->format = codec.sample_fmt;
    av_->frame->sample_rate = rate_;
    av_->frame->nb_samples = codec.frame_size;
    av_channel_layout_copy(&av_->frame->ch_layout, &codec.ch_layout);
    if (const int error = av_frame_get_buffer(av_->frame, 0); error < 0)
        return AvError(error);
    return {};
}

std::string Mp4AudioFile::Write(const std::int16_t *samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        waiting_.push_back(float(samples[i]) / 32768.0F);
    return Encode(false);
}

// Hands the encoder every whole frame waiting (and at the `last`, the rest),
// and the muxer every packet it gives back.
std::string Mp4AudioFile::Encode(bool last) {
    AVCodecContext &codec = *av_->codec;
    const std::size_t frameSize = std::size_t(codec.frame_size);
    std::size_t used = 0;
    for (;;) {
        const std::size_t take = std::min(frameSize, waiting_.size() - used);
        AVFrame *frame = nullptr;
        if (take == frameSize || (last && take > 0)) {
            frame = av_->frame;
            if (const int error = av_frame_make_writable(frame); error < 0)
                return AvError(error);
            frame->nb_samples = int(take);
            std::memcpy(frame->data[0], waiting_.data() + used, take * sizeof(float));
            frame->pts = next_;
            next_ += std::int64_t(take);
            used += take;
        } else if (!last) {
            break;
        }
        if (const int error = avcodec_send_frame(&codec, frame); error < 0)
            return AvError(error);
        int got = 0;
        while ((got = avcodec_receive_packet(&codec, av_->packet)) >= 0) {
            av_packet_rescale_ts(av_->packet, codec.time_base, av_->stream->time_base);
            av_->packet->stream_index = av_->stream->index;
            if (const int error = av_interleaved_write_frame(av_->format, av_->packet); error < 0)
                return !file_.Error().empty() ? file_.Error() : AvError(error);
        }
        if (got != AVERROR(EAGAIN) && got != AVERROR_EOF)
            return AvError(got);
        if (!frame)
            break; // the encoder has given its last
    }
    waiting_.erase(waiting_.begin(), waiting_.begin() + std::ptrdiff_t(used));
    return {};
}

std::string Mp4AudioFile::Finish(const std::vector<ChapterMark> &marks, std::int64_t lengthMs) {
    if (std::string error = Encode(true); !error.empty())
        return error;
    AVFormatContext &format = *av_->format;
    for (unsigned i = 0; i < format.nb_chapters && i < marks.size(); ++i) {
        format.chapters[i]->start = marks[i].startMs;
        format.chapters[i]->end = i + 1 < marks.size() ? marks[i + 1].startMs : lengthMs;
    }
    if (const int error = av_write_trailer(&format); error < 0)
        return !file_.Error().empty() ? file_.Error() : AvError(error);
    avio_flush(av_->io);
    return file_.Error();
}
