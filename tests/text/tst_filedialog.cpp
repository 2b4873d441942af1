#include "filedialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

// Acts on the open-file dialog once it is up, from inside its modal loop.
void WhenDialogShows(std::function<void(QFileDialog *)> act) {
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start(10);
}

} // namespace

class FileDialogTest : public QObject {
    Q_OBJECT

private slots:
    void reportsChoice_data() {
        QTest::addColumn<QString>("typed"); // null: the user cancels
        QTest::addColumn<bool>("cancelError");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("fileName");

        QTest::newRow("typed name that does not exist")
            << "no such file.txt" << true << true << "no such file.txt";
        QTest::newRow("typed name of an existing file") << "here.txt" << true << true << "here.txt";
        QTest::newRow("cancel counts as failure") << QString() << true << false << "";
        QTest::newRow("cancel without failure") << QString() << false << true << "";
    }
    void reportsChoice() {
        QFETCH(QString, typed);
        QFETCH(bool, cancelError);
        QFETCH(bool, shown);
        QFETCH(QString, fileName);

        QTemporaryDir dir;
        QFile here(dir.filePath(QStringLiteral("here.txt")));
        QVERIFY(here.open(QIODevice::WriteOnly));
        here.close();

        bool appeared = false;
        QStringList filters;
        WhenDialogShows([&](QFileDialog *dialog) {
            appeared = true;
            filters = dialog->nameFilters();
            if (typed.isNull()) {
                dialog->reject();
                return;
            }
            dialog->setDirectory(dir.path());
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            edit->setText(typed);
            QMetaObject::invokeMethod(dialog, "accept");
        });

        QtFileDialog fileDialog;
        fileDialog.SetCancelError(cancelError);
        QCOMPARE(fileDialog.ShowOpen(nullptr), shown);
        QCOMPARE(fileDialog.FileName(), fileName.isEmpty() ? QString() : dir.filePath(fileName));
        QVERIFY(appeared);
        QCOMPARE(filters, QStringList{QStringLiteral("All Files (*)")}); // no filter of ours
    }
};

QTEST_MAIN(FileDialogTest)
#include "tst_filedialog.moc"
