#include "speechtextbox.h"

#include "app/filedrop.h"

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
