#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStringList>
#include <QTimer>
#include <QtTest>

// Answers the modal windows a command opens, as a user at the keyboard would:
// a message box is read and closed with OK; a file dialog gets the next
// scripted answer, a name typed into its file-name box and Enter pressed, or
// Cancel for a null string or when no answer is left. A progress window is
// left to run.
class ModalAnswerer : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    explicit ModalAnswerer(QStringList dialogAnswers = {}) : answers_(std::move(dialogAnswers)) {
        connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Answer);
        timer_.start(20);
    }

    QList<Box> boxes;
    int dialogsShown = 0;
    int answersLeft() const { return int(answers_.size()); }

private:
    void Answer() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || qobject_cast<QProgressDialog *>(modal))
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes.append({box->windowTitle(), box->text(), box->icon()});
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            if (modal != lastDialog_) {
                lastDialog_ = modal;
                ++dialogsShown;
            }
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            const QString answer = answers_.isEmpty() ? QString() : answers_.takeFirst();
            if (answer.isNull() || !edit) {
                dialog->reject();
                return;
            }
            edit->setFocus();
            edit->setText(answer);
            QTest::keyClick(edit, Qt::Key_Return);
        } else {
            modal->close();
        }
    }

    QStringList answers_;
    QPointer<QWidget> lastDialog_;
    QTimer timer_;
};
