#pragma once

#include "speech/voice/voiceprotocol.h"

#include <cstddef>
#include <cstdint>
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
