#include "speakingcommands.h"

#include "app/wordhighlight.h"
#include "platform/qt/messagebox.h"
#include "speech/speechcontrol.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <exception>
#include <utility>

SpeakingCommands::SpeakingCommands(SpeechControl &voice, MessageBoxes &boxes,
                                   const QPlainTextEdit &text, QString boxTitle)
    : voice_(voice), boxes_(boxes), text_(text), boxTitle_(std::move(boxTitle)) {
}

// Every failure inside a command ends it with one "Error: " box; nothing is retried.
template <typename Operation> bool SpeakingCommands::Run(Operation operation) {
    QString failure;
    try {
        const SpeechStatus status = operation();
        if (status.ok()) {
            return true;
        }
        failure = status.error;
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        failure = QStringLiteral("Unknown failure");
    }
    ShowFailure(failure);
    return false;
}

void SpeakingCommands::ShowFailure(const QString &description) {
    boxes_.Show(text_.window(), boxTitle_, QStringLiteral("Error: ") + description,
                MessageIcon::None);
}

void SpeakingCommands::VoiceFailed(const QString &description) {
    if (highlight_)
        highlight_->Clear();
    ShowFailure(description);
}

// Speaks `text`, which stands at `offset` in the text box.
void SpeakingCommands::Speak(const QString &text, qsizetype offset) {
    if (highlight_)
        highlight_->Clear();
    if (Run([&] { return voice_.Speak(text); }) && highlight_)
        highlight_->Follow(offset, text.size());
}

void SpeakingCommands::PlayAll() {
    Speak(text_.toPlainText(), 0);
}

void SpeakingCommands::PlaySelected() {
    Speak(SelectedText(text_), text_.textCursor().selectionStart());
}

void SpeakingCommands::Stop() {
    if (highlight_)
        highlight_->Clear();
    Run([this] { return voice_.StopSpeaking(); });
}

void SpeakingCommands::PitchChanged(std::int32_t position) {
    voice_.SetPitch(position);
}

void SpeakingCommands::SpeedChanged(std::int32_t position) {
    voice_.SetSpeed(position);
}

QString SpeakingCommands::SelectedText(const QPlainTextEdit &text) {
    // The cursor marks block ends with paragraph separators, and a pasted line
    // separator may sit inside a block; the whole-text read turns both into "\n".
    QString selected = text.textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    selected.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return selected;
}
