#include "helpersupervisor.h"

#include "platform/childprocess.h"

#include <QFileInfo>
#include <algorithm>

namespace {
// How long a helper may take to start.
constexpr int kStartLimitMs = 10000;

QString Unstartable(const QString &why) {
    return QStringLiteral("The speech engine (espeak-ng) could not be started: %1").arg(why);
}
} // namespace

HelperSupervisor::HelperSupervisor(std::function<void()> askWorker)
    : askWorker_(std::move(askWorker)) {
    // In this order, each offering a more natural English than those before.
    others_.push_back({"flite:", HelperPath(QStringLiteral(ZAVREN_FLITE_HELPER_NAME)), {}, false});
    others_.push_back(
        {"festival:", HelperPath(QStringLiteral(ZAVREN_FESTIVAL_HELPER_NAME)), {}, false});
}

HelperSupervisor::~HelperSupervisor() = default;

QString HelperSupervisor::HelperPath(const QString &name) {
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

void HelperSupervisor::WaitReady() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ready_; });
}

QString HelperSupervisor::StartupError() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ready_; });
    if (startupError_.isEmpty() || quit_)
        return startupError_;
    // No helper has started yet: each caller gets a fresh one, or the reason
    // this one failed.
    const std::uint64_t asked = ++startsAsked_;
    lock.unlock();
    askWorker_();
    lock.lock();
    changed_.wait(lock, [&] { return startsDone_ >= asked || quit_; });
    return startupError_;
}

bool HelperSupervisor::Known() const {
    std::lock_guard lock(mutex_);
    return known_;
}

int HelperSupervisor::SampleRate() const {
    WaitReady();
    return sampleRate_;
}

const std::vector<SpeechVoice> &HelperSupervisor::Voices() const {
    WaitReady();
    return voices_;
}

QByteArray HelperSupervisor::DefaultVoice() const {
    WaitReady();
    return defaultVoice_;
}

QByteArray HelperSupervisor::EspeakDefault() const {
    std::lock_guard lock(mutex_);
    return espeakDefault_;
}

long long HelperSupervisor::HelperId() const {
    std::lock_guard lock(mutex_);
    for (const Other &other : others_)
        if (other.offered && defaultVoice_.startsWith(other.prefix))
            return other.link ? other.link->Id() : 0;
    return helper_ ? helper_->Id() : 0;
}

void HelperSupervisor::Wake() {
    std::lock_guard lock(mutex_);
    WakeLinks();
}

void HelperSupervisor::Quit() {
    std::lock_guard lock(mutex_);
    quit_ = true;
    WakeLinks();
    changed_.notify_all();
}

// Called under mutex_: whichever helper the worker waits on stops waiting.
void HelperSupervisor::WakeLinks() {
    if (helper_)
        helper_->Wake();
    for (Other &other : others_)
        if (other.link)
            other.link->Wake();
}

bool HelperSupervisor::StartAsked() const {
    std::lock_guard lock(mutex_);
    return startsAsked_ != startsDone_;
}

void HelperSupervisor::StartAskedHelper() {
    std::uint64_t asked = 0;
    {
        std::lock_guard lock(mutex_);
        asked = startsAsked_;
    }
    StartHelper();
    std::lock_guard lock(mutex_);
    startsDone_ = asked;
    changed_.notify_all();
}

// Starts a helper and waits for its hello. The first hello tells what the
// voice offers; a helper that cannot start leaves none.
void HelperSupervisor::StartHelper() {
    {
        std::lock_guard lock(mutex_);
        helper_.reset();
    }
    VoiceLink::Hello hello;
    QString failure;
    std::unique_ptr<VoiceLink> link = VoiceLink::Start(
        HelperPath(QStringLiteral(ZAVREN_VOICE_HELPER_NAME)), kStartLimitMs, quit_, hello, failure);
    std::unique_lock lock(mutex_);
    helper_ = std::move(link);
    if (helper_ && !known_) {
        sampleRate_ = hello.sampleRate;
        defaultVoice_ = hello.defaultVoice;
        espeakDefault_ = hello.defaultVoice;
        voices_ = std::move(hello.voices);
        // The other engines are asked once, while nobody can speak yet.
        for (std::size_t i = 0; i < others_.size(); ++i) {
            lock.unlock();
            StartEngine(i + 1);
            lock.lock();
        }
        known_ = true;
    }
    // Once a helper has spoken, a later failed start is the speech's fault.
    startupError_ = known_ ? QString() : Unstartable(failure);
    ready_ = true;
    changed_.notify_all();
}

std::unique_ptr<VoiceLink> &HelperSupervisor::LinkSlot(std::size_t engine) {
    return engine == 0 ? helper_ : others_[engine - 1].link;
}

VoiceLink *HelperSupervisor::Link(std::size_t engine) const {
    return engine == 0 ? helper_.get() : others_[engine - 1].link.get();
}

void HelperSupervisor::StartEngine(std::size_t engine) {
    if (engine == 0) {
        StartHelper();
        return;
    }
    Other &other = others_[engine - 1];
    {
        std::lock_guard lock(mutex_);
        other.link.reset();
    }
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

void HelperSupervisor::WatchIdle() {
    VoiceLink::Message stale;
    if (helper_->Receive(stale, -1) == VoiceLink::Received::Gone) {
        std::lock_guard lock(mutex_);
        ++restarts_;
        helper_.reset();
    }
}

void HelperSupervisor::ReplaceGone() {
    for (std::size_t engine = 0; engine <= others_.size(); ++engine)
        if (engine == 0 || others_[engine - 1].offered)
            ReplaceIfGone(engine);
}

void HelperSupervisor::ReplaceIfGone(std::size_t engine) {
    using Received = VoiceLink::Received;
    VoiceLink::Message stale;
    Received got = Link(engine) ? Received::Message : Received::Gone;
    while (Link(engine) && (got == Received::Message || got == Received::Woken))
        got = Link(engine)->Receive(stale, 0);
    if (got == Received::Gone) {
        if (Link(engine))
            ++restarts_;
        StartEngine(engine);
    }
}

bool HelperSupervisor::IsEspeakVoice(const QByteArray &voice) const {
    return std::none_of(others_.begin(), others_.end(),
                        [&](const Other &o) { return voice.startsWith(o.prefix); });
}

std::size_t HelperSupervisor::EngineOf(const QByteArray &voice, QByteArray &own) const {
    // The voice's prefix names its engine; the engine knows it without.
    own = voice;
    std::size_t engine = 0;
    for (std::size_t i = 0; i < others_.size(); ++i)
        if (others_[i].offered && voice.startsWith(others_[i].prefix)) {
            engine = i + 1;
            own = voice.mid(others_[i].prefix.size());
        }
    return engine;
}

void HelperSupervisor::Drop(std::size_t engine) {
    std::lock_guard lock(mutex_);
    LinkSlot(engine).reset();
}

void HelperSupervisor::Replace(std::size_t engine) {
    ++restarts_;
    StartEngine(engine);
}

QString HelperSupervisor::StartFailure() const {
    std::lock_guard lock(mutex_);
    return startupError_;
}

void HelperSupervisor::Reap() {
    std::lock_guard lock(mutex_);
    helper_.reset();
    for (Other &other : others_)
        other.link.reset();
}
