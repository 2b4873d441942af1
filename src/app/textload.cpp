#include "textload.h"

#include "app/documentopen.h"
#include "platform/appidentity.h"
#include "platform/qt/messagebox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTextDocument>
#include <QThreadPool>
#include <algorithm>
#include <optional>

namespace {

// Each turn of the event loop pours for about this long, so the window still
// paints and answers many times a second.
constexpr qint64 kTurnNs = 25'000'000;
constexpr qsizetype kLargestSlice = qsizetype{4} * 1024 * 1024;

bool BreaksLine(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator;
}

// Where a slice that should end near `end` does end: after a line break, so
// that a line is laid out once, whole, rather than again with every slice
// (lines are never longer than the longest the budget allows), and never
// inside a CR LF pair, which would come out of the box as two line breaks.
qsizetype SliceEnd(const QString &text, qsizetype from, qsizetype end) {
    const qsizetype size = text.size();
    if (end >= size)
        return size;
    qsizetype at = end - 1;
    while (at >= from && !BreaksLine(text.at(at)))
        --at;
    if (at < from) { // a long line: on to its end
        at = end;
        while (at < size && !BreaksLine(text.at(at)))
            ++at;
        if (at == size)
            return size;
    }
    if (text.at(at) == u'\r' && at + 1 < size && text.at(at + 1) == u'\n')
        ++at;
    return at + 1;
}

QString Megabytes(std::uint64_t bytes) {
    return QLocale().toString(double(bytes) / (1024.0 * 1024.0), 'f', 0);
}

} // namespace

struct TextLoad::Read {
    std::filesystem::path path;
    QString fileName;
    std::optional<QString> text;
    QList<DocumentSection> sections;
    QString language;
    QString refusal; // a document that cannot be read
    TextShape shape;
    bool atLeast = false; // refused on the least shape of the bytes
};

TextLoad::TextLoad(QPlainTextEdit &text, QWidget *dialogParent, MessageBoxes &boxes)
    : QObject(&text), text_(text), dialogParent_(dialogParent), boxes_(boxes) {
    tick_.setInterval(0);
    connect(&tick_, &QTimer::timeout, this, &TextLoad::PourSome);
    progressDelay_.setSingleShot(true);
    progressDelay_.setInterval(kProgressDelayMs);
    connect(&progressDelay_, &QTimer::timeout, this, &TextLoad::ShowProgress);
}

TextLoad::~TextLoad() {
    if (abandoned_)
        *abandoned_ = true;
    delete progress_;
}

void TextLoad::Start(const std::string &nativePath, const QString &name) {
    if (running_)
        return;
    running_ = true;
    restoring_ = false;
    fileName_ = QFileInfo(name).fileName();
    nativePath_ = QByteArray::fromStdString(nativePath);
    wasReadOnly_ = text_.isReadOnly();
    text_.setReadOnly(true); // nothing typed may land in a half-loaded text
    progressDelay_.start();

    auto read = std::make_shared<Read>();
    read->path = nativePath;
    read->fileName = fileName_;
    abandoned_ = std::make_shared<std::atomic<bool>>(false);
    const QPointer<TextLoad> self(this);
    const std::shared_ptr<std::atomic<bool>> abandoned = abandoned_;
    const std::uint64_t formerChars = std::uint64_t(text_.document()->characterCount());
    QThreadPool::globalInstance()->start([self, read, abandoned, formerChars] {
        // A file plainly too large is refused before its text takes memory.
        OpenedFile opened = ReadFileToOpen(
            read->path, read->fileName, abandoned.get(), [&](std::string_view bytes) {
                read->shape = LeastShape(bytes);
                read->atLeast =
                    !FitsLongestLine(read->shape) || !FitsMemoryBudget(read->shape, formerChars);
                return !read->atLeast && !*abandoned;
            });
        read->text = std::move(opened.text);
        read->sections = std::move(opened.sections);
        read->language = std::move(opened.language);
        read->refusal = std::move(opened.refusal);
        if (read->text && !*abandoned)
            read->shape = MeasureText(*read->text);
        if (*abandoned)
            return;
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [self, read, abandoned] {
                    if (self && !*abandoned)
                        self->Decoded(read);
                },
                Qt::QueuedConnection);
    });
}

void TextLoad::Decoded(const std::shared_ptr<Read> &read) {
    abandoned_.reset();
    if (!read->refusal.isEmpty()) {
        End(read->refusal);
        return;
    }
    if (!read->text && !read->atLeast) { // a read that failed ends quietly
        End();
        return;
    }
    const std::uint64_t formerChars = std::uint64_t(text_.document()->characterCount());
    const TextShape &shape = read->shape;
    // Told from the undecoded bytes, the figures are the least they can be.
    const QString least = read->atLeast ? QStringLiteral("at least ") : QString();
    if (!FitsLongestLine(shape)) {
        End(QStringLiteral("The file \"%1\" cannot be opened: it has a line of %2%L3 characters, "
                           "and a line longer than %L4 characters would make the window stop "
                           "responding.")
                .arg(fileName_, least)
                .arg(qulonglong(shape.longestLine))
                .arg(qulonglong(kMaxLineChars)));
        return;
    }
    if (!FitsMemoryBudget(shape, formerChars)) {
        // Before decoding only the lines are known for sure.
        const QString what = read->atLeast
                                 ? QStringLiteral("its at least %L1 lines").arg(shape.lines)
                                 : QStringLiteral("its %L1 lines and %L2 characters")
                                       .arg(shape.lines)
                                       .arg(shape.chars);
        End(QStringLiteral("The file \"%1\" is too large to open: showing %2 would take %3%4 MB "
                           "of memory, and the limit is %5 MB.")
                .arg(fileName_, what, read->atLeast ? least : QStringLiteral("about "),
                     Megabytes(LoadCostBytes(shape, formerChars)), Megabytes(kMemoryBudgetBytes)));
        return;
    }
    former_ = text_.toPlainText();
    sections_ = std::move(read->sections);
    language_ = std::move(read->language);
    Begin(std::move(*read->text), false);
}

