// Speech control figures, on the real engine with an in-memory sound device:
//   time from speak to the first sample handed to the device, by text size;
//   time from stop to the last sample handed over;
//   RSS growth while speaking a 10 MB text (for N seconds, default 30);
//   synthesis speed against real time;
//   a pitch slider change while speaking -> the first sample at the new pitch
//   handed to the device, and -> the listener reaching it (the word heard);
//   the cost of one frame of the face while speaking.
// When a sound server is reachable it also times the real sound devices (the
// PulseAudio output the program uses, and Qt's QAudioSink beside it) on their
// own (start -> first read from the queue, and the stop call) and the slider
// change through them, up to the device reporting the new audio played.
// Usage: speech_bench [seconds-of-10MB-speech] [--voice ID] [--slider]; --voice
//   reads with another voice (e.g. flite:slt, festival:cmu_us_slt_arctic_hts),
//   --slider times only the slider change. On a machine without sound,
//   tests/support/private-sound-server.sh with bench_null build/bin/speech_bench
#include "memoryaudiooutput.h"
#include "platform/soundserver.h"
#include "procstatus.h"
#include "signalanalysis.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/sound/pcmqueue.h"
#include "speech/sound/pulseaudiooutput.h"
#include "speech/sound/qaudiosinkoutput.h"
#include "speech/voice/speechengine.h"
#include "speech/voice/speechtimeline.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

namespace {
constexpr int kRate = 22050;
const QString kSentence =
    QStringLiteral("The quick brown fox jumps over the lazy dog, then rests a while. ");
QByteArray gVoice; // empty: the default voice

struct Voice {
    explicit Voice(double speedFactor) {
        auto output = std::make_unique<MemoryAudioOutput>(speedFactor);
        sink = output.get();
        control = std::make_unique<EspeakSpeechControl>(std::move(output));
        if (!gVoice.isEmpty())
            control->SetVoice(gVoice);
    }
    MemoryAudioOutput *sink;
    std::unique_ptr<EspeakSpeechControl> control;
};

QString TextOfBytes(qsizetype bytes) {
    QString text;
    text.reserve(bytes);
    while (text.size() < bytes)
        text += kSentence;
    text.truncate(bytes);
    return text;
}

// Lets the control's timers run for about ms milliseconds.
void Wait(int ms) {
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents();
        QThread::usleep(100);
    } while (clock.elapsed() < ms);
}

double Ms(std::int64_t ns) {
    return double(ns) / 1e6;
}

