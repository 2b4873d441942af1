#pragma once

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>

// Installed as the application starts: once the text box has been painted,
// says "painted" on standard output and ends the program.
class PaintProbe : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            auto *box = qobject_cast<QPlainTextEdit *>(watched->parent());
            if (box && box->viewport() == watched) {
                seen_ = true;
                // After this paint has been done and flushed.
                QTimer::singleShot(0, qApp, [] {
                    std::printf("painted\n");
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                });
            }
        }
        return false;
    }

    static void Install() { qApp->installEventFilter(new PaintProbe); }

private:
    bool seen_ = false;
};
