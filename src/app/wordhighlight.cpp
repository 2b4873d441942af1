#include "wordhighlight.h"

#include "speech/face/speechcontrol.h"

#include <QEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <algorithm>

QColor WordHighlight::Background() {
    return QColor(255, 196, 0); // amber: never looks like a selection colour
}

QColor WordHighlight::Foreground() {
    return QColor(0, 0, 0);
}

// The text box draws the user's selection over every extra selection, so the
// marked word is drawn again above the text: a see-through sheet over the
// view that paints the word alone and lets every mouse event through. It is a
// sibling of the view, not a child, so scrolling the view never moves it.
class WordHighlight::Overlay final : public QWidget {
public:
    Overlay(QPlainTextEdit &text, const WordHighlight &mark)
        : QWidget(&text), text_(text), mark_(mark) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        text.viewport()->installEventFilter(this);
        hide();
    }

    // The mark moved to `box` (in the view's coordinates; empty: not known):
    // only where it was and where it is now are drawn again.
    void Refresh(const QRect &box) {
        if (mark_.Length() <= 0) {
            hide();
            painted_ = {};
            return;
        }
        if (!isVisible()) {
            setGeometry(text_.viewport()->geometry());
            raise();
            show();
            return;
        }
        if (box.isEmpty())
            update();
        else
            update(QRegion(painted_.adjusted(-2, -2, 2, 2)) | box.adjusted(-2, -2, 2, 2));
    }

protected:
    // The view repaints whatever lies over it, so the sheet follows scrolling
    // by itself; only the view's size and place need following.
    bool eventFilter(QObject *watched, QEvent *event) override {
        if ((event->type() == QEvent::Resize || event->type() == QEvent::Move) && isVisible())
            setGeometry(text_.viewport()->geometry());
        return QObject::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent *) override {
        QTextDocument *document = text_.document();
        const int end =
            std::min(int(mark_.Start() + mark_.Length()), document->characterCount() - 1);
        painted_ = {};
        if (mark_.Length() <= 0 || end <= mark_.Start())
            return;
        QPainter painter(this);
        painter.setClipRect(rect());
        QFont font = text_.font();
        font.setUnderline(true);
        painter.setFont(font);
        const QFontMetrics metrics(font);
        // One piece per line: the box never wraps, so per block.
        for (int from = int(mark_.Start()); from < end;) {
            const QTextBlock block = document->findBlock(from);
            if (!block.isValid())
                break;
            const int to = std::min(end, block.position() + std::max(0, block.length() - 1));
            if (to > from) {
                QTextCursor first(document), last(document), piece(document);
                first.setPosition(from);
                last.setPosition(to);
                piece.setPosition(from);
                piece.setPosition(to, QTextCursor::KeepAnchor);
                const QRect head = text_.cursorRect(first);
                const QRect tail = text_.cursorRect(last);
                const QRect box(QPoint(std::min(head.left(), tail.left()), head.top()),
                                QPoint(std::max(head.left(), tail.left()), head.bottom()));
                painted_ |= box;
                if (box.intersects(rect())) {
                    painter.fillRect(box, Background());
                    painter.setPen(Foreground());
                    const int baseline =
                        head.top() + (head.height() - metrics.height()) / 2 + metrics.ascent();
                    painter.drawText(QPoint(head.left(), baseline), piece.selectedText());
                }
            }
            from = block.position() + block.length();
        }
    }

private:
    QPlainTextEdit &text_;
    const WordHighlight &mark_;
    QRect painted_; // where the latest paint put the mark
};

WordHighlight::WordHighlight(QPlainTextEdit &text, SpeechControl &voice)
    : QObject(&text), text_(text), overlay_(new Overlay(text, *this)) {
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
    overlay_->Refresh({});
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
    mark.format.setBackground(Background());
    mark.format.setForeground(Foreground());
    mark.format.setFontUnderline(true);
    text_.setExtraSelections({mark});
    mark_ = word; // the previous mark's cursor goes here, outside any edit
    start_ = from;
    length_ = to - from;
    overlay_->Refresh(ScrollIntoView(word));
}

// Scrolls the box, never its cursor, so that the word can be seen. Returns
// where the word is then, when it stands on one line.
QRect WordHighlight::ScrollIntoView(const QTextCursor &word) {
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
    QRect tail = text_.cursorRect(last);
    const int margin = text_.fontMetrics().averageCharWidth() * 2;
    QScrollBar *bar = text_.horizontalScrollBar();
    const auto scrollBy = [&](int dx) {
        const int before = bar->value();
        bar->setValue(before + dx);
        head.translate(before - bar->value(), 0);
        tail.translate(before - bar->value(), 0);
    };
    if (tail.right() > view.right())
        scrollBy(tail.right() - view.right() + margin);
    if (head.left() < view.left())
        scrollBy(head.left() - view.left() - margin);
    if (head.top() != tail.top())
        return {};
    return QRect(QPoint(std::min(head.left(), tail.left()), head.top()),
                 QPoint(std::max(head.left(), tail.left()), head.bottom()));
}
