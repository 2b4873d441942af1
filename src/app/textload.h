#pragma once

#include "app/textfile.h"
#include "documents/document.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QString>
#include <QTextCursor>
#include <QTimer>
#include <atomic>
#include <memory>
#include <string>

class MessageBoxes;
class QPlainTextEdit;
class QWidget;

// Loads one file into the text box without freezing the window: the file is
// read and decoded (a document turned into its text) on a worker thread, then poured into the box
// in slices from the event loop, so the window keeps painting. After half a second a progress
// window offers Cancel, which puts the former text back. A text that would take more memory than
// the budget is refused with a message before the box is touched, as is a document that cannot be
// read; a text file that cannot be read ends the load quietly with the text as it was.
class TextLoad : public QObject {
    Q_OBJECT
public:
    TextLoad(QPlainTextEdit &text, QWidget *dialogParent, MessageBoxes &boxes);
    ~TextLoad() override;

    // Starts loading the file at `nativePath`, named `name` to the user;
    // Finished follows, always.
    void Start(const std::string &nativePath, const QString &name);
    // The Cancel button: stops the load and puts the former text back.
    void Cancel();
    // Stops at once, leaving the box as it is (the text is about to be replaced).
    void Abandon();

    bool Running() const { return running_; }
    // The progress window, once there is one.
    QProgressDialog *Progress() const { return progress_; }

    // How long a load runs before its progress window shows.
    static constexpr int kProgressDelayMs = 500;

signals:
    // The file's text is all in the box: where it came from, its sections
    // and its language (none for a text file). Finished follows.
    void Opened(const QByteArray &nativePath, const QList<DocumentSection> &sections,
                const QString &language);
    void Finished();

private:
    struct Read;
    void Decoded(const std::shared_ptr<Read> &read);
    void Begin(QString text, bool restoring);
    void PourSome();
    // Ends the load; a refusal is told in a message box first.
    void End(const QString &refusal = QString());
    void ShowProgress();

    QPlainTextEdit &text_;
    QPointer<QWidget> dialogParent_;
    MessageBoxes &boxes_;
    bool running_ = false;
    bool restoring_ = false;
    bool wasReadOnly_ = false;
    std::shared_ptr<std::atomic<bool>> abandoned_;
    QString former_;  // put back on Cancel
    QString pouring_; // what goes into the box
    qsizetype poured_ = 0;
    qsizetype slice_ = qsizetype{16} * 1024; // grows and shrinks to fill a turn
    QTextCursor end_;
    QTimer tick_;
    QTimer progressDelay_;
    QPointer<QProgressDialog> progress_;
    QPointer<QProgressBar> bar_;
    QString fileName_;
    QList<DocumentSection> sections_; // of the text being poured
    QString language_;
    QByteArray nativePath_;
};
