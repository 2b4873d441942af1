#include "speechengine.h"

#include "platform/childprocess.h"
#include "speech/voice/pronunciations.h"
#include "speech/voice/scriptvoices.h"
#include "speech/voice/speechtext.h"

#include <QFileInfo>
#include <QtDebug>
#include <algorithm>
#include <string_view>

namespace {
// How long the helper may take to start, and to say anything while it speaks
// (it sends a chunk every 20 ms of audio, taking a few milliseconds each).
constexpr int kStartLimitMs = 10000;
constexpr int kAnswerLimitMs = 4000;
// A voice quiet this long has its audio held for a word's end handed on: the
// queue has run dry by then, and the listener waits on it.
constexpr int kHandOnMs = 200;

QString Unstartable(const QString &why) {
    return QStringLiteral("The speech engine (espeak-ng) could not be started: %1").arg(why);
}
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
    // Only among the program's own files: beside it (every program of a build
    // lands in one folder), else where the installed layout puts it.
    const QString folder = QString::fromStdString(ThisProgramFolder());
    QString beside = folder + u'/' + name;
    const QString installed = folder + QStringLiteral("/" ZAVREN_VOICE_HELPER_INSTALLED "/") + name;
    if (!folder.isEmpty() && !QFileInfo(beside).isExecutable() &&
        QFileInfo(installed).isExecutable())
        return QFileInfo(installed).absoluteFilePath();
    return beside;
}

SpeechEngine::SpeechEngine() {
    // In this order, each offering a more natural English than those before.
    others_.push_back({"flite:", HelperPath(QStringLiteral(ZAVREN_FLITE_HELPER_NAME)), {}, false});
    others_.push_back(
        {"festival:", HelperPath(QStringLiteral(ZAVREN_FESTIVAL_HELPER_NAME)), {}, false});
    // The window is shown while the helper starts beside it.
    worker_ = std::thread([this] { Run(); });
}

SpeechEngine::~SpeechEngine() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        pending_.reset();
        interrupt_ = true;
        WakeHelpers();
    }
    wake_.notify_all();
    worker_.join();
}

void SpeechEngine::WaitReady() const {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return ready_; });
}

QString SpeechEngine::StartupError() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return ready_; });
    if (startupError_.isEmpty() || quit_)
        return startupError_;
    // No helper has started yet: each caller gets a fresh one, or the reason
    // this one failed.
    const std::uint64_t asked = ++startsAsked_;
    wake_.notify_all();
    wake_.wait(lock, [&] { return startsDone_ >= asked || quit_; });
    return startupError_;
}

int SpeechEngine::SampleRate() const {
    WaitReady();
    return sampleRate_;
}

const std::vector<SpeechVoice> &SpeechEngine::Voices() const {
    WaitReady();
    return voices_;
}

QByteArray SpeechEngine::DefaultVoice() const {
    WaitReady();
    return defaultVoice_;
}

long long SpeechEngine::HelperId() const {
    std::lock_guard lock(mutex_);
    for (const Other &other : others_)
        if (other.offered && defaultVoice_.startsWith(other.prefix))
            return other.link ? other.link->Id() : 0;
    return helper_ ? helper_->Id() : 0;
}

// Starts a helper and waits for its hello. The first hello tells what the
// voice offers; a helper that cannot start leaves none.
void SpeechEngine::StartHelper() {
    {
        std::lock_guard lock(mutex_);
        helper_.reset();
    }
    sentRate_ = sentPitch_ = -1;
    VoiceLink::Hello hello;
    QString failure;
    std::unique_ptr<VoiceLink> link =
        VoiceLink::Start(HelperPath(), kStartLimitMs, quit_, hello, failure);
    std::lock_guard lock(mutex_);
    helper_ = std::move(link);
    if (helper_ && !known_) {
        sampleRate_ = hello.sampleRate;
        defaultVoice_ = hello.defaultVoice;
        espeakDefault_ = hello.defaultVoice;
        voices_ = std::move(hello.voices);
        // The other engines are asked once, while nobody can speak yet.
        for (std::size_t i = 0; i < others_.size(); ++i) {
            mutex_.unlock();
            StartEngine(i + 1);
            mutex_.lock();
        }
        scripts_ = std::make_unique<ScriptVoices>(voices_);
        known_ = true;
    }
    // Once a helper has spoken, a later failed start is the speech's fault.
    startupError_ = known_ ? QString() : Unstartable(failure);
    ready_ = true;
    wake_.notify_all();
}

bool SpeechEngine::IsEspeakVoice(const QByteArray &voice) const {
    return std::none_of(others_.begin(), others_.end(),
                        [&](const Other &o) { return voice.startsWith(o.prefix); });
}

std::unique_ptr<VoiceLink> &SpeechEngine::Link(std::size_t engine) {
    return engine == 0 ? helper_ : others_[engine - 1].link;
}

void SpeechEngine::StartEngine(std::size_t engine) {
    if (engine == 0) {
        StartHelper();
        return;
    }
    Other &other = others_[engine - 1];
    {
        std::lock_guard lock(mutex_);
        other.link.reset();
    }
    sentRate_ = sentPitch_ = -1;
    VoiceLink::Hello hello;
    QString failure;
    // Not installed: no voices, and nothing to say.
    std::unique_ptr<VoiceLink> link =
        QFileInfo(other.program).isExecutable()
            ? VoiceLink::Start(other.program, kStartLimitMs, quit_, hello, failure)
            : nullptr;
    std::lock_guard lock(mutex_);
    // Its audio joins espeak-ng's in one stream: it must be of the same rate.
    if (link && !other.offered && hello.sampleRate == sampleRate_) {
        other.offered = true;
        const bool englishDefault =
            std::any_of(voices_.begin(), voices_.end(), [&](const SpeechVoice &v) {
                return v.identifier == defaultVoice_ && v.language.startsWith(QLatin1String("en"));
            });
        for (SpeechVoice &voice : hello.voices) {
            voice.identifier.prepend(other.prefix);
            voices_.push_back(std::move(voice));
        }
        // Its English is easier to follow than espeak-ng's.
        if (englishDefault && !hello.defaultVoice.isEmpty())
            defaultVoice_ = other.prefix + hello.defaultVoice;
    }
    if (other.offered)
        other.link = std::move(link);
}

