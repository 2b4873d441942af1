#include "parallelsynthesis.h"

#include "speech/voice/speechengine.h"

#include <algorithm>

namespace {
// A part is a sentence, or a few short ones: shorter than the audio a helper
// may hold ahead, so each can finish its part while the one before is taken.
constexpr qsizetype kPartChars = 40;
// One reader alone keeps a second ahead of the writing, as it always has.
constexpr std::size_t kOneReaderSamples = 22050;

bool EndsSentence(QChar c) {
    return QStringView(u".!?\u0964\u061f\u06d4\u1362").contains(c);
}
// Chinese and Japanese end a sentence with a wide stop and no blank after it.
bool EndsWideSentence(QChar c) {
    return QStringView(u"\u3002\uff01\uff1f").contains(c);
}

// A line break with a blank line after it: the end of a paragraph, where a
// voice pauses whether or not a stop ended it.
bool EndsParagraph(QStringView text, qsizetype at) {
    if (text[at] != u'\n')
        return false;
    for (qsizetype i = at + 1; i < text.size() && text[i].isSpace(); ++i)
        if (text[i] == u'\n')
            return true;
    return false;
}

// Quotes and brackets that may close a sentence after its full stop, or open
// the next one.
bool Closes(QChar c) {
    return QStringView(u"\"')]\u00bb\u201d\u2019\u300d\u300f\uff09").contains(c);
}
bool Opens(QChar c) {
    return QStringView(u"\"'(\u00ab\u201c\u2018\u00bf\u00a1\u300c\u300e\uff08").contains(c);
}

// "J." and "Mr." end no sentence: a voice reads on without a pause.
bool EndsShortName(QStringView text, qsizetype stop) {
    qsizetype from = stop;
    while (from > 0 && text[from - 1].isLetter())
        --from;
    const QStringView word = text.sliced(from, stop - from);
    if (word.size() == 1)
        return true;
    if (word.size() < 2 || !word[0].isUpper() ||
        !std::all_of(word.begin() + 1, word.end(), [](QChar c) { return c.isLower(); }))
        return false;
    static const QStringView kTitles[] = {u"Mrs",  u"Rev",  u"Gen", u"Col", u"Sgt",
                                          u"Capt", u"Prof", u"Gov", u"Sen"};
    return word.size() == 2 ||
           std::find(std::begin(kTitles), std::end(kTitles), word) != std::end(kTitles);
}

// Where to start reading so that the part at `from` begins as it does inside
// one reading: a few words earlier, in the sentence before. A voice starting
// afresh starts its first word differently (espeak-ng with a sharper onset,
// Flite and Festival as a short piece of their own, for a quick first
// sound); that lead-in is cut away, heard by nobody. Text without blanks
// between words (Chinese) leads in by a few characters instead.
qsizetype LeadIn(QStringView text, qsizetype from) {
    constexpr int kLeadWords = 3;
    constexpr qsizetype kLeadChars = 80;
    constexpr qsizetype kLeadUnbroken = 12;
    qsizetype at = from;
    for (int words = 0; words < kLeadWords && at > 0;) {
        while (at > 0 && text[at - 1].isSpace())
            --at;
        while (at > 0 && !text[at - 1].isSpace())
            --at;
        ++words;
    }
    if (from - at > kLeadChars) {
        at = from - kLeadUnbroken;
        if (text[at].isLowSurrogate())
            --at;
    }
    return at;
}

// The end of the word at `from`: up to the next blank once a letter or
// digit has come, so that it is a word a voice places; in text without
// blanks, a few characters.
qsizetype FirstWordEnd(QStringView text, qsizetype from) {
    constexpr qsizetype kMostChars = 16;
    bool spoken = false;
    qsizetype end = from;
    for (; end < text.size() && !(spoken && text[end].isSpace()) && end - from < kMostChars; ++end)
        spoken = spoken || text[end].isLetterOrNumber();
    if (end < text.size() && text[end].isLowSurrogate())
        ++end;
    return end;
}
} // namespace

ParallelSynthesis::ParallelSynthesis(QString text, QByteArray voice, int rate, int pitch, int jobs)
    : text_(std::move(text)), voice_(std::move(voice)), rate_(rate), pitch_(pitch),
      jobs_(std::max(jobs, 1)) {
}

ParallelSynthesis::~ParallelSynthesis() {
    // Every helper is turned away at once, then each engine lets its go.
    for (const std::shared_ptr<SpeechChannel> &channel : channels_)
        channel->queue.Close();
    engines_.clear();
}

std::vector<qsizetype> ParallelSynthesis::Cuts(QStringView text, qsizetype minimum) {
    std::vector<qsizetype> cuts;
    qsizetype last = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 1; i < size; ++i) {
        // Stops that need no blank or capital after them.
        const bool wide = EndsWideSentence(text[i]) || EndsParagraph(text, i);
        if (!wide && (!EndsSentence(text[i]) || (text[i] == u'.' && EndsShortName(text, i))))
            continue;
        qsizetype next = i + 1;
        while (next < size &&
               (Closes(text[next]) || EndsSentence(text[next]) || EndsWideSentence(text[next])))
            ++next;
        if (next >= size || (!wide && !text[next].isSpace()))
            continue;
        while (next < size && text[next].isSpace())
            ++next;
        if (next >= size || (!wide && !Opens(text[next]) && !text[next].isDigit() &&
                             !(text[next].isLetter() && !text[next].isLower())))
            continue;
        if (next - last >= minimum) {
            cuts.push_back(next);
            last = next;
        }
        i = next - 1;
    }
    return cuts;
}

