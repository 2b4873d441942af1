// Speech to Ogg with every processor: a 1 MB text written with --jobs 1, then
// with 2, 3, ... up to the processors there are, each against one job; and
// espeak-ng's own program writing a WAV that oggenc then encodes, in the same
// run. The machine's load is printed with the figures, since others may share it.
//   jobs_bench [--bytes 1048576] [--most N] [--format ogg] [--dir DIR]
#include "procstatus.h"
#include "prose.h"
#include "speech/speechfiles/speechfilewriter.h"
#include "speech/voice/speechengine.h"
#include "speech/voice/voicescale.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

namespace {

QString Load() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(u' ', 0, 2)
                                          : QStringLiteral("?");
}

struct Figures {
    QString error;
    double wall = 0, audio = 0, writerCpu = 0, helpersCpu = 0;
    long peakKib = 0;
};

// CPU seconds of this process (the writing and encoding), or of its children
// collected so far (the voice helpers, once they have ended).
double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Figures Write(const QString &path, const QString &text, const QByteArray &voice, int jobs) {
    SpeechFileJob job;
    job.text = text;
    job.voice = voice;
    job.path = path.toStdString();
    job.overwrite = true;
    job.jobs = jobs;
    Figures f;
    ProcStatus::ResetPeak();
    const double self0 = CpuSeconds(RUSAGE_SELF), children0 = CpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    f.error = WriteSpeechFile(job, [&](const SpeechFileProgress &p) {
        f.audio = double(p.samples) / p.sampleRate;
        return true;
    });
    f.wall = double(clock.nsecsElapsed()) / 1e9;
    f.peakKib = ProcStatus::Kib("VmHWM:");
    f.writerCpu = CpuSeconds(RUSAGE_SELF) - self0;
    f.helpersCpu = CpuSeconds(RUSAGE_CHILDREN) - children0;
    return f;
}

// Runs a program to its end; the seconds it took, or -1.
double Timed(const QString &program, const QStringList &args) {
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program, args);
    if (!process.waitForStarted(10000) || !process.waitForFinished(-1) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(program),
                     qPrintable(QString::fromLocal8Bit(process.readAllStandardError())));
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    // Each figure as it comes: a run takes minutes.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qsizetype bytes = 1 << 20;
    int most = std::max(1, int(std::thread::hardware_concurrency()));
    QString base = QDir::tempPath();
    QString format = QStringLiteral("ogg");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--bytes"))
            bytes = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--most"))
            most = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--format"))
            format = args[++i];
        else if (args[i] == QLatin1String("--dir"))
            base = args[++i];
    }
    QTemporaryDir scratch(base + QStringLiteral("/jobs-XXXXXX"));
    if (!scratch.isValid())
        return 1;
    const QString text = Prose(bytes);
    const QString input = scratch.filePath(QStringLiteral("in.txt"));
    QFile in(input);
    if (!in.open(QIODevice::WriteOnly) || in.write(text.toUtf8()) < 0 || !in.flush())
        return 1;
    in.close();

    // espeak-ng's English, the voice its own program reads with, for both.
    QByteArray voice;
    {
        const std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
        if (const QString error = engine->StartupError(); !error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        for (const SpeechVoice &v : engine->Voices())
            if (v.identifier.endsWith("/en") && !v.identifier.contains(':'))
                voice = v.identifier;
    }
    const int rate = VoiceScale::EspeakRate(VoiceScale::StartingSpeed());
    const int pitch = VoiceScale::EspeakPitch(VoiceScale::StartingPitch());
    std::printf("%lld bytes of text to .%s in %s, %u processors; load before: %s\n",
                static_cast<long long>(bytes), qPrintable(format), voice.constData(),
                std::thread::hardware_concurrency(), qPrintable(Load()));

    double one = 0;
    for (int jobs = 1; jobs <= most; ++jobs) {
        const QString out = scratch.filePath(QStringLiteral("jobs%1.").arg(jobs) + format);
        const Figures f = Write(out, text, voice, jobs);
        if (!f.error.isEmpty()) {
            std::fprintf(stderr, "--jobs %d: %s\n", jobs, qPrintable(f.error));
            return 1;
        }
        if (jobs == 1)
            one = f.wall;
        std::printf("--jobs %d: %.0f s of speech in %.1f s (%.0fx real time), %.2fx one job "
                    "(goal %.1fx); CPU: writing %.1f s, helpers %.1f s; peak memory %ld KB; "
                    "load after: %s\n",
                    jobs, f.audio, f.wall, f.audio / f.wall, one / f.wall, 0.8 * jobs, f.writerCpu,
                    f.helpersCpu, f.peakKib, qPrintable(Load()));
        QFile::remove(out);
    }

    // The peer: espeak-ng's program at the same rate and pitch, then oggenc.
    const QString wav = scratch.filePath(QStringLiteral("peer.wav"));
    const double speak =
        Timed(QStringLiteral("espeak-ng"), {"-v", "en", "-s", QString::number(rate), "-p",
                                            QString::number(pitch), "-w", wav, "-f", input});
    const double encode = speak < 0 ? -1
                                    : Timed(QStringLiteral("oggenc"),
                                            {"-Q", "-o", scratch.filePath("peer.ogg"), wav});
    if (speak < 0 || encode < 0) {
        std::printf("espeak-ng -w and oggenc: not run (are espeak-ng and vorbis-tools "
                    "installed?)\n");
        return 0;
    }
    const double seconds = double(QFileInfo(wav).size() - 44) / 2 / 22050;
    std::printf("espeak-ng -w then oggenc: %.0f s of speech in %.1f s (%.1f s + %.1f s, %.0fx "
                "real time), %.2fx one job; load after: %s\n",
                seconds, speak + encode, speak, encode, seconds / (speak + encode),
                one / (speak + encode), qPrintable(Load()));
    return 0;
}
