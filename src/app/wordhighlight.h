#pragma once

#include <QColor>
#include <QObject>
#include <QRect>
#include <QTextCursor>
#include <QtGlobal>

class QPlainTextEdit;
class QWidget;
class SpeechControl;

// Marks the word being heard in the speech text box and keeps it in view. The
// mark is a highlight of its own (an extra selection, and drawn once more on
// top so that the user's selection cannot hide it): the text, the user's
// selection, the cursor and the undo history stay as they are. It goes away
// when the voice falls silent and as soon as the text is edited, since its
// place in the text could no longer be trusted.
class WordHighlight : public QObject {
    Q_OBJECT
public:
    WordHighlight(QPlainTextEdit &text, SpeechControl &voice);

    // The text just handed to the voice is the `length` characters at
    // `offset` in the box.
    void Follow(qsizetype offset, qsizetype length);
    // Removes the mark and ignores the voice's words until the next Follow.
    void Clear();
    // Marks a word of the text followed before the voice reaches it (where
    // reading has just been moved to); the voice's words take over from there.
    void Mark(qsizetype start, qsizetype length) { Show(start, length); }

    // The part of the box marked now; length 0 when nothing is.
    qsizetype Start() const { return start_; }
    qsizetype Length() const { return length_; }

    // The mark's own look: dark text on amber, underlined, drawn opaque so it
    // reads the same on the base colour and on the selection colour.
    static QColor Background();
    static QColor Foreground();

private:
    class Overlay;

    void Show(qsizetype start, qsizetype length);
    QRect ScrollIntoView(const QTextCursor &word);

    QPlainTextEdit &text_;
    Overlay *overlay_ = nullptr; // owned by the text box
    bool following_ = false;
    qsizetype offset_ = 0;
    qsizetype end_ = 0;
    qsizetype start_ = 0;
    qsizetype length_ = 0;
    // The mark's cursor outlives its showing. Qt 6.4 keeps a list of the
    // document's cursors that a cursor deleted during a text replacement's
    // change notice stays on (and is written to after it is freed); holding
    // it here means clearing the mark there deletes none.
    QTextCursor mark_;
};
