#pragma once

#include <QString>

class QWidget;

enum class MessageIcon { None, Critical };

// Modal message boxes: with an OK button only, or a question answered Yes or
// No. An interface so that tests can see what would have been shown without
// a modal loop.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void Show(QWidget *parent, const QString &title, const QString &text,
                      MessageIcon icon) = 0;
    // True for Yes.
    virtual bool Ask(QWidget *parent, const QString &title, const QString &text) = 0;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    void Show(QWidget *parent, const QString &title, const QString &text,
              MessageIcon icon) override;
    bool Ask(QWidget *parent, const QString &title, const QString &text) override;
};
