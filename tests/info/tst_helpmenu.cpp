#include "app/frmmain.h"
#include "doubles.h"
#include "info/frmabout.h"
#include "info/frmhelp.h"
#include "speech/speechcontrol.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

// A voice that says nothing: these tests only open the Help windows.
class SilentVoice final : public SpeechControl {
public:
    SpeechStatus Speak(const QString &) override { return SpeechStatus::Ok(); }
    std::int32_t Pitch() const override { return 200; }
    void SetPitch(std::int32_t) override {}
    void SetSpeed(std::int32_t) override {}
    SpeechStatus StopSpeaking() override { return SpeechStatus::Ok(); }
};

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

    MessageBoxDouble boxes;
    frmMain form(Services{&boxes}, std::make_unique<SilentVoice>());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

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
    MessageBoxDouble boxes;
    RegistryDouble registry;
    ProcessDouble processes;
    Services services{&boxes};
    services.registry = &registry;
    services.processes = &processes;
    frmMain form(services, std::make_unique<SilentVoice>());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    const QString opened = OpenFromMenu(form, "mnuHelpAbout", [](QWidget *modal) {
        auto *about = qobject_cast<frmAbout *>(modal);
        QVERIFY(about != nullptr);
        about->cmdSysInfo()->click();
    });
    QCOMPARE(opened, QStringLiteral("frmAbout"));
    QCOMPARE(registry.keysAsked.size(), std::size_t(2));
    QVERIFY(processes.started.empty());
    QCOMPARE(boxes.shown.size(), std::size_t(1));
    QCOMPARE(boxes.shown.front().text,
             QStringLiteral("System Information Is Unavailable At This Time"));
}

QTEST_MAIN(TestHelpMenu)
#include "tst_helpmenu.moc"
