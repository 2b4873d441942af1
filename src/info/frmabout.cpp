#include "frmabout.h"

#include "info/appicon.h"
#include "info/infoicons.h"
#include "info/lineshape.h"
#include "info/sysinfo.h"
#include "platform/appidentity.h"
#include "platform/normalfile.h"
#include "platform/qt/captionfont.h"
#include "platform/qt/messagebox.h"
#include "platform/qt/twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr qreal kFontPointSize = 8; // the size the window was laid out for

QLabel *MakeLabel(QWidget *parent, const char *name, const QRect &geometry) {
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

// The address as shown: a word joiner after its last '/' takes away the one
// place a line could break inside it, so it wraps, if at all, as a whole.
QString UnbrokenAddress(const QString &address) {
    QString shown = address;
    const qsizetype slash = shown.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0 && slash + 1 < shown.size()) {
        shown.insert(slash + 1, QChar(0x2060));
    }
    return shown;
}

void SetBlackText(QLabel *label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
}

} // namespace

frmAbout::frmAbout(Registry &registry, ProcessStarter &processes, MessageBoxes &messageBoxes,
                   QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      registry_(registry), processes_(processes), messageBoxes_(messageBoxes) {
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    const TwipsScale twips(this);
    setFixedSize(twips.ToPixels(QSize(5730, 3330)));
    setWindowIcon(AboutWindowIcon());

    // Created in focus order: OK first, then System Info.
    cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setGeometry(twips.ToPixels(4320, 2460, 1260, 345));
    cmdOK_->setDefault(true);
    cmdOK_->setAccessibleName(QStringLiteral("OK"));
    connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);
    cmdOK_->setFocus();

    picIcon_ = new QLabel(this);
    picIcon_->setObjectName(QStringLiteral("picIcon"));
    picIcon_->setGeometry(twips.ToPixels(240, 240, 480, 480));
    picIcon_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picIcon_->setPixmap(AppIconPixmap());
    picIcon_->setAccessibleName(QString::fromLatin1(AppIdentity::kTitle) + QStringLiteral(" icon"));

    cmdSysInfo_ = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo_->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo_->setGeometry(twips.ToPixels(4320, 2880, 1245, 345));
    cmdSysInfo_->setAccessibleName(QStringLiteral("System Info..."));
    connect(cmdSysInfo_, &QPushButton::clicked, this, &frmAbout::StartSysInfo);

    lblDescription_ = MakeLabel(this, "lblDescription", twips.ToPixels(1080, 960, 3885, 1170));
    SetBlackText(lblDescription_);

    lblInfo_ = MakeLabel(this, "lblInfo", twips.ToPixels(360, 2460, 3870, 825));
    SetBlackText(lblInfo_);
    const QString address = QLatin1String(AboutTexts::kWebAddress);
    lblInfo_->setText(QStringLiteral("For more free software visit ") + UnbrokenAddress(address));
    lblInfo_->setAccessibleName(QStringLiteral("For more free software visit ") + address);

    lblTitle_ = MakeLabel(this, "lblTitle", twips.ToPixels(1050, 240, 3885, 300));
    SetBlackText(lblTitle_);

    lblVersion_ = MakeLabel(this, "lblVersion", twips.ToPixels(1050, 600, 3885, 225));

    // The etched rule: a white line two pixels thick with a grey one drawn
    // over its upper row.
    auto *white = new LineShape(Qt::white, this);
    white->setObjectName(QStringLiteral("Line1_0"));
    white->SetLine(twips.ToPixelsX(105), twips.ToPixelsX(5654), twips.ToPixelsY(2280), 2);
    white->setAccessibleName(QStringLiteral("Separator"));
    auto *grey = new LineShape(QColor(128, 128, 128), this);
    grey->setObjectName(QStringLiteral("Line1_1"));
    grey->SetLine(twips.ToPixelsX(60), twips.ToPixelsX(5624), twips.ToPixelsY(2280), 1);
    grey->setAccessibleName(QStringLiteral("Separator"));
    grey->raise();
    Line1_ = {white, grey};

    // One face for the whole window, small enough for the buttons' captions
    // and for the address on a line of its own.
    const CaptionFont::Space addressLine{
        address, QSizeF(lblInfo_->width() - 2 * twips.ToPixelsX(CaptionFont::kMarginTwips),
                        lblInfo_->height())};
    setFont(CaptionFont::Fitted(CaptionFont::DesignFont(kFontPointSize),
                                {CaptionFont::SpaceOf(cmdOK_, twips),
                                 CaptionFont::SpaceOf(cmdSysInfo_, twips), addressLine}));

    Load();
}

void frmAbout::Load() {
    setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(AppIdentity::kTitle));
    lblVersion_->setText(QStringLiteral("Version ") + QString::fromLatin1(AppIdentity::kVersion));
    lblTitle_->setText(QString::fromLatin1(AppIdentity::kTitle));
    lblDescription_->setText(
        QString::fromUtf8(AboutTexts::kRightsNotice) + QStringLiteral("\r\n\r\n") +
        QStringLiteral("Please help to to improve this software by sending you comments to ") +
        QLatin1String(AboutTexts::kFeedbackAddress));
    lblVersion_->setAccessibleName(lblVersion_->text());
    lblTitle_->setAccessibleName(lblTitle_->text());
    lblDescription_->setAccessibleName(lblDescription_->text());
}

void frmAbout::StartSysInfo() {
    const auto found = [](const std::string &path) { return NormalFileExists(path); };
    if (!SysInfo::StartSysInfo(registry_, processes_, found)) {
        messageBoxes_.Show(this, QString::fromLatin1(AppIdentity::kTitle),
                           QLatin1String(AboutTexts::kSysInfoUnavailable), MessageIcon::None);
    }
}

bool frmAbout::GetKeyValue(std::uint32_t KeyRoot, const QString &KeyName, const QString &SubKeyRef,
                           QString &KeyVal) {
    std::string text = KeyVal.toLocal8Bit().toStdString();
    const bool read = SysInfo::GetKeyValue(registry_, KeyRoot, KeyName.toLocal8Bit().toStdString(),
                                           SubKeyRef.toLocal8Bit().toStdString(), text);
    KeyVal = QString::fromLocal8Bit(text);
    return read;
}

void frmAbout::keyPressEvent(QKeyEvent *event) {
    // Escape presses OK, as the cancel button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdOK_->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
