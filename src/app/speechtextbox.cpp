#include "speechtextbox.h"

#include "app/filedrop.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>

namespace {

bool HoldsSomething(const QMimeData *source) {
    return source && !source->formats().isEmpty();
}

} // namespace

bool SpeechTextBox::canInsertFromMimeData(const QMimeData *source) const {
    return HoldsSomething(source) &&
           (!DroppedLocalFile(source).isEmpty() || QPlainTextEdit::canInsertFromMimeData(source));
}

void SpeechTextBox::insertFromMimeData(const QMimeData *source) {
    if (const QString file = DroppedLocalFile(source); !file.isEmpty()) {
        // After the drop: opening may ask questions, which a drag must not wait on.
        QMetaObject::invokeMethod(
            this, [this, file] { emit FileDropped(file); }, Qt::QueuedConnection);
        return;
    }
    if (HoldsSomething(source))
        QPlainTextEdit::insertFromMimeData(source);
}

void SpeechTextBox::contextMenuEvent(QContextMenuEvent *event) {
    const bool byMouse = event->reason() == QContextMenuEvent::Mouse;
    const int position =
        byMouse ? cursorForPosition(event->pos()).position() : textCursor().position();
    QMenu *menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction *read = menu->addAction(tr("Read &From Here") + QStringLiteral("\tF5"));
    read->setObjectName(QStringLiteral("mnuReadFromHere"));
    connect(read, &QAction::triggered, this,
            [this, position] { emit ReadFromHereRequested(position); });
    menu->popup(byMouse ? event->globalPos() : viewport()->mapToGlobal(cursorRect().center()));
    event->accept();
}
