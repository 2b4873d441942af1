// Speech written to audio files, through the real program's --speak-to and
// through the writer itself; every file is decoded again with libsndfile
// (MPEG-4 audiobooks with libavformat).
#include "documentfixtures.h"
#include "procstatus.h"
#include "speech/speechfiles/parallelvorbis.h"
#include "speech/speechfiles/progressline.h"
#include "speech/speechfiles/speechbook.h"
#include "speech/speechfiles/speechfilewriter.h"
#include "speech/speechfiles/speechsubtitles.h"
#include "speech/voice/parallelsynthesis.h"
#include "speech/voice/speechengine.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <sndfile.h>
#include <taglib/chapterframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/tpropertymap.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

const QString kProgram = QStringLiteral(ZAVREN_SPEECH_BINARY);
const QByteArray kThreeSentences = "Hello world. This is a test of the speech file writer. "
                                   "Another sentence follows here!";

struct Decoded {
    bool ok = false;
    double seconds = 0;
    double rms = 0;
    int sampleRate = 0;
};

// An MPEG-4 audiobook as libavformat reads it back: the sound, the tags
// (title, artist, album, track) and the chapters.
struct Mp4Book {
    Decoded decoded;
    QStringList tags;
    std::vector<std::pair<QString, double>> chapters;
};

Mp4Book ReadMp4(const QString &path) {
    Mp4Book book;
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return book;
    AVCodecContext *codec = nullptr;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    const auto free = qScopeGuard([&] {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    });
    if (avformat_find_stream_info(format, nullptr) < 0)
        return book;
    for (const char *key : {"title", "artist", "album", "track"}) {
        const AVDictionaryEntry *tag = av_dict_get(format->metadata, key, nullptr, 0);
        book.tags << (tag ? QString::fromUtf8(tag->value) : QString());
    }
    for (unsigned i = 0; i < format->nb_chapters; ++i) {
        const AVChapter *chapter = format->chapters[i];
        const AVDictionaryEntry *title = av_dict_get(chapter->metadata, "title", nullptr, 0);
        book.chapters.emplace_back(title ? QString::fromUtf8(title->value) : QString(),
                                   double(chapter->start) * av_q2d(chapter->time_base));
    }
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return book;
    const AVCodec *decoder = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    codec = avcodec_alloc_context3(decoder);
    if (avcodec_parameters_to_context(codec, format->streams[index]->codecpar) < 0 ||
        avcodec_open2(codec, decoder, nullptr) < 0 || codec->sample_fmt != AV_SAMPLE_FMT_FLTP)
        return book;
    double sum = 0;
    std::int64_t frames = 0;
    const auto take = [&] {
        while (avcodec_receive_frame(codec, frame) >= 0) {
            const auto *samples = reinterpret_cast<const float *>(frame->data[0]);
            for (int i = 0; i < frame->nb_samples; ++i)
                sum += double(samples[i]) * samples[i];
            frames += frame->nb_samples;
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(codec, packet) >= 0)
            take();
        av_packet_unref(packet);
    }
    avcodec_send_packet(codec, nullptr);
    take();
    book.decoded.ok = frames > 0;
    book.decoded.sampleRate = codec->sample_rate;
    book.decoded.seconds = double(frames) / codec->sample_rate;
    book.decoded.rms = frames > 0 ? std::sqrt(sum / double(frames)) : 0;
    return book;
}

bool IsMp4(const QString &path) {
    return path.endsWith(QLatin1String(".m4b"));
}

Decoded Decode(const QString &path) {
    if (IsMp4(path))
        return ReadMp4(path).decoded;
    Decoded d;
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return d;
    std::vector<float> buffer(4096);
    double sum = 0;
    sf_count_t frames = 0, n;
    while ((n = sf_read_float(file, buffer.data(), sf_count_t(buffer.size()))) > 0) {
        for (sf_count_t i = 0; i < n; ++i)
            sum += double(buffer[std::size_t(i)]) * buffer[std::size_t(i)];
        frames += n;
    }
    sf_close(file);
    d.ok = frames > 0 && info.samplerate > 0;
    d.sampleRate = info.samplerate;
    d.seconds = d.ok ? double(frames) / info.samplerate : 0;
    d.rms = frames > 0 ? std::sqrt(sum / double(frames)) : 0;
    return d;
}

// Title, artist, album and track, as the file's tags give them.
QStringList Tags(const QString &path) {
    if (IsMp4(path))
        return ReadMp4(path).tags;
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    QStringList tags;
    for (const int kind : {SF_STR_TITLE, SF_STR_ARTIST, SF_STR_ALBUM, SF_STR_TRACKNUMBER})
        tags << QString::fromUtf8(sf_get_string(file, kind));
    sf_close(file);
    return tags;
}

struct Chapter {
    QString title;
    double seconds = -1;
};

QString FromTagLib(const TagLib::String &text) {
    return QString::fromStdString(text.to8Bit(true));
}

// The chapter marks as TagLib reads them: ID3v2 chapter frames in the order
// the table of contents gives, or the CHAPTERnnn comments.
std::vector<Chapter> Chapters(const QString &path) {
    std::vector<Chapter> chapters;
    const QByteArray name = QFile::encodeName(path);
    if (IsMp4(path)) {
        for (const auto &[title, seconds] : ReadMp4(path).chapters)
            chapters.push_back({title, seconds});
        return chapters;
    }
    if (path.endsWith(QLatin1String(".mp3"))) {
        TagLib::MPEG::File mp3(name.constData());
        TagLib::ID3v2::Tag *tag = mp3.ID3v2Tag();
        if (!tag || tag->frameListMap()["CTOC"].isEmpty())
            return chapters;
        const auto *contents = dynamic_cast<TagLib::ID3v2::TableOfContentsFrame *>(
            tag->frameListMap()["CTOC"].front());
        for (const TagLib::ByteVector &id : contents->childElements()) {
            const auto *chapter = dynamic_cast<TagLib::ID3v2::ChapterFrame *>(
                TagLib::ID3v2::ChapterFrame::findByElementID(tag, id));
            if (!chapter || chapter->embeddedFrameList("TIT2").isEmpty())
                return {};
            chapters.push_back({FromTagLib(chapter->embeddedFrameList("TIT2").front()->toString()),
                                chapter->startTime() / 1000.0});
        }
        return chapters;
    }
    TagLib::FileRef file(name.constData());
    if (file.isNull())
        return chapters;
    const TagLib::PropertyMap properties = file.file()->properties();
    for (int i = 1;; ++i) {
        const std::string key =
            QStringLiteral("CHAPTER%1").arg(i, 3, 10, QLatin1Char('0')).toStdString();
        if (!properties.contains(key))
            return chapters;
        const QStringList clock = FromTagLib(properties[key].front()).split(u':');
        chapters.push_back(
            {properties.contains(key + "NAME") ? FromTagLib(properties[key + "NAME"].front())
                                               : QString(),
             clock.size() == 3
                 ? clock[0].toInt() * 3600 + clock[1].toInt() * 60 + clock[2].toDouble()
                 : -1});
    }
}

// Every sample of a file, as 16-bit.
std::vector<std::int16_t> Samples(const QString &path) {
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<std::int16_t> samples(std::size_t(info.frames));
    samples.resize(std::size_t(sf_read_short(file, samples.data(), info.frames)));
    sf_close(file);
    return samples;
}

// The words of a .lrc file and when each begins, in seconds.
std::vector<std::pair<QString, double>> LrcWords(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    std::vector<std::pair<QString, double>> words;
    static const QRegularExpression timed(QStringLiteral("<(\\d+):(\\d+\\.\\d+)>([^<\\[\\n]*)"));
    for (auto it = timed.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        words.emplace_back(m.captured(3).trimmed(),
                           m.captured(1).toInt() * 60 + m.captured(2).toDouble());
    }
    return words;
}

