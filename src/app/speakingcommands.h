#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

class MessageBoxes;
class QPlainTextEdit;
class SpeechControl;
class WordHighlight;

// The three speaking commands and the two slider notifications of the speech
// window. The commands report a failure of the voice in a message box and
// otherwise leave everything as it was; the notifications pass the slider
// position straight on.
class SpeakingCommands {
public:
    SpeakingCommands(SpeechControl &voice, MessageBoxes &boxes, const QPlainTextEdit &text,
                     QString boxTitle);

    // Where the word being heard is shown while a command speaks; none by default.
    void SetHighlight(WordHighlight *highlight) { highlight_ = highlight; }

    void PlayAll();
    void PlaySelected();
    void Stop();

    // Reads the box from `offset` to the end.
    bool ReadFrom(qsizetype offset);
    // Speaks a text that is not in the box (from another program). Returns
    // why it failed, if it did; the window's box saying so comes afterwards,
    // so that the other program has its answer at once.
    QString Say(const QString &text);
    void Pause();
    void Resume();
    void PauseOrResume();
    bool Paused() const;
    // Where in the box the voice is: the word heard last, or where reading
    // began until a word is heard; -1 when the voice is not reading the box.
    qsizetype Place() const;

    void PitchChanged(std::int32_t position);
    void SpeedChanged(std::int32_t position);
    // The voice fell silent by itself: says why, as a failed command does.
    void VoiceFailed(const QString &description);

    // The selection as the voice should get it: line breaks inside it as "\n".
    static QString SelectedText(const QPlainTextEdit &text);

private:
    template <typename Operation> bool Run(Operation operation);
    void ShowFailure(const QString &description);
    bool Speak(const QString &text, qsizetype offset, qsizetype length = 0);
    bool SpeakToEnd(qsizetype from);

    SpeechControl &voice_;
    MessageBoxes &boxes_;
    const QPlainTextEdit &text_;
    QString boxTitle_;
    WordHighlight *highlight_ = nullptr;
    std::shared_ptr<char> alive_; // for the rest of a long text, handed on later
    std::uint64_t plays_ = 0;     // counts the commands that start or stop speech
    // What the voice reads: the box from boxOffset_ (or another text), and
    // the box offset of the word heard last.
    bool readingBox_ = false;
    qsizetype boxOffset_ = 0;
    qsizetype heard_ = 0;
    QObject context_; // ends the connections to the voice with this object
};
