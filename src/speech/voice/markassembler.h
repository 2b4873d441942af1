#pragma once

#include "speech/voice/speechtimeline.h"
#include "speech/voice/voiceprotocol.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Turns an engine's chunks of audio and events into the marks and audio of a
// channel. A word's marks and audio are held until the next word is placed,
// or the engine's piece of text ends: an engine may speak several characters
// as one word yet place only the first, and the highlight is to cover all of
// what is heard. Marks are handed on before the audio they point into.
class MarkAssembler {
public:
    // Takes marks and the audio that follows them (either may be empty);
    // false when the audio was turned away.
    using Sink = std::function<bool(const std::vector<SpeechMark> &marks,
                                    const std::vector<std::int16_t> &samples)>;

    explicit MarkAssembler(Sink sink) : sink_(std::move(sink)) {}

    // A new text, whose word marks point into `text` and whose audio begins at
    // `streamBase` of the channel's handed-over count.
    void BeginText(const QString &text, std::uint64_t streamBase);
    // A slice of the text, from UTF-16 offset `from`, with the UTF-16 offset
    // of each of its code points (and of its end).
    void BeginSlice(qsizetype from, std::vector<qsizetype> offsets);
    // One chunk of synthesized samples and the events that came with it;
    // false when the sink turned audio away.
    bool OnChunk(const std::int16_t *samples, std::size_t count,
                 const std::vector<voice::Event> &events);
    // Hands the held marks and audio on, the held word widened up to
    // `nextWord` (where the engine placed the next one); false as OnChunk.
    bool ReleaseHeld(qsizetype nextWord);
    void DropHeld();
    // Marks or audio wait for the next word to be placed.
    bool Holding() const { return !heldMarks_.empty() || !heldSamples_.empty(); }

private:
    Sink sink_;
    QString text_;
    std::uint64_t streamBase_ = 0;
    // Where the slice being synthesized sits: its offset in the text, the
    // UTF-16 offset of each of its code points, and the text's samples before it.
    qsizetype sliceFrom_ = 0;
    std::vector<qsizetype> sliceOffsets_;
    std::uint64_t sliceBase_ = 0;
    std::uint64_t produced_ = 0;        // samples of the text so far
    std::vector<SpeechMark> heldMarks_; // from the latest word mark on, if any
    std::vector<std::int16_t> heldSamples_;
    std::optional<std::size_t> heldWord_; // its place in heldMarks_
    WordSpan lastWord_;                   // the text's latest word mark
};
