#pragma once

#include <QList>
#include <QStringView>

// Where reading goes when the listener asks for the previous or next
// sentence, paragraph or section. Offsets are UTF-16 units into the text.
//
// A sentence ends at . ! ? or … (and the CJK full stops), with any closing
// quotes or brackets after it, before white space and a word that does not
// start in lower case; a full stop after a known abbreviation ("Mr.", "e.g.")
// or a single letter (an initial) ends none. A paragraph ends at a blank line,
// or at a line break after the end of a sentence; it always ends a sentence.
namespace ReadingMoves {

enum class Move {
    PreviousSentence,
    NextSentence,
    PreviousParagraph,
    NextParagraph,
    PreviousSection,
    NextSection,
};

// Where the sentence or paragraph holding `at` begins (for `at` in the space
// between two, the earlier one).
qsizetype SentenceStart(QStringView text, qsizetype at);
qsizetype ParagraphStart(QStringView text, qsizetype at);
// Where the word holding `at` begins; past the end of a word, the next word.
// -1 when nothing but space follows.
qsizetype WordStart(QStringView text, qsizetype at);

// Where `move` from `at` leads: the next one's start, or -1 when `at` is in
// the last; the previous one's start, or the first one's own start when
// there is none before. Sections are the offsets where they begin; with
// none, section moves lead nowhere.
qsizetype Target(QStringView text, qsizetype at, Move move, const QList<qsizetype> &sections = {});

} // namespace ReadingMoves
