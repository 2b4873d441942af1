#include "speechtextbox.h"

#include <QMimeData>
#include <QUrl>

namespace {

bool HoldsSomething(const QMimeData *source) {
    return source && !source->formats().isEmpty();
}

// The first local file among the dropped links; empty when there is none, so
// a web address is pasted as text.
QString DroppedFile(const QMimeData *source) {
    if (!source || !source->hasUrls())
        return {};
    for (const QUrl &url : source->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

} // namespace

bool SpeechTextBox::canInsertFromMimeData(const QMimeData *source) const {
    return HoldsSomething(source) &&
           (!DroppedFile(source).isEmpty() || QPlainTextEdit::canInsertFromMimeData(source));
}

void SpeechTextBox::insertFromMimeData(const QMimeData *source) {
    if (const QString file = DroppedFile(source); !file.isEmpty()) {
        // After the drop: opening may ask questions, which a drag must not wait on.
        QMetaObject::invokeMethod(
            this, [this, file] { emit FileDropped(file); }, Qt::QueuedConnection);
        return;
    }
    if (HoldsSomething(source))
        QPlainTextEdit::insertFromMimeData(source);
}