// Voice helpers of this build still running, in any process.
// How many of `pids` still run a voice helper (other tests' helpers may run beside).
int HelpersRunning(const QList<qint64> &pids) {
    const QString espeak = QFileInfo(SpeechEngine::HelperPath()).canonicalFilePath();
    const QStringList helpers{espeak, espeak + QStringLiteral("-flite")};
    return int(std::count_if(pids.begin(), pids.end(), [&](qint64 pid) {
        return helpers.contains(
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath());
    }));
}

struct Run {
    int code = -1;
    QString err;
    QString out;
};

} // namespace

class SpeechFileTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;

    QString Path(const QString &name) const { return dir_->filePath(name); }
    QString Write(const QString &name, const QByteArray &bytes) {
        QFile file(Path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return file.fileName();
    }
    // Every name in the folder, hidden ones and folders too.
    QStringList Entries(const QString &dir) const {
        return QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                   QDir::Name);
    }
    Run Speak(const QStringList &args, const QByteArray &input = {},
              const QString &program = kProgram) {
        QProcess p;
        p.start(program, args);
        p.write(input);
        p.closeWriteChannel();
        Run r;
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        return r;
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(!Write(QStringLiteral("in.txt"), kThreeSentences).isEmpty());
    }

    // Every kind of file decodes to the same length of speech, at a sound level.
    void formats_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rate");
        QTest::newRow("wav") << "out.wav" << 22050;
        QTest::newRow("flac") << "out.FLAC" << 22050;
        QTest::newRow("ogg vorbis") << "out.ogg" << 22050;
        QTest::newRow("opus") << "out.opus" << 24000;
        QTest::newRow("mp3") << "out.mp3" << 22050;
    }
    void formats() {
        QFETCH(QString, name);
        QFETCH(int, rate);
        const Run r = Speak({QStringLiteral("--speak-to"), Path(name), Path("in.txt")});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        const Decoded d = Decode(Path(name));
        QVERIFY(d.ok);
        QCOMPARE(d.sampleRate, rate);
        // Sixteen words at 175 a minute, with pauses at the full stops.
        QVERIFY2(d.seconds > 3.5 && d.seconds < 7.5, qPrintable(QString::number(d.seconds)));
        QVERIFY2(d.rms > 0.03 && d.rms < 0.5, qPrintable(QString::number(d.rms)));
        QCOMPARE(Entries(dir_->path()), (QStringList{QStringLiteral("in.txt"), name}));
    }

    // Faster speech is shorter; standard input and voices by language work.
    void speedAndVoice() {
        const auto seconds = [&](const QStringList &extra) {
            QFile::remove(Path("s.wav"));
            const Run r = Speak(QStringList{QStringLiteral("--speak-to"), Path("s.wav")} + extra +
                                    QStringList{QStringLiteral("-")},
                                kThreeSentences);
            return r.code == 0 ? Decode(Path("s.wav")).seconds : -1;
        };
        const double normal = seconds({});
        const double fast = seconds({QStringLiteral("--speed"), QStringLiteral("338")});
        const double german = seconds({QStringLiteral("--voice"), QStringLiteral("de")});
        QVERIFY(normal > 0 && fast > 0 && german > 0);
        QVERIFY2(fast < normal * 0.6, qPrintable(QStringLiteral("%1 %2").arg(fast).arg(normal)));
        QVERIFY(std::abs(german - normal) > 0.05);

        // A pronunciation makes a word longer to say; the lyrics still show it.
        QVERIFY(!Write(QStringLiteral("rules.tsv"),
                       "# a list\ntest\ta long and careful examination\nbroken line\n")
                     .isEmpty());
        QFile::remove(Path("s.lrc"));
        const double said = seconds(
            {QStringLiteral("--pronunciations"), Path("rules.tsv"), QStringLiteral("--lrc")});
        QVERIFY2(said > normal + 1, qPrintable(QStringLiteral("%1 %2").arg(said).arg(normal)));
        QFile lrc(Path("s.lrc"));
        QVERIFY(lrc.open(QIODevice::ReadOnly));
        const QString lyrics = QString::fromUtf8(lrc.readAll());
        QVERIFY2(lyrics.contains(QLatin1String("test")) && !lyrics.contains(QLatin1String("exam")),
                 qPrintable(lyrics));
    }

    // One cue per sentence, times rising and ending with the audio; every
    // word timed in the lyrics.
    void subtitles() {
        const Run r = Speak({QStringLiteral("--speak-to"), Path("talk.ogg"),
                             QStringLiteral("--srt"), QStringLiteral("--lrc"), Path("in.txt")});
        QCOMPARE(r.code, 0);
        QFile srt(Path("talk.srt")), lrc(Path("talk.lrc"));
        QVERIFY(srt.open(QIODevice::ReadOnly) && lrc.open(QIODevice::ReadOnly));
        const QStringList cues =
            QString::fromUtf8(srt.readAll()).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
        QCOMPARE(cues.size(), 3);
        QVERIFY(cues[1].endsWith(QLatin1String("\nThis is a test of the speech file writer.")));
        QStringList times;
        for (const QString &cue : cues)
            times += cue.section(u'\n', 1, 1).split(QStringLiteral(" --> "));
        QStringList sorted = times;
        sorted.sort();
        QCOMPARE(times, sorted);
        const double end =
            QTime::fromString(times.last(), QStringLiteral("hh:mm:ss,zzz")).msecsSinceStartOfDay() /
            1000.0;
        QVERIFY(std::abs(end - Decode(Path("talk.ogg")).seconds) < 0.1);
        const QStringList lines = QString::fromUtf8(lrc.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[2].startsWith(QLatin1String("[00:0")));
        QVERIFY(lines[2].count(u'<') >= 4);

        QCOMPARE(SpeechSubtitles::SrtTime(3723004), QByteArray("01:02:03,004"));
        QCOMPARE(SpeechSubtitles::LrcTime(3723004), QByteArray("62:03.00"));
    }

    // What each cue shows: its sentence with the punctuation that closes it,
    // and nothing of the next, with or without blanks between words.
    void cues_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("plain") << "Hello there. This is it."
                               << QStringList{"Hello", "there", "This", "is", "it"}
                               << QStringList{"Hello there.", "This is it."};
        QTest::newRow("quote after the stop")
            << "He said \"go.\" Then left." << QStringList{"He", "said", "go", "Then", "left"}
            << QStringList{"He said \"go.\"", "Then left."};
        QTest::newRow("abbreviation inside a word")
            << "Made in the U.S.A. today." << QStringList{"Made", "in", "the", "U.S.A.", "today"}
            << QStringList{"Made in the U.S.A. today."};
        QTest::newRow("wide stops, no blanks")
            << QStringLiteral("你好。我很好！") << QStringList{"你好", "我", "很好"}
            << QStringList{QStringLiteral("你好。"), QStringLiteral("我很好！")};
        QTest::newRow("wide stop, then a closing quote")
            << QStringLiteral("「你好。」我很好。") << QStringList{"你好", "我", "很好"}
            << QStringList{QStringLiteral("你好。」"), QStringLiteral("我很好。")};
    }
    void cues() {
        QFETCH(QString, text);
        QFETCH(QStringList, words);
        QFETCH(QStringList, shown);
        SpeechSubtitles subtitles(text, 1000);
        qsizetype at = 0;
        std::uint64_t sample = 0;
        for (const QString &word : words) {
            at = text.indexOf(word, at);
            QVERIFY(at >= 0);
            subtitles.AddWord({at, word.size()}, sample += 500);
            at += word.size();
        }
        subtitles.Finish(sample + 500);
        QStringList cues;
        for (const QString &cue : QString::fromUtf8(subtitles.TakeSrt())
                                      .split(QStringLiteral("\n\n"), Qt::SkipEmptyParts))
            cues << cue.section(u'\n', 2);
        QCOMPARE(cues, shown);
        // The lyrics hold the same words, each once.
        QString lyrics = QString::fromUtf8(subtitles.TakeLrc());
        lyrics.remove(QRegularExpression(QStringLiteral("\\[[^]]*\\]|<[^>]*>")));
        QCOMPARE(lyrics.split(u'\n', Qt::SkipEmptyParts), shown);
    }

    // Where a text is cut for helpers reading at once: only between
    // sentences, where any voice pauses anyway.
    void cuts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<QList<qsizetype>>("cuts");
        QTest::newRow("sentences") << "One. Two! Three? Four" << 1 << QList<qsizetype>{5, 10, 17};
        QTest::newRow("a line, a paragraph")
            << "One.\nTwo.\n\nThree." << 1 << QList<qsizetype>{5, 11};
        QTest::newRow("titles and initials")
            << "Mr. Smith met J. R. Tolkien. Dr. No left. Bob. Yes." << 1
            << QList<qsizetype>{29, 42, 47};
        QTest::newRow("numbers, names, lower case")
            << "It cost 3.50 today. 1987 came. Then e.g. this. www.example.org is down." << 1
            << QList<qsizetype>{20, 31};
        QTest::newRow("quotes and brackets")
            << "He said \"Stop.\" \"Why?\" (Because.) No." << 1 << QList<qsizetype>{16, 23, 34};
        QTest::newRow("no blank after") << "One.Two.Three" << 1 << QList<qsizetype>{};
        QTest::newRow("nothing after") << "One. Two.  \n" << 1 << QList<qsizetype>{5};
        QTest::newRow("parts no shorter than asked")
            << "One. Two. Three. Four. Five." << 10 << QList<qsizetype>{10, 23};
        QTest::newRow("wide stops, no blanks")
            << QString::fromUtf8("你好。世界！「はい」？終わり") << 1 << QList<qsizetype>{3, 6, 11};
        QTest::newRow("danda, Arabic question mark")
            << QString::fromUtf8("नमस्ते। आप कैसे हैं? ठीक") + QString::fromUtf8(" مرحبا؟ كيف") << 1
            << QList<qsizetype>{8, 21, 32};
        QTest::newRow("no stops") << "words and no stop" << 1 << QList<qsizetype>{};
        QTest::newRow("paragraphs without stops")
            << "a verse\nits line\n\nthe next\n \n\nend" << 1 << QList<qsizetype>{18, 30};
    }
    void cuts() {
        QFETCH(QString, text);
        QFETCH(int, minimum);
        QFETCH(QList<qsizetype>, cuts);
        const std::vector<qsizetype> got = ParallelSynthesis::Cuts(text, minimum);
        QCOMPARE(QList<qsizetype>(got.begin(), got.end()), cuts);
    }

    // A text read by four helpers at once has the words of one voice reading
    // it through, at the same times: the pause between sentences where parts
    // join is the one a single reading makes. No seam clicks: around each
    // part's first word the sound moves no more sharply than in one reading.
    void joins_data() {
        QTest::addColumn<QString>("voiceName");
        QTest::addColumn<QString>("format");
        QTest::newRow("espeak-ng") << "en-us"
                                   << "wav";
        QTest::newRow("flite") << "flite:slt"
                               << "wav";
        // Ogg Vorbis is also encoded in pieces, one a thread, cut in pauses.
        QTest::newRow("espeak-ng, ogg") << "en-us"
                                        << "ogg";
        QTest::newRow("flite, ogg") << "flite:slt"
                                    << "ogg";
    }
    void joins() {
        QFETCH(QString, voiceName);
        QFETCH(QString, format);
        QByteArray voice;
        {
            const std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
            QCOMPARE(engine->StartupError(), QString());
            for (const SpeechVoice &v : engine->Voices())
                if (v.identifier == voiceName.toUtf8() ||
                    (v.language == voiceName && !v.identifier.contains(':')))
                    voice = v.identifier;
        }
        if (voice.isEmpty())
            QSKIP("The voice is not installed");
        const QString text = QStringLiteral(
            "The morning train was late again, so she read the paper. Mr. Smith waited "
            "beside her on the cold platform! Would you like tea, coffee, or something "
            "stronger?\nThe committee met on Thursday and agreed to wait.\n\nIn 1987, the "
            "river flooded twice in the same spring. Nobody knew why the old clock stopped.");
        using Words = std::vector<std::pair<QString, double>>;
        const auto write = [&](const QString &words, const QString &name, int jobs) {
            SpeechFileJob job;
            job.text = words;
            job.voice = voice;
            job.path = Path(name).toStdString();
            job.lrc = true;
            job.overwrite = true; // the lyrics of the one before
            job.jobs = jobs;
            const QString error = WriteSpeechFile(job);
            return error.isEmpty() ? LrcWords(QString::fromStdString(
                                         std::filesystem::path(job.path).replace_extension(".lrc")))
                                   : Words{};
        };
        // The same words at the same times, within `within` seconds.
        const auto sameWords = [](const Words &a, const Words &b, double within) {
            QVERIFY(a.size() > 40);
            QCOMPARE(b.size(), a.size());
            for (std::size_t i = 0; i < a.size(); ++i) {
                QCOMPARE(b[i].first, a[i].first);
                QVERIFY2(std::abs(b[i].second - a[i].second) <= within,
                         qPrintable(QStringLiteral("%1 at %2, not %3")
                                        .arg(a[i].first)
                                        .arg(b[i].second)
                                        .arg(a[i].second)));
            }
        };
        // The largest step from one sample to the next, from `before` seconds
        // before a word to 10 ms into it.
        const auto steepest = [](const std::vector<std::int16_t> &audio, double at, double before) {
            const auto end = std::min(audio.size(), std::size_t((at + 0.01) * 22050));
            int most = 0;
            for (auto i = std::size_t(std::max(0.0, (at - before) * 22050)) + 1; i < end; ++i)
                most = std::max(most, std::abs(audio[i] - audio[i - 1]));
            return most;
        };
        // Around the first word after each cut, `b` moves no more sharply than `a`.
        const auto noSeams = [&](const QString &words, const std::vector<qsizetype> &cuts,
                                 const Words &a, const std::vector<std::int16_t> &aAudio,
                                 const Words &b, const std::vector<std::int16_t> &bAudio,
                                 double before) {
            std::size_t word = 0;
            for (const qsizetype cut : cuts) {
                // The part's first word among the timed ones.
                const QString first = words.mid(cut).section(u' ', 0, 0);
                while (word < b.size() && !first.startsWith(b[word].first.section(u' ', 0, 0)))
                    ++word;
                QVERIFY2(word < b.size(), qPrintable(first));
                const int seam = steepest(bAudio, b[word].second, before);
                const int reading = steepest(aAudio, a[word].second, before);
                QVERIFY2(
                    seam <= std::max(2 * reading, 500),
                    qPrintable(
                        QStringLiteral("%1: %2 against %3").arg(first).arg(seam).arg(reading)));
            }
        };

        const Words one = write(text, QStringLiteral("jobs1.") + format, 1);
        const Words four = write(text, QStringLiteral("jobs4.") + format, 4);
        sameWords(one, four, 0.1);
        const std::vector<std::int16_t> oneAudio = Samples(Path("jobs1." + format));
        const std::vector<std::int16_t> fourAudio = Samples(Path("jobs4." + format));
        QVERIFY(std::abs(double(fourAudio.size()) - double(oneAudio.size())) < 0.1 * 22050);
        const std::vector<qsizetype> cuts = ParallelSynthesis::Cuts(text, 40);
        QCOMPARE(cuts.size(), std::size_t(5));
        if (format != QLatin1String("ogg")) {
            noSeams(text, cuts, one, oneAudio, four, fourAudio, 0.06);
            return;
        }

        // The encoder's pieces, in a text long enough for several: the Ogg
        // file sounds as the WAV of the same reading, its words at the same
        // times (moved with the audio by the few samples a join adds or
        // takes), with no step of its own in any pause it may be cut in.
        const QString longer = QStringList{text, text, text}.join(u'\n');
        const Words wav = write(longer, QStringLiteral("pieces.wav"), 4);
        const Words ogg = write(longer, QStringLiteral("pieces.ogg"), 4);
        // A join moves the sound by up to 10 ms; the LRC rounds to 10 ms.
        sameWords(wav, ogg, 0.03);
        const std::vector<std::int16_t> wavAudio = Samples(Path("pieces.wav"));
        const std::vector<std::int16_t> oggAudio = Samples(Path("pieces.ogg"));
        QVERIFY(std::abs(double(oggAudio.size()) - double(wavAudio.size())) < 0.05 * 22050);
        QVERIFY(ogg.back().second * 22050 < double(oggAudio.size()));
        const std::vector<qsizetype> sentences = ParallelSynthesis::Cuts(longer, 1);
        QCOMPARE(sentences.size(), std::size_t(17));
        noSeams(longer, sentences, wav, wavAudio, ogg, oggAudio, 0.4);
    }

    // Where a piece encoded on its own joins the stream: the decoder adds
    // prev/4 + cur/4 samples a packet, and silent leading packets go so that
    // the piece starts nearest where it began.
    void vorbisJoin_data() {
        QTest::addColumn<qint64>("granule");
        QTest::addColumn<int>("block");
        QTest::addColumn<QList<int>>("blocks");
        QTest::addColumn<qint64>("quiet");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<int>("drop");
        QTest::addColumn<qint64>("offset");
        QTest::newRow("joins where it began") << qint64(1000) << 256 << QList<int>{256, 256}
                                              << qint64(0) << qint64(1128) << 0 << qint64(1128);
        QTest::newRow("one long silent block dropped")
            << qint64(10000) << 2048 << QList<int>{2048, 2048, 2048} << qint64(4000)
            << qint64(10000) << 1 << qint64(10000);
        QTest::newRow("a block past the silence stays")
            << qint64(10000) << 2048 << QList<int>{2048, 2048, 2048} << qint64(500) << qint64(10000)
            << 0 << qint64(11024);
        QTest::newRow("short blocks, the nearest")
            << qint64(0) << 256 << QList<int>{256, 256, 256, 256, 256} << qint64(5000)
            << qint64(-100) << 2 << qint64(-128);
        QTest::newRow("long then short") << qint64(500) << 2048 << QList<int>{2048, 256, 256}
                                         << qint64(5000) << qint64(0) << 2 << qint64(372);
        QTest::newRow("nothing to drop but the first")
            << qint64(500) << 2048 << QList<int>{2048} << qint64(5000) << qint64(0) << 0
            << qint64(1524);
    }
    void vorbisJoin() {
        QFETCH(qint64, granule);
        QFETCH(int, block);
        QFETCH(QList<int>, blocks);
        QFETCH(qint64, quiet);
        QFETCH(qint64, start);
        QFETCH(int, drop);
        QFETCH(qint64, offset);
        const VorbisJoin join =
            JoinVorbisPiece(granule, block, {blocks.begin(), blocks.end()}, quiet, start);
        QCOMPARE(int(join.drop), drop);
        QCOMPARE(qint64(join.offset), offset);
        // The first packet kept follows the stream's last one.
        QCOMPARE(qint64(join.granule), granule + block / 4 + blocks[join.drop] / 4);
    }

    // Sentences of tones with pauses between them, encoded in pieces on
    // several threads into one stream: libsndfile reads it whole, every input
    // sample is heard where Place says, sounding as a single encoding does,
    // and what the joins add is silence.
    void vorbisPieces_data() {
        QTest::addColumn<int>("pause");
        QTest::addColumn<int>("hiss");
        QTest::addColumn<int>("threads");
        QTest::addColumn<bool>("cut");
        QTest::newRow("zeros between sentences") << 6600 << 0 << 4 << true;
        QTest::newRow("a faint hiss between") << 6600 << 60 << 3 << true;
        QTest::newRow("pauses too short to cut in") << 1500 << 0 << 4 << false;
        QTest::newRow("a hiss too loud to cut in") << 6600 << 2000 << 4 << false;
        QTest::newRow("one thread, one piece") << 6600 << 0 << 1 << false;
    }
    void vorbisPieces() {
        QFETCH(int, pause);
        QFETCH(int, hiss);
        QFETCH(int, threads);
        QFETCH(bool, cut);
        constexpr int rate = 22050;
        std::mt19937 random(7);
        std::vector<std::int16_t> input;
        std::vector<std::size_t> sentences;
        std::vector<bool> voiced; // a sentence's sample, not a pause's
        for (int s = 0; s < 30; ++s) {
            sentences.push_back(input.size());
            const int length = rate + int(random() % rate);
            const double pitch = 110 + random() % 200;
            for (int i = 0; i < length; ++i) {
                const double fade = std::min({1.0, i / 300.0, (length - i) / 300.0});
                const double t = double(i) / rate;
                input.push_back(std::int16_t(fade * (6000 * std::sin(2 * M_PI * pitch * t) +
                                                     3000 * std::sin(6 * M_PI * pitch * t))));
            }
            voiced.resize(input.size(), true);
            for (int i = 0; i < pause; ++i)
                input.push_back(hiss > 0 ? std::int16_t(int(random() % (2 * hiss + 1)) - hiss)
                                         : std::int16_t(0));
            voiced.resize(input.size(), false);
        }
        const auto encode = [&](int count, const QString &name, std::vector<std::int64_t> &heard) {
            QFile file(Path(name));
            if (!file.open(QIODevice::WriteOnly))
                return false;
            ParallelVorbis vorbis(
                rate, count, {{"TITLE", "Pieces"}},
                [&](const unsigned char *data, std::size_t size) {
                    return file.write(reinterpret_cast<const char *>(data), qint64(size)) ==
                           qint64(size);
                },
                3 * rate);
            std::size_t next = 1;
            for (std::size_t at = 0; at < input.size(); at += 4096) {
                if (!vorbis.Write(input.data() + at,
                                  std::min<std::size_t>(4096, input.size() - at)))
                    return false;
                for (; next < sentences.size() && sentences[next] <= at + 4096; ++next)
                    vorbis.Pause(sentences[next - 1], sentences[next]);
            }
            if (!vorbis.Finish())
                return false;
            heard.clear();
            for (std::size_t i = 0; i < input.size(); ++i)
                heard.push_back(std::int64_t(vorbis.Place(i).value_or(~0ULL)));
            return std::int64_t(vorbis.Length()) == heard.back() + 1;
        };
        std::vector<std::int64_t> heard, once;
        QVERIFY(encode(threads, QStringLiteral("pieces.ogg"), heard));
        QVERIFY(encode(1, QStringLiteral("once.ogg"), once));
        QCOMPARE(Tags(Path("pieces.ogg")).value(0), QStringLiteral("Pieces"));
        const std::vector<std::int16_t> decoded = Samples(Path("pieces.ogg"));
        const std::vector<std::int16_t> reference = Samples(Path("once.ogg"));
        QCOMPARE(std::int64_t(reference.size()), std::int64_t(input.size()));
        QCOMPARE(std::int64_t(decoded.size()), heard.back() + 1);
        // A join moves what follows by less than a long block.
        QVERIFY2(std::abs(std::int64_t(decoded.size()) - std::int64_t(input.size())) < 2048,
                 qPrintable(QString::number(decoded.size())));
        // The sentences are heard in order, each whole; a piece may give up
        // the start of a pause to the piece before.
        bool moved = false;
        int worst = 0, worstOnce = 0;
        std::int64_t last = -1;
        std::vector<bool> placed(decoded.size());
        for (std::size_t i = 0; i < input.size(); ++i) {
            moved = moved || heard[i] != std::int64_t(i);
            if (!voiced[i])
                continue;
            QVERIFY(heard[i] > last);
            last = heard[i];
            placed[std::size_t(heard[i])] = true;
            worst = std::max(worst, std::abs(decoded[std::size_t(heard[i])] - input[i]));
            worstOnce = std::max(worstOnce, std::abs(reference[i] - input[i]));
        }
        QCOMPARE(moved, cut);
        QVERIFY2(worst <= worstOnce * 5 / 4 + 64,
                 qPrintable(QStringLiteral("%1 against %2").arg(worst).arg(worstOnce)));
        // Between sentences: no louder than the pauses of a single encoding.
        int added = 0, pauses = 0;
        for (std::size_t i = 0; i < decoded.size(); ++i)
            if (!placed[i])
                added = std::max(added, std::abs(int(decoded[i])));
        for (std::size_t i = 0; i < input.size(); ++i)
            if (!voiced[i])
                pauses = std::max(pauses, std::abs(int(reference[i])));
        QVERIFY2(added <= pauses * 5 / 4 + 64,
                 qPrintable(QStringLiteral("%1 against %2").arg(added).arg(pauses)));
    }

    // Bad input: a clear message, a failing exit, and nothing left behind.
    void refusals_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString out = QStringLiteral("@/out.wav");
        QTest::newRow("missing input")
            << QStringList{"--speak-to", out, "@/none.txt"} << "File does not exist";
        QTest::newRow("folder missing")
            << QStringList{"--speak-to", "@/no/such/folder/out.wav", "@/in.txt"}
            << "Cannot write to";
        QTest::newRow("folder is a file")
            << QStringList{"--speak-to", "@/in.txt/out.wav", "@/in.txt"} << "Cannot write to";
        QTest::newRow("unknown extension")
            << QStringList{"--speak-to", "@/out.aiff", "@/in.txt"} << "should end in .wav";
        QTest::newRow("no extension")
            << QStringList{"--speak-to", "@/out", "@/in.txt"} << "should end in .wav";
        QTest::newRow("existing output")
            << QStringList{"--speak-to", "@/in.txt.wav", "@/in.txt"} << "exists already";
        QTest::newRow("existing subtitles")
            << QStringList{"--speak-to", "@/in.wav", "--srt", "@/in.txt"} << "exists already";
        QTest::newRow("pitch off the scale")
            << QStringList{"--speak-to", out, "--pitch", "83", "@/in.txt"} << "from 84 to 338";
        QTest::newRow("jobs not a number")
            << QStringList{"--speak-to", "@/o.wav", "--jobs", "all", "@/in.txt"}
            << "--jobs takes a number from 1 to 64";
        QTest::newRow("no jobs") << QStringList{"--speak-to", "@/o.wav", "--jobs", "0", "@/in.txt"}
                                 << "--jobs takes a number from 1 to 64";
        QTest::newRow("speed not a number")
            << QStringList{"--speak-to", out, "--speed", "fast", "@/in.txt"} << "from 84 to 338";
        QTest::newRow("unknown voice")
            << QStringList{"--speak-to", out, "--voice", "no-such-voice", "@/in.txt"} << "no voice";
        QTest::newRow("two inputs")
            << QStringList{"--speak-to", out, "@/in.txt", "@/in.txt"} << "one text file";
        QTest::newRow("document that cannot be read")
            << QStringList{"--speak-to", out, "@/letter.rtf"} << "is an RTF document";
        QTest::newRow("parts into a folder with files")
            << QStringList{"--speak-to", "@", "--split", "sections", "@/in.txt"} << "is not empty";
        QTest::newRow("split by what")
            << QStringList{"--speak-to", "@/parts", "--split", "pages", "@/in.txt"}
            << "takes \"sections\"";
        QTest::newRow("chapters in a WAV file")
            << QStringList{"--speak-to", "@/book.wav", "--split", "chapters", "@/in.txt"}
            << "WAV files hold no chapter marks";
        QTest::newRow("lines not numbers")
            << QStringList{"--speak-to", "@/parts", "--split-at-lines", "1,x", "@/in.txt"}
            << "takes line numbers";
        QTest::newRow("pattern not valid")
            << QStringList{"--speak-to", "@/parts", "--split-at", "(", "@/in.txt"}
            << "pattern is not valid";
        QTest::newRow("format not audio")
            << QStringList{"--speak-to", "@/parts", "--split", "sections",
                           "--format",   "txt",     "@/in.txt"}
            << "no kind of audio";
        QTest::newRow("standard input into a folder")
            << QStringList{"--speak-to", "@/", "@/in.txt", "-"} << "has no name";
        QTest::newRow("several to split")
            << QStringList{"--speak-to", "@/parts", "--split", "sections", "@/in.txt", "@/in.txt"}
            << "one text file";
        QTest::newRow("nothing to say")
            << QStringList{"--speak-to", out, "@/blank.txt"} << "nothing to speak";
        QTest::newRow("pronunciations missing")
            << QStringList{"--speak-to", out, "--pronunciations", "@/none.tsv", "@/in.txt"}
            << "there is no file";
    }
    void refusals() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QVERIFY(!Write(QStringLiteral("in.txt.wav"), "keep").isEmpty());
        QVERIFY(!Write(QStringLiteral("in.srt"), "keep").isEmpty());
        QVERIFY(!Write(QStringLiteral("blank.txt"), " \n\t ").isEmpty());
        QVERIFY(!Write(QStringLiteral("letter.rtf"), "{\\rtf1\\ansi Hello}").isEmpty());
        const QStringList before = Entries(dir_->path());
        for (QString &arg : args)
            arg.replace(QLatin1String("@"), dir_->path());
        const Run r = Speak(args);
        QVERIFY(r.code > 0);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(Entries(dir_->path()), before);
        QFile kept(Path("in.txt.wav"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep"));
    }

    // A document is spoken as its words: a page's script is never read.
    void speaksDocuments() {
        const QByteArray script = QByteArray("var word = 1; ").repeated(200);
        QVERIFY(!Write(QStringLiteral("page.html"), "<html><head><script>" + script +
                                                        "</script></head><body><p>Hello "
                                                        "there.</p></body></html>")
                     .isEmpty());
        const Run r = Speak({QStringLiteral("--speak-to"), Path("page.wav"), Path("page.html")});
        QCOMPARE(r.code, 0);
        const Decoded d = Decode(Path("page.wav"));
        QVERIFY(d.ok);
        QVERIFY2(d.seconds > 0.3 && d.seconds < 3, qPrintable(QString::number(d.seconds)));
    }

    // A book in parts: one file per chapter, or per line the pattern
    // matches, named by number and title; every part decodes to speech and
    // carries its title and number, the book's title as album and its author,
    // in every kind of file. With --split chapters, the parts are chapters of
    // one file instead, titled by the book (the parts' album): they read back
    // in order, the first at the start, each later one inside the audio.
    void parts_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("artist");
        QTest::newRow("sections, words before them")
            << "book.html"
            << QByteArray("<html><body><p>A word first.</p><h1>One</h1><p>Hello there.</p>"
                          "<h2>Inside</h2><p>Still the first.</p><h1>Two/Three: end?</h1>"
                          "<p>Good day.</p></body></html>")
            << QStringList{"--split", "sections"}
            << QStringList{"01 - book.ogg", "02 - One.ogg", "03 - Two Three end.ogg"}
            << QStringList{"book", "One", "Two/Three: end?"} << "book"
            << "";
        QTest::newRow("sections of a book that names itself")
            << "book.epub"
            << MakeEpub({EpubPart(QStringLiteral("a"), QStringLiteral("a.xhtml"),
                                  Xhtml(QStringLiteral("<h1>Dawn</h1><p>Hello there.</p>"))),
                         EpubPart(QStringLiteral("b"), QStringLiteral("b.xhtml"),
                                  Xhtml(QStringLiteral("<h1>Dusk</h1><p>Good night.</p>")))},
                        QStringLiteral("en"))
            << QStringList{"--split", "sections", "--format", "opus"}
            << QStringList{"01 - Dawn.opus", "02 - Dusk.opus"} << QStringList{"Dawn", "Dusk"}
            << "A Book"
            << "Ann Author";
        QTest::newRow("pattern") << "book.txt"
                                 << QByteArray("Chapter 1\nHello world.\nChapter 2\r\nGood day.\n")
                                 << QStringList{"--split-at", "^Chapter ", "--format",
                                                "flac",       "--author",  "Me"}
                                 << QStringList{"01 - Chapter 1.flac", "02 - Chapter 2.flac"}
                                 << QStringList{"Chapter 1", "Chapter 2"} << "book"
                                 << "Me";
        QTest::newRow("no sections, tags given")
            << "book.txt" << kThreeSentences
            << QStringList{"--split", "sections", "--format", "wav",     "--title",
                           "Tïtle",   "--author", "Ann",      "--album", "Box"}
            << QStringList{"01 - Tïtle.wav"} << QStringList{"Tïtle"} << "Box"
            << "Ann";
        QTest::newRow("one section")
            << "book.html" << QByteArray("<html><body><h1>Only</h1><p>Hello.</p></body></html>")
            << QStringList{"--split", "sections", "--format", "mp3"} << QStringList{"01 - Only.mp3"}
            << QStringList{"Only"} << "book"
            << "";
        QTest::newRow("lines, words before them")
            << "book.txt" << QByteArray("Chapter 1\nHello world.\nChapter 2\r\nGood day.\n")
            << QStringList{"--split-at-lines", "3", "--format", "wav"}
            << QStringList{"01 - book.wav", "02 - Chapter 2.wav"}
            << QStringList{"book", "Chapter 2"} << "book"
            << "";
        const QByteArray sections = "<html><body><p>A word first.</p><h1>One</h1><p>Hello there."
                                    "</p><h2>Inside</h2><p>Still the first.</p><h1>Two/Three: "
                                    "end?</h1><p>Good day.</p></body></html>";
        for (const char *format : {"ogg", "mp3", "m4b"})
            QTest::addRow("chapters, sections, %s", format)
                << "book.html" << sections << QStringList{"--split", "chapters"}
                << QStringList{QStringLiteral("book.%1").arg(format)}
                << QStringList{"book", "One", "Two/Three: end?"} << "book"
                << "";
        QTest::newRow("chapters of a book that names itself")
            << "book.epub"
            << MakeEpub({EpubPart(QStringLiteral("a"), QStringLiteral("a.xhtml"),
                                  Xhtml(QStringLiteral("<h1>Dawn</h1><p>Hello there.</p>"))),
                         EpubPart(QStringLiteral("b"), QStringLiteral("b.xhtml"),
                                  Xhtml(QStringLiteral("<h1>Dusk</h1><p>Good night.</p>")))},
                        QStringLiteral("en"))
            << QStringList{"--split", "chapters"} << QStringList{"book.opus"}
            << QStringList{"Dawn", "Dusk"} << "A Book"
            << "Ann Author";
        QTest::newRow("chapters at a pattern")
            << "book.txt" << QByteArray("Chapter 1\nHello world.\nChapter 2\r\nGood day.\n")
            << QStringList{"--split", "chapters", "--split-at", "^Chapter ", "--author", "Me"}
            << QStringList{"book.flac"} << QStringList{"Chapter 1", "Chapter 2"} << "book"
            << "Me";
        QTest::newRow("chapters, no sections")
            << "book.txt" << kThreeSentences
            << QStringList{"--split", "chapters", "--title", "Tïtle"} << QStringList{"book.mp3"}
            << QStringList{"Tïtle"} << "Tïtle"
            << "";
        QTest::newRow("chapters, one section")
            << "book.html" << QByteArray("<html><body><h1>Only</h1><p>Hello.</p></body></html>")
            << QStringList{"--split", "chapters"} << QStringList{"book.flac"} << QStringList{"Only"}
            << "book"
            << "";
    }
    void parts() {
        QFETCH(QString, input);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, args);
        QFETCH(QStringList, files);
        QFETCH(QStringList, titles);
        QFETCH(QString, album);
        QFETCH(QString, artist);
        QVERIFY(!Write(input, bytes).isEmpty());
        const QString folder = Path(QStringLiteral("parts"));
        const bool chapters = args.contains(QStringLiteral("chapters"));
        if (chapters)
            QVERIFY(QDir().mkpath(folder));
        const Run r = Speak(QStringList{QStringLiteral("--speak-to"),
                                        chapters ? folder + u'/' + files.front() : folder} +
                            args + QStringList{Path(input)});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QCOMPARE(Entries(folder), files);
        if (chapters) {
            const QString file = folder + u'/' + files.front();
            const Decoded d = Decode(file);
            QVERIFY(d.ok);
            // Half a second a chapter at least; every book here is a few short lines.
            QVERIFY2(d.seconds > 0.5 * double(titles.size()) && d.seconds < 8,
                     qPrintable(QString::number(d.seconds)));
            QCOMPARE(Tags(file), (QStringList{album, artist, QString(), QString()}));
            // Beside the marks, where players look first.
            const TagLib::FileRef tagged(QFile::encodeName(file).constData());
            QVERIFY(!tagged.isNull());
            QCOMPARE(FromTagLib(tagged.tag()->title()), album);
            QCOMPARE(FromTagLib(tagged.tag()->artist()), artist);
            const std::vector<Chapter> marks = Chapters(file);
            QStringList read;
            for (const Chapter &mark : marks)
                read << mark.title;
            QCOMPARE(read, titles);
            QCOMPARE(marks.front().seconds, 0.0);
            for (std::size_t i = 1; i < marks.size(); ++i)
                QVERIFY2(marks[i].seconds > marks[i - 1].seconds + 0.3 &&
                             marks[i].seconds < d.seconds - 0.3,
                         qPrintable(QStringLiteral("%1 at %2 of %3")
                                        .arg(marks[i].title)
                                        .arg(marks[i].seconds)
                                        .arg(d.seconds)));
            return;
        }
        for (qsizetype i = 0; i < files.size(); ++i) {
            const QString file = folder + u'/' + files[i];
            const Decoded d = Decode(file);
            QVERIFY2(d.ok && d.seconds > 0.2, qPrintable(files[i]));
            QCOMPARE(Tags(file), (QStringList{titles[i], artist, album, QString::number(i + 1)}));
        }
    }

    // A single file is tagged from the book, or as the options say.
    void tags_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("tags");
        QTest::newRow("from the book")
            << QStringList{} << QStringList{"A Book", "Ann Author", "", ""};
        QTest::newRow("options win") << QStringList{"--title", "T", "--author", "A", "--album", "B"}
                                     << QStringList{"T", "A", "B", ""};
    }
    void tags() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, tags);
        QVERIFY(!Write(QStringLiteral("book.epub"),
                       MakeEpub({EpubPart(QStringLiteral("a"), QStringLiteral("a.xhtml"),
                                          Xhtml(QStringLiteral("<p>Hello there.</p>")))},
                                QStringLiteral("en")))
                     .isEmpty());
        const Run r = Speak(QStringList{QStringLiteral("--speak-to"), Path("book.ogg")} + args +
                            QStringList{Path("book.epub")});
        QCOMPARE(r.code, 0);
        QCOMPARE(Tags(Path("book.ogg")), tags);
    }

    // Many files into a folder: a bad one among them is reported by name,
    // the others are written all the same, one progress count covers them
    // all, and the exit says not all succeeded.
    void batch_data() {
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "bad.txt" << QByteArray() << "File does not exist";
        QTest::newRow("unreadable document")
            << "bad.rtf" << QByteArray("{\\rtf1\\ansi Hello}") << "is an RTF document";
        QTest::newRow("nothing to say") << "bad.txt" << QByteArray(" \n\t ") << "nothing to speak";
        QTest::newRow("output exists") << "third.txt" << QByteArray("Hello.") << "exists already";
    }
    void batch() {
        QFETCH(QString, bad);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QByteArray second = "Good day to you.";
        QVERIFY(!Write(QStringLiteral("second.txt"), second).isEmpty());
        if (!bytes.isEmpty())
            QVERIFY(!Write(bad, bytes).isEmpty());
        const QString folder = Path(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(!Write(QStringLiteral("out/third.flac"), "keep").isEmpty());
        const Run r = Speak({"--speak-to", folder + u'/', "--format", "flac", "--progress",
                             Path("in.txt"), Path(bad), Path("second.txt")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(bad) && r.err.contains(message), qPrintable(r.err));
        QCOMPARE(r.err.count(u'\n'), 1);
        QCOMPARE(Entries(folder).join(u' '), QStringLiteral("in.flac second.flac third.flac"));
        QFile kept(folder + QStringLiteral("/third.flac"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep"));
        for (const QString &name : {QStringLiteral("in"), QStringLiteral("second")}) {
            QVERIFY2(Decode(folder + u'/' + name + QStringLiteral(".flac")).ok, qPrintable(name));
            QCOMPARE(Tags(folder + u'/' + name + QStringLiteral(".flac")).front(), name);
        }
        // The count runs over the whole batch, to its end.
        const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        const QStringList last = lines.last().split(u' ');
        QCOMPARE(last.value(1), last.value(2));
        QVERIFY(last.value(2).toLongLong() >= kThreeSentences.size() + second.size());
    }

    void overwriteReplaces() {
        QVERIFY(!Write(QStringLiteral("old.wav"), "old").isEmpty());
        const Run r = Speak({QStringLiteral("--speak-to"), Path("old.wav"),
                             QStringLiteral("--overwrite"), Path("in.txt")});
        QCOMPARE(r.code, 0);
        QVERIFY(Decode(Path("old.wav")).ok);
    }

    // Writes that must not happen, or cannot: the exit, the message, nothing
    // new on the disk, and the older file that --overwrite would replace
    // untouched. `mount` is a small tmpfs mounted at @/disk first.
    void faults_data() {
        QTest::addColumn<QString>("mount");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        for (const char *format : {"wav", "flac", "ogg", "opus", "mp3", "m4b"})
            QTest::addRow("full disk, %s", format)
                << "size=64k"
                << QStringList{"--speak-to", QStringLiteral("@/disk/old.%1").arg(format), "--srt",
                               "--overwrite", "@/long.txt"}
                << "the disk is full";
        // Some parts fit before the disk fills: those go too.
        QTest::newRow("full disk, parts")
            << "size=64k" << QStringList{"--speak-to", "@/disk/book", "--split-at",
                                         "^Hello",     "--overwrite", "@/long.txt"}
            << "the disk is full";
        QTest::newRow("full disk, chapters")
            << "size=64k"
            << QStringList{"--speak-to", "@/disk/old.ogg", "--split",     "chapters",
                           "--split-at", "^Hello",         "--overwrite", "@/long.txt"}
            << "the disk is full";
        QTest::newRow("read-only disk")
            << "size=1m,ro" << QStringList{"--speak-to", "@/disk/out.wav", "@/long.txt"}
            << "Read-only file system";
        QTest::newRow("input as output")
            << "" << QStringList{"--speak-to", "@/old.wav", "--overwrite", "@/old.wav"}
            << "is the text being spoken";
        QTest::newRow("input by a link")
            << "" << QStringList{"--speak-to", "@/link.mp3", "--overwrite", "@/old.wav"}
            << "is the text being spoken";
        QTest::newRow("subtitles as input")
            << "" << QStringList{"--speak-to", "@/old.mp3", "--srt", "--overwrite", "@/old.srt"}
            << "is the text being spoken";
        QTest::newRow("unknown option")
            << "" << QStringList{"--speak-to", "@/x.wav", "--louder"} << "Unknown option";
    }
    void faults() {
        QFETCH(QString, mount);
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QByteArray longText;
        for (int i = 0; i < 40; ++i)
            longText += kThreeSentences + '\n'; // a line each, for --split-at
        QVERIFY(!Write(QStringLiteral("long.txt"), longText).isEmpty());
        const QString disk = Path(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(disk));
        if (!mount.isEmpty()) {
            if (geteuid() != 0)
                QSKIP("Mounting a small disk needs root");
            if (QProcess::execute(
                    QStringLiteral("mount"),
                    {"-t", "tmpfs", "-o", mount.section(u',', 0, 0), "tmpfs", disk}) != 0)
                QSKIP("This machine does not allow mounting a tmpfs");
        }
        const auto unmount = qScopeGuard([&] {
            if (!mount.isEmpty())
                QProcess::execute(QStringLiteral("umount"), {disk});
        });
        // The older files, text to read among them.
        const QString where = mount.isEmpty() ? dir_->path() : disk;
        for (const char *name :
             {"old.wav", "old.flac", "old.ogg", "old.opus", "old.mp3", "old.srt"})
            QVERIFY(!Write(QDir(dir_->path()).relativeFilePath(where + u'/' + QLatin1String(name)),
                           kThreeSentences)
                         .isEmpty());
        QVERIFY(QFile::link(Path("old.wav"), Path("link.mp3")));
        if (mount.contains(QLatin1String("ro")))
            QCOMPARE(QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", disk}), 0);
        const QStringList before = Entries(dir_->path()) + Entries(disk);
        for (QString &arg : args)
            arg.replace(QLatin1String("@"), dir_->path());
        const Run r = Speak(args);
        QCOMPARE(r.code, message == QLatin1String("Unknown option") ? 2 : 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(Entries(dir_->path()) + Entries(disk), before);
        for (const QString &name : QDir(where).entryList({QStringLiteral("old.*")})) {
            QFile kept(where + u'/' + name);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), kThreeSentences);
        }
    }

    // A name that is not valid UTF-8 is written under its own bytes, whether
    // given as they are or escaped in a file URL (as the window passes it),
    // and the file that merely reads the same stays as it was.
    void nameKeepsItsBytes_data() {
        QTest::addColumn<bool>("asUrl");
        QTest::newRow("bytes as given") << false;
        QTest::newRow("file URL") << true;
    }
    void nameKeepsItsBytes() {
        QFETCH(bool, asUrl);
        const QByteArray folder = QFile::encodeName(dir_->path());
        QVERIFY(!Write(QStringLiteral("caf\uFFFD.wav"), "keep").isEmpty());
        // The toolkit cannot name it to remove it.
        const auto removeRaw = qScopeGuard([&] {
            std::error_code ignored;
            std::filesystem::remove(folder.toStdString() + "/caf\xe9.wav", ignored);
        });
        const QByteArray out = asUrl ? "file://" + folder + "/caf%E9.wav" : folder + "/caf\xe9.wav";
        // The shell hands the program the very bytes; QProcess would pass UTF-8.
        QByteArray octal;
        for (char c : out)
            octal += QByteArray("\\") + QByteArray::number(uchar(c), 8).rightJustified(3, '0');
        const Run r = Speak({"-c",
                             QStringLiteral("exec \"$0\" --speak-to \"$(printf '%1')\" "
                                            "--overwrite \"$1\"")
                                 .arg(QString::fromLatin1(octal)),
                             kProgram, Path("in.txt")},
                            {}, QStringLiteral("/bin/sh"));
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(std::filesystem::file_size(folder.toStdString() + "/caf\xe9.wav") > 10000);
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder.toStdString()))
            names.push_back(entry.path().filename().native());
        std::sort(names.begin(), names.end());
        QCOMPARE(names, (std::vector<std::string>{"caf\xe9.wav", "caf\xef\xbf\xbd.wav", "in.txt"}));
        QFile kept(Path(QStringLiteral("caf\uFFFD.wav")));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep"));
    }

    // Cancelled halfway, from inside (the writer's progress) and from outside
    // (the signal the window sends): nothing is left, no helper either.
    void cancelHalfway_data() {
        QTest::addColumn<bool>("bySignal");
        QTest::addColumn<int>("jobs");
        QTest::newRow("progress says stop") << false << 1;
        QTest::newRow("terminated") << true << 1;
        QTest::newRow("progress says stop, 4 jobs") << false << 4;
        QTest::newRow("terminated, 4 jobs") << true << 4;
    }
    void cancelHalfway() {
        QFETCH(bool, bySignal);
        QFETCH(int, jobs);
        QByteArray longText;
        for (int i = 0; i < 100; ++i)
            longText += kThreeSentences + '\n';
        QVERIFY(!Write(QStringLiteral("long.txt"), longText).isEmpty());
        const QStringList before = Entries(dir_->path());
        QList<qint64> helpers;
        if (!bySignal) {
            SpeechFileJob job;
            job.text = QString::fromUtf8(longText);
            job.path = Path("out.ogg").toStdString();
            job.srt = true;
            job.jobs = jobs;
            int calls = 0;
            qsizetype reached = 0;
            const QString error = WriteSpeechFile(job, [&](const SpeechFileProgress &p) {
                reached = p.reached;
                return ++calls < 20 || p.reached == 0;
            });
            QCOMPARE(error, QStringLiteral("Cancelled"));
            QVERIFY(reached > 0 && reached < job.text.size());
        } else {
            QProcess p;
            p.start(kProgram, {"--speak-to", Path("out.ogg"), "--lrc", "--progress", "--jobs",
                               QString::number(jobs), Path("long.txt")});
            QByteArray lines;
            while (!lines.contains("progress ") && p.waitForReadyRead(30000))
                lines += p.readAllStandardOutput();
            QVERIFY(lines.contains("progress "));
            helpers = ProcStatus::Children(p.processId());
            QVERIFY(HelpersRunning(helpers) > 0);
            p.terminate();
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QVERIFY(p.exitCode() != 0);
        }
        QCOMPARE(Entries(dir_->path()), before);
        if (!bySignal)
            helpers = ProcStatus::Children(QCoreApplication::applicationPid(), false);
        QTRY_COMPARE_WITH_TIMEOUT(HelpersRunning(helpers), 0, 5000);
    }

    // A part's file name: numbered as wide as the count needs, its title
    // with nothing a file name cannot hold, never hidden, never too long.
    void partNames_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << 3 << 12 << "The Storm"
                               << "03 - The Storm.ogg";
        QTest::newRow("a hundred parts") << 7 << 120 << "Seven"
                                         << "007 - Seven.ogg";
        QTest::newRow("separators and marks") << 1 << 2 << "Act 1/Scene 2: \"Who?\" <a|b>*"
                                              << "01 - Act 1 Scene 2 Who a b.ogg";
        QTest::newRow("control characters and runs of space")
            << 1 << 2 << "Tab\there\n  and\r\nthere"
            << "01 - Tab here and there.ogg";
        QTest::newRow("dots at the ends") << 2 << 2 << "...Hidden?. "
                                          << "02 - Hidden.ogg";
        QTest::newRow("nothing left") << 1 << 1 << " / : "
                                      << "01 - Part.ogg";
        QTest::newRow("long title cut by bytes") << 1 << 1 << QString(150, QChar(0x4E00))
                                                 << "01 - " + QString(66, QChar(0x4E00)) + ".ogg";
        QTest::newRow("pair not broken")
            << 1 << 1 << "a" + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(60)
            << "01 - a" + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(49) + ".ogg";
    }
    void partNames() {
        QFETCH(int, number);
        QFETCH(int, count);
        QFETCH(QString, title);
        QFETCH(QString, name);
        QCOMPARE(PartFileName(number, count, title, QStringLiteral("ogg")), name);
    }

    // The --progress line as the program writes it and the dialog reads it.
    void progressLine_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint64>("reached"); // -1: not a progress line
        QTest::addColumn<qint64>("total");
        QTest::newRow("as written") << ProgressLine({1234, 99999}) << 1234LL << 99999LL;
        QTest::newRow("done") << QByteArray("progress 7 7") << 7LL << 7LL;
        QTest::newRow("carriage return") << QByteArray("progress 1 2\r") << 1LL << 2LL;
        QTest::newRow("a word short") << QByteArray("progress 3") << -1LL << 0LL;
        QTest::newRow("not numbers") << QByteArray("progress a b") << -1LL << 0LL;
        QTest::newRow("negative") << QByteArray("progress -1 5") << -1LL << 0LL;
        QTest::newRow("other output") << QByteArray("Voice espeak-ng") << -1LL << 0LL;
    }
    void progressLine() {
        QFETCH(QByteArray, line);
        QFETCH(qint64, reached);
        QFETCH(qint64, total);
        const std::optional<SpeechProgress> read = ParseProgressLine(line);
        QCOMPARE(read.has_value(), reached >= 0);
        if (read) {
            QCOMPARE(qint64(read->reached), reached);
            QCOMPARE(qint64(read->total), total);
        }
    }

    void timeLeft_data() {
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<double>("fraction");
        QTest::addColumn<QString>("text");
        QTest::newRow("too early") << 100 << 0.5 << "";
        QTest::newRow("nothing yet") << 5000 << 0.0 << "";
        QTest::newRow("a second") << 1000 << 0.5 << "about a second left";
        QTest::newRow("seconds") << 10000 << 0.5 << "about 10 seconds left";
        QTest::newRow("a minute") << 60000 << 0.5 << "about a minute left";
        QTest::newRow("minutes") << 60000 << 0.2 << "about 4 minutes left";
        QTest::newRow("hours") << 3600000 << 0.25 << "about 3 hours left";
    }
    void timeLeft() {
        QFETCH(int, elapsedMs);
        QFETCH(double, fraction);
        QFETCH(QString, text);
        QCOMPARE(TimeLeftText(elapsedMs, fraction), text);
    }

    // Without a display: help, version and the voice list.
    void noDisplay_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected");
        QTest::newRow("help") << "--help"
                              << "--speak-to <OUT>";
        QTest::newRow("version") << "--version"
                                 << "1.0.0";
        QTest::newRow("voices") << "--list-voices"
                                << "gmw/en-US\ten-us\tEnglish (America)";
    }
    void noDisplay() {
        QFETCH(QString, option);
        QFETCH(QString, expected);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        p.setProcessEnvironment(env);
        p.start(kProgram, {option});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QString::fromLocal8Bit(p.readAllStandardOutput()).contains(expected));
    }
};

QTEST_GUILESS_MAIN(SpeechFileTest)
#include "tst_speechfile.moc"
