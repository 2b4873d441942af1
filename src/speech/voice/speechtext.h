#pragma once

#include "speech/voice/speechtimeline.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

// The rules for text on its way to espeak-ng and for the words it places.
namespace SpeechText {

// Whether a voice would say anything of the text: something other than
// blanks and control characters.
bool HasSomethingToSay(QStringView text);

// Text as it goes to espeak-ng: UTF-8, with control characters (which
// espeak-ng would take as embedded commands), lone surrogates and U+FFFD
// turned into spaces, so every code point stands for one UTF-16 unit or
// one surrogate pair of the text.
QByteArray EngineText(QStringView text);
// espeak-ng reports word positions in code points; this gives the UTF-16
// offset of every code point of `text`, plus its end.
std::vector<qsizetype> CodePointOffsets(QStringView text);
// A word as espeak-ng placed it, fitted to the text: without surrounding
// blanks (none left: not a word to show), and, when it lands inside the
// word before (as for the second word of a phrase it knows as a whole,
// "déjà vu"), moved to the word that follows that one.
std::optional<WordSpan> FitWord(QStringView text, WordSpan word, WordSpan previous);
// A word widened over the letters right after it, up to `limit`: what an
// engine spoke as part of the word without placing them.
WordSpan WidenWord(QStringView text, WordSpan word, qsizetype limit);
// Long texts go to espeak-ng a slice at a time, so the first sound never
// waits for the whole text to be converted. A slice ends after a sentence
// or line where possible, else after a space. Returns the end of the slice
// starting at `from`.
qsizetype SliceEnd(QStringView text, qsizetype from);

} // namespace SpeechText
