#include "speechengine.h"

#include "speech/voice/pronunciations.h"
#include "speech/voice/scriptvoices.h"
#include "speech/voice/speechtext.h"

#include <QtDebug>
#include <algorithm>
#include <string_view>

namespace {
// How long the helper may take to say anything while it speaks (it sends a
// chunk every 20 ms of audio, taking a few milliseconds each).
constexpr int kAnswerLimitMs = 4000;
// A voice quiet this long has its audio held for a word's end handed on: the
// queue has run dry by then, and the listener waits on it.
constexpr int kHandOnMs = 200;
} // namespace

void SpeechChannel::SetFaultHandler(FaultHandler handler) {
    std::lock_guard lock(faultMutex_);
    faultHandler_ = std::move(handler);
}

void SpeechChannel::ReportFault(std::uint64_t generation, const QString &description) {
    std::lock_guard lock(faultMutex_);
    fault_ = description;
    if (faultHandler_)
        faultHandler_(generation, description);
}

QString SpeechChannel::Fault() const {
    std::lock_guard lock(faultMutex_);
    return fault_;
}

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

std::shared_ptr<SpeechEngine> SpeechEngine::Create() {
    return std::shared_ptr<SpeechEngine>(new SpeechEngine());
}

QString SpeechEngine::HelperPath() {
    return HelperPath(QStringLiteral(ZAVREN_VOICE_HELPER_NAME));
}

QString SpeechEngine::HelperPath(const QString &name) {
    return HelperSupervisor::HelperPath(name);
}

SpeechEngine::SpeechEngine() {
    // The window is shown while the helper starts beside it.
    worker_ = std::thread([this] { Run(); });
}

SpeechEngine::~SpeechEngine() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        pending_.reset();
        interrupt_ = true;
        helpers_.Quit();
    }
    wake_.notify_all();
    worker_.join();
}

QString SpeechEngine::StartupError() {
    return helpers_.StartupError();
}

int SpeechEngine::SampleRate() const {
    return helpers_.SampleRate();
}

const std::vector<SpeechVoice> &SpeechEngine::Voices() const {
    return helpers_.Voices();
}

QByteArray SpeechEngine::DefaultVoice() const {
    return helpers_.DefaultVoice();
}

long long SpeechEngine::HelperId() const {
    return helpers_.HelperId();
}

void SpeechEngine::Speak(std::shared_ptr<SpeechChannel> channel, std::uint64_t generation,
                         SpeechRequest request) {
    {
        std::lock_guard lock(mutex_);
        pending_ = Job{std::move(channel), generation, std::move(request)};
        interrupt_ = true;
        helpers_.Wake();
    }
    wake_.notify_all();
}

void SpeechEngine::Run() {
    helpers_.StartEngine(0);
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            while (!quit_ && !pending_ && !helpers_.StartAsked()) {
                if (!helpers_.CanWatch()) {
                    wake_.wait(lock);
                    continue;
                }
                // Idle beside a helper: one that dies now is collected at once.
                lock.unlock();
                helpers_.WatchIdle();
                lock.lock();
            }
            if (quit_)
                break;
            if (!pending_) {
                lock.unlock();
                helpers_.StartAskedHelper();
                lock.lock();
                continue;
            }
            job = std::move(*pending_);
            pending_.reset();
            interrupt_ = false;
        }
        Synthesize(job);
        job.channel->queue.Finish(job.generation);
    }
    helpers_.Reap();
}

bool SpeechEngine::Send(const std::vector<char> &message) {
    VoiceLink *link = helpers_.Link(active_);
    return link && link->Send(message);
}

SpeechEngine::Received SpeechEngine::Receive(Message &message, int timeoutMs) {
    VoiceLink *link = helpers_.Link(active_);
    return link ? link->Receive(message, timeoutMs) : Received::Gone;
}

const ScriptVoices *SpeechEngine::Scripts() {
    if (!scripts_ && helpers_.Known())
        scripts_ = std::make_unique<ScriptVoices>(helpers_.Voices());
    return scripts_.get();
}

