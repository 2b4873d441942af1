#pragma once

#include <QPlainTextEdit>

// The text box that holds the speech text. Qt 6.4 crashes when told to paste
// clipboard data that holds no format at all, which is what an empty X11
// clipboard gives; here such a paste, whether typed, chosen from the menu,
// middle-clicked or dropped, inserts nothing. A file dropped on it is not
// pasted as its name: the box asks for it to be opened.
class SpeechTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;

signals:
    // A file was dropped (or pasted as a file); sent once the drop is over.
    void FileDropped(const QString &path);
    // Read From Here was chosen on the context menu, for the word at `position`.
    void ReadFromHereRequested(int position);

protected:
    // The platform's own items, then Read From Here (for the word under the
    // mouse, or at the cursor when opened from the keyboard).
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
};
