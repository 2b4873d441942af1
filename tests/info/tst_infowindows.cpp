#include "captionink.h"
#include "doubles.h"
#include "info/appicon.h"
#include "info/frmabout.h"
#include "info/frmhelp.h"
#include "info/lineshape.h"
#include "info/sysinfo.h"
#include "platform/qt/twips.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

QRect Twips(const QWidget *w, int left, int top, int width, int height) {
    return TwipsScale(w).ToPixels(left, top, width, height);
}

// Runs the window modally, presses `key` once it is up (OK holding the focus;
// `whileOpen` looks at it then), and tells whether the key ended the run.
template <typename Window>
bool KeyClosesModal(Window &window, Qt::Key key, const std::function<void()> &whileOpen = {}) {
    bool stillOpen = false;
    QTimer::singleShot(0, &window, [&] {
        [&] {
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QCOMPARE(window.focusWidget(), window.cmdOK());
            if (whileOpen)
                whileOpen();
            QTest::keyClick(window.focusWidget(), key);
            stillOpen = window.isVisible();
        }();
        // Closed whatever happened above, so a failure cannot hang the run.
        if (window.isVisible())
            window.close();
    });
    window.exec();
    return !stillOpen;
}

} // namespace

class TestInfoWindows : public QObject {
    Q_OBJECT
private slots:
    void helpTexts();
    void helpLayout();
    void helpKeys_data();
    void helpKeys();
    void helpCloseBoxCloses();
    void aboutTexts();
    void aboutLayout();
    void aboutKeys_data();
    void aboutKeys();
    void aboutSysInfoButton_data();
    void aboutSysInfoButton();
    void aboutGetKeyValueKeepsBytes();
    void aboutAddressUnbroken_data();
    void aboutAddressUnbroken();
    void captionsInsideControls_data();
    void captionsInsideControls();
    void accessibleNames();
};

void TestInfoWindows::helpTexts() {
    frmHelp help;
    QCOMPARE(help.windowTitle(), QStringLiteral("Zavren Speech - Help"));
    QCOMPARE(help.lblTitle()->text(), QStringLiteral("How to Use Zavren Speech"));
    QCOMPARE(help.lblMain()->text(),
             QStringLiteral("1. First type in some text, or load a file by selecting File->Open "
                            "from the menu.\r\n"
                            "2. Then select your speed and pitch preferences.\r\n"
                            "3. Finally click 'Play All' or 'Play selected'.\r\n"
                            "4. Use commas and full stops for pauses."));
    QVERIFY(help.lblMain()->wordWrap());
    QCOMPARE(help.cmdOK()->text(), QStringLiteral("OK"));

    const QFont title = help.lblTitle()->font();
    QCOMPARE(title.family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(title.pointSizeF(), 9.75);
    QVERIFY(title.underline());
    QVERIFY(!title.bold());
    QVERIFY(help.lblTitle()->alignment() & Qt::AlignHCenter);
    QVERIFY(!help.windowIcon().isNull());
}

void TestInfoWindows::helpLayout() {
    frmHelp help;
    const TwipsScale twips(&help);
    QCOMPARE(help.size(), twips.ToPixels(QSize(4680, 2610)));
    QCOMPARE(help.minimumSize(), help.maximumSize());
    // The title grows about its centre only when its font's stand-in needs it.
    const QRect title = Twips(&help, 1170, 120, 2355, 255);
    const QRect shown = help.lblTitle()->geometry();
    QCOMPARE(shown.top(), title.top());
    QCOMPARE(shown.height(), title.height());
    QVERIFY(qAbs(shown.center().x() - title.center().x()) <= 1);
    QVERIFY(shown.width() >= title.width());
    QVERIFY(shown.width() == title.width() ||
            shown.width() <=
                help.lblTitle()->fontMetrics().horizontalAdvance(help.lblTitle()->text()) + 2);
    QVERIFY(shown.left() >= 0 && shown.right() < help.width());
    QCOMPARE(help.lblMain()->geometry(), Twips(&help, 240, 540, 4215, 1455));
    QCOMPARE(help.cmdOK()->geometry(), Twips(&help, 1733, 2160, 1215, 375));
    const Qt::WindowFlags flags = help.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    // OK is the only control that takes the focus.
    const auto buttons = help.findChildren<QWidget *>();
    for (const QWidget *w : buttons)
        QCOMPARE(w->focusPolicy() != Qt::NoFocus, w == help.cmdOK());
}

void TestInfoWindows::helpKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Escape does nothing") << int(Qt::Key_Escape) << false;
    QTest::newRow("Enter presses the focused OK") << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter presses the focused OK") << int(Qt::Key_Enter) << true;
    QTest::newRow("space presses the focused OK") << int(Qt::Key_Space) << true;
}

