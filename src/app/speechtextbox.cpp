#include "speechtextbox.h"

#include <QMimeData>

namespace {

bool HoldsSomething(const QMimeData *source) {
    return source && !source->formats().isEmpty();
}

} // namespace

bool SpeechTextBox::canInsertFromMimeData(const QMimeData *source) const {
    return HoldsSomething(source) && QPlainTextEdit::canInsertFromMimeData(source);
}

void SpeechTextBox::insertFromMimeData(const QMimeData *source) {
    if (HoldsSomething(source))
        QPlainTextEdit::insertFromMimeData(source);
}