void FirstSample() {
    std::printf("speak -> first sample handed to the device (ms):\n");
    for (qsizetype bytes :
         {qsizetype(60), qsizetype(100'000), qsizetype(1'000'000), qsizetype(10'000'000)}) {
        const QString text = TextOfBytes(bytes);
        std::vector<double> ms;
        const int runs = bytes >= 1'000'000 ? 5 : 20;
        Voice voice(1.0);
        for (int i = 0; i < runs; ++i) {
            voice.sink->ClearSamples();
            const std::int64_t t0 = voice.sink->ClockNs();
            if (!voice.control->Speak(text).ok())
                return;
            while (voice.sink->FirstHandoverNs() < 0)
                Wait(0);
            ms.push_back(Ms(voice.sink->FirstHandoverNs() - t0));
            (void)voice.control->StopSpeaking();
        }
        std::sort(ms.begin(), ms.end());
        std::printf("  text %9lld bytes: median %6.2f  max %6.2f  (%d runs)\n",
                    static_cast<long long>(bytes), ms[ms.size() / 2], ms.back(), runs);
    }
}

void StopToLastSample() {
    std::printf("stop -> last sample handed over (ms; <= 0 means none after stop began):\n");
    std::vector<double> last, call;
    Voice voice(1.0);
    const QString text = TextOfBytes(100'000);
    for (int i = 0; i < 10; ++i) {
        (void)voice.control->Speak(text);
        Wait(300 + 37 * i);
        const std::int64_t t0 = voice.sink->ClockNs();
        (void)voice.control->StopSpeaking();
        const std::int64_t t1 = voice.sink->ClockNs();
        Wait(100);
        last.push_back(Ms(voice.sink->LastHandoverNs() - t0));
        call.push_back(Ms(t1 - t0));
    }
    std::sort(last.begin(), last.end());
    std::sort(call.begin(), call.end());
    std::printf("  last handover after stop: median %6.3f  max %6.3f  (10 runs)\n",
                last[last.size() / 2], last.back());
    std::printf("  stop call returns after:  median %6.3f  max %6.3f\n", call[call.size() / 2],
                call.back());
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Max(const std::vector<double> &v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// Pitch moves between its ends while a long text is spoken, at a different
// moment each time: how soon the new pitch reaches the device and the listener.
void SliderChangeWhileSpeaking() {
    Voice voice(1.0);
    std::printf("pitch slider change while speaking (20 runs, device paced at real time, %s):\n",
                voice.control->Voice().constData());
    std::vector<double> toSample, toHeard, f0Low, f0High;
    const QString text = TextOfBytes(100'000);
    std::int64_t heardNs = -1;
    QObject::connect(voice.control.get(), &SpeechControl::WordReached, [&] {
        if (heardNs < 0)
            heardNs = voice.sink->ClockNs();
    });
    for (int run = 0; run < 20; ++run) {
        const bool up = run % 2 == 0;
        voice.control->SetPitch(up ? 84 : 338);
        voice.sink->ClearSamples();
        if (!voice.control->Speak(text).ok())
            return;
        Wait(700 + 53 * run);
        heardNs = -1;
        const std::size_t before = voice.sink->SampleCount();
        const std::int64_t t0 = voice.sink->ClockNs();
        voice.control->SetPitch(up ? 338 : 84);
        // Everything recorded from here on was synthesized after the change.
        const std::size_t first = voice.sink->SampleCount();
        while (voice.sink->HandoverNsOfSample(first) < 0 || heardNs < 0)
            Wait(0);
        toSample.push_back(Ms(voice.sink->HandoverNsOfSample(first) - t0));
        toHeard.push_back(Ms(heardNs - t0));
        Wait(800);
        const auto samples = voice.sink->Samples();
        const std::size_t span = std::min<std::size_t>(before, kRate / 2);
        const double old = SignalAnalysis::MedianF0(samples.data() + before - span, span, kRate);
        const double now = SignalAnalysis::MedianF0(samples.data() + first,
                                                    std::min(samples.size() - first, span), kRate);
        (up ? f0Low : f0High).push_back(old);
        (up ? f0High : f0Low).push_back(now);
        (void)voice.control->StopSpeaking();
    }
    std::printf(
        "  change -> first sample at the new pitch handed over: median %6.2f  max %6.2f ms\n",
        Median(toSample), Max(toSample));
    std::printf("  change -> listener reaches it (word reached): median %6.2f  "
                "max %6.2f ms\n",
                Median(toHeard), Max(toHeard));
    std::printf("  fundamental half a second either side: median %.0f Hz at 84, %.0f Hz at 338\n",
                Median(f0Low), Median(f0High));
}

// A slider's worst moment: its change comes just as the voice begins making a
// long sentence ahead, the text's first words handed over. From the newer
// request (speech again from a word, as a slider sends: here the sentence's
// first) to its first sample.
void ChangeWhileMakingASentence() {
    std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
    auto channel = std::make_shared<SpeechChannel>(2205);
    channel->rate = 175;
    channel->pitch = 50;
    const QString sentence = QStringLiteral(
        "Then a long sentence follows, one that keeps the voice busy for a good while, going on "
        "through many plain words, with no end in sight until the last of them is read. ");
    const QString text = QStringLiteral("Two words. ") + sentence.repeated(10);
    std::int16_t buffer[4096];
    const auto firstSample = [&](std::uint64_t generation, qsizetype from) {
        QElapsedTimer clock;
        clock.start();
        engine->Speak(channel, generation, SpeechRequest{text, from, 0, gVoice});
        while (channel->queue.Pull(buffer, 4096) == 0 && clock.elapsed() < 10000)
            std::this_thread::yield();
        return Ms(clock.nsecsElapsed());
    };
    std::vector<double> ms;
    for (int run = 0; run < 10; ++run) {
        firstSample(channel->queue.Begin(), 0);
        // The first words' audio comes at once; the sentence is begun after it.
        QElapsedTimer drain;
        drain.start();
        while (drain.elapsed() < 20)
            channel->queue.Pull(buffer, 4096);
        ms.push_back(firstSample(channel->queue.Begin(), 11));
    }
    channel->queue.Cancel();
    std::printf("newer request while the voice makes a long sentence -> its first sample (10 runs, "
                "ms): median %.2f max %.2f\n",
                Median(ms), Max(ms));
}

// What one frame of the face costs the UI thread while speaking.
void FrameCost() {
    Voice voice(1.0);
    voice.control->resize(89, 69);
    if (!voice.control->Speak(TextOfBytes(100'000)).ok())
        return;
    Wait(300);
    QImage canvas(voice.control->size(), QImage::Format_ARGB32_Premultiplied);
    QElapsedTimer clock;
    std::vector<double> paint;
    for (int i = 0; i < 200; ++i) {
        clock.start();
        voice.control->render(&canvas);
        paint.push_back(double(clock.nsecsElapsed()) / 1e3);
        Wait(5);
    }
    (void)voice.control->StopSpeaking();
    std::printf("face while speaking: one full repaint median %.1f us, max %.1f us "
                "(200 frames, offscreen)\n",
                Median(paint), Max(paint));
}

// The program and its voice helper together.
void MemoryWhileSpeaking(int seconds) {
    const QString text = TextOfBytes(10'000'000);
    Voice voice(1.0);
    const std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
    if (!engine->StartupError().isEmpty())
        return;
    const auto rss = [&] {
        return ProcStatus::Kib("VmRSS:") + ProcStatus::Kib("VmRSS:", engine->HelperId());
    };
    const long before = rss();
    long peak = before;
    if (!voice.control->Speak(text).ok())
        return;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        Wait(250);
        peak = std::max(peak, rss());
    }
    const double spoken = double(voice.sink->SampleCount()) / kRate;
    (void)voice.control->StopSpeaking();
    std::printf("RSS of program and voice helper while speaking a 10 MB text for %d s "
                "(%.1f s of audio played): before %ld KB, peak %ld KB, growth %.2f MB\n",
                seconds, spoken, before, peak, double(peak - before) / 1024.0);
}

void SynthesisSpeed() {
    // The engine and its queue alone, drained by a thread that never waits.
    std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
    auto channel = std::make_shared<SpeechChannel>(2205);
    channel->rate = 175;
    channel->pitch = 50;
    QElapsedTimer clock;
    clock.start();
    const std::uint64_t generation = channel->queue.Begin();
    engine->Speak(channel, generation, SpeechRequest{kSentence.repeated(40), 0, 0, {}});
    std::uint64_t samples = 0;
    std::int16_t buffer[4096];
    while (!channel->queue.Drained()) {
        const std::size_t n = channel->queue.Pull(buffer, 4096);
        samples += n;
        if (n == 0)
            std::this_thread::yield();
    }
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    const double audio = double(samples) / kRate;
    std::printf("synthesis speed: %.1f s of audio in %.3f s = %.0fx real time\n", audio, wall,
                audio / wall);
}

// The same change through the real sound device: until the sink reports the
// first new sample played (the word it starts with reached).
template <typename Output> void SliderChangeThroughDevice(const char *label) {
    EspeakSpeechControl control(std::make_unique<Output>());
    if (!gVoice.isEmpty())
        control.SetVoice(gVoice);
    QElapsedTimer clock;
    clock.start();
    std::int64_t heardNs = -1;
    QObject::connect(&control, &SpeechControl::WordReached, [&] {
        if (heardNs < 0)
            heardNs = clock.nsecsElapsed();
    });
    std::vector<double> toHeard;
    for (int run = 0; run < 10; ++run) {
        const bool up = run % 2 == 0;
        control.SetPitch(up ? 84 : 338);
        const SpeechStatus status = control.Speak(TextOfBytes(100'000));
        if (!status.ok()) {
            std::printf("%s slider change: %s\n", label, qPrintable(status.error));
            return;
        }
        Wait(700 + 53 * run);
        heardNs = -1;
        const std::int64_t t0 = clock.nsecsElapsed();
        control.SetPitch(up ? 338 : 84);
        while (heardNs < 0 && clock.nsecsElapsed() - t0 < 2'000'000'000)
            Wait(0);
        if (heardNs >= 0)
            toHeard.push_back(Ms(heardNs - t0));
        (void)control.StopSpeaking();
    }
    std::printf("%s slider change -> device reports the new audio played (%zu runs, ms): "
                "median %.2f max %.2f\n",
                label, toHeard.size(), Median(toHeard), Max(toHeard));
}

template <typename Output> void RealDevice(const char *label) {
    const QString problem = QString::fromStdString(SoundServer::Problem());
    if (!problem.isEmpty()) {
        std::printf("%s device: skipped (%s)\n", label, qPrintable(problem));
        return;
    }
    std::vector<double> start, first, stop;
    PcmQueue queue(2205);
    Output output;
    for (int run = 0; run < 10; ++run) {
        const std::uint64_t generation = queue.Begin();
        std::thread producer([&] {
            std::int16_t tone[441];
            for (std::size_t i = 0;; i += 441) {
                for (std::size_t k = 0; k < 441; ++k)
                    tone[k] = std::int16_t(3000 * std::sin(double(i + k) * 0.1));
                if (!queue.Push(generation, tone, 441))
                    return;
            }
        });
        QElapsedTimer clock;
        clock.start();
        const SpeechStatus status = output.Start(queue, kRate);
        start.push_back(Ms(clock.nsecsElapsed()));
        if (!status.ok()) {
            queue.Cancel();
            producer.join();
            std::printf("%s device: %s\n", label, qPrintable(status.error));
            return;
        }
        while (queue.HandedOver() == 0 && clock.elapsed() < 2000)
            Wait(0);
        first.push_back(Ms(clock.nsecsElapsed()));
        Wait(200);
        clock.restart();
        queue.Cancel();
        output.Stop();
        stop.push_back(Ms(clock.nsecsElapsed()));
        producer.join();
    }
    for (auto *v : {&start, &first, &stop})
        std::sort(v->begin(), v->end());
    std::printf("%s device (10 runs, ms): Start() median %.2f max %.2f; "
                "start -> first read median %.2f max %.2f; Stop() median %.3f max %.3f\n",
                label, start[5], start.back(), first[5], first.back(), stop[5], stop.back());
    SliderChangeThroughDevice<Output>(label);
}
} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int seconds = 30;
    bool sliderOnly = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--voice" && i + 1 < argc)
            gVoice = argv[++i];
        else if (arg == "--slider")
            sliderOnly = true;
        else
            seconds = std::max(1, arg.toInt());
    }
    if (!gVoice.isEmpty()) {
        const auto &voices = SpeechEngine::Acquire()->Voices();
        if (std::none_of(voices.begin(), voices.end(),
                         [](const SpeechVoice &v) { return v.identifier == gVoice; })) {
            std::fprintf(stderr, "speech_bench: no voice %s\n", gVoice.constData());
            return 1;
        }
    }
    if (sliderOnly) {
        ChangeWhileMakingASentence();
        SliderChangeWhileSpeaking();
        SliderChangeThroughDevice<PulseAudioOutput>("PulseAudio");
        return 0;
    }
    FirstSample();
    StopToLastSample();
    SynthesisSpeed();
    ChangeWhileMakingASentence();
    SliderChangeWhileSpeaking();
    FrameCost();
    MemoryWhileSpeaking(seconds);
    RealDevice<PulseAudioOutput>("PulseAudio");
    RealDevice<QAudioSinkOutput>("QAudioSink");
    return 0;
}
