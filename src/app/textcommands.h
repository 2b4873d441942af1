#pragma once

#include "services.h"

#include <QObject>
#include <QPointer>

class QPlainTextEdit;
class QWidget;

// The File and Edit menu commands that fill and edit the speech text: clearing
// it, loading a text file into it, undo, the clipboard and Select All. The
// text box is the only copy of the text; nothing is ever written to a file.
class TextCommands : public QObject {
    Q_OBJECT
public:
    // `dialogParent` owns the open-file dialog and the message box; it is
    // also this object's parent.
    TextCommands(QPlainTextEdit *text, QWidget *dialogParent, const Services &services);

public slots:
    // Clears the text at once: no question, speech under way carries on.
    void New();
    // Asks for a file until the user cancels or names a normal file, then
    // replaces the text with the file's. Only a missing file is reported; any
    // other failure ends the command quietly with the text as it was.
    void Open();
    // Replaces the text with the named file's, as Open does once a name is
    // chosen: false (after saying so) when no such file exists.
    bool OpenPath(const QString &name);

    // Keystrokes queued to the text box, which does the work itself.
    void Undo();
    void Cut();
    void Copy();
    void Paste();
    void Delete();

    void SelectAll();

private:
    void SendKeys(const QString &keys);

    QPointer<QPlainTextEdit> text_;
    QPointer<QWidget> dialogParent_;
    Services services_;
};
