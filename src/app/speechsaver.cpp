#include "speechsaver.h"

#include "platform/appidentity.h"
#include "platform/qt/filedialog.h"
#include "platform/qt/messagebox.h"
#include "platform/qt/nativename.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/speechfiles/chaptermarks.h"
#include "speech/speechfiles/progressline.h"
#include "speech/speechfiles/speechfilewriter.h"
#include "speech/voice/speechtext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <climits>

namespace {
// How long a cancelled writer gets to remove its files before it is killed.
constexpr int kCancelGraceMs = 10000;

// A folder of parts goes where the file would, under its name.
QString FolderFor(const QString &path) {
    const QFileInfo file(path);
    return file.dir().filePath(file.completeBaseName());
}

QString TextToSave(const QPlainTextEdit &box) {
    const QTextCursor cursor = box.textCursor();
    if (!cursor.hasSelection())
        return box.toPlainText();
    // A selection marks its line breaks as paragraph separators.
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
    return text;
}
} // namespace

SpeechSaver::SpeechSaver(QPlainTextEdit &text, EspeakSpeechControl &voice, MessageBoxes &boxes,
                         QWidget *parent)
    : QObject(parent), text_(text), voice_(voice), boxes_(boxes), parent_(parent),
      ask_(&SpeechSaver::AskWithDialog), program_(QCoreApplication::applicationFilePath()) {
    connect(&voice_, &EspeakSpeechControl::SaveSpeechAsRequested, this, &SpeechSaver::SaveAs);
}

SpeechSaver::~SpeechSaver() {
    if (!process_)
        return;
    // The writer removes its unfinished files when asked to stop.
    process_->disconnect(this);
    process_->terminate();
    if (!process_->waitForFinished(kCancelGraceMs))
        process_->kill();
    process_->waitForFinished(1000);
}

std::optional<SpeechSaver::Target> SpeechSaver::AskWithDialog(QWidget *parent) {
    QFileDialog dialog(parent, tr("Save Speech As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog, so the subtitles choice can sit in it.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    ShowColumnsWhole(dialog);
    dialog.setNameFilters(AudioNameFilters());
    dialog.setDefaultSuffix(AudioFileKinds().front().extensions.front());
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
        if (m.hasMatch())
            dialog.setDefaultSuffix(m.captured(1));
    });
    auto *subtitles = new QCheckBox(tr("Also write &subtitles (.srt and .lrc)"), &dialog);
    subtitles->setObjectName(QStringLiteral("chkSubtitles"));
    subtitles->setAccessibleName(tr("Also write subtitles"));
    auto *parts = new QComboBox(&dialog);
    parts->setObjectName(QStringLiteral("cboParts"));
    parts->setAccessibleName(tr("Parts"));
    parts->addItem(tr("One file"), int(Split::None));
    parts->addItem(tr("One file per section, in a folder of that name"), int(Split::Sections));
    parts->addItem(tr("One file with chapter marks"), int(Split::Chapters));
    auto *partsLabel = new QLabel(tr("&Parts:"), &dialog);
    partsLabel->setBuddy(parts);
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout())) {
        const int row = grid->rowCount();
        grid->addWidget(partsLabel, row, 0);
        grid->addWidget(parts, row, 1); // as wide as the file type's list
        grid->addWidget(subtitles, row + 1, 0, 1, grid->columnCount());
    }
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        Target target{dialog.selectedFiles().front(), subtitles->isChecked(),
                      Split(parts->currentData().toInt())};
        const std::optional<AudioFileFormat> format = AudioFormatForPath(target.path);
        if (!format) {
            QMessageBox::warning(&dialog, QString::fromLatin1(AppIdentity::kTitle),
                                 tr("Choose a name ending in %1.").arg(AudioExtensionsText()));
            continue;
        }
        if (target.split == Split::Chapters && !HoldsChapterMarks(*format)) {
            QMessageBox::warning(&dialog, QString::fromLatin1(AppIdentity::kTitle),
                                 tr("WAV files hold no chapter marks. Choose a name ending in "
                                    ".ogg, .opus, .flac, .mp3 or .m4b."));
            continue;
        }
        if (target.split == Split::Sections) {
            // The parts go into a folder; the dialog asked about a file.
            const QFileInfo folder(FolderFor(target.path));
            if (folder.exists() && !folder.isDir()) {
                QMessageBox::warning(&dialog, QString::fromLatin1(AppIdentity::kTitle),
                                     tr("The parts go into a folder named %1, and a file has "
                                        "that name. Choose another name.")
                                         .arg(folder.fileName()));
                continue;
            }
            if (folder.isDir() &&
                !QDir(folder.filePath())
                     .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) &&
                QMessageBox::question(&dialog, QString::fromLatin1(AppIdentity::kTitle),
                                      tr("The folder %1 already holds files.\nDo you want to "
                                         "replace the parts in it?")
                                          .arg(folder.fileName()),
                                      QMessageBox::Yes | QMessageBox::No,
                                      QMessageBox::No) != QMessageBox::Yes)
                continue;
            return target;
        }
        // The dialog has asked about the audio file; the subtitles are asked about here.
        SpeechFileJob job;
        job.path = NativePath(target.path);
        job.srt = job.lrc = target.subtitles;
        QStringList existing;
        const std::vector<std::filesystem::path> outputs = SpeechFileOutputs(job);
        for (auto out = outputs.begin() + 1; out < outputs.end(); ++out) {
            std::error_code ignored;
            if (std::filesystem::exists(*out, ignored))
                existing << ShownPath(out->filename());
        }
        if (!existing.isEmpty() &&
            QMessageBox::question(&dialog, QString::fromLatin1(AppIdentity::kTitle),
                                  tr("%1 already exists.\nDo you want to replace it?")
                                      .arg(existing.join(QStringLiteral(" and "))),
                                  QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) != QMessageBox::Yes)
            continue;
        return target;
    }
}

