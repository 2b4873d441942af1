#pragma once

#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

// The first local file among dropped links; empty when there is none (a web
// address is text like any other).
QString DroppedLocalFile(const QMimeData *data);

// Takes a file dropped anywhere on `window` (on its buttons and sliders too)
// and hands it on once the drop is over, so opening it may ask questions.
class FileDrop : public QObject {
    Q_OBJECT
public:
    explicit FileDrop(QWidget &window);

signals:
    void FileDropped(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
