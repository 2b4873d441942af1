// Writing speech to an audio file: how many times faster than real time a
// 1 MB text goes to Ogg Vorbis, how soon the first bytes reach the disk, and
// whether memory stays flat while a 10 MB text is written.
//   speechfile_bench [--format ogg] [--big-seconds 60] [--skip-1mb] [--dir DIR]
#include "procstatus.h"
#include "prose.h"
#include "speech/speechfiles/speechfilewriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Bytes this process has handed to write() so far. The files being written
// have no name yet (they are linked in only when complete), so the folder
// cannot tell.
qint64 BytesWritten() {
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

qint64 BytesIn(const QString &dir) {
    qint64 total = 0;
    for (const QFileInfo &f : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden))
        total += f.size();
    return total;
}

struct Figures {
    QString error;
    double wall = 0, cpu = 0, audio = 0, firstByteMs = -1, firstAudioMs = -1, firstPageMs = -1;
    long rssStart = 0, rssMin = 0, rssMax = 0, rssEnd = 0;
    double done = 0;
};

Figures Write(const QString &dir, const QString &name, qsizetype bytes, double limitSeconds) {
    SpeechFileJob job;
    job.text = Prose(bytes);
    job.path = QDir(dir).filePath(name).toStdString();
    job.overwrite = true;
    Figures f;
    QElapsedTimer clock;
    clock.start();
    const double cpu0 = CpuSeconds();
    qint64 lastSample = 0;
    const qint64 written0 = BytesWritten();
    qint64 afterHeaders = -1;
    f.error = WriteSpeechFile(job, [&](const SpeechFileProgress &p) {
        f.audio = double(p.samples) / p.sampleRate;
        f.done = double(p.reached) / double(p.total);
        if (f.firstAudioMs < 0 && p.samples > 0)
            f.firstAudioMs = double(clock.nsecsElapsed()) / 1e6;
        // The headers go out when the file is opened; the first page of
        // encoded speech follows once the encoder has enough audio.
        const qint64 written = BytesWritten();
        if (f.firstByteMs < 0 && written > written0)
            f.firstByteMs = double(clock.nsecsElapsed()) / 1e6;
        if (afterHeaders < 0)
            afterHeaders = written;
        else if (f.firstPageMs < 0 && written > afterHeaders)
            f.firstPageMs = double(clock.nsecsElapsed()) / 1e6;
        // Memory once a second, after the first second (the engine's start).
        if (clock.elapsed() - lastSample >= 1000) {
            lastSample = clock.elapsed();
            const long rss = ProcStatus::Kib("VmRSS:");
            if (f.rssStart == 0)
                f.rssStart = f.rssMin = rss;
            f.rssMin = std::min(f.rssMin, rss);
            f.rssMax = std::max(f.rssMax, rss);
            f.rssEnd = rss;
        }
        return limitSeconds <= 0 || clock.elapsed() < limitSeconds * 1000;
    });
    f.wall = double(clock.nsecsElapsed()) / 1e9;
    f.cpu = CpuSeconds() - cpu0;
    return f;
}

} // namespace

int main(int argc, char **argv) {
    QString format = QStringLiteral("ogg");
    double bigSeconds = 60;
    bool skip1mb = false;
    QString base;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--format") && i + 1 < argc)
            format = QString::fromLocal8Bit(argv[++i]);
        else if (arg == QLatin1String("--big-seconds") && i + 1 < argc)
            bigSeconds = QString::fromLocal8Bit(argv[++i]).toDouble();
        else if (arg == QLatin1String("--skip-1mb"))
            skip1mb = true;
        else if (arg == QLatin1String("--dir") && i + 1 < argc)
            base = QString::fromLocal8Bit(argv[++i]);
    }
    QTemporaryDir scratch(base.isEmpty() ? QDir::tempPath() + QStringLiteral("/speechfile-XXXXXX")
                                         : base + QStringLiteral("/speechfile-XXXXXX"));
    if (!scratch.isValid())
        return 1;

    if (!skip1mb) {
        const Figures f = Write(scratch.path(), QStringLiteral("one.") + format, 1 << 20, 0);
        if (!f.error.isEmpty()) {
            std::fprintf(stderr, "1 MB: %s\n", qPrintable(f.error));
            return 1;
        }
        std::printf("1 MB text -> %s: %.0f s of speech in %.1f s: %.0fx real time "
                    "(CPU %.1f s: %.0fx per CPU second)\n",
                    qPrintable(format), f.audio, f.wall, f.audio / f.wall, f.cpu, f.audio / f.cpu);
        std::printf("  first audio to the encoder after %.1f ms; first bytes (headers) written "
                    "by %.1f ms, first page of speech by %.1f ms\n",
                    f.firstAudioMs, f.firstByteMs, f.firstPageMs);
        std::printf("  file: %.1f MB\n",
                    double(QFileInfo(scratch.filePath(QStringLiteral("one.") + format)).size()) /
                        1e6);
        QFile::remove(scratch.filePath(QStringLiteral("one.") + format));
    }

    const Figures big =
        Write(scratch.path(), QStringLiteral("ten.") + format, 10 << 20, bigSeconds);
    std::printf("10 MB text -> %s, stopped after %.0f s: %.1f%% of the text, %.0f s of speech "
                "(%.0fx real time)\n",
                qPrintable(format), big.wall, big.done * 100, big.audio, big.audio / big.wall);
    std::printf("  resident memory: %ld KB after 1 s, least %ld KB, most %ld KB, %ld KB at the "
                "end (%+ld KB)\n",
                big.rssStart, big.rssMin, big.rssMax, big.rssEnd, big.rssEnd - big.rssStart);
    std::printf("  leftover files after the stop: %lld bytes\n",
                static_cast<long long>(BytesIn(scratch.path())));
    return 0;
}