QString ParallelSynthesis::Start() {
    std::vector<qsizetype> bounds{0};
    if (jobs_ > 1)
        for (const qsizetype cut : Cuts(text_, kPartChars))
            bounds.push_back(cut);
    bounds.push_back(text_.size());
    // Each part but the last is read on into the next part's first word: the
    // pause before that word is the one a single reading makes there.
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        Part part;
        part.from = bounds[i];
        part.to = bounds[i + 1];
        part.lead = i == 0 ? part.from : LeadIn(text_, part.from);
        part.ask = FirstWordEnd(text_, part.to);
        if (i == 0)
            part.begin = 0;
        parts_.push_back(std::move(part));
    }
    // One reader is the process's own engine; the others start beside it, all
    // at once.
    const std::size_t helpers = std::min(std::size_t(jobs_), parts_.size());
    engines_.push_back(SpeechEngine::Acquire());
    while (engines_.size() < helpers)
        engines_.push_back(SpeechEngine::Create());
    for (const std::shared_ptr<SpeechEngine> &engine : engines_)
        if (QString error = engine->StartupError(); !error.isEmpty())
            return error;
    sampleRate_ = engines_.front()->SampleRate();
    capacity_ = jobs_ > 1 ? std::size_t(sampleRate_) * kAheadSeconds : kOneReaderSamples;
    for (std::size_t helper = 0; helper < engines_.size(); ++helper) {
        channels_.push_back(std::make_shared<SpeechChannel>(capacity_));
        channels_.back()->rate = rate_;
        channels_.back()->pitch = pitch_;
        Give(helper);
    }
    return {};
}

void ParallelSynthesis::Give(std::size_t helper) {
    if (given_ >= parts_.size())
        return;
    Part &part = parts_[given_++];
    part.helper = helper;
    // Its part before has been taken: the helper's queue starts afresh.
    part.channel = channels_[helper];
    const std::uint64_t generation = part.channel->queue.Begin();
    part.channel->timeline.Begin(generation);
    engines_[helper]->Speak(
        part.channel, generation,
        SpeechRequest{text_.mid(part.lead, part.ask - part.lead), 0, 0, voice_});
}

void ParallelSynthesis::TakeMarks(Part &part) {
    const std::vector<SpeechMark> pending = part.channel->timeline.Pending();
    if (pending.empty())
        return;
    for (SpeechMark mark : pending) {
        const bool word = mark.kind == SpeechMark::Kind::Word;
        // The part's first word, after the lead-in: where it begins.
        if (word && !part.begin && mark.word.start >= part.from - part.lead)
            part.begin = mark.sample;
        // The first word of the next part: where this one ends.
        if (word && !part.end && mark.word.start >= part.to - part.lead)
            part.end = mark.sample;
        if (!part.begin || mark.sample < *part.begin || (part.end && mark.sample >= *part.end))
            continue;
        mark.sample += before_ - *part.begin;
        if (word)
            mark.word.start += part.lead;
        marks_.push_back(mark);
    }
    part.channel->timeline.Advance(pending.back().sample + 1);
}

std::size_t ParallelSynthesis::Pull(std::int16_t *out, std::size_t max,
                                    std::vector<SpeechMark> &marks) {
    std::size_t total = 0;
    while (total < max && current_ < parts_.size() && fault_.isEmpty()) {
        // A helper that failed, on this part or one ahead, fails the whole:
        // nothing after its part could follow.
        for (std::size_t k = current_; k < given_ && fault_.isEmpty(); ++k)
            fault_ = parts_[k].channel->Fault();
        if (!fault_.isEmpty())
            break;
        Part &part = parts_[current_];
        const std::uint64_t from = part.pulled;
        const std::size_t pulled = part.channel->queue.Pull(out + total, max - total);
        part.pulled += pulled;
        // Marks go in ahead of their audio: those of the samples pulled are in,
        // and all of them once the audio has ended. Until the part's first
        // word has come, what was pulled is lead-in.
        const bool ended = pulled == 0 && part.channel->queue.Drained();
        TakeMarks(part);
        if (ended && !part.begin)
            part.begin = part.pulled;
        const std::uint64_t begin = part.begin ? *part.begin : part.pulled;
        const std::uint64_t end = std::min(part.pulled, part.end ? *part.end : part.pulled);
        const std::uint64_t first = std::max(from, begin);
        const std::size_t n = first < end ? std::size_t(end - first) : 0;
        if (n > 0 && first > from)
            std::copy_n(out + total + (first - from), n, out + total);
        total += n;
        taken_ += n;
        const bool done = ended || (part.end && part.pulled >= *part.end);
        if (!done) {
            if (pulled > 0)
                continue;
            break;
        }
        if (ended)
            fault_ = part.channel->Fault();
        before_ += taken_;
        taken_ = 0;
        part.channel.reset();
        ++current_;
        // The next part's first word, said only for the pause before it, is
        // dropped with the helper's queue.
        Give(part.helper);
    }
    const std::uint64_t reached = before_ + taken_;
    while (!marks_.empty() && marks_.front().sample < reached) {
        marks.push_back(marks_.front());
        marks_.pop_front();
    }
    return total;
}

bool ParallelSynthesis::Drained() const {
    return !fault_.isEmpty() || current_ >= parts_.size();
}
