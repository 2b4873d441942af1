#include "frmhelp.h"

#include "info/infoicons.h"
#include "platform/appidentity.h"
#include "platform/qt/captionfont.h"
#include "platform/qt/enterpress.h"
#include "platform/qt/twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace {
constexpr qreal kFontPointSize = 8; // the size the window was laid out for
} // namespace

frmHelp::frmHelp(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmHelp"));
    setModal(true);
    const TwipsScale twips(this);
    setFixedSize(twips.ToPixels(QSize(4680, 2610)));
    setWindowTitle(QString::fromLatin1(AppIdentity::kTitle) + QStringLiteral(" - Help"));
    setWindowIcon(HelpWindowIcon());

    lblTitle_ = new QLabel(QStringLiteral("How to Use Zavren Speech"), this);
    lblTitle_->setObjectName(QStringLiteral("lblTitle"));
    lblTitle_->setGeometry(twips.ToPixels(1170, 120, 2355, 255));
    lblTitle_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont titleFont = CaptionFont::DesignFont(9.75);
    titleFont.setUnderline(true);
    lblTitle_->setFont(titleFont);
    // Where no face with the design's widths is installed the stand-in may be
    // wider: grow the title about its centre rather than cut it off.
    const int needed = lblTitle_->fontMetrics().horizontalAdvance(lblTitle_->text()) + 2;
    if (needed > lblTitle_->width()) {
        const int grown = std::min(needed, width());
        const int centre = lblTitle_->geometry().center().x();
        lblTitle_->setGeometry(std::max(0, centre - grown / 2), lblTitle_->y(), grown,
                               lblTitle_->height());
    }
    lblTitle_->setAccessibleName(lblTitle_->text());

    lblMain_ = new QLabel(this);
    lblMain_->setObjectName(QStringLiteral("lblMain"));
    lblMain_->setGeometry(twips.ToPixels(240, 540, 4215, 1455));
    lblMain_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblMain_->setTextFormat(Qt::PlainText);
    lblMain_->setWordWrap(true);

    // Neither default nor cancel: Enter and the space bar press it only
    // because it holds the focus, and Escape does nothing.
    cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setGeometry(twips.ToPixels(1733, 2160, 1215, 375));
    cmdOK_->setAutoDefault(false);
    cmdOK_->setDefault(false);
    PressOnEnter(cmdOK_);
    cmdOK_->setAccessibleName(QStringLiteral("OK"));
    connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);
    cmdOK_->setFocus();

    // The steps and OK share the window's face; the title keeps its own.
    setFont(CaptionFont::Fitted(CaptionFont::DesignFont(kFontPointSize),
                                {CaptionFont::SpaceOf(cmdOK_, twips)}));

    Load();
}

QString frmHelp::StepsText() {
    return QStringLiteral(
        "1. First type in some text, or load a file by selecting File->Open from the menu.\r\n"
        "2. Then select your speed and pitch preferences.\r\n"
        "3. Finally click 'Play All' or 'Play selected'.\r\n"
        "4. Use commas and full stops for pauses.");
}

void frmHelp::Load() {
    lblMain_->setText(StepsText());
    lblMain_->setAccessibleName(StepsText());
}

void frmHelp::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        // Escape closes nothing here; the close box still does.
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
