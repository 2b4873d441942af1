#include "textcommands.h"

#include "app/textfile.h"
#include "app/textload.h"
#include "platform/appidentity.h"
#include "platform/qt/filedialog.h"
#include "platform/qt/keystrokes.h"
#include "platform/qt/messagebox.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextCursor>

TextCommands::TextCommands(QPlainTextEdit *text, QWidget *dialogParent, const Services &services)
    : QObject(dialogParent), text_(text), dialogParent_(dialogParent), services_(services) {
    if (text_) {
        load_ = new TextLoad(*text_, dialogParent_, services_.messageBoxes);
        connect(load_, &TextLoad::Finished, this, &TextCommands::OpenFinished);
        // The document's sections first: the place offered names its section.
        connect(load_, &TextLoad::Opened, this,
                [this](const QByteArray &nativePath, const QList<DocumentSection> &sections,
                       const QString &language) {
                    emit DocumentChanged(sections, language);
                    emit Opened(nativePath);
                });
    }
}

TextLoad *TextCommands::Load() const {
    return load_.data();
}

bool TextCommands::Loading() const {
    return load_ && load_->Running();
}

void TextCommands::New() {
    if (load_)
        load_->Abandon();
    if (text_)
        text_->setPlainText(QString());
    emit DocumentChanged({}, {});
}

void TextCommands::Open() {
    FileDialog &dialog = services_.fileDialog;
    if (!text_ || Loading())
        return;
    for (;;) {
        // Cancel counts as a failure, and every failure ends the command quietly.
        dialog.SetCancelError(true);
        if (!dialog.ShowOpen(dialogParent_))
            return;
        if (!OpenPath(dialog.FileName()))
            continue;
        return;
    }
}

// The file is read whole before the box is touched; the read closes it
// whatever happens.
bool TextCommands::OpenPath(const QString &name) {
    if (!text_ || !load_ || Loading())
        return true;
    const FoundTextFile file = FindTextFile(name);
    if (file.Ambiguous()) {
        SayNameIsAmbiguous(file.shown, file.sameNames);
        return false;
    }
    if (!file.Found()) {
        services_.messageBoxes.Show(dialogParent_, QString::fromLatin1(AppIdentity::kTitle),
                                    QStringLiteral("File does not exist"), MessageIcon::Critical);
        return false;
    }
    load_->Start(file.native, file.shown);
    return true;
}

void TextCommands::SayNameIsAmbiguous(const QString &path, std::size_t count) {
    services_.messageBoxes.Show(
        dialogParent_, QString::fromLatin1(AppIdentity::kTitle),
        QStringLiteral("The name \"%1\" is not valid UTF-8, and %L2 files in its folder read "
                       "the same way, so which one is meant cannot be told. Rename the file "
                       "to open it.")
            .arg(QFileInfo(path).fileName())
            .arg(qulonglong(count)),
        MessageIcon::Critical);
}

void TextCommands::Undo() {
    SendKeys(QStringLiteral("^Z"));
}

void TextCommands::Cut() {
    SendKeys(QStringLiteral("^X"));
}

void TextCommands::Copy() {
    SendKeys(QStringLiteral("^C"));
}

void TextCommands::Paste() {
    SendKeys(QStringLiteral("^V"));
}

// What the Delete key does: the selection goes, or with none the character
// after the cursor.
void TextCommands::Delete() {
    SendKeys(QStringLiteral("{DEL}"));
}

void TextCommands::SelectAll() {
    if (!text_)
        return;
    text_->setFocus();
    QTextCursor cursor = text_->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(cursor.document()->characterCount() - 1, QTextCursor::KeepAnchor);
    text_->setTextCursor(cursor);
}

void TextCommands::SendKeys(const QString &keys) {
    if (!text_)
        return;
    text_->setFocus();
    services_.keystrokes.Send(keys);
}
