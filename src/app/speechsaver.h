#pragma once

#include "documents/document.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <functional>
#include <optional>

class EspeakSpeechControl;
class MessageBoxes;
class QPlainTextEdit;
class QProcess;
class QWidget;

// Save Speech As: the selection, or the whole text when nothing is selected,
// written to an audio file in the voice, pitch and speed in use. The program
// itself does the writing in a second process (its --speak-to mode), so the
// editor keeps its own voice, stays usable, and loses nothing should the
// writing fail. A progress window shows how far it is and what time is left,
// and cancels it.
class SpeechSaver : public QObject {
    Q_OBJECT
public:
    // How a text with sections is written: whole, one file per section in a
    // folder named as the file, or one file with a chapter mark at each.
    enum class Split { None, Sections, Chapters };
    // Where to write, whether subtitles go beside the audio, and in how many parts.
    struct Target {
        QString path;
        bool subtitles = false;
        Split split = Split::None;
    };
    // Asks the user for a target: empty when they cancel.
    using AskTarget = std::function<std::optional<Target>(QWidget *parent)>;

    SpeechSaver(QPlainTextEdit &text, EspeakSpeechControl &voice, MessageBoxes &boxes,
                QWidget *parent);
    // A writing still under way is cancelled.
    ~SpeechSaver() override;

    // Stand-ins for tests: the question for a name, and the program that writes.
    void SetAskTarget(AskTarget ask) { ask_ = std::move(ask); }
    void SetProgram(const QString &program) { program_ = program; }
    // The sections of the text in the box, for splitting it.
    void SetSections(std::function<QList<DocumentSection>()> sections) {
        sections_ = std::move(sections);
    }

    bool Busy() const { return process_ != nullptr; }
    QProgressDialog *Progress() const { return progress_; }

    // The standard save dialog, which asks before replacing a file.
    static std::optional<Target> AskWithDialog(QWidget *parent);
    // The writer's arguments for where and in how many parts: `text` starts
    // at `from` in the box, whose sections are `sections`. Parts start at the
    // lines of the top sections, titled by those lines; the book is named
    // after the file.
    static QStringList TargetArguments(const Target &target, const QString &text, qsizetype from,
                                       const QList<DocumentSection> &sections);

public slots:
    void SaveAs();
    void Cancel();

signals:
    // The writing ended: written, or not (cancelled or failed).
    void Finished(bool written);

private:
    void Start(const Target &target, const QString &text, qsizetype from);
    void ReadProgress();
    void Done(bool written, const QString &error);

    QPlainTextEdit &text_;
    EspeakSpeechControl &voice_;
    MessageBoxes &boxes_;
    QPointer<QWidget> parent_;
    AskTarget ask_;
    std::function<QList<DocumentSection>()> sections_;
    QString program_;
    QProcess *process_ = nullptr;
    QPointer<QProgressDialog> progress_;
    QString fileName_;
    QElapsedTimer clock_;
    bool cancelled_ = false;
    QByteArray pendingOutput_;
};