void TestInfoWindows::helpKeys() {
    QFETCH(int, key);
    QFETCH(bool, closes);
    frmHelp help;
    QVERIFY(!help.cmdOK()->isDefault());
    QVERIFY(!help.cmdOK()->autoDefault());
    // Holding the focus does not make it the default button.
    bool defaultWhileFocused = true;
    QCOMPARE(KeyClosesModal(help, Qt::Key(key),
                            [&] { defaultWhileFocused = help.cmdOK()->isDefault(); }),
             closes);
    QVERIFY(!defaultWhileFocused);
}

void TestInfoWindows::helpCloseBoxCloses() {
    frmHelp help;
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    QVERIFY(help.close());
    QVERIFY(!help.isVisible());
}

void TestInfoWindows::aboutTexts() {
    RegistryDouble registry;
    ProcessDouble processes;
    RecordingBoxes boxes;
    frmAbout about(registry, processes, boxes);
    QCOMPARE(about.windowTitle(), QStringLiteral("About Zavren Speech"));
    QCOMPARE(about.lblTitle()->text(), QStringLiteral("Zavren Speech"));
    QCOMPARE(about.lblVersion()->text(), QStringLiteral("Version 1.0.0"));
    const QString description = about.lblDescription()->text();
    QVERIFY(description.endsWith(
        QStringLiteral("\r\n\r\nPlease help to to improve this software by sending you "
                       "comments to ") +
        QLatin1String(AboutTexts::kFeedbackAddress)));
    QVERIFY(description.startsWith(QString::fromUtf8(AboutTexts::kRightsNotice)));
    // Shown with a word joiner inside the address; read out without it.
    const QString info =
        QStringLiteral("For more free software visit ") + QLatin1String(AboutTexts::kWebAddress);
    QCOMPARE(about.lblInfo()->text().remove(QChar(0x2060)), info);
    QCOMPARE(about.lblInfo()->accessibleName(), info);
    QCOMPARE(about.cmdOK()->text(), QStringLiteral("OK"));
    QCOMPARE(about.cmdSysInfo()->text(), QStringLiteral("&System Info..."));

    // Black text on three labels; the version keeps the usual label colour.
    for (const QLabel *label : {about.lblDescription(), about.lblInfo(), about.lblTitle()})
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    QCOMPARE(about.lblVersion()->palette().color(QPalette::WindowText),
             about.palette().color(QPalette::WindowText));

    const QPixmap icon = about.picIcon()->pixmap();
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(icon.toImage().convertToFormat(QImage::Format_ARGB32),
             AppIconPixmap().toImage().convertToFormat(QImage::Format_ARGB32));
    QVERIFY(!about.windowIcon().isNull());
}

void TestInfoWindows::aboutLayout() {
    RegistryDouble registry;
    ProcessDouble processes;
    RecordingBoxes boxes;
    frmAbout about(registry, processes, boxes);
    const TwipsScale twips(&about);
    QCOMPARE(about.size(), twips.ToPixels(QSize(5730, 3330)));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QCOMPARE(about.cmdOK()->geometry(), Twips(&about, 4320, 2460, 1260, 345));
    QCOMPARE(about.picIcon()->geometry(), Twips(&about, 240, 240, 480, 480));
    QCOMPARE(about.cmdSysInfo()->geometry(), Twips(&about, 4320, 2880, 1245, 345));
    QCOMPARE(about.lblDescription()->geometry(), Twips(&about, 1080, 960, 3885, 1170));
    QCOMPARE(about.lblInfo()->geometry(), Twips(&about, 360, 2460, 3870, 825));
    QCOMPARE(about.lblTitle()->geometry(), Twips(&about, 1050, 240, 3885, 300));
    QCOMPARE(about.lblVersion()->geometry(), Twips(&about, 1050, 600, 3885, 225));
    QVERIFY(!(about.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(about.windowFlags() & Qt::WindowMaximizeButtonHint));

    // The etched rule: grey over the top row of a two-pixel white line.
    const int y = twips.ToPixelsY(2280);
    QCOMPARE(about.Line1(0)->colour(), QColor(Qt::white));
    QCOMPARE(about.Line1(0)->geometry(),
             QRect(QPoint(twips.ToPixelsX(105), y), QPoint(twips.ToPixelsX(5654), y + 1)));
    QCOMPARE(about.Line1(1)->colour(), QColor(128, 128, 128));
    QCOMPARE(about.Line1(1)->geometry(),
             QRect(QPoint(twips.ToPixelsX(60), y), QPoint(twips.ToPixelsX(5624), y)));
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const QImage shot = about.grab().toImage();
    const int x = twips.ToPixelsX(2000);
    QCOMPARE(shot.pixelColor(x, y), QColor(128, 128, 128));
    QCOMPARE(shot.pixelColor(x, y + 1), QColor(Qt::white));

    // OK first in focus order, then System Info.
    QCOMPARE(about.focusWidget(), about.cmdOK());
    QWidget *next = about.cmdOK()->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    QCOMPARE(next, about.cmdSysInfo());
}

void TestInfoWindows::aboutKeys_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("space") << int(Qt::Key_Space);
}

