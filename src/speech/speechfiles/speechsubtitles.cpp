#include "speechsubtitles.h"

#include <QStringView>
#include <algorithm>
#include <utility>

namespace {
// Chinese and Japanese end a sentence with a wide stop and no blank after it.
bool EndsWideSentence(QChar c) {
    return c == u'\u3002' || c == u'\uff01' || c == u'\uff1f';
}

bool EndsSentence(QChar c) {
    return c == u'.' || c == u'!' || c == u'?' || c == u'\u2026' || c == u'\n' ||
           EndsWideSentence(c);
}

// Trailing punctuation that belongs to the last word shown: up to the next
// blank, or in text without blanks, up to the next sentence's first letter.
qsizetype ShownEnd(const QString &text, qsizetype end) {
    bool wideStop = false;
    for (; end < text.size() && !text[end].isSpace(); ++end) {
        if (wideStop && text[end].isLetterOrNumber())
            break;
        wideStop = wideStop || EndsWideSentence(text[end]);
    }
    return end;
}
} // namespace

SpeechSubtitles::SpeechSubtitles(const QString &text, int sampleRate)
    : text_(text), sampleRate_(sampleRate > 0 ? sampleRate : 1) {
}

std::uint64_t SpeechSubtitles::Ms(std::uint64_t sample) const {
    return sample * 1000 / std::uint64_t(sampleRate_);
}

void SpeechSubtitles::AddWord(WordSpan word, std::uint64_t sample) {
    if (!sentence_.empty()) {
        const WordSpan last = sentence_.back().word;
        const qsizetype gapFrom = std::min(last.start + last.length, text_.size());
        const qsizetype gapTo = std::clamp(word.start, gapFrom, text_.size());
        const QStringView gap = QStringView(text_).sliced(gapFrom, gapTo - gapFrom);
        if (std::any_of(gap.begin(), gap.end(), EndsSentence))
            CloseSentence(sample);
    }
    sentence_.push_back({word, sample});
}

void SpeechSubtitles::Finish(std::uint64_t sample) {
    if (!sentence_.empty())
        CloseSentence(sample);
}

void SpeechSubtitles::CloseSentence(std::uint64_t endSample) {
    const TimedWord &first = sentence_.front();
    const TimedWord &last = sentence_.back();
    const qsizetype from = std::clamp<qsizetype>(first.word.start, 0, text_.size());
    const qsizetype to =
        std::clamp(ShownEnd(text_, last.word.start + last.word.length), from, text_.size());
    const QString shown = QStringView(text_).sliced(from, to - from).toString().simplified();
    const std::uint64_t start = Ms(first.sample);
    const std::uint64_t end = std::max(Ms(endSample), start + 1);

    ++cues_;
    srt_ += QByteArray::number(cues_) + '\n' + SrtTime(start) + " --> " + SrtTime(end) + '\n' +
            shown.toUtf8() + "\n\n";

    lrc_ += '[' + LrcTime(start) + ']';
    for (std::size_t i = 0; i < sentence_.size(); ++i) {
        const TimedWord &w = sentence_[i];
        const qsizetype wordFrom = std::clamp<qsizetype>(w.word.start, 0, text_.size());
        const qsizetype wordTo =
            i + 1 < sentence_.size()
                ? std::clamp<qsizetype>(sentence_[i + 1].word.start, wordFrom, text_.size())
                : to;
        const QStringView written = QStringView(text_).sliced(wordFrom, wordTo - wordFrom);
        QString piece = written.toString().simplified();
        // A blank between words only where the text has one (none in Chinese).
        if (i + 1 < sentence_.size() && !written.isEmpty() && written.back().isSpace())
            piece += u' ';
        lrc_ += '<' + LrcTime(Ms(w.sample)) + '>' + piece.toUtf8();
    }
    lrc_ += '\n';
    sentence_.clear();
}

QByteArray SpeechSubtitles::TakeSrt() {
    return std::exchange(srt_, {});
}

QByteArray SpeechSubtitles::TakeLrc() {
    return std::exchange(lrc_, {});
}

QByteArray SpeechSubtitles::SrtTime(std::uint64_t ms) {
    return QStringLiteral("%1:%2:%3,%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'))
        .toLatin1();
}

QByteArray SpeechSubtitles::LrcTime(std::uint64_t ms) {
    return QStringLiteral("%1:%2.%3")
        .arg(ms / 60000, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 10 % 100, 2, 10, QLatin1Char('0'))
        .toLatin1();
}