void SpeechSaver::SaveAs() {
    if (process_) {
        // One file at a time: the one under way comes forward.
        if (progress_) {
            progress_->raise();
            progress_->activateWindow();
        }
        return;
    }
    const QString text = TextToSave(text_);
    if (!SpeechText::HasSomethingToSay(text)) {
        boxes_.Show(parent_, QString::fromLatin1(AppIdentity::kTitle),
                    tr("There is no text to save as speech."), MessageIcon::None);
        return;
    }
    const std::optional<Target> target = ask_ ? ask_(parent_) : std::nullopt;
    if (!target || target->path.isEmpty())
        return;
    const QTextCursor cursor = text_.textCursor();
    Start(*target, text, cursor.hasSelection() ? cursor.selectionStart() : 0);
}

QStringList SpeechSaver::TargetArguments(const Target &target, const QString &text, qsizetype from,
                                         const QList<DocumentSection> &sections) {
    if (target.split == Split::None)
        return {QStringLiteral("--speak-to"), PathArgument(NativePath(target.path))};
    const QFileInfo file(target.path);
    QStringList args{
        QStringLiteral("--speak-to"),
        PathArgument(
            NativePath(target.split == Split::Sections ? FolderFor(target.path) : target.path)),
        QStringLiteral("--split"),
        target.split == Split::Sections ? QStringLiteral("sections") : QStringLiteral("chapters"),
        QStringLiteral("--title"),
        file.completeBaseName(),
        QStringLiteral("--format"),
        file.suffix().toLower()};
    // The chapters are the sections at the top level the text has.
    int top = INT_MAX;
    for (const DocumentSection &section : sections)
        if (section.offset >= from && section.offset < from + text.size())
            top = std::min(top, section.level);
    QStringList lines;
    for (const DocumentSection &section : sections)
        if (section.level == top && section.offset >= from && section.offset < from + text.size())
            lines << QString::number(QStringView(text).first(section.offset - from).count(u'\n') +
                                     1);
    lines.removeDuplicates();
    if (!lines.isEmpty())
        args << QStringLiteral("--split-at-lines") << lines.join(u',');
    return args;
}

