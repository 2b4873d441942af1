// Each engine against its own command-line program, in the same run: how soon
// the first audio comes, how many times faster than real time a text is
// synthesized (to a WAV file on both sides), and the CPU that speaking takes
// (processor seconds per second of speech: the share of one core busy while
// speaking in real time). Medians of five runs.
//   engines_bench [--chars 3000]
#include "speech/speechfiles/speechfilewriter.h"
#include "speech/voice/speechengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

QString Text(qsizetype chars) {
    static const char *const kSentences[] = {
        "The morning train was late again, so she read the paper on the platform. ",
        "Nobody knew why the old clock in the square had stopped at ten past four! ",
        "He asked whether the library would stay open through the winter holidays. ",
        "Would you like tea, coffee, or something a little stronger? ",
    };
    QString text;
    for (std::size_t i = 0; text.size() < chars; ++i)
        text += QString::fromLatin1(kSentences[i % std::size(kSentences)]);
    return text;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Run {
    double firstMs = 0;
    double speed = 0; // audio seconds per wall second
    double cpu = 0;   // processor seconds per audio second
};

double Seconds(const timeval &t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// Processor seconds of this process and of the helpers it has started, with
// the copies of themselves they made and collected (Festival's pieces).
double OurCpu() {
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    double total = Seconds(self.ru_utime) + Seconds(self.ru_stime);
    const double tick = double(sysconf(_SC_CLK_TCK));
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // After "pid (name) ": state ppid ... utime (12th) stime cutime cstime (15th).
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 14 && rest[1].toLongLong() == getpid())
            total += (rest[11].toDouble() + rest[12].toDouble() + rest[13].toDouble() +
                      rest[14].toDouble()) /
                     tick;
    }
    return total;
}

double ChildrenCpu() {
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    return Seconds(children.ru_utime) + Seconds(children.ru_stime);
}

// Through the program's own engine, its helper already started.
Run Ours(const QByteArray &voice, const QString &text, const QString &dir) {
    SpeechFileJob job;
    job.text = text;
    job.voice = voice;
    job.path = (dir + QStringLiteral("/ours.wav")).toStdString();
    job.overwrite = true;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = OurCpu();
    Run run;
    double audio = 0;
    const QString error = WriteSpeechFile(job, [&](const SpeechFileProgress &p) {
        if (p.samples > 0 && run.firstMs == 0)
            run.firstMs = double(clock.nsecsElapsed()) / 1e6;
        if (p.sampleRate > 0)
            audio = double(p.samples) / p.sampleRate;
        return true;
    });
    if (!error.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(error));
    run.speed = audio / (double(clock.nsecsElapsed()) / 1e9);
    run.cpu = audio > 0 ? (OurCpu() - cpuBefore) / audio : 0;
    return run;
}

// Seconds of audio in a 16-bit mono WAV file.
double WavSeconds(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray header = file.read(44);
    if (header.size() < 44)
        return 0;
    std::uint32_t rate = 0;
    std::memcpy(&rate, header.constData() + 24, 4);
    return rate ? double(file.size() - 44) / 2 / rate : 0;
}

