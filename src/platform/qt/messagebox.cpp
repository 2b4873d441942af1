#include "messagebox.h"

#include <QMessageBox>

void QtMessageBoxes::Show(QWidget *parent, const QString &title, const QString &text,
                          MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText); // failure descriptions may hold anything
    box.exec();
}
