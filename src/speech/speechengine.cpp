#include "speechengine.h"

#include <algorithm>
#include <cstring>
#include <espeak-ng/speak_lib.h>
#include <string_view>

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

int OnSynth(short *samples, int count, espeak_EVENT *events) {
    // Returning 1 makes espeak-ng abandon the text within one chunk.
    return workerEngine && workerEngine->OnChunk(samples, count, events) ? 0 : 1;
}

// An espeak-ng phoneme name: up to 8 bytes, not terminated when it fills them.
std::string_view PhonemeName(const espeak_EVENT &e) {
    return {e.id.string, strnlen(e.id.string, sizeof e.id.string)};
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
            // Phoneme events, named in IPA, drive the face's mouth.
            const int rate =
                espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kChunkMs, nullptr,
                                  espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_PHONEME_IPA |
                                      espeakINITIALIZE_DONT_EXIT);
            espeakSampleRate = rate > 0 ? rate : 0;
        }
        // Each engine starts in English, whatever voice the one before it left.
        if (espeakSampleRate > 0 && espeak_SetVoiceByName("en") != EE_OK)
            espeakSampleRate = 0;
        sampleRate_ = espeakSampleRate;
        if (sampleRate_ <= 0)
            startupError_ = QStringLiteral("The speech engine (espeak-ng) could not be started: "
                                           "its voice data is missing or unreadable.");
        else {
            espeak_SetSynthCallback(&OnSynth);
            ListVoices();
        }
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

void SpeechEngine::ListVoices() {
    // The voice set at start is the default; its file name is how it is chosen.
    if (const espeak_VOICE *current = espeak_GetCurrentVoice(); current && current->identifier)
        defaultVoice_ = QByteArray(current->identifier);
    appliedVoice_ = defaultVoice_;
    const espeak_VOICE **list = espeak_ListVoices(nullptr);
    for (; list && *list; ++list) {
        const espeak_VOICE &v = **list;
        if (!v.name || !v.identifier)
            continue;
        SpeechVoice voice;
        voice.name = QString::fromUtf8(v.name).trimmed();
        // The languages field is a list of (priority byte, name) pairs; the
        // first is the voice's own language.
        if (v.languages && v.languages[0])
            voice.language = QString::fromUtf8(v.languages + 1);
        voice.identifier = QByteArray(v.identifier);
        // espeak-ng 1.51 writes to freed memory on ordinary text (Latin, "!")
        // with these voices, so they are not offered.
        if (voice.language == QLatin1String("hi") || voice.language == QLatin1String("ja"))
            continue;
        voices_.push_back(std::move(voice));
    }
}

QByteArray SpeechEngine::EngineText(QStringView text) {
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || u == 0x7f || (u >= 0x80 && u < 0xa0)) {
            clean += u' ';
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            // One code point in, one out: word positions count code points.
            if (EngineSafe(QChar::surrogateToUcs4(c, text[i + 1])))
                clean += text.sliced(i, 2);
            else
                clean += u' ';
            ++i;
        } else if (c.isSurrogate() || c == QChar::ReplacementCharacter) {
            // Silent in espeak-ng, yet 1.51 puts the next word's mark on it.
            clean += u' ';
        } else {
            clean += EngineSafe(u) ? c : QChar(u' ');
        }
    }
    return clean.toUtf8();
}

bool SpeechEngine::EngineSafe(char32_t codePoint) {
    // espeak-ng 1.51 reads and writes freed memory on characters it has no
    // rules for, scattered through many scripts (Gujarati to Sinhala digits,
    // Armenian and Georgian gaps, old Hangul jamo, unassigned code points).
    // So only blocks found safe by speaking every code point under valgrind
    // get through; the rest is read as a blank. Some are safe for the English
    // voice only (Devanagari, Armenian, parts of Greek), so they stay out.
    static constexpr char32_t kSafe[][2] = {
        {0x0000, 0x00A8},   // Latin, IPA, Greek, without (C) and (R)
        {0x00AA, 0x00AD},   //   (the Tamil voice mishandles them)
        {0x00AF, 0x037E},   //
        {0x0386, 0x038A},   //   without the gaps and
        {0x038C, 0x038C},   //   the archaic letters and
        {0x038E, 0x03A1},   //   symbols other voices
        {0x03A3, 0x03CE},   //   mishandle
        {0x03FD, 0x052F},   // Cyrillic
        {0x0590, 0x08FF},   // Hebrew, Arabic, Syriac, Thaana
        {0x1E00, 0x1FFF},   // Latin and Greek extended
        {0x2000, 0x2BFF},   // punctuation, symbols, arrows
        {0x2E00, 0x2E7F},   // more punctuation
        {0x3000, 0x9FFF},   // CJK
        {0xAC00, 0xD7A3},   // Hangul syllables
        {0xF900, 0xFAFF},   // CJK compatibility
        {0xFB00, 0xFB4F},   // ligatures, Hebrew forms
        {0xFE00, 0xFFFF},   // Arabic forms, full width, specials
        {0x1F300, 0x1FAFF}, // emoji
        {0x20000, 0x2A6DF}, // rare CJK
    };
    return std::any_of(std::begin(kSafe), std::end(kSafe), [codePoint](const auto &block) {
        return codePoint >= block[0] && codePoint <= block[1];
    });
}

