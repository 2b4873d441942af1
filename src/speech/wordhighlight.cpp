#include "wordhighlight.h"

#include "speechcontrol.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <algorithm>

namespace {
// Amber, see-through: reads on light and dark text boxes alike and never
// looks like the selection.
const QColor kMark(255, 190, 0, 120);
} // namespace

WordHighlight::WordHighlight(QPlainTextEdit &text, SpeechControl &voice)
    : QObject(&text), text_(text) {
    connect(&voice, &SpeechControl::WordReached, this, &WordHighlight::Show);
    connect(&voice, &SpeechControl::SpeakingChanged, this, [this](bool speaking) {
        if (!speaking)
            Clear();
    });
    connect(text.document(), &QTextDocument::contentsChange, this,
            [this](int, int removed, int added) {
                if (removed > 0 || added > 0)
                    Clear();
            });
}

void WordHighlight::Follow(qsizetype offset, qsizetype length) {
    Clear();
    following_ = true;
    offset_ = offset;
    end_ = offset + length;
}

void WordHighlight::Clear() {
    following_ = false;
    if (length_ == 0)
        return;
    start_ = length_ = 0;
    text_.setExtraSelections({});
}

void WordHighlight::Show(qsizetype start, qsizetype length) {
    if (!following_)
        return;
    // Never beyond the text spoken, nor the document (which counts one
    // position more than its text, the final block end).
    const qsizetype size = std::min(end_, qsizetype(text_.document()->characterCount() - 1));
    const qsizetype from = std::clamp<qsizetype>(offset_ + start, offset_, size);
    const qsizetype to = std::clamp<qsizetype>(offset_ + start + length, from, size);
    if (from == to || (from == start_ && to - from == length_))
        return;
    QTextCursor word(text_.document());
    word.setPosition(int(from));
    word.setPosition(int(to), QTextCursor::KeepAnchor);
    QTextEdit::ExtraSelection mark;
    mark.cursor = word;
    mark.format.setBackground(kMark);
    text_.setExtraSelections({mark});
    mark_ = word; // the previous mark's cursor goes here, outside any edit
    start_ = from;
    length_ = to - from;
    ScrollIntoView(word);
}

// Scrolls the box, never its cursor, so that the word can be seen.
void WordHighlight::ScrollIntoView(const QTextCursor &word) {
    const QRect view = text_.viewport()->rect();
    QTextCursor first = word;
    first.setPosition(word.selectionStart());
    QTextCursor last = word;
    last.setPosition(word.selectionEnd());
    QRect head = text_.cursorRect(first);

    // Vertically the box scrolls by lines: bring the word's line a third of
    // the way down when it has left the view.
    if (head.top() < view.top() || head.bottom() > view.bottom()) {
        const QTextBlock block = first.block();
        int line = block.firstLineNumber();
        if (const QTextLayout *layout = block.layout(); layout && layout->lineCount() > 0)
            line += std::max(0, layout->lineForTextPosition(first.positionInBlock()).lineNumber());
        const int lineHeight = std::max(1, text_.fontMetrics().lineSpacing());
        QScrollBar *bar = text_.verticalScrollBar();
        bar->setValue(
            std::clamp(line - view.height() / lineHeight / 3, bar->minimum(), bar->maximum()));
        head = text_.cursorRect(first);
    }

    // Horizontally it scrolls by pixels: show the whole word, its start first.
    const QRect tail = text_.cursorRect(last);
    const int margin = text_.fontMetrics().averageCharWidth() * 2;
    QScrollBar *bar = text_.horizontalScrollBar();
    if (tail.right() > view.right())
        bar->setValue(bar->value() + tail.right() - view.right() + margin);
    head = text_.cursorRect(first);
    if (head.left() < view.left())
        bar->setValue(bar->value() + head.left() - view.left() - margin);
}
