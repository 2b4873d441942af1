#pragma once

#include "platform/abandonablework.h"
#include "speech/voice/voiceprotocol.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the helpers of the English engines (Flite, Festival) share: text in the
// form their tokenizers know, pieces short enough to be heard soon, and their
// US phones as the face's mouth reads them.
namespace EnglishText {

// One synthesized piece: its audio and its marks (positions in code points of
// the whole request from 1, samples from the piece's start).
struct Piece {
    std::vector<std::int16_t> samples;
    std::vector<voice::Event> marks;
};
// A piece as bytes, to come back from a copy of the helper that made it, with
// a count of the copy's own; Unpacked is false on bytes that are not one.
std::vector<char> Packed(const Piece &piece, std::uint64_t count);
bool Unpacked(const std::vector<char> &bytes, Piece &piece, std::uint64_t &count);

// These engines cannot stop a synthesis part-way, and a sentence takes them
// up to seconds: a newer request (a slider moved) would wait for it. So a
// request's pieces after its first are made in copies of the helper, dropped
// when a request comes (platform/abandonablework.h). The second is begun
// before the first, which is made in the helper itself, at once: it is short.
class PiecesInCopies {
public:
    // Makes bytes [from, to) of the request's text, with the sliders as they are.
    using Make = std::function<Piece(std::size_t from, std::size_t to)>;
    // `counter`: a count the copy reports back with its piece (0 for none).
    explicit PiecesInCopies(std::function<std::uint64_t()> counter = {})
        : counter_(std::move(counter)) {}

    // Begins the piece [from, to) in a copy, to be taken later.
    void Begin(std::size_t from, std::size_t to, const Make &make);
    // The piece [from, to): the one begun, unless the sliders have moved since,
    // or one made now; in this process if no copy can be. `counted`: how far
    // the counter went in the copy. False when the request was abandoned.
    bool Take(std::size_t from, std::size_t to, const Make &make, Piece &piece,
              std::uint64_t &counted);

private:
    std::function<std::uint64_t()> counter_;
    AbandonableCopy ahead_;
    std::size_t aheadFrom_ = 0, aheadTo_ = 0;
    std::int32_t aheadRate_ = 0, aheadPitch_ = 0;
};

// Typographic marks as the ASCII ones these tokenizers know, one character
// for one, so positions in the text stay as they were.
std::string AsciiPunctuation(const std::string &text);
// Where the piece from `from` ends: at a sentence's end, a line's, or after
// `longest` bytes (at a blank where there is one). A `first` piece ends
// sooner, after `firstWords` words or a comma, so the first sound of a text
// does not wait for a whole sentence.
std::size_t PieceEnd(const std::string &text, std::size_t from, bool first = false,
                     std::size_t longest = 400, int firstWords = 4);
// Whether a piece ending at `to` ends a sentence (or the text): the pause
// after it is kept, where a piece that stops inside a sentence loses its own.
bool EndsSentence(const std::string &text, std::size_t to);
// A piece's audio without the pause the engine puts before it (speech resumed
// from a word begins with it, and the first sound comes sooner), nor the one
// after it when it `endsInside` a sentence: cut after `lastSound`. The pause
// after a sentence stays. Marks are moved with the audio and put in order.
void TrimPauses(std::vector<std::int16_t> &samples, std::vector<voice::Event> &marks,
                std::int32_t lastSound, bool endsInside);
// Code points of `text` in [from, to).
std::int32_t CodePoints(const std::string &text, std::size_t from, std::size_t to);
// A US English phone ("aa", "hh"...) as IPA letters; pauses and anything
// unknown as "_", the mouth at rest.
const char *Ipa(const char *phone);

} // namespace EnglishText
