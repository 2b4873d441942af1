#include "speakingcommands.h"

#include "messagebox.h"
#include "speechcontrol.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <exception>
#include <utility>

SpeakingCommands::SpeakingCommands(SpeechControl &voice, MessageBoxes &boxes,
                                   const QPlainTextEdit &text, QString boxTitle)
    : voice_(voice), boxes_(boxes), text_(text), boxTitle_(std::move(boxTitle)) {
}

// Every failure inside a command ends it with one "Error: " box; nothing is retried.
template <typename Operation> void SpeakingCommands::Run(Operation operation) {
    QString failure;
    try {
        const SpeechStatus status = operation();
        if (status.ok()) {
            return;
        }
        failure = status.error;
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        failure = QStringLiteral("Unknown failure");
    }
    boxes_.Show(text_.window(), boxTitle_, QStringLiteral("Error: ") + failure, MessageIcon::None);
}

void SpeakingCommands::PlayAll() {
    Run([this] { return voice_.Speak(text_.toPlainText()); });
}

void SpeakingCommands::PlaySelected() {
    Run([this] { return voice_.Speak(SelectedText(text_)); });
}

void SpeakingCommands::Stop() {
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
