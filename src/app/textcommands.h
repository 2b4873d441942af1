#pragma once

#include "app/services.h"
#include "documents/document.h"

#include <QObject>
#include <QPointer>
#include <cstddef>

class QPlainTextEdit;
class QWidget;
class TextLoad;

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
    // Clears the text at once: no question, speech under way carries on. A
    // load under way stops.
    void New();
    // Asks for a file until the user cancels or names a normal file, then
    // replaces the text with the file's. Only a missing file, a name that
    // stands for several files and a file too large for memory are reported;
    // any other failure ends the command quietly with the text as it was.
    void Open();
    // Loads the named file into the text box, as Open does once a file is
    // chosen: false (after saying so) when no such file exists or the name
    // stands for several. The load goes on after the call returns;
    // OpenFinished follows. Ignored while another load runs.
    bool OpenPath(const QString &name);

    // Keystrokes queued to the text box, which does the work itself.
    void Undo();
    void Cut();
    void Copy();
    void Paste();
    void Delete();

    void SelectAll();

public:
    // True from the start of a load until OpenFinished.
    bool Loading() const;
    // The load in progress, if any (its progress window, its Cancel).
    TextLoad *Load() const;

signals:
    void OpenFinished();
    // The text now in the box came from a file with these sections and this
    // language (a text file has none), or was cleared (New: none either).
    void DocumentChanged(const QList<DocumentSection> &sections, const QString &language);
    // A file's whole text was put in the box (before OpenFinished).
    void Opened(const QByteArray &nativePath);

private:
    void SendKeys(const QString &keys);
    void SayNameIsAmbiguous(const QString &path, std::size_t count);

    QPointer<QPlainTextEdit> text_;
    QPointer<TextLoad> load_; // owned by the text box
    QPointer<QWidget> dialogParent_;
    Services services_;
};
