#include "speechengine.h"

#include <algorithm>
#include <espeak-ng/speak_lib.h>

namespace {
// Length of the pieces espeak-ng hands to the callback: short, so a stop or a
// new rate is noticed quickly and the first sound leaves early.
constexpr int kChunkMs = 20;
// Characters handed to espeak-ng per call (a few paragraphs).
constexpr qsizetype kSliceChars = 2000;

bool EndsSentence(QChar c) {
    return c == u'.' || c == u'!' || c == u'?' || c == u';' || c == u':';
}

// espeak-ng can be initialized only once per process (terminating it hangs in
// synchronous mode), and only one thread may use it at a time: each worker
// holds this lock for its whole life.
std::mutex &EspeakOwnership() {
    static std::mutex m;
    return m;
}
int espeakSampleRate = 0; // guarded by EspeakOwnership()
bool espeakTried = false; // guarded by EspeakOwnership()

SpeechEngine *workerEngine = nullptr; // guarded by EspeakOwnership()

int OnSynth(short *samples, int count, espeak_EVENT *) {
    // Returning 1 makes espeak-ng abandon the text within one chunk.
    return workerEngine && workerEngine->OnChunk(samples, count) ? 0 : 1;
}
} // namespace

std::shared_ptr<SpeechEngine> SpeechEngine::Acquire() {
    static std::mutex mutex;
    static std::weak_ptr<SpeechEngine> shared;
    std::lock_guard lock(mutex);
    std::shared_ptr<SpeechEngine> engine = shared.lock();
    if (!engine) {
        engine.reset(new SpeechEngine());
        shared = engine;
    }
    return engine;
}

SpeechEngine::SpeechEngine() {
    // The worker reports once espeak-ng is ready (or not). A plain handshake:
    // std::promise would pull in TLS symbols from the dynamic loader.
    bool started = false;
    worker_ = std::thread([this, &started] {
        std::unique_lock owner(EspeakOwnership());
        if (!espeakTried) {
            espeakTried = true;
            const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kChunkMs, nullptr,
                                               espeakINITIALIZE_DONT_EXIT);
            espeakSampleRate = rate > 0 ? rate : 0;
            if (espeakSampleRate > 0 && espeak_SetVoiceByName("en") != EE_OK)
                espeakSampleRate = 0;
        }
        sampleRate_ = espeakSampleRate;
        if (sampleRate_ <= 0)
            startupError_ = QStringLiteral("The speech engine (espeak-ng) could not be started: "
                                           "its voice data is missing or unreadable.");
        else
            espeak_SetSynthCallback(&OnSynth);
        workerEngine = this;
        {
            std::lock_guard lock(mutex_);
            started = true;
        }
        wake_.notify_all();
        if (sampleRate_ > 0)
            Run();
        workerEngine = nullptr;
    });
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return started; });
}

SpeechEngine::~SpeechEngine() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        pending_.reset();
        interrupt_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

QByteArray SpeechEngine::EngineText(QStringView text) {
    QString clean = text.toString();
    for (QChar &c : clean) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || u == 0x7f || (u >= 0x80 && u < 0xa0))
            c = u' ';
    }
    return clean.toUtf8();
}

qsizetype SpeechEngine::SliceEnd(QStringView text, qsizetype from) {
    const qsizetype limit = std::min(text.size(), from + kSliceChars);
    if (limit == text.size())
        return limit;
    qsizetype afterSpace = -1;
    for (qsizetype i = limit - 1; i > from; --i) {
        const QChar c = text[i];
        if (c == u'\n' || (c.isSpace() && EndsSentence(text[i - 1])))
            return i + 1;
        if (afterSpace < 0 && c.isSpace())
            afterSpace = i + 1;
    }
    if (afterSpace > 0)
        return afterSpace;
    // One endless word: cut anywhere but inside a surrogate pair.
    return text[limit - 1].isHighSurrogate() ? limit - 1 : limit;
}

void SpeechEngine::Speak(std::shared_ptr<SpeechChannel> channel, std::uint64_t generation,
                         QString text) {
    {
        std::lock_guard lock(mutex_);
        pending_ = Job{std::move(channel), generation, std::move(text)};
        interrupt_ = true;
    }
    wake_.notify_all();
}

void SpeechEngine::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || pending_.has_value(); });
            if (quit_)
                return;
            job = std::move(*pending_);
            pending_.reset();
            interrupt_ = false;
        }
        Synthesize(job);
        job.channel->queue.Finish(job.generation);
    }
}

void SpeechEngine::ApplySettings(const SpeechChannel &channel) {
    const int rate = channel.rate.load();
    const int pitch = channel.pitch.load();
    if (rate != appliedRate_) {
        espeak_SetParameter(espeakRATE, rate, 0);
        appliedRate_ = rate;
    }
    if (pitch != appliedPitch_) {
        espeak_SetParameter(espeakPITCH, pitch, 0);
        appliedPitch_ = pitch;
    }
}

void SpeechEngine::Synthesize(Job &job) {
    const QString text = std::move(job.text);
    abandoned_ = false;
    current_ = &job;
    for (qsizetype from = 0; from < text.size() && !abandoned_;) {
        if (!job.channel->queue.IsCurrent(job.generation))
            break;
        const qsizetype end = SliceEnd(text, from);
        const QByteArray utf8 = EngineText(QStringView(text).sliced(from, end - from));
        from = end;
        if (utf8.trimmed().isEmpty())
            continue;
        ApplySettings(*job.channel);
        // Plain text only: no espeakSSML, so '<' in the text is never a tag.
        espeak_Synth(utf8.constData(), static_cast<size_t>(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                     espeakCHARS_UTF8, nullptr, nullptr);
    }
    current_ = nullptr;
}

bool SpeechEngine::OnChunk(const short *samples, int count) {
    if (!current_ || interrupt_.load()) {
        abandoned_ = true;
        return false;
    }
    Job &job = *current_;
    // Rate and pitch written while speaking take effect from here on.
    ApplySettings(*job.channel);
    if (samples && count > 0 &&
        !job.channel->queue.Push(job.generation, reinterpret_cast<const std::int16_t *>(samples),
                                 static_cast<std::size_t>(count)))
        abandoned_ = true;
    return !abandoned_;
}