void SpeechEngine::Synthesize(Job &job) {
    helpers_.ReplaceGone();
    active_ = 0;
    // The chosen voice's language decides which scripts it reads itself.
    const QByteArray chosen =
        job.request.voice.isEmpty() ? helpers_.DefaultVoice() : job.request.voice;
    QString language;
    for (const SpeechVoice &voice : helpers_.Voices())
        if (voice.identifier == chosen)
            language = voice.language;
    Pronounce(job, language);
    const QString text = job.request.text;
    abandoned_ = false;
    current_ = &job;
    marks_.BeginText(job.request.text, job.request.streamBase);
    for (qsizetype from = std::clamp<qsizetype>(job.request.from, 0, text.size());
         from < text.size() && !abandoned_;) {
        if (!job.channel->queue.IsCurrent(job.generation))
            break;
        qsizetype end = SpeechText::SliceEnd(text, from);
        QByteArray voice = chosen;
        if (const ScriptVoices *scripts = Scripts()) {
            const ScriptVoices::Run run = scripts->RunFrom(text, from, end, language);
            end = std::max(run.end, from + 1);
            if (!run.voice.isEmpty())
                voice = run.voice;
            // Other engines read only Latin letters: espeak-ng reads the rest,
            // handing scripts of their own on as it does itself.
            else if (!helpers_.IsEspeakVoice(chosen)) {
                const ScriptVoices::Run latin =
                    ScriptVoices::LatinRunFrom(text, from, end, helpers_.EspeakDefault());
                end = std::max(latin.end, from + 1);
                if (!latin.voice.isEmpty())
                    voice = latin.voice;
            }
        }
        const QStringView slice = QStringView(text).sliced(from, end - from);
        const QByteArray utf8 = SpeechText::EngineText(slice);
        const qsizetype sliceFrom = from;
        from = end;
        if (utf8.trimmed().isEmpty())
            continue;
        marks_.BeginSlice(sliceFrom, SpeechText::CodePointOffsets(slice));
        QString fault;
        const Outcome outcome = SynthesizeSlice(job, utf8, voice, fault);
        if (outcome == Outcome::Failed) {
            abandoned_ = true;
            // Nobody is told about speech that was given up anyway. Whatever
            // the voice said before the fault is heard before the fault is told.
            if (job.channel->queue.IsCurrent(job.generation) && !interrupt_) {
                (void)marks_.ReleaseHeld(0);
                job.channel->queue.Finish(job.generation);
                job.channel->ReportFault(job.generation, fault);
            }
            helpers_.Replace(active_);
        } else if (outcome == Outcome::Done && !abandoned_) {
            if (!marks_.ReleaseHeld(end))
                abandoned_ = true;
        }
    }
    marks_.DropHeld();
    current_ = nullptr;
}