void SpeechSaver::Start(const Target &target, const QString &text, qsizetype from) {
    fileName_ = QFileInfo(target.split == Split::Sections ? FolderFor(target.path) : target.path)
                    .fileName();
    cancelled_ = false;
    pendingOutput_.clear();

    // The name as the system spells it, even where the toolkit cannot.
    QStringList args =
        TargetArguments(target, text, from, sections_ ? sections_() : QList<DocumentSection>{});
    args << QStringLiteral("--overwrite") // the dialog has asked
         << QStringLiteral("--progress") << QStringLiteral("--pitch")
         << QString::number(voice_.Pitch()) << QStringLiteral("--speed")
         << QString::number(voice_.Speed());
    if (!voice_.Voice().isEmpty())
        args << QStringLiteral("--voice") << QString::fromUtf8(voice_.Voice());
    if (target.subtitles)
        args << QStringLiteral("--srt") << QStringLiteral("--lrc");
    args << QStringLiteral("-");

    process_ = new QProcess(this);
    connect(process_, &QProcess::readyReadStandardOutput, this, &SpeechSaver::ReadProgress);
    connect(process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        const QString err = QString::fromLocal8Bit(process_->readAllStandardError()).trimmed();
        QString last = err.section(u'\n', -1);
        last.remove(QRegularExpression(QStringLiteral("^zavren-speech: ")));
        Done(status == QProcess::NormalExit && code == 0, last);
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Done(false, process_->errorString());
    });

    progress_ = new QProgressDialog(parent_);
    progress_->setObjectName(QStringLiteral("frmSaveSpeech"));
    progress_->setWindowTitle(tr("Save Speech As"));
    progress_->setAccessibleName(tr("Saving speech"));
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    progress_->setWindowModality(Qt::NonModal); // the editor stays in use meanwhile
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
    auto *bar = new QProgressBar(progress_);
    bar->setAccessibleName(tr("Speech written"));
    progress_->setBar(bar);
    auto *cancel = new QPushButton(tr("Cancel"), progress_);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAccessibleName(tr("Cancel"));
    progress_->setCancelButton(cancel);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setLabelText(tr("Writing %1").arg(fileName_));
    connect(progress_, &QProgressDialog::canceled, this, &SpeechSaver::Cancel);
    progress_->show();

    clock_.start();
    process_->start(program_, args);
    // Marked as UTF-8, so the text arrives whole whatever the code page.
    process_->write("\xEF\xBB\xBF" + text.toUtf8());
    process_->closeWriteChannel();
}

void SpeechSaver::ReadProgress() {
    if (!process_)
        return;
    pendingOutput_ += process_->readAllStandardOutput();
    qsizetype reached = -1, total = 0;
    qsizetype end;
    while ((end = pendingOutput_.indexOf('\n')) >= 0) {
        const std::optional<SpeechProgress> line = ParseProgressLine(pendingOutput_.left(end));
        pendingOutput_.remove(0, end + 1);
        if (line) {
            reached = line->reached;
            total = line->total;
        }
    }
    if (reached < 0 || total <= 0 || !progress_ || cancelled_)
        return;
    const double fraction = std::clamp(double(reached) / double(total), 0.0, 1.0);
    progress_->setValue(int(fraction * 100));
    const QString left = TimeLeftText(clock_.elapsed(), fraction);
    progress_->setLabelText(left.isEmpty() ? tr("Writing %1").arg(fileName_)
                                           : tr("Writing %1, %2").arg(fileName_, left));
}

void SpeechSaver::Cancel() {
    if (!process_ || cancelled_)
        return;
    cancelled_ = true;
    if (progress_)
        progress_->setLabelText(tr("Cancelling..."));
    process_->terminate();
    QTimer::singleShot(kCancelGraceMs, process_, [p = process_] { p->kill(); });
}

void SpeechSaver::Done(bool written, const QString &error) {
    if (!process_)
        return;
    process_->disconnect(this);
    process_->deleteLater();
    process_ = nullptr;
    if (progress_) {
        progress_->disconnect(this);
        progress_->close();
    }
    const bool cancelled = std::exchange(cancelled_, false);
    if (!written && !cancelled)
        boxes_.Show(parent_, QString::fromLatin1(AppIdentity::kTitle),
                    tr("The speech could not be saved.\n%1").arg(error), MessageIcon::Critical);
    emit Finished(written);
}
