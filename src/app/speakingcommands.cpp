#include "speakingcommands.h"

#include "app/wordhighlight.h"
#include "platform/qt/messagebox.h"
#include "speech/face/speechcontrol.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <utility>

namespace {
// A text longer than this starts with its first lines alone: copying all of
// it first would hold the first sound back.
constexpr int kWholeAtOnce = 64 * 1024;
constexpr int kBeginning = 4 * 1024;

// The first whole lines of the document from `from` on, at least kBeginning
// characters of them, as the whole-text read has them.
QString Beginning(const QTextDocument &document, qsizetype from = 0) {
    QString text;
    for (QTextBlock block = document.findBlock(int(from));
         block.isValid() && text.size() < kBeginning; block = block.next()) {
        text += block.position() < from ? block.text().mid(from - block.position()) : block.text();
        if (block.next().isValid())
            text += QLatin1Char('\n');
    }
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    return text;
}
} // namespace

SpeakingCommands::SpeakingCommands(SpeechControl &voice, MessageBoxes &boxes,
                                   const QPlainTextEdit &text, QString boxTitle)
    : voice_(voice), boxes_(boxes), text_(text), boxTitle_(std::move(boxTitle)),
      alive_(std::make_shared<char>()) {
    QObject::connect(&voice_, &SpeechControl::WordReached, &context_,
                     [this](qsizetype start, qsizetype) {
                         if (readingBox_)
                             heard_ = boxOffset_ + start;
                     });
    QObject::connect(&voice_, &SpeechControl::SpeakingChanged, &context_, [this](bool speaking) {
        if (!speaking)
            readingBox_ = false;
    });
    // Once the box is edited, the words heard no longer stand where they were.
    QObject::connect(text_.document(), &QTextDocument::contentsChange, &context_,
                     [this](int, int removed, int added) {
                         if (removed > 0 || added > 0)
                             readingBox_ = false;
                     });
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

// Speaks `text`, which stands at `offset` in the text box and is the
// beginning of `length` characters there that the voice will be given.
bool SpeakingCommands::Speak(const QString &text, qsizetype offset, qsizetype length) {
    ++plays_;
    readingBox_ = false;
    if (highlight_)
        highlight_->Clear();
    if (!Run([&] { return voice_.Speak(text); }))
        return false;
    readingBox_ = true;
    boxOffset_ = heard_ = offset;
    if (highlight_)
        highlight_->Follow(offset, std::max(length, text.size()));
    return true;
}

void SpeakingCommands::PlayAll() {
    SpeakToEnd(0);
}

bool SpeakingCommands::ReadFrom(qsizetype offset) {
    offset = std::clamp<qsizetype>(offset, 0, text_.document()->characterCount() - 1);
    if (!SpeakToEnd(offset))
        return false;
    // The new place shows at once, before its first word is heard.
    const QTextBlock block = text_.document()->findBlock(int(offset));
    const QString line = block.text();
    qsizetype end = offset - block.position();
    while (end < line.size() && !line[end].isSpace())
        ++end;
    if (highlight_ && end > offset - block.position())
        highlight_->Mark(0, end - (offset - block.position()));
    return true;
}

bool SpeakingCommands::SpeakToEnd(qsizetype from) {
    const QTextDocument &document = *text_.document();
    const qsizetype length = document.characterCount() - 1 - from;
    if (length <= kWholeAtOnce)
        return Speak(from == 0 ? text_.toPlainText() : text_.toPlainText().mid(from), from);
    const QString beginning = Beginning(document, from);
    if (!Speak(beginning, from, length))
        return false;
    // The rest follows once the voice is under way, unless the text or the
    // speech changed meanwhile.
    QTimer::singleShot(
        0, &text_,
        [this, alive = std::weak_ptr<char>(alive_), revision = document.revision(), play = plays_,
         from] {
            if (alive.expired() || play != plays_ || text_.document()->revision() != revision)
                return;
            voice_.Continue(from == 0 ? text_.toPlainText() : text_.toPlainText().mid(from));
        });
    return true;
}

QString SpeakingCommands::Say(const QString &text) {
    ++plays_;
    readingBox_ = false;
    if (highlight_)
        highlight_->Clear();
    const SpeechStatus status = voice_.Speak(text);
    if (!status.ok())
        QTimer::singleShot(0, &context_, [this, error = status.error] { ShowFailure(error); });
    return status.error;
}

void SpeakingCommands::Pause() {
    voice_.Pause();
}

void SpeakingCommands::Resume() {
    Run([this] { return voice_.Resume(); });
}

void SpeakingCommands::PauseOrResume() {
    if (voice_.IsPaused())
        Resume();
    else
        Pause();
}

bool SpeakingCommands::Paused() const {
    return voice_.IsPaused();
}

qsizetype SpeakingCommands::Place() const {
    return readingBox_ ? heard_ : -1;
}

void SpeakingCommands::PlaySelected() {
    Speak(SelectedText(text_), text_.textCursor().selectionStart());
}

void SpeakingCommands::Stop() {
    ++plays_;
    readingBox_ = false;
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
