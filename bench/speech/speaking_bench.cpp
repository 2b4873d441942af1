// The speech window speaking through the real sound device, as a user hears it:
//   CPU while speaking: the window reading a text aloud (word highlight and
//   face included), then the espeak-ng program reading the same text with the
//   same voice, speed and pitch, on the same sound server;
//   Play All -> first sound at the sink (its monitor recorded), with a short
//   text and a 10 MB one in the box, and how long the click held the UI thread;
//   the reading commands: Resume -> first sound at the sink, Read From Here
//   deep in the text -> first sound, and Next Sentence while reading -> the
//   new sentence's first word played (by the voice's own clock), each with a
//   short text and a 10 MB one.
// Needs a sound server of its own, with a null sink:
//   tests/support/private-sound-server.sh with bench_null build/bin/speaking_bench
//   [seconds]
#include "app/frmmain.h"
#include "app/speakingcommands.h"
#include "app/speechprogram.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/voice/voicescale.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <pulse/simple.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

const QString kParagraph =
    QStringLiteral("The quick brown fox jumps over the lazy dog, then rests a while. Nobody minds; "
                   "the afternoon is long, and the meadow is quiet.\n");

double Seconds(const timeval &t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// CPU seconds of each thread of this process, by thread id.
std::map<QString, std::pair<QString, double>> ThreadCpu() {
    std::map<QString, std::pair<QString, double>> threads;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(id + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (open < 0 || close < 0 || fields.size() < 13)
            continue;
        const double ticks = double(sysconf(_SC_CLK_TCK));
        threads[id] = {QString::fromUtf8(line.mid(open + 1, close - open - 1)),
                       (fields[11].toDouble() + fields[12].toDouble()) / ticks};
    }
    return threads;
}

// CPU seconds of this process's running children (the voice's helper), by name.
std::map<QString, double> ChildCpu() {
    std::map<QString, double> children;
    const QDir proc(QStringLiteral("/proc"));
    const QByteArray self = QByteArray::number(getpid());
    for (const QString &id : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(proc.filePath(id + QStringLiteral("/stat")));
        if (!id.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (open < 0 || close < 0 || fields.size() < 13 || fields[1] != self)
            continue;
        const double ticks = double(sysconf(_SC_CLK_TCK));
        children[QString::fromUtf8(line.mid(open + 1, close - open - 1)) + QLatin1Char(' ') + id] =
            (fields[11].toDouble() + fields[12].toDouble()) / ticks;
    }
    return children;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Max(const std::vector<double> &v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// Runs the event loop for `ms`, sleeping in it as the program does.
void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Records the default sink's monitor in 2 ms pieces and notes when sound
// first comes after being armed, on the sink's own time (the recording's
// latency taken off).
class SinkListener {
public:
    SinkListener() {
        const pa_sample_spec format{PA_SAMPLE_S16LE, 44100, 1};
        pa_buffer_attr attr{};
        attr.maxlength = std::uint32_t(-1);
        attr.fragsize = 2 * kPiece;
        int error = 0;
        simple_ = pa_simple_new(nullptr, "speaking_bench", PA_STREAM_RECORD, "@DEFAULT_MONITOR@",
                                "monitor", &format, nullptr, &attr, &error);
        if (simple_)
            thread_ = std::thread([this] { Run(); });
    }
    ~SinkListener() {
        quit_ = true;
        if (thread_.joinable())
            thread_.join();
        if (simple_)
            pa_simple_free(simple_);
    }
    bool Ok() const { return simple_ != nullptr; }
    void Arm() {
        heard_ = false;
        armed_ = true;
    }
    bool Heard() const { return heard_; }
    Clock::time_point When() const { return when_; }

private:
    static constexpr std::size_t kPiece = 88; // 2 ms

    void Run() {
        std::int16_t piece[kPiece];
        while (!quit_) {
            int error = 0;
            if (pa_simple_read(simple_, piece, sizeof piece, &error) < 0)
                return;
            const auto now = Clock::now();
            if (!armed_ || heard_)
                continue;
            const bool sound =
                std::any_of(piece, piece + kPiece, [](std::int16_t s) { return std::abs(s) > 64; });
            if (!sound)
                continue;
            const pa_usec_t latency = pa_simple_get_latency(simple_, &error);
            when_ = now - std::chrono::microseconds(latency);
            armed_ = false;
            heard_ = true;
        }
    }

    pa_simple *simple_ = nullptr;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> armed_{false};
    std::atomic<bool> heard_{false};
    Clock::time_point when_;
};

// The window as the program builds it. The CPU counted for it includes its
// voice's helper process.
struct Window {
    Window() : form(program.Window()) {
        form.resize(640, 420);
        form.show();
        voice = static_cast<EspeakSpeechControl *>(form.DirectSS1());
        QObject::connect(voice, &SpeechControl::WordReached, [this] { ++words; });
    }
    bool Speaking() const { return voice->IsSpeaking(); }
    SpeechProgram program;
    frmMain &form;
    EspeakSpeechControl *voice = nullptr;
    int words = 0;
};

// The espeak-ng program on the same text: its CPU time and how long it ran.
bool RunCli(const Window &window, const QString &file, double *cpu, double *wall) {
    const QByteArray voice = window.voice->Voice();
    const QByteArray rate = QByteArray::number(VoiceScale::EspeakRate(window.voice->Speed()));
    const QByteArray pitch = QByteArray::number(VoiceScale::EspeakPitch(window.voice->Pitch()));
    const QByteArray path = file.toLocal8Bit();
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        execlp("espeak-ng", "espeak-ng", "-v", voice.constData(), "-s", rate.constData(), "-p",
               pitch.constData(), "-f", path.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    *wall = std::chrono::duration<double>(Clock::now() - start).count();
    *cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    return true;
}

void CpuWhileSpeaking(Window &window, int seconds) {
    // About `seconds` of speech: a paragraph takes some 7 s.
    const QString text = kParagraph.repeated(std::max(1, seconds / 7));
    window.form.txtSpeech()->setPlainText(text);
    QTemporaryFile file;
    if (!file.open())
        return;
    file.write(text.toUtf8());
    file.flush();
    std::printf("CPU while speaking %lld characters (same text, voice %s, same null sink):\n",
                static_cast<long long>(text.size()), window.voice->Voice().constData());
    for (int round = 0; round < 2; ++round) {
        Wait(300);
        window.words = 0;
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        const double ui0 = CpuSeconds(RUSAGE_THREAD);
        const auto threads0 = ThreadCpu();
        const auto children0 = ChildCpu();
        const auto t0 = Clock::now();
        window.form.cmdPlayAll()->click();
        // Sleeps in the event loop as the program does, until the voice ends.
        QEventLoop loop;
        QObject::connect(window.voice, &SpeechControl::SpeakingChanged, &loop, &QEventLoop::quit);
        if (window.Speaking())
            loop.exec();
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
        const double ui = CpuSeconds(RUSAGE_THREAD) - ui0;
        QString perThread;
        for (const auto &[name, used] : ChildCpu()) {
            const auto before = children0.find(name);
            const double share = used - (before == children0.end() ? 0 : before->second);
            cpu += share;
            perThread += QStringLiteral(" process %1 %2 s;").arg(name).arg(share, 0, 'f', 2);
        }
        for (const auto &[id, thread] : ThreadCpu()) {
            const auto before = threads0.find(id);
            const double used =
                thread.second - (before == threads0.end() ? 0 : before->second.second);
            if (used >= 0.01)
                perThread += QStringLiteral(" %1 %2 s;").arg(thread.first).arg(used, 0, 'f', 2);
        }
        std::printf("  round %d: window %.2f s, CPU %.3f s = %.2f %% (UI thread %.3f s = %.2f %%, "
                    "%d words)",
                    round + 1, wall, cpu, 100 * cpu / wall, ui, 100 * ui / wall, window.words);
        // The espeak-ng program reads only espeak-ng's voices: with another
        // engine's the window's figure stands alone.
        double cliCpu = 0, cliWall = 0;
        if (RunCli(window, file.fileName(), &cliCpu, &cliWall))
            std::printf("; espeak-ng %.2f s, CPU %.3f s = %.2f %%; ratio %.2f\n", cliWall, cliCpu,
                        100 * cliCpu / cliWall, (cpu / wall) / (cliCpu / cliWall));
        else
            std::printf("; espeak-ng program: did not run\n");
        std::printf("    by thread:%s\n", qPrintable(perThread));
    }
}

void PlayToFirstSound(Window &window, SinkListener &sink, qsizetype bytes, int runs) {
    QString text;
    text.reserve(bytes + kParagraph.size());
    while (text.size() < bytes)
        text += kParagraph;
    text.truncate(bytes);
    window.form.txtSpeech()->setPlainText(text);
    std::vector<double> sound, click;
    for (int run = 0; run < runs; ++run) {
        Wait(300); // the sink falls silent
        sink.Arm();
        const auto t0 = Clock::now();
        window.form.cmdPlayAll()->click();
        click.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        QElapsedTimer limit;
        limit.start();
        while (!sink.Heard() && limit.elapsed() < 3000)
            Wait(1);
        if (sink.Heard())
            sound.push_back(std::chrono::duration<double, std::milli>(sink.When() - t0).count());
        window.form.cmdStop()->click();
    }
    std::printf("  text %9lld bytes: first sound median %6.2f  max %6.2f ms (%zu of %d runs); "
                "click holds the UI thread median %6.2f ms\n",
                static_cast<long long>(bytes), Median(sound), Max(sound), sound.size(), runs,
                Median(click));
}
// Runs `command` on the window and waits until `done`; returns the ms from
// the command to when `at` says it happened, or -1.
template <typename Done, typename At>
double Measure(const std::function<void()> &command, Done done, At at) {
    const auto t0 = Clock::now();
    command();
    QElapsedTimer limit;
    limit.start();
    while (!done() && limit.elapsed() < 3000)
        Wait(1);
    return done() ? std::chrono::duration<double, std::milli>(at() - t0).count() : -1;
}

void ReadingCommands(Window &window, SinkListener &sink, qsizetype bytes, int runs) {
    QString text;
    while (text.size() < bytes)
        text += kParagraph;
    text.truncate(bytes);
    window.form.txtSpeech()->setPlainText(text);
    SpeakingCommands &speaking = window.form.Speaking();
    std::vector<double> resume, here, next;
    const auto keep = [](std::vector<double> &to, double ms) {
        if (ms >= 0)
            to.push_back(ms);
    };
    const auto heard = [&] { return sink.Heard(); };
    const auto when = [&] { return sink.When(); };
    const qsizetype deep = text.size() / 2;
    for (int run = 0; run < runs; ++run) {
        // Resume after a pause.
        window.form.cmdPlayAll()->click();
        Wait(600);
        speaking.Pause();
        Wait(300);
        sink.Arm();
        keep(resume, Measure([&] { speaking.Resume(); }, heard, when));
        speaking.Stop();
        // Read From Here, half-way through the text.
        Wait(300);
        sink.Arm();
        keep(here, Measure([&] { window.form.ReadFromHere(deep); }, heard, when));
        // The next sentence while reading: heard once its first word is played.
        Wait(400);
        const qsizetype place = speaking.Place();
        qsizetype reached = -1;
        Clock::time_point reachedAt;
        const QMetaObject::Connection watch =
            QObject::connect(window.voice, &SpeechControl::WordReached, [&](qsizetype, qsizetype) {
                if (reached < 0 && speaking.Place() > place + 1) {
                    reached = speaking.Place();
                    reachedAt = Clock::now();
                }
            });
        keep(next, Measure([&] { window.form.MoveReading(ReadingMoves::Move::NextSentence); },
                           [&] { return reached >= 0; }, [&] { return reachedAt; }));
        QObject::disconnect(watch);
        speaking.Stop();
    }
    std::printf("  text %9lld bytes: resume -> first sound median %6.2f max %6.2f ms; read from "
                "here -> first sound median %6.2f max %6.2f ms; next sentence -> its first word "
                "played median %6.2f max %6.2f ms (%zu, %zu, %zu of %d runs)\n",
                static_cast<long long>(bytes), Median(resume), Max(resume), Median(here), Max(here),
                Median(next), Max(next), resume.size(), here.size(), next.size(), runs);
}
} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int seconds = argc > 1 ? std::max(7, QString::fromLocal8Bit(argv[1]).toInt()) : 28;
    Window window;
    CpuWhileSpeaking(window, seconds);
    // Recording the monitor costs CPU of its own: only from here on.
    SinkListener sink;
    if (!sink.Ok()) {
        std::printf(
            "no sound server to record: run through tests/support/private-sound-server.sh\n");
        return 1;
    }
    std::printf("Play All -> first sound at the sink:\n");
    PlayToFirstSound(window, sink, 60, 20);
    PlayToFirstSound(window, sink, 10'000'000, 10);
    std::printf("Reading commands:\n");
    ReadingCommands(window, sink, 2000, 10);
    ReadingCommands(window, sink, 10'000'000, 5);
    return 0;
}