std::vector<qsizetype> SpeechEngine::CodePointOffsets(QStringView text) {
    std::vector<qsizetype> offsets;
    offsets.reserve(static_cast<std::size_t>(text.size()) + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        offsets.push_back(i);
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    offsets.push_back(text.size());
    return offsets;
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

namespace {

bool InWord(QChar c) {
    return c.isLetterOrNumber() || c.isMark() || c.isSurrogate() || c == u'\'' || c == u'\u2019';
}

} // namespace

std::optional<WordSpan> SpeechEngine::FitWord(QStringView text, WordSpan word, WordSpan previous) {
    const qsizetype size = text.size();
    const auto inWord = InWord;
    // The word starting at `at` (after any blanks and punctuation before it).
    const auto wordFrom = [&](qsizetype at) -> WordSpan {
        while (at < size && !inWord(text[at]))
            ++at;
        qsizetype end = at;
        while (end < size && inWord(text[end]))
            ++end;
        return {at, end - at};
    };
    qsizetype from = std::clamp<qsizetype>(word.start, 0, size);
    qsizetype to = std::clamp<qsizetype>(word.start + word.length, from, size);
    while (from < to && text[from].isSpace())
        ++from;
    while (to > from && text[to - 1].isSpace())
        --to;
    // A full stop or comma that came along with a symbol is not part of it.
    while (to - from > 1 && QStringView(u".,;:!?\u2026").contains(text[to - 1]))
        --to;
    const qsizetype previousEnd = previous.start + previous.length;
    if (from == to) {
        // Only blanks: espeak-ng's place for a word after a full stop that
        // ends no sentence ("one. two").
        const WordSpan next = wordFrom(from);
        if (next.length == 0)
            return std::nullopt;
        return next;
    }
    const bool same = from == previous.start && to == previousEnd;
    if (previous.length > 0 && !same && from > previous.start && from < previousEnd) {
        const WordSpan next = wordFrom(std::min(previousEnd, size));
        if (next.length > 0)
            return next;
    }
    return WordSpan{from, to - from};
}

WordSpan SpeechEngine::WidenWord(QStringView text, WordSpan word, qsizetype limit) {
    limit = std::min(limit, text.size());
    qsizetype end = word.start + word.length;
    while (end < limit && InWord(text[end]))
        ++end;
    return {word.start, end - word.start};
}

void SpeechEngine::Speak(std::shared_ptr<SpeechChannel> channel, std::uint64_t generation,
                         SpeechRequest request) {
    {
        std::lock_guard lock(mutex_);
        pending_ = Job{std::move(channel), generation, std::move(request)};
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

void SpeechEngine::ApplyVoice(const QByteArray &voice) {
    const QByteArray wanted = voice.isEmpty() ? defaultVoice_ : voice;
    if (wanted == appliedVoice_)
        return;
    if (espeak_SetVoiceByName(wanted.constData()) == EE_OK)
        appliedVoice_ = wanted;
    else if (espeak_SetVoiceByName(defaultVoice_.constData()) == EE_OK)
        appliedVoice_ = defaultVoice_;
    // A voice brings settings of its own: pitch and speed are written afresh
    // so a slider position means the same in every voice.
    appliedRate_ = -1;
    appliedPitch_ = -1;
}

void SpeechEngine::Synthesize(Job &job) {
    const QString text = job.request.text;
    abandoned_ = false;
    current_ = &job;
    produced_ = 0;
    lastWord_ = {};
    DropHeld();
    ApplyVoice(job.request.voice);
    for (qsizetype from = std::clamp<qsizetype>(job.request.from, 0, text.size());
         from < text.size() && !abandoned_;) {
        if (!job.channel->queue.IsCurrent(job.generation))
            break;
        const qsizetype end = SliceEnd(text, from);
        const QStringView slice = QStringView(text).sliced(from, end - from);
        const QByteArray utf8 = EngineText(slice);
        sliceFrom_ = from;
        from = end;
        if (utf8.trimmed().isEmpty())
            continue;
        sliceOffsets_ = CodePointOffsets(slice);
        sliceBase_ = produced_;
        ApplySettings(*job.channel);
        // Plain text only: no espeakSSML, so '<' in the text is never a tag.
        espeak_Synth(utf8.constData(), static_cast<size_t>(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                     espeakCHARS_UTF8, nullptr, nullptr);
        if (!abandoned_)
            ReleaseHeld(job, end);
    }
    DropHeld();
    current_ = nullptr;
}

void SpeechEngine::DropHeld() {
    heldMarks_.clear();
    heldSamples_.clear();
    heldWord_.reset();
}

void SpeechEngine::ReleaseHeld(Job &job, qsizetype nextWord) {
    if (heldWord_) {
        WordSpan &word = heldMarks_[*heldWord_].word;
        const bool latest = word == lastWord_;
        word = WidenWord(job.request.text, word, nextWord);
        if (latest)
            lastWord_ = word;
    }
    if (!heldMarks_.empty())
        job.channel->timeline.Add(job.generation, heldMarks_);
    if (!heldSamples_.empty() &&
        !job.channel->queue.Push(job.generation, heldSamples_.data(), heldSamples_.size()))
        abandoned_ = true;
    DropHeld();
}

bool SpeechEngine::OnChunk(const short *samples, int count, const void *eventList) {
    if (!current_ || interrupt_.load()) {
        abandoned_ = true;
        return false;
    }
    Job &job = *current_;
    // Rate and pitch written while speaking take effect from the next clause.
    ApplySettings(*job.channel);

    // A word's marks and audio are held until the next word is placed: an
    // engine may speak several characters as one word yet place only the
    // first (espeak-ng 1.52 on "你好"), and the highlight is to cover all of
    // what is heard. Marks still go in before the audio they point into.
    const std::uint64_t base = job.request.streamBase + sliceBase_;
    const qsizetype codePoints = static_cast<qsizetype>(sliceOffsets_.size()) - 1;
    for (auto *e = static_cast<const espeak_EVENT *>(eventList);
         e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        SpeechMark mark;
        mark.sample = base + static_cast<std::uint64_t>(std::max(e->sample, 0));
        if (e->type == espeakEVENT_WORD) {
            // Positions count code points from 1 within the slice.
            const qsizetype first = std::clamp<qsizetype>(e->text_position - 1, 0, codePoints);
            const qsizetype last =
                std::clamp<qsizetype>(first + std::max(e->length, 0), first, codePoints);
            if (last == first)
                continue;
            const qsizetype start = sliceFrom_ + sliceOffsets_[std::size_t(first)];
            ReleaseHeld(job, start);
            if (abandoned_)
                return false;
            const std::optional<WordSpan> word =
                FitWord(job.request.text,
                        {start, sliceFrom_ + sliceOffsets_[std::size_t(last)] - start}, lastWord_);
            // espeak-ng may speak one piece of text as several words ("中文",
            // numbers): it is one word to the listener.
            if (!word || *word == lastWord_)
                continue;
            mark.kind = SpeechMark::Kind::Word;
            mark.word = *word;
            lastWord_ = *word;
            heldWord_ = heldMarks_.size();
        } else if (e->type == espeakEVENT_PHONEME) {
            const std::string_view name = PhonemeName(*e);
            if (name.substr(0, 1) == "(")
                continue; // a switch of language, not a sound
            mark.kind = SpeechMark::Kind::Mouth;
            mark.mouth = VisemeForPhoneme(name);
        } else {
            continue;
        }
        heldMarks_.push_back(mark);
    }

    if (samples && count > 0) {
        produced_ += static_cast<std::uint64_t>(count);
        heldSamples_.insert(heldSamples_.end(), samples, samples + count);
    }
    if (!heldWord_)
        ReleaseHeld(job, 0);
    return !abandoned_;
}