// Has the helper speak one slice, taking its chunks as they come.
SpeechEngine::Outcome SpeechEngine::SynthesizeSlice(Job &job, const QByteArray &utf8,
                                                    const QByteArray &voice, QString &fault) {
    QByteArray own;
    active_ = helpers_.EngineOf(voice, own);
    if (!helpers_.Link(active_))
        helpers_.StartEngine(active_);
    const std::uint64_t serial = ++sliceSerial_;
    // Every Speak carries rate and pitch, so a helper started afresh hears
    // them with its first slice: nothing is left to resend.
    int sentRate = job.channel->rate.load();
    int sentPitch = job.channel->pitch.load();
    voice::Writer speak(voice::Kind::Speak);
    speak.Put(serial).Put(std::int32_t(sentRate)).Put(std::int32_t(sentPitch));
    speak.Put(std::string_view(own.constData(), std::size_t(own.size())));
    speak.Put(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    const auto stop = [this] { Send(voice::Writer(voice::Kind::Stop).Done()); };
    const auto failed = [&](const QString &why) {
        fault = why;
        // Whatever it was doing, this helper is not used again.
        helpers_.Drop(active_);
        return Outcome::Failed;
    };
    if (!helpers_.Link(active_)) {
        const QString unstartable = helpers_.StartFailure();
        return failed(unstartable.isEmpty()
                          ? QStringLiteral("The voice could not be started again.")
                          : unstartable);
    }
    if (!Send(speak.Done()))
        return failed(QStringLiteral("The voice stopped on this text (it could not be reached)."));
    int quietMs = 0;
    for (;;) {
        Message message;
        const int waitMs = marks_.Holding() ? std::min(kHandOnMs, kAnswerLimitMs - quietMs)
                                            : kAnswerLimitMs - quietMs;
        switch (Receive(message, waitMs)) {
        case Received::Gone:
            return failed(QStringLiteral("The voice stopped on this text (it crashed)."));
        case Received::Silent:
            quietMs += waitMs;
            if (quietMs >= kAnswerLimitMs)
                return failed(
                    QStringLiteral("The voice stopped on this text (it stopped answering)."));
            if (!marks_.ReleaseHeld(0)) {
                stop();
                abandoned_ = true;
                return Outcome::Abandoned;
            }
            continue;
        case Received::Woken:
            if (interrupt_) {
                stop();
                abandoned_ = true;
                return Outcome::Abandoned;
            }
            continue;
        case Received::Message:
            break;
        }
        quietMs = 0;
        voice::Reader reader(message.body.data(), message.body.size());
        const auto about = reader.Get<std::uint64_t>();
        if (about != serial)
            continue; // left over from an abandoned slice
        if (message.kind == voice::Kind::Done)
            return Outcome::Done;
        if (message.kind != voice::Kind::Chunk)
            continue;
        const std::vector<voice::Event> events = reader.GetArray<voice::Event>();
        const std::vector<std::int16_t> samples = reader.GetArray<std::int16_t>();
        if (!reader.ok())
            return failed(
                QStringLiteral("The voice stopped on this text (its answer was garbled)."));
        OnChunk(samples.data(), samples.size(), events);
        if (abandoned_) {
            stop();
            return Outcome::Abandoned;
        }
        // Rate and pitch written while speaking take effect from the next chunk.
        const int rate = job.channel->rate.load();
        const int pitch = job.channel->pitch.load();
        if (rate != sentRate || pitch != sentPitch) {
            sentRate = rate;
            sentPitch = pitch;
            Send(voice::Writer(voice::Kind::Settings)
                     .Put(std::int32_t(rate))
                     .Put(std::int32_t(pitch))
                     .Done());
        }
    }
}

bool SpeechEngine::HandOn(const std::vector<SpeechMark> &marks,
                          const std::vector<std::int16_t> &samples) {
    Job &job = *current_;
    std::vector<SpeechMark> shown;
    const std::vector<SpeechMark> *given = &marks;
    if (spoken_) {
        // Words said for a replacement are the user's word, shown once.
        shown = marks;
        std::erase_if(shown, [this](SpeechMark &mark) {
            if (mark.kind != SpeechMark::Kind::Word)
                return false;
            mark.word = spoken_->ToOriginal(mark.word);
            const bool again = mark.word == lastShown_;
            lastShown_ = mark.word;
            return again;
        });
        given = &shown;
    }
    if (!given->empty())
        job.channel->timeline.Add(job.generation, *given);
    return samples.empty() ||
           job.channel->queue.Push(job.generation, samples.data(), samples.size());
}

void SpeechEngine::OnChunk(const std::int16_t *samples, std::size_t count,
                           const std::vector<voice::Event> &events) {
    if (!current_ || interrupt_.load()) {
        abandoned_ = true;
        return;
    }
    if (!marks_.OnChunk(samples, count, events))
        abandoned_ = true;
}

void SpeechEngine::Pronounce(Job &job, const QString &language) {
    lastShown_ = {};
    const std::shared_ptr<const Pronunciations> list = Pronunciations::InUse();
    if (list->IsEmpty()) {
        spoken_.reset();
        return;
    }
    // A restart in the same text finds it made already.
    if (!spoken_ || spokenList_ != list || spokenLanguage_ != language ||
        spokenFrom_ != job.request.text) {
        SpokenText said = list->Apply(job.request.text, language);
        for (const QString &problem : said.problems)
            qWarning("zavren-speech: pronunciations: %s", qPrintable(problem));
        spoken_ = std::make_shared<const SpokenText>(std::move(said));
        spokenList_ = list;
        spokenLanguage_ = language;
        spokenFrom_ = job.request.text;
    }
    job.request.from = spoken_->ToSpoken(job.request.from);
    job.request.text = spoken_->text;
}