// Empties the box the way replacing its text does (no undo step, not
// modified) and starts pouring.
void TextLoad::Begin(QString text, bool restoring) {
    restoring_ = restoring;
    pouring_ = std::move(text);
    pouring_.squeeze();
    poured_ = 0;
    text_.setPlainText(QString());
    text_.document()->setUndoRedoEnabled(false);
    end_ = QTextCursor(text_.document());
    if (bar_) {
        bar_->setRange(0, 1000);
        bar_->setValue(0);
    }
    if (progress_ && restoring) {
        progress_->setLabelText(QStringLiteral("Putting back the former text..."));
        progress_->setCancelButton(nullptr); // that cannot be cancelled in turn
    }
    tick_.start();
}

void TextLoad::PourSome() {
    QElapsedTimer turn;
    turn.start();
    qsizetype &slice = slice_;
    const bool first = poured_ == 0;
    while (poured_ < pouring_.size() && turn.nsecsElapsed() < kTurnNs) {
        const qsizetype to = SliceEnd(pouring_, poured_, poured_ + slice);
        QElapsedTimer one;
        one.start();
        end_.movePosition(QTextCursor::End);
        end_.insertText(pouring_.mid(poured_, to - poured_));
        poured_ = to;
        const qint64 took = one.nsecsElapsed();
        if (took < kTurnNs / 8)
            slice = std::min(slice * 2, kLargestSlice);
        else if (took > kTurnNs / 2)
            slice = std::max(slice / 2, qsizetype(256));
    }
    if (first) { // the box's own cursor stays at the start, as after a replacement
        QTextCursor start = text_.textCursor();
        start.setPosition(0);
        text_.setTextCursor(start);
    }
    if (bar_ && !pouring_.isEmpty())
        bar_->setValue(int(poured_ * 1000 / pouring_.size()));
    if (poured_ < pouring_.size())
        return;

    tick_.stop();
    QTextDocument *document = text_.document();
    document->setUndoRedoEnabled(true); // an empty history, as after a replacement
    document->setModified(false);
    if (!restoring_)
        emit Opened(nativePath_, sections_, language_);
    End();
}

void TextLoad::Cancel() {
    if (!running_ || restoring_)
        return;
    if (abandoned_) { // still reading: the box was never touched
        *abandoned_ = true;
        abandoned_.reset();
        End();
        return;
    }
    tick_.stop();
    Begin(std::move(former_), true);
}

void TextLoad::Abandon() {
    if (!running_)
        return;
    if (abandoned_)
        *abandoned_ = true;
    abandoned_.reset();
    End();
}

void TextLoad::End(const QString &refusal) {
    tick_.stop();
    progressDelay_.stop();
    pouring_.clear();
    pouring_.squeeze();
    former_.clear();
    former_.squeeze();
    sections_.clear();
    language_.clear();
    end_ = QTextCursor();
    poured_ = 0;
    if (!text_.document()->isUndoRedoEnabled())
        text_.document()->setUndoRedoEnabled(true);
    text_.setReadOnly(wasReadOnly_);
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();
    }
    progress_ = nullptr;
    bar_ = nullptr;
    running_ = false;
    restoring_ = false;
    if (!refusal.isEmpty())
        boxes_.Show(dialogParent_, QString::fromLatin1(AppIdentity::kTitle), refusal,
                    MessageIcon::Critical);
    emit Finished();
}

// A window-modal progress window. Its bar is driven directly: the dialog's
// own setValue would run a nested event loop.
void TextLoad::ShowProgress() {
    if (!running_ || progress_)
        return;
    auto *dialog = new QProgressDialog(dialogParent_);
    dialog->setObjectName(QStringLiteral("dlgOpenProgress"));
    dialog->setWindowTitle(QString::fromLatin1(AppIdentity::kTitle));
    dialog->setLabelText(QStringLiteral("Opening \"%1\"...").arg(fileName_));
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    dialog->setWindowModality(Qt::WindowModal);
    auto *bar = new QProgressBar(dialog);
    bar->setAccessibleName(QStringLiteral("Progress"));
    dialog->setBar(bar);
    if (abandoned_)
        bar->setRange(0, 0); // reading: no measure yet
    else
        bar->setRange(0, 1000);
    if (restoring_)
        dialog->setCancelButton(nullptr);
    else
        connect(dialog, &QProgressDialog::canceled, this, &TextLoad::Cancel);
    progress_ = dialog;
    bar_ = bar;
    dialog->show();
}