// Each key presses OK, which closes the window.
void TestInfoWindows::aboutKeys() {
    QFETCH(int, key);
    RegistryDouble registry;
    ProcessDouble processes;
    RecordingBoxes boxes;
    frmAbout about(registry, processes, boxes);
    QVERIFY(about.cmdOK()->isDefault());
    QSignalSpy pressed(about.cmdOK(), &QPushButton::clicked);
    QVERIFY(KeyClosesModal(about, Qt::Key(key)));
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(about.result(), int(QDialog::Accepted));
    QVERIFY(processes.started.empty());
}

void TestInfoWindows::aboutSysInfoButton_data() {
    QTest::addColumn<bool>("valuePresent");
    QTest::addColumn<bool>("startWorks");
    QTest::addColumn<bool>("messageShown");
    QTest::newRow("tool started") << true << true << false;
    QTest::newRow("tool fails to start") << true << false << true;
    QTest::newRow("no registry value") << false << true << true;
}

void TestInfoWindows::aboutSysInfoButton() {
    QFETCH(bool, valuePresent);
    QFETCH(bool, startWorks);
    QFETCH(bool, messageShown);

    RegistryDouble registry;
    if (valuePresent)
        registry.Set(SysInfo::kPathKey, "PATH", Reg::kTypeSz, Bytes(std::string("/x/tool\0", 8)));
    ProcessDouble processes;
    processes.succeed = startWorks;
    RecordingBoxes boxes;
    frmAbout about(registry, processes, boxes);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(about.cmdSysInfo(), Qt::LeftButton);

    QCOMPARE(processes.started.size(), std::size_t(valuePresent ? 1 : 0));
    if (valuePresent)
        QCOMPARE(processes.started.front(), std::string("/x/tool"));
    QCOMPARE(boxes.shown.size(), messageShown ? 1 : 0);
    if (messageShown) {
        QCOMPARE(boxes.shown.front().title, QStringLiteral("Zavren Speech"));
        QCOMPARE(boxes.shown.front().text,
                 QStringLiteral("System Information Is Unavailable At This Time"));
        QCOMPARE(boxes.shown.front().icon, MessageIcon::None);
    }
    // The About window stays open either way.
    QVERIFY(about.isVisible());
    QCOMPARE(registry.OpenNow(), 0);
}

void TestInfoWindows::aboutGetKeyValueKeepsBytes() {
    RegistryDouble registry;
    registry.Set("SOFTWARE\\A", "S", Reg::kTypeSz, Bytes(std::string("caf\xc3\xa9\0", 6)));
    registry.Set("SOFTWARE\\A", "D", Reg::kTypeDword, Bytes(std::string("\xff\xff\xff\xff", 4)));
    ProcessDouble processes;
    RecordingBoxes boxes;
    frmAbout about(registry, processes, boxes);
    QString keyVal;
    QVERIFY(
        about.GetKeyValue(0x80000002u, QStringLiteral("SOFTWARE\\A"), QStringLiteral("S"), keyVal));
    QCOMPARE(keyVal, QString::fromLocal8Bit("caf\xc3\xa9"));
    QVERIFY(
        about.GetKeyValue(0x80000002u, QStringLiteral("SOFTWARE\\A"), QStringLiteral("D"), keyVal));
    QCOMPARE(keyVal, QStringLiteral("-1"));
    QVERIFY(!about.GetKeyValue(0x80000002u, QStringLiteral("SOFTWARE\\B"), QStringLiteral("D"),
                               keyVal));
    QVERIFY(keyVal.isEmpty());
    QCOMPARE(registry.OpenNow(), 0);
}

void TestInfoWindows::aboutAddressUnbroken_data() {
    QTest::addColumn<qreal>("enlarged");
    QTest::newRow("in the window's font") << 1.0;
    // Larger fonts force the line to wrap.
    QTest::newRow("in a font a quarter larger") << 1.25;
    QTest::newRow("in a font half as large again") << 1.5;
}

