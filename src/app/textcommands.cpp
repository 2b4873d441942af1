#include "textcommands.h"

#include "appidentity.h"
#include "filedialog.h"
#include "filesearch.h"
#include "keystrokes.h"
#include "messagebox.h"
#include "textfile.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QTextCursor>

TextCommands::TextCommands(QPlainTextEdit *text, QWidget *dialogParent, const Services &services)
    : QObject(dialogParent), text_(text), dialogParent_(dialogParent), services_(services) {
}

void TextCommands::New() {
    if (text_)
        text_->setPlainText(QString());
}

void TextCommands::Open() {
    FileDialog *dialog = services_.fileDialog;
    if (!dialog || !text_)
        return;
    for (;;) {
        // Cancel counts as a failure, and every failure ends the command quietly.
        dialog->SetCancelError(true);
        if (!dialog->ShowOpen(dialogParent_))
            return;
        if (!OpenPath(dialog->FileName()))
            continue;
        return;
    }
}

bool TextCommands::OpenPath(const QString &name) {
    if (!NormalFileExists(QDir::toNativeSeparators(name))) {
        if (services_.messageBoxes)
            services_.messageBoxes->Show(dialogParent_, AppIdentity::Title(),
                                         QStringLiteral("File does not exist"),
                                         MessageIcon::Critical);
        return false;
    }

    // The file is closed by the time the read returns, whatever happened,
    // and the text is replaced only once the whole file is in hand.
    const std::optional<QString> contents = ReadTextFile(QDir::toNativeSeparators(name));
    if (contents && text_)
        text_->setPlainText(*contents);
    return true;
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
    if (services_.keystrokes)
        services_.keystrokes->Send(keys);
}