void SpeechEngine::Speak(std::shared_ptr<SpeechChannel> channel, std::uint64_t generation,
                         SpeechRequest request) {
    {
        std::lock_guard lock(mutex_);
        pending_ = Job{std::move(channel), generation, std::move(request)};
        interrupt_ = true;
        WakeHelpers();
    }
    wake_.notify_all();
}

// Called under mutex_: whichever helper the worker waits on stops waiting.
void SpeechEngine::WakeHelpers() {
    if (helper_)
        helper_->Wake();
    for (Other &other : others_)
        if (other.link)
            other.link->Wake();
}

void SpeechEngine::Run() {
    StartHelper();
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            while (!quit_ && !pending_ && startsAsked_ == startsDone_) {
                if (!helper_) {
                    wake_.wait(lock);
                    continue;
                }
                // Idle beside a helper: one that dies now is collected at once.
                lock.unlock();
                Message stale;
                const Received got = helper_->Receive(stale, -1);
                lock.lock();
                if (got == Received::Gone) {
                    ++restarts_;
                    helper_.reset();
                }
            }
            if (quit_)
                break;
            if (!pending_) {
                const std::uint64_t asked = startsAsked_;
                lock.unlock();
                StartHelper();
                lock.lock();
                startsDone_ = asked;
                wake_.notify_all();
                continue;
            }
            job = std::move(*pending_);
            pending_.reset();
            interrupt_ = false;
        }
        Synthesize(job);
        job.channel->queue.Finish(job.generation);
    }
    std::lock_guard lock(mutex_);
    helper_.reset();
}

bool SpeechEngine::Send(const std::vector<char> &message) {
    const std::unique_ptr<VoiceLink> &link = Link(active_);
    return link && link->Send(message);
}

SpeechEngine::Received SpeechEngine::Receive(Message &message, int timeoutMs) {
    const std::unique_ptr<VoiceLink> &link = Link(active_);
    return link ? link->Receive(message, timeoutMs) : Received::Gone;
}

// A helper that died while nobody was speaking is replaced without a word.
void SpeechEngine::ReplaceIfGone() {
    Message stale;
    Received got = Link(active_) ? Received::Message : Received::Gone;
    while (Link(active_) && (got == Received::Message || got == Received::Woken))
        got = Receive(stale, 0);
    if (got == Received::Gone) {
        if (Link(active_))
            ++restarts_;
        StartEngine(active_);
    }
}

void SpeechEngine::Synthesize(Job &job) {
    for (active_ = 0; active_ <= others_.size(); ++active_)
        if (active_ == 0 || others_[active_ - 1].offered)
            ReplaceIfGone();
    active_ = 0;
    // The chosen voice's language decides which scripts it reads itself.
    const QByteArray chosen = job.request.voice.isEmpty() ? defaultVoice_ : job.request.voice;
    QString language;
    for (const SpeechVoice &voice : voices_)
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
        if (scripts_) {
            const ScriptVoices::Run run = scripts_->RunFrom(text, from, end, language);
            end = std::max(run.end, from + 1);
            if (!run.voice.isEmpty())
                voice = run.voice;
            // Other engines read only Latin letters: espeak-ng reads the rest,
            // handing scripts of their own on as it does itself.
            else if (!IsEspeakVoice(chosen)) {
                const ScriptVoices::Run latin =
                    ScriptVoices::LatinRunFrom(text, from, end, espeakDefault_);
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
            ++restarts_;
            StartEngine(active_);
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
    // The voice's prefix names its engine; the engine knows it without.
    QByteArray own = voice;
    active_ = 0;
    for (std::size_t i = 0; i < others_.size(); ++i)
        if (others_[i].offered && voice.startsWith(others_[i].prefix)) {
            active_ = i + 1;
            own = voice.mid(others_[i].prefix.size());
        }
    if (!Link(active_))
        StartEngine(active_);
    const std::uint64_t serial = ++sliceSerial_;
    sentRate_ = job.channel->rate.load();
    sentPitch_ = job.channel->pitch.load();
    voice::Writer speak(voice::Kind::Speak);
    speak.Put(serial).Put(std::int32_t(sentRate_)).Put(std::int32_t(sentPitch_));
    speak.Put(std::string_view(own.constData(), std::size_t(own.size())));
    speak.Put(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    const auto stop = [this] { Send(voice::Writer(voice::Kind::Stop).Done()); };
    const auto failed = [&](const QString &why) {
        fault = why;
        // Whatever it was doing, this helper is not used again.
        std::lock_guard lock(mutex_);
        Link(active_).reset();
        return Outcome::Failed;
    };
    if (!Link(active_))
        return failed(startupError_.isEmpty()
                          ? QStringLiteral("The voice could not be started again.")
                          : startupError_);
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
        if (rate != sentRate_ || pitch != sentPitch_) {
            sentRate_ = rate;
            sentPitch_ = pitch;
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
