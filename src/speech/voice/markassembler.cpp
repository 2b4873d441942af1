#include "markassembler.h"

#include "speech/voice/speechtext.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {
// An espeak-ng phoneme name: up to 8 bytes, not terminated when it fills them.
std::string_view PhonemeName(const voice::Event &e) {
    return {e.phoneme, strnlen(e.phoneme, sizeof e.phoneme)};
}
} // namespace

void MarkAssembler::BeginText(const QString &text, std::uint64_t streamBase) {
    text_ = text;
    streamBase_ = streamBase;
    produced_ = 0;
    lastWord_ = {};
    DropHeld();
}

void MarkAssembler::BeginSlice(qsizetype from, std::vector<qsizetype> offsets) {
    sliceFrom_ = from;
    sliceOffsets_ = std::move(offsets);
    sliceBase_ = produced_;
}

void MarkAssembler::DropHeld() {
    heldMarks_.clear();
    heldSamples_.clear();
    heldWord_.reset();
}

bool MarkAssembler::ReleaseHeld(qsizetype nextWord) {
    if (heldWord_) {
        WordSpan &word = heldMarks_[*heldWord_].word;
        const bool latest = word == lastWord_;
        word = SpeechText::WidenWord(text_, word, nextWord);
        if (latest)
            lastWord_ = word;
    }
    const bool taken =
        (heldMarks_.empty() && heldSamples_.empty()) || sink_(heldMarks_, heldSamples_);
    DropHeld();
    return taken;
}

bool MarkAssembler::OnChunk(const std::int16_t *samples, std::size_t count,
                            const std::vector<voice::Event> &events) {
    const std::uint64_t base = streamBase_ + sliceBase_;
    const qsizetype codePoints = static_cast<qsizetype>(sliceOffsets_.size()) - 1;
    std::optional<qsizetype> pieceEnd; // after this chunk's audio
    for (const voice::Event &event : events) {
        const voice::Event *e = &event;
        SpeechMark mark;
        mark.sample = base + static_cast<std::uint64_t>(std::max(e->sample, 0));
        if (e->type == voice::Event::Word) {
            // Positions count code points from 1 within the slice.
            const qsizetype first = std::clamp<qsizetype>(e->textPosition - 1, 0, codePoints);
            const qsizetype last =
                std::clamp<qsizetype>(first + std::max(e->length, 0), first, codePoints);
            if (last == first)
                continue;
            const qsizetype start = sliceFrom_ + sliceOffsets_[std::size_t(first)];
            if (!ReleaseHeld(start))
                return false;
            const std::optional<WordSpan> word = SpeechText::FitWord(
                text_, {start, sliceFrom_ + sliceOffsets_[std::size_t(last)] - start}, lastWord_);
            // espeak-ng may speak one piece of text as several words ("中文",
            // numbers): it is one word to the listener.
            if (!word || *word == lastWord_)
                continue;
            mark.kind = SpeechMark::Kind::Word;
            mark.word = *word;
            lastWord_ = *word;
            heldWord_ = heldMarks_.size();
        } else if (e->type == voice::Event::PieceEnd) {
            const qsizetype at = std::clamp<qsizetype>(e->textPosition - 1, 0, codePoints);
            pieceEnd = sliceFrom_ + sliceOffsets_[std::size_t(at)];
            continue;
        } else if (e->type == voice::Event::Phoneme) {
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

    if (count > 0) {
        produced_ += static_cast<std::uint64_t>(count);
        heldSamples_.insert(heldSamples_.end(), samples, samples + count);
    }
    if (pieceEnd)
        return ReleaseHeld(*pieceEnd);
    if (!heldWord_)
        return ReleaseHeld(0);
    return true;
}
