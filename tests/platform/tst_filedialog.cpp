#include "platform/qt/filedialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
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

    void showsColumns_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size"); // negative: a folder
        QTest::newRow("text file of 438 bytes") << "here.txt" << qint64(438);
        QTest::newRow("empty file") << "empty" << qint64(0);
        QTest::newRow("file of some megabytes") << "sound.wav" << qint64(5'300'000);
        QTest::newRow("folder") << "Letters" << qint64(-1);
        QTest::newRow("shell script") << "run.sh" << qint64(1023);
    }
    // Every column of the detail view is whole when the dialog opens: the
    // columns are as wide as what they show, and the dialog as wide as they are.
    void showsColumns() {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QTemporaryDir dir;
        if (size < 0) {
            QVERIFY(QDir(dir.path()).mkdir(name));
        } else {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(size));
        }
        bool whole = false;
        QString why;
        WhenDialogShows([&](QFileDialog *dialog) {
            auto *view = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
            QHeaderView *header = view ? view->header() : nullptr;
            dialog->setDirectory(dir.path());
            const auto check = [&] {
                why = QStringLiteral("%1 entries shown")
                          .arg(view->model()->rowCount(view->rootIndex()));
                if (header == nullptr || view->model()->rowCount(view->rootIndex()) != 1)
                    return false;
                for (int column = 0; column < 4; ++column) {
                    const int needed =
                        static_cast<QAbstractItemView *>(view)->sizeHintForColumn(column);
                    const int end =
                        header->sectionViewportPosition(column) + header->sectionSize(column);
                    why = QStringLiteral("column %1: %2 wide for %3, ends at %4 of %5")
                              .arg(column)
                              .arg(header->sectionSize(column))
                              .arg(needed)
                              .arg(end)
                              .arg(view->viewport()->width());
                    if (header->isSectionHidden(column) || needed > header->sectionSize(column) ||
                        end > view->viewport()->width())
                        return false;
                }
                return true;
            };
            whole = QTest::qWaitFor(check, 5000);
            dialog->reject();
        });
        QtFileDialog fileDialog;
        fileDialog.ShowOpen(nullptr);
        QVERIFY2(whole, qPrintable(why));
    }
};

QTEST_MAIN(FileDialogTest)
#include "tst_filedialog.moc"
