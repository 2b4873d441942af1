#include "app/frmmain.h"
#include "info/frmabout.h"
#include "info/frmhelp.h"
#include "speechwindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

// Chooses the menu item and hands the modal window it opens to `inspect`,
// then closes that window; returns the window's class name ("" if none).
QString OpenFromMenu(frmMain &form, const char *item,
                     const std::function<void(QWidget *)> &inspect = {}) {
    QString opened;
    QTimer::singleShot(0, &form, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        opened = QString::fromLatin1(modal->metaObject()->className());
        if (inspect)
            inspect(modal);
        modal->close();
    });
    QAction *action = form.Action(QString::fromLatin1(item));
    if (action == nullptr)
        return QStringLiteral("no such item");
    action->trigger();
    return opened;
}

} // namespace

class TestHelpMenu : public QObject {
    Q_OBJECT
private slots:
    void opensWindowModally_data();
    void opensWindowModally();
    void aboutUsesTheHandedInServices();
};

void TestHelpMenu::opensWindowModally_data() {
    QTest::addColumn<QByteArray>("item");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("caption");
    QTest::newRow("How To Use") << QByteArray("mnuHelpHowToUse") << "frmHelp"
                                << "Zavren Speech - Help";
    QTest::newRow("About") << QByteArray("mnuHelpAbout") << "frmAbout"
                           << "About Zavren Speech";
}

// Each opening is a new window over the speech window, released once closed.
void TestHelpMenu::opensWindowModally() {
    QFETCH(QByteArray, item);
    QFETCH(QString, window);
    QFETCH(QString, caption);

    SpeechWindow w;
    frmMain &form = *w.form;
    w.Show();

    for (int opening = 0; opening < 2; ++opening) {
        bool checked = false;
        const QString opened = OpenFromMenu(form, item.constData(), [&](QWidget *modal) {
            QCOMPARE(modal->windowTitle(), caption);
            QCOMPARE(modal->parentWidget(), &form);
            QVERIFY(modal->isModal());
            checked = true;
        });
        QCOMPARE(opened, window);
        QVERIFY(checked);
        QVERIFY(form.findChildren<QDialog *>().isEmpty());
    }
}

void TestHelpMenu::aboutUsesTheHandedInServices() {
    SpeechWindow w;
    frmMain &form = *w.form;
    w.Show();
    const RegistryDouble &registry = w.doubles.registry;
    const ProcessDouble &processes = w.doubles.processes;
    const RecordingBoxes &boxes = w.boxes;

    const QString opened = OpenFromMenu(form, "mnuHelpAbout", [](QWidget *modal) {
        auto *about = qobject_cast<frmAbout *>(modal);
        QVERIFY(about != nullptr);
        about->cmdSysInfo()->click();
    });
    QCOMPARE(opened, QStringLiteral("frmAbout"));
    QCOMPARE(registry.keysAsked.size(), std::size_t(2));
    QVERIFY(processes.started.empty());
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown.front().text,
             QStringLiteral("System Information Is Unavailable At This Time"));
}

QTEST_MAIN(TestHelpMenu)
#include "tst_helpmenu.moc"
