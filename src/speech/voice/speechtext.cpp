#include "speechtext.h"

#include <algorithm>

namespace {
// Characters handed to the voice per request (a few paragraphs).
constexpr qsizetype kSliceChars = 2000;

bool EndsSentence(QChar c) {
    return c == u'.' || c == u'!' || c == u'?' || c == u';' || c == u':';
}
} // namespace

bool SpeechText::HasSomethingToSay(QStringView text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return !c.isSpace() && c.category() != QChar::Other_Control;
    });
}

QByteArray SpeechText::EngineText(QStringView text) {
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        // A pair is taken whole before a lone surrogate is blanked: the order of
        // these branches matters, though two do the same.
        // NOLINTNEXTLINE(bugprone-branch-clone)
        if ((u < 0x20 && u != u'\n' && u != u'\t') || u == 0x7f || (u >= 0x80 && u < 0xa0)) {
            clean += u' ';
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            // One code point in, one out: word positions count code points.
            clean += text.sliced(i, 2);
            ++i;
        } else if (c.isSurrogate() || c == QChar::ReplacementCharacter) {
            // Silent in espeak-ng, yet 1.51 puts the next word's mark on it.
            clean += u' ';
        } else {
            clean += c;
        }
    }
    return clean.toUtf8();
}

std::vector<qsizetype> SpeechText::CodePointOffsets(QStringView text) {
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

qsizetype SpeechText::SliceEnd(QStringView text, qsizetype from) {
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

std::optional<WordSpan> SpeechText::FitWord(QStringView text, WordSpan word, WordSpan previous) {
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

WordSpan SpeechText::WidenWord(QStringView text, WordSpan word, qsizetype limit) {
    limit = std::min(limit, text.size());
    qsizetype end = word.start + word.length;
    while (end < limit && InWord(text[end]))
        ++end;
    return {word.start, end - word.start};
}
