#pragma once

#include <QPlainTextEdit>

// The text box that holds the speech text. Qt 6.4 crashes when told to paste
// clipboard data that holds no format at all, which is what an empty X11
// clipboard gives; here such a paste, whether typed, chosen from the menu,
// middle-clicked or dropped, inserts nothing.
class SpeechTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
};