// The engine's own program: the first sentence alone stands for its first
// sound, as it synthesizes a sentence whole before playing it.
// `args` name the input as {in} and the output as {out}.
Run Theirs(const QString &program, const QStringList &args, const QString &text,
           const QString &dir) {
    const auto timed = [&](const QString &what, const QString &out) {
        QFile input(dir + QStringLiteral("/text.txt"));
        if (!input.open(QIODevice::WriteOnly))
            return -1.0;
        input.write(what.toUtf8());
        input.close();
        QElapsedTimer clock;
        clock.start();
        QProcess p;
        QStringList filled = args;
        filled.replaceInStrings(QStringLiteral("{in}"), input.fileName());
        filled.replaceInStrings(QStringLiteral("{out}"), out);
        p.start(program, filled);
        p.waitForFinished(600000);
        return double(clock.nsecsElapsed()) / 1e9;
    };
    Run run;
    const QString first = text.left(text.indexOf(QLatin1String(". ")) + 1);
    run.firstMs = timed(first, dir + QStringLiteral("/first.wav")) * 1000;
    const double cpuBefore = ChildrenCpu();
    const double wall = timed(text, dir + QStringLiteral("/theirs.wav"));
    const double audio = WavSeconds(dir + QStringLiteral("/theirs.wav"));
    run.speed = audio / wall;
    run.cpu = audio > 0 ? (ChildrenCpu() - cpuBefore) / audio : 0;
    return run;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    qsizetype chars = 3000;
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--chars"));
        at > 0 && at + 1 < args.size())
        chars = args[at + 1].toLongLong();
    const QString text = Text(chars);
    QTemporaryDir dir;
    const auto engine = SpeechEngine::Acquire();
    if (!engine->StartupError().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(engine->StartupError()));
        return 1;
    }
    struct Engine {
        const char *name;
        QByteArray voice;
        QString program;
        QStringList args; // {in}: the text file, {out}: the WAV file
    };
    const auto list = [](const char *args) { return QString::fromLatin1(args).split(u' '); };
    const Engine engines[] = {
        {"espeak-ng en-us", "gmw/en-US", QStringLiteral("espeak-ng"),
         list("-v en-us -f {in} -w {out}")},
        {"Flite slt", "flite:slt", QStringLiteral("flite"), list("-voice slt -f {in} -o {out}")},
        {"Festival slt (HTS)", "festival:cmu_us_slt_arctic_hts", QStringLiteral("text2wave"),
         list("-eval (voice_cmu_us_slt_arctic_hts) -o {out} {in}")},
    };
    std::printf("%zd characters of prose, medians of 5 runs\n", std::size_t(text.size()));
    for (const Engine &e : engines) {
        const bool offered =
            std::any_of(engine->Voices().begin(), engine->Voices().end(),
                        [&](const SpeechVoice &v) { return v.identifier == e.voice; });
        if (!offered) {
            std::printf("%s: not installed\n", e.name);
            continue;
        }
        std::vector<double> firstOurs, speedOurs, cpuOurs, firstTheirs, speedTheirs, cpuTheirs,
            firstOneWord;
        const QString program = QStandardPaths::findExecutable(e.program);
        for (int i = 0; i < 5; ++i) {
            const Run ours = Ours(e.voice, text, dir.path());
            firstOurs.push_back(ours.firstMs);
            speedOurs.push_back(ours.speed);
            cpuOurs.push_back(ours.cpu);
            // A first sentence of one word is heard as soon as a longer one.
            firstOneWord.push_back(
                Ours(e.voice, QStringLiteral("Yes. ") + text.left(300), dir.path()).firstMs);
            if (!program.isEmpty()) {
                const Run theirs = Theirs(program, e.args, text, dir.path());
                firstTheirs.push_back(theirs.firstMs);
                speedTheirs.push_back(theirs.speed);
                cpuTheirs.push_back(theirs.cpu);
            }
        }
        std::printf("%s: first audio %.1f ms, synthesis %.1fx real time, CPU %.1f%%\n", e.name,
                    Median(firstOurs), Median(speedOurs), 100 * Median(cpuOurs));
        std::printf("  first audio of \"Yes. The morning train...\": %.1f ms\n",
                    Median(firstOneWord));
        if (program.isEmpty()) {
            std::printf("  %s: program not installed, no peer\n", qPrintable(e.program));
            continue;
        }
        std::printf("  %s program: first sentence %.1f ms, synthesis %.1fx real time, CPU %.1f%%\n",
                    qPrintable(e.program), Median(firstTheirs), Median(speedTheirs),
                    100 * Median(cpuTheirs));
        std::printf("  ratio (ours / theirs): first sound %.2f, synthesis time %.2f, CPU %.2f\n",
                    Median(firstOurs) / Median(firstTheirs),
                    Median(speedTheirs) / Median(speedOurs), Median(cpuOurs) / Median(cpuTheirs));
    }
    return 0;
}
