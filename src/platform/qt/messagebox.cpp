#include "messagebox.h"

#include <QMessageBox>

void QtMessageBoxes::Show(QWidget *parent, const QString &title, const QString &text,
                          MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText); // failure descriptions may hold anything
    box.exec();
}

bool QtMessageBoxes::Ask(QWidget *parent, const QString &title, const QString &text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}
