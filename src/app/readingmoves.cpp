#include "readingmoves.h"

#include <QChar>
#include <algorithm>
#include <array>

namespace ReadingMoves {
namespace {

bool IsBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

bool IsClosing(QChar c) {
    switch (c.unicode()) {
    case u'"':
    case u'\'':
    case u')':
    case u']':
    case u'}':
    case 0x2019: // ’
    case 0x201D: // ”
    case 0x00BB: // »
    case 0x300D: // 」
    case 0x300F: // 』
        return true;
    default:
        return false;
    }
}

bool IsEastAsianStop(QChar c) {
    return c == QChar(0x3002) || c == QChar(0xFF01) || c == QChar(0xFF1F); // 。！？
}

bool IsStop(QChar c) {
    return c == u'.' || c == u'!' || c == u'?' || c == QChar(0x2026) || IsEastAsianStop(c);
}

// Words whose full stop marks the abbreviation, not the end of a sentence.
bool IsAbbreviation(QStringView word) {
    static const std::array<QStringView, 34> kWords = {
        u"mr",     u"mrs",  u"ms",  u"dr",  u"prof", u"st",  u"jr",  u"sr",   u"vs",
        u"e.g",    u"i.e",  u"cf",  u"no",  u"nos",  u"fig", u"vol", u"pp",   u"ca",
        u"approx", u"dept", u"mt",  u"gen", u"col",  u"lt",  u"sgt", u"capt", u"rev",
        u"hon",    u"jan",  u"feb", u"aug", u"sept", u"oct", u"nov"};
    return std::any_of(kWords.begin(), kWords.end(), [&](QStringView known) {
        return word.compare(known, Qt::CaseInsensitive) == 0;
    });
}

qsizetype FirstWord(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    return i < text.size() ? i : -1;
}

// The space before `i` holds an empty line.
bool BlankLineBefore(QStringView text, qsizetype i) {
    int breaks = 0;
    for (qsizetype j = i - 1; j >= 0 && text[j].isSpace(); --j) {
        if (text[j] == u'\n' || text[j] == QChar::ParagraphSeparator ||
            (text[j] == u'\r' && (j + 1 >= text.size() || text[j + 1] != u'\n')))
            ++breaks;
        if (breaks >= 2)
            return true;
    }
    return false;
}

bool BreakBefore(QStringView text, qsizetype i) {
    for (qsizetype j = i - 1; j >= 0 && text[j].isSpace(); --j)
        if (IsBreak(text[j]))
            return true;
    return false;
}

// The text up to `end` (exclusive; no space before it) finishes a sentence.
bool EndsSentence(QStringView text, qsizetype end) {
    qsizetype k = end - 1;
    while (k >= 0 && IsClosing(text[k]))
        --k;
    if (k < 0 || !IsStop(text[k]))
        return false;
    if (text[k] != u'.' || (k > 0 && text[k - 1] == u'.'))
        return true; // ! ? … and "..."
    // The word before the full stop, inner full stops included ("e.g").
    const auto inWord = [&](qsizetype j) {
        const QChar c = text[j];
        return c.isLetterOrNumber() || c == u'\'' || c == QChar(0x2019) || c == u'-' ||
               (c == u'.' && j > 0 && text[j - 1].isLetter());
    };
    qsizetype w = k;
    while (w > 0 && inWord(w - 1))
        --w;
    const QStringView word = text.sliced(w, k - w);
    if (word.size() == 1 && word[0].isUpper())
        return false; // an initial
    return !IsAbbreviation(word);
}

// Whether a sentence begins at `i`.
bool SentenceBeginsAt(QStringView text, qsizetype i) {
    if (i < 0 || i >= text.size() || text[i].isSpace())
        return false;
    if (i == FirstWord(text))
        return true;
    if (!text[i - 1].isSpace()) {
        // East Asian text needs no space after its full stops.
        qsizetype k = i - 1;
        while (k > 0 && IsClosing(text[k]))
            --k;
        return IsEastAsianStop(text[k]) && !IsClosing(text[i]);
    }
    if (BlankLineBefore(text, i))
        return true;
    if (text[i].isLower())
        return false;
    qsizetype end = i;
    while (end > 0 && text[end - 1].isSpace())
        --end;
    return EndsSentence(text, end);
}

bool ParagraphBeginsAt(QStringView text, qsizetype i) {
    if (i < 0 || i >= text.size() || text[i].isSpace())
        return false;
    if (i == FirstWord(text) || BlankLineBefore(text, i))
        return true;
    return BreakBefore(text, i) && SentenceBeginsAt(text, i);
}

template <typename Begins> qsizetype StartOf(QStringView text, qsizetype at, Begins begins) {
    const qsizetype first = FirstWord(text);
    if (first < 0)
        return 0;
    for (qsizetype i = std::clamp<qsizetype>(at, 0, text.size() - 1); i > first; --i)
        if (begins(text, i))
            return i;
    return first;
}

template <typename Begins> qsizetype NextOf(QStringView text, qsizetype at, Begins begins) {
    for (qsizetype i = std::max<qsizetype>(at + 1, 0); i < text.size(); ++i)
        if (begins(text, i))
            return i;
    return -1;
}

template <typename Begins> qsizetype PreviousOf(QStringView text, qsizetype at, Begins begins) {
    const qsizetype current = StartOf(text, at, begins);
    return current > 0 ? StartOf(text, current - 1, begins) : current;
}

} // namespace

qsizetype SentenceStart(QStringView text, qsizetype at) {
    return StartOf(text, at, SentenceBeginsAt);
}

qsizetype ParagraphStart(QStringView text, qsizetype at) {
    return StartOf(text, at, ParagraphBeginsAt);
}

qsizetype WordStart(QStringView text, qsizetype at) {
    qsizetype i = std::clamp<qsizetype>(at, 0, text.size());
    if (i < text.size() && !text[i].isSpace()) {
        while (i > 0 && !text[i - 1].isSpace())
            --i;
        return i;
    }
    while (i < text.size() && text[i].isSpace())
        ++i;
    return i < text.size() ? i : -1;
}

qsizetype Target(QStringView text, qsizetype at, Move move, const QList<qsizetype> &sections) {
    switch (move) {
    case Move::PreviousSentence:
        return PreviousOf(text, at, SentenceBeginsAt);
    case Move::NextSentence:
        return NextOf(text, at, SentenceBeginsAt);
    case Move::PreviousParagraph:
        return PreviousOf(text, at, ParagraphBeginsAt);
    case Move::NextParagraph:
        return NextOf(text, at, ParagraphBeginsAt);
    case Move::PreviousSection:
    case Move::NextSection: {
        QList<qsizetype> starts = sections;
        std::sort(starts.begin(), starts.end());
        if (starts.isEmpty())
            return -1; // plain text has no sections to move between
        if (move == Move::NextSection) {
            const auto next = std::upper_bound(starts.begin(), starts.end(), at);
            return next == starts.end() ? -1 : *next;
        }
        // The section holding `at`, then the one before it.
        auto current = std::upper_bound(starts.begin(), starts.end(), at);
        if (current == starts.begin())
            return -1; // before the first section
        --current;
        return current == starts.begin() ? *current : *(current - 1);
    }
    }
    return -1;
}

} // namespace ReadingMoves
