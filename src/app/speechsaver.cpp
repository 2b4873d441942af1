#include "speechsaver.h"

#include "platform/appidentity.h"
#include "platform/qt/filedialog.h"
#include "platform/qt/messagebox.h"
#include "platform/qt/nativename.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/speechfiles/progressline.h"
#include "speech/speechfiles/speechfilewriter.h"
#include "speech/voice/speechtext.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
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

namespace {
// How long a cancelled writer gets to remove its files before it is killed.
constexpr int kCancelGraceMs = 10000;

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
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout()))
        grid->addWidget(subtitles, grid->rowCount(), 0, 1, grid->columnCount());
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        Target target{dialog.selectedFiles().front(), subtitles->isChecked()};
        if (!AudioFormatForPath(target.path)) {
            QMessageBox::warning(&dialog, QString::fromLatin1(AppIdentity::kTitle),
                                 tr("Choose a name ending in %1.").arg(AudioExtensionsText()));
            continue;
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
    Start(*target, text);
}

void SpeechSaver::Start(const Target &target, const QString &text) {
    fileName_ = QFileInfo(target.path).fileName();
    cancelled_ = false;
    pendingOutput_.clear();

    // The name as the system spells it, even where the toolkit cannot.
    QStringList args{QStringLiteral("--speak-to"),    PathArgument(NativePath(target.path)),
                     QStringLiteral("--overwrite"), // the dialog has asked
                     QStringLiteral("--progress"),    QStringLiteral("--pitch"),
                     QString::number(voice_.Pitch()), QStringLiteral("--speed"),
                     QString::number(voice_.Speed())};
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
