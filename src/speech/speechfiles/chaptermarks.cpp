#include "chaptermarks.h"

#include "platform/pendingfile.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <taglib/chapterframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tiostream.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>
#include <tuple>
#include <type_traits>

namespace {

// TagLib 1 counts bytes in long, TagLib 2 in long long and size_t: the
// stream takes its types from TagLib's own declarations, so it fits both.
template <std::size_t N, typename F> struct Param;
template <std::size_t N, typename R, typename C, typename... A> struct Param<N, R (C::*)(A...)> {
    using type = std::tuple_element_t<N, std::tuple<A...>>;
};
template <std::size_t N, auto F> using ParamOf = typename Param<N, decltype(F)>::type;
using Offset = decltype(std::declval<TagLib::IOStream &>().length());
using ReadSize = ParamOf<0, &TagLib::IOStream::readBlock>;
using InsertStart = ParamOf<1, &TagLib::IOStream::insert>;
using InsertReplace = ParamOf<2, &TagLib::IOStream::insert>;
using RemoveStart = ParamOf<0, &TagLib::IOStream::removeBlock>;
using RemoveLength = ParamOf<1, &TagLib::IOStream::removeBlock>;
using SeekOffset = ParamOf<0, &TagLib::IOStream::seek>;
using TruncateLength = ParamOf<0, &TagLib::IOStream::truncate>;

// TagLib reads and writes the pending file itself, so every byte it moves is
// checked the way the audio's were. A failure is kept by the file.
class PendingStream final : public TagLib::IOStream {
public:
    explicit PendingStream(PendingFile &file) : file_(file) {}

    TagLib::FileName name() const override { return ""; }
    TagLib::ByteVector readBlock(ReadSize length) override {
        TagLib::ByteVector data(static_cast<unsigned int>(length), 0);
        const long long n = file_.Read(data.data(), data.size());
        data.resize(static_cast<unsigned int>(std::max(0LL, n)));
        return data;
    }
    void writeBlock(const TagLib::ByteVector &data) override {
        file_.Write(data.data(), data.size());
    }
    void insert(const TagLib::ByteVector &data, InsertStart start, InsertReplace replace) override {
        const long long from = static_cast<long long>(start);
        const long long grow =
            static_cast<long long>(data.size()) - static_cast<long long>(replace);
        if (grow < 0) {
            removeBlock(static_cast<RemoveStart>(from + static_cast<long long>(data.size())),
                        static_cast<RemoveLength>(-grow));
        } else if (grow > 0) {
            // What follows moves back by `grow`, from the end, so nothing is
            // overwritten before it is read.
            const long long tail = from + static_cast<long long>(replace);
            std::vector<char> buffer(kChunk);
            for (long long end = file_.Length(); end > tail && file_.Error().empty();) {
                const long long n = std::min<long long>(kChunk, end - tail);
                end -= n;
                if (file_.Seek(end, SEEK_SET) < 0 ||
                    file_.Read(buffer.data(), std::size_t(n)) != n ||
                    file_.Seek(end + grow, SEEK_SET) < 0)
                    return;
                file_.Write(buffer.data(), std::size_t(n));
            }
        }
        file_.Seek(from, SEEK_SET);
        file_.Write(data.data(), data.size());
    }
    void removeBlock(RemoveStart start, RemoveLength length) override {
        const long long gap = static_cast<long long>(length);
        std::vector<char> buffer(kChunk);
        long long to = static_cast<long long>(start);
        for (long long from = to + gap;; from += kChunk, to += kChunk) {
            if (file_.Seek(from, SEEK_SET) < 0)
                return;
            const long long n = file_.Read(buffer.data(), buffer.size());
            if (n <= 0 || file_.Seek(to, SEEK_SET) < 0 ||
                !file_.Write(buffer.data(), std::size_t(n)))
                break;
            if (n < kChunk) {
                to += n;
                break;
            }
        }
        if (file_.Error().empty())
            file_.Truncate(to);
    }
    bool readOnly() const override { return false; }
    bool isOpen() const override { return file_.Error().empty(); }
    void seek(SeekOffset offset, Position p) override {
        file_.Seek(static_cast<long long>(offset), p == Beginning ? SEEK_SET
                                                   : p == Current ? SEEK_CUR
                                                                  : SEEK_END);
    }
    Offset tell() const override { return static_cast<Offset>(file_.Seek(0, SEEK_CUR)); }
    Offset length() override { return static_cast<Offset>(file_.Length()); }
    void truncate(TruncateLength length) override {
        file_.Truncate(static_cast<long long>(length));
    }

private:
    static constexpr long long kChunk = 1 << 16;
    PendingFile &file_;
};

// TagLib 2 takes the frame factory last; TagLib 1 only second.
template <typename File> std::unique_ptr<File> Open(TagLib::IOStream &stream) {
    if constexpr (std::is_constructible_v<File, TagLib::IOStream *, bool>)
        return std::make_unique<File>(&stream, true);
    else
        return std::make_unique<File>(&stream, TagLib::ID3v2::FrameFactory::instance());
}

TagLib::String Utf8(const QString &text) {
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

QString Clock(std::int64_t ms) {
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

void AddComments(TagLib::Ogg::XiphComment &comment, const std::vector<ChapterMark> &marks) {
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const QString key = QStringLiteral("CHAPTER%1").arg(i + 1, 3, 10, QLatin1Char('0'));
        comment.addField(Utf8(key), Utf8(Clock(marks[i].startMs)));
        comment.addField(Utf8(key + QStringLiteral("NAME")), Utf8(marks[i].title));
    }
}

void AddFrames(TagLib::ID3v2::Tag &tag, const std::vector<ChapterMark> &marks,
               std::int64_t lengthMs) {
    auto *contents = new TagLib::ID3v2::TableOfContentsFrame("toc");
    contents->setIsTopLevel(true);
    contents->setIsOrdered(true);
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const TagLib::ByteVector id(QStringLiteral("ch%1").arg(i + 1).toLatin1().constData());
        const std::int64_t end = i + 1 < marks.size() ? marks[i + 1].startMs : lengthMs;
        // No byte offsets: players go by the times.
        auto *chapter = new TagLib::ID3v2::ChapterFrame(id, unsigned(marks[i].startMs),
                                                        unsigned(std::max(end, marks[i].startMs)),
                                                        0xFFFFFFFFu, 0xFFFFFFFFu);
        auto *title = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF16);
        title->setText(Utf8(marks[i].title));
        chapter->addEmbeddedFrame(title);
        tag.addFrame(chapter);
        contents->addChildElement(id);
    }
    tag.addFrame(contents);
}

} // namespace