// The address is drawn on one line with the rest, or alone on the next one.
void TestInfoWindows::aboutAddressUnbroken() {
    QFETCH(qreal, enlarged);
    RegistryDouble registry;
    ProcessDouble processes;
    RecordingBoxes boxes;
    frmAbout about(registry, processes, boxes);
    QLabel *info = about.lblInfo();
    QFont font = info->font();
    font.setPointSizeF(font.pointSizeF() * enlarged);
    info->setFont(font);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));

    // Each line's width against that of its text drawn alone in the same font.
    const auto width = [&](const QString &text) {
        QLabel reference(text, &about);
        reference.setGeometry(info->geometry());
        reference.setFont(info->font());
        reference.setPalette(info->palette());
        reference.setAlignment(info->alignment());
        reference.setTextFormat(Qt::PlainText);
        const QList<int> widths = InkLineWidths(reference.grab().toImage());
        return widths.size() == 1 ? widths.front() : -1;
    };
    const QString lead = QStringLiteral("For more free software visit");
    const QString address = QLatin1String(AboutTexts::kWebAddress);
    const QList<int> shown = InkLineWidths(info->grab().toImage());
    const QList<int> oneLine{width(lead + QLatin1Char(' ') + address)};
    const QList<int> twoLines{width(lead), width(address)};
    const auto same = [](const QList<int> &a, const QList<int> &b) {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (qAbs(a[i] - b[i]) > 1) // the same glyphs, maybe a subpixel apart
                return false;
        }
        return true;
    };
    QVERIFY2(
        same(shown, oneLine) || same(shown, twoLines),
        qPrintable(QStringLiteral("line widths %1; whole: %2, parted before the address: %3, %4")
                       .arg(QString::number(shown.value(0)) + QLatin1Char(' ') +
                            QString::number(shown.value(1)))
                       .arg(oneLine[0])
                       .arg(twoLines[0])
                       .arg(twoLines[1])));
    QVERIFY(enlarged == 1.0 || shown.size() == 2);
}

void TestInfoWindows::captionsInsideControls_data() {
    QTest::addColumn<bool>("about");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QMarginsF>("air"); // the least, between the text and each edge
    const QMarginsF button(4, 2, 4, 2);
    QTest::newRow("About: OK") << true << "cmdOK" << button;
    QTest::newRow("About: System Info...") << true << "cmdSysInfo" << button;
    QTest::newRow("About: address") << true << "lblInfo" << QMarginsF(0, 0, 0, 1);
    QTest::newRow("About: notices") << true << "lblDescription" << QMarginsF(0, 0, 0, 1);
    QTest::newRow("How to use: OK") << false << "cmdOK" << button;
    QTest::newRow("How to use: title") << false << "lblTitle" << QMarginsF(1, 0, 1, 0);
    QTest::newRow("How to use: steps") << false << "lblMain" << QMarginsF(0, 0, 0, 1);
}

// Read off the window as shown, at whatever scale the test runs.
void TestInfoWindows::captionsInsideControls() {
    QFETCH(bool, about);
    QFETCH(QString, name);
    QFETCH(QMarginsF, air);
    RegistryDouble registry;
    ProcessDouble processes;
    RecordingBoxes boxes;
    frmAbout aboutWindow(registry, processes, boxes);
    frmHelp helpWindow;
    QDialog *window = about ? static_cast<QDialog *>(&aboutWindow) : &helpWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *control = window->findChild<QWidget *>(name);
    QVERIFY(control);
    const QMarginsF shown = CaptionAir(window, control);
    QVERIFY2(shown.left() >= air.left() && shown.top() >= air.top() &&
                 shown.right() >= air.right() && shown.bottom() >= air.bottom(),
             qPrintable(QStringLiteral("air around the text %1,%2,%3,%4 in %5pt")
                            .arg(shown.left())
                            .arg(shown.top())
                            .arg(shown.right())
                            .arg(shown.bottom())
                            .arg(control->font().pointSizeF())));
}

void TestInfoWindows::accessibleNames() {
    RegistryDouble registry;
    ProcessDouble processes;
    RecordingBoxes boxes;
    frmAbout about(registry, processes, boxes);
    frmHelp help;
    for (QWidget *window : {static_cast<QWidget *>(&about), static_cast<QWidget *>(&help)}) {
        for (const QWidget *w : window->findChildren<QWidget *>()) {
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            QVERIFY2(!w->accessibleName().contains(QLatin1Char('&')), qPrintable(w->objectName()));
        }
    }
}

QTEST_MAIN(TestInfoWindows)
#include "tst_infowindows.moc"
