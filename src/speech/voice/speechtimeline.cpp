#include "speechtimeline.h"

#include <algorithm>
#include <utility>

void SpeechTimeline::Begin(std::uint64_t generation) {
    std::lock_guard lock(mutex_);
    generation_ = generation;
    pending_.clear();
    heard_ = {};
}

void SpeechTimeline::Clear() {
    Begin(0);
}

void SpeechTimeline::Rewind(std::uint64_t generation, std::uint64_t position) {
    std::lock_guard lock(mutex_);
    generation_ = generation;
    const auto from =
        std::lower_bound(pending_.begin(), pending_.end(), position,
                         [](const SpeechMark &m, std::uint64_t p) { return m.sample < p; });
    pending_.erase(from, pending_.end());
}

void SpeechTimeline::Add(std::uint64_t generation, const std::vector<SpeechMark> &marks) {
    std::lock_guard lock(mutex_);
    if (generation == 0 || generation != generation_)
        return;
    for (const SpeechMark &mark : marks) {
        if (pending_.size() >= kMaxPending)
            pending_.pop_front();
        pending_.push_back(mark);
    }
    if (waiting_ && !marks.empty() && listener_) {
        waiting_ = false;
        listener_();
    }
}

SpeechTimeline::Heard SpeechTimeline::Advance(std::uint64_t played, std::vector<WordSpan> *passed) {
    std::lock_guard lock(mutex_);
    // A mark is reached once its first sample has been played.
    while (!pending_.empty() && pending_.front().sample < played) {
        const SpeechMark &mark = pending_.front();
        if (mark.kind == SpeechMark::Kind::Word) {
            heard_.hasWord = true;
            heard_.word = mark.word;
            heard_.wordSample = mark.sample;
            ++heard_.wordSerial;
            heard_.afterWord = false;
            if (passed)
                passed->push_back(mark.word);
        } else {
            heard_.mouth = mark.mouth;
            heard_.afterWord =
                heard_.hasWord && mark.mouth == Viseme::Rest && mark.sample > heard_.wordSample;
        }
        pending_.pop_front();
    }
    return heard_;
}

std::vector<SpeechMark> SpeechTimeline::Pending() const {
    std::lock_guard lock(mutex_);
    return {pending_.begin(), pending_.end()};
}

std::optional<std::uint64_t> SpeechTimeline::NextMark(bool callWhenNone) {
    std::lock_guard lock(mutex_);
    if (!pending_.empty())
        return pending_.front().sample;
    waiting_ = waiting_ || callWhenNone;
    return std::nullopt;
}

void SpeechTimeline::SetListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}