bool HoldsChapterMarks(AudioFileFormat format) {
    return format != AudioFileFormat::Wav;
}

ChapterClock::ChapterClock(std::vector<SpeechChapter> chapters) : chapters_(std::move(chapters)) {
    if (!chapters_.empty())
        starts_.push_back(0);
}

void ChapterClock::Word(qsizetype textStart, std::uint64_t sample) {
    while (starts_.size() < chapters_.size() && textStart >= chapters_[starts_.size()].offset)
        starts_.push_back(std::max(sample, starts_.back()));
}

std::vector<ChapterMark> ChapterClock::Marks(std::uint64_t samples, int rate) const {
    std::vector<ChapterMark> marks;
    for (std::size_t i = 0; i < chapters_.size(); ++i) {
        const std::uint64_t start =
            i < starts_.size() ? starts_[i] : std::max(samples, starts_.back());
        marks.push_back(
            {chapters_[i].title, rate > 0 ? std::int64_t(start * 1000 / std::uint64_t(rate)) : 0});
    }
    return marks;
}

std::string WriteChapterMarks(PendingFile &file, AudioFileFormat format,
                              const std::vector<ChapterMark> &marks, std::int64_t lengthMs,
                              const QString &title, const QString &artist, const QString &album) {
    if (!HoldsChapterMarks(format))
        return "this kind of file holds no chapter marks";
    PendingStream stream(file);
    bool saved = false;
    switch (format) {
    case AudioFileFormat::Flac: {
        const auto flac = Open<TagLib::FLAC::File>(stream);
        if (flac->isValid()) {
            AddComments(*flac->xiphComment(true), marks);
            saved = flac->save();
        }
        break;
    }
    case AudioFileFormat::Ogg: {
        const auto ogg = Open<TagLib::Ogg::Vorbis::File>(stream);
        if (ogg->isValid()) {
            AddComments(*ogg->tag(), marks);
            saved = ogg->save();
        }
        break;
    }
    case AudioFileFormat::Opus: {
        const auto opus = Open<TagLib::Ogg::Opus::File>(stream);
        if (opus->isValid()) {
            AddComments(*opus->tag(), marks);
            saved = opus->save();
        }
        break;
    }
    case AudioFileFormat::Mp3: {
        const auto mp3 = Open<TagLib::MPEG::File>(stream);
        if (mp3->isValid()) {
            TagLib::ID3v2::Tag &tag = *mp3->ID3v2Tag(true);
            if (!title.isEmpty())
                tag.setTitle(Utf8(title));
            if (!artist.isEmpty())
                tag.setArtist(Utf8(artist));
            if (!album.isEmpty())
                tag.setAlbum(Utf8(album));
            AddFrames(tag, marks, lengthMs);
            // ID3v2.3: what most players read; nothing else of the file is touched.
            saved = mp3->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3,
                              TagLib::File::DoNotDuplicate);
        }
        break;
    }
    case AudioFileFormat::Wav:
    case AudioFileFormat::M4b: // marked by its own writer
        break;
    }
    if (!file.Error().empty())
        return file.Error();
    return saved ? std::string() : std::string("the chapter marks could not be added to the audio");
}
