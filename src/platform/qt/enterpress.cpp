#include "enterpress.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace {

class EnterPresses final : public QObject {
public:
    explicit EnterPresses(QAbstractButton *button) : QObject(button), button_(button) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched != button_ || event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            return false;
        }
        // One press per keystroke: holding Enter down does not repeat it.
        if (!key->isAutoRepeat() && button_->isEnabled()) {
            button_->click();
        }
        return true;
    }

private:
    QAbstractButton *button_;
};

} // namespace

void PressOnEnter(QAbstractButton *button) {
    button->installEventFilter(new EnterPresses(button));
}
