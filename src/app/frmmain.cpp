#include "frmmain.h"

#include "app/documentvoice.h"
#include "app/filedrop.h"
#include "app/frmmainlayout.h"
#include "app/resizerule.h"
#include "app/speakingcommands.h"
#include "app/speechsaver.h"
#include "app/speechtextbox.h"
#include "app/textcommands.h"
#include "app/wordhighlight.h"
#include "info/appicon.h"
#include "info/infowindows.h"
#include "platform/appidentity.h"
#include "platform/qt/captionfont.h"
#include "platform/qt/enterpress.h"
#include "platform/qt/messagebox.h"
#include "platform/qt/twips.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/face/speechcontrol.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <iterator>

using namespace FrmMainLayout;

namespace {

struct MenuEntry {
    const char *name;
    const char *caption; // "-" for a separator
};

constexpr MenuEntry kFileMenu[] = {
    {"mnuFileNew", "&New"},
    {"mnuFileOpen", "&Open"},
    {"mnuFileSpacer", "-"},
    {"mnuFilePlayAll", "&Play"},
    {"mnuFilePlaySelected", "Play Selected"},
    {"mnuFilePause", "&Pause"},
    {"mnuFileStop", "&Stop"},
    {"mnuFileSpacer2", "-"},
    {"mnuFileExit", "E&xit"},
};

constexpr MenuEntry kEditMenu[] = {
    {"mnuUndo", "&Undo"},    {"mnuEditSpacer1", "-"},         {"mnuCut", "&Cut"},
    {"mnuCopy", "&Copy"},    {"mnuPaste", "&Paste"},          {"mnuDelete", "&Delete"},
    {"mnuEditSpacer2", "-"}, {"mnuSelectAll", "&Select All"},
};

constexpr MenuEntry kHelpMenu[] = {
    {"mnuHelpHowToUse", "&How To Use"},
    {"mnuHelpAbout", "&About Zavren Speech"},
};

template <std::size_t N>
void AddMenu(QMenuBar *bar, const char *name, const char *title, const MenuEntry (&items)[N]) {
    QMenu *menu = bar->addMenu(QString::fromLatin1(title));
    menu->setObjectName(QString::fromLatin1(name));
    for (const MenuEntry &item : items) {
        const QString caption = QString::fromLatin1(item.caption);
        QAction *action =
            caption == QLatin1String("-") ? menu->addSeparator() : menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(item.name));
    }
}

void Place(QWidget *widget, const TwipsScale &scale, const TwipsRect &r) {
    widget->setGeometry(scale.ToPixels(r.left, r.top, r.width, r.height));
}

QPushButton *MakeButton(QWidget *parent, const char *name, const char *caption) {
    auto *button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(button->text());
    // No default button: Enter presses only the button holding the focus,
    // and Enter in the text box starts a new line.
    button->setAutoDefault(false);
    button->setDefault(false);
    PressOnEnter(button);
    return button;
}

QSlider *MakeSlider(QWidget *parent, const char *name, const QString &accessibleName,
                    QSlider::TickPosition ticks) {
    auto *slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setAccessibleName(accessibleName);
    slider->setRange(kSliderMin, kSliderMax);
    slider->setSingleStep(kSliderSmallStep);
    slider->setPageStep(kSliderLargeStep);
    slider->setValue(kSliderMin);
    slider->setTickPosition(ticks);
    slider->setTickInterval(10);
    return slider;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const char *caption, QWidget *buddy) {
    auto *label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(CaptionFont::DesignFont(kLabelPointSize, true));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setBuddy(buddy);
    return label;
}

} // namespace

frmMain::frmMain(const Services &services, std::unique_ptr<SpeechControl> voice, QWidget *parent)
    : QMainWindow(parent), services_(services) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(AppIcon());

    CreateControls(std::move(voice));
    CreateMenus();
    ConnectControls();
    ConnectMenus();
    CreateReadingActions();

    const TwipsScale scale(this);
    resize(scale.ToPixelsX(kClientWidth),
           scale.ToPixelsY(kClientHeight) + menuBar()->sizeHint().height());

    Load();
    txtSpeech_->setFocus();
}

frmMain::~frmMain() = default;

void frmMain::CreateControls(std::unique_ptr<SpeechControl> voice) {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);
    const TwipsScale scale(this);

    txtSpeech_ = new SpeechTextBox(client_);
    txtSpeech_->setObjectName(QStringLiteral("txtSpeech"));
    txtSpeech_->setAccessibleName(QStringLiteral("Text to speak"));
    txtSpeech_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtSpeech_->setTabChangesFocus(true); // Tab leads on to the buttons and sliders
    txtSpeech_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtSpeech_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Place(txtSpeech_, scale, kTxtSpeech);

    DirectSS1_ = voice.release(); // from here on the window owns it, as a child
    DirectSS1_->setParent(client_);
    DirectSS1_->setObjectName(QStringLiteral("DirectSS1"));
    if (DirectSS1_->accessibleName().isEmpty()) {
        DirectSS1_->setAccessibleName(QStringLiteral("Voice"));
    }
    Place(DirectSS1_, scale, kDirectSS1);
    DirectSS1_->show();

    cmdPlayAll_ = MakeButton(client_, "cmdPlayAll", "Play All");
    Place(cmdPlayAll_, scale, kCmdPlayAll);
    // The speed slider keeps the tick marks; the pitch slider shows none.
    sldPitch_ = MakeSlider(client_, "sldPitch", QStringLiteral("Pitch"), QSlider::NoTicks);
    Place(sldPitch_, scale, kSldPitch);
    sldSpeed_ = MakeSlider(client_, "sldSpeed", QStringLiteral("Speed"), QSlider::TicksBelow);
    Place(sldSpeed_, scale, kSldSpeed);
    cmdStop_ = MakeButton(client_, "cmdStop", "STOP");
    Place(cmdStop_, scale, kCmdStop);
    cmdPlaySelected_ = MakeButton(client_, "cmdPlaySelected", "Play Selected");
    Place(cmdPlaySelected_, scale, kCmdPlaySelected);
    lblPitch_ = MakeLabel(client_, "lblPitch", "Pitch:", sldPitch_);
    Place(lblPitch_, scale, kLblPitch);
    lblSpeed_ = MakeLabel(client_, "lblSpeed", "Speed:", sldSpeed_);
    Place(lblSpeed_, scale, kLblSpeed);
    CaptionFont::Apply({cmdPlayAll_, cmdPlaySelected_, cmdStop_}, kButtonPointSize, false, scale);
    CaptionFont::Apply({lblPitch_, lblSpeed_}, kLabelPointSize, true, scale);

    QWidget *const focusOrder[] = {txtSpeech_, DirectSS1_, cmdPlayAll_,     sldPitch_,
                                   sldSpeed_,  cmdStop_,   cmdPlaySelected_};
    for (std::size_t i = 1; i < std::size(focusOrder); ++i) {
        setTabOrder(focusOrder[i - 1], focusOrder[i]);
    }

    speaking_ = std::make_unique<SpeakingCommands>(*DirectSS1_, services_.messageBoxes, *txtSpeech_,
                                                   QString::fromLatin1(AppIdentity::kTitle));
    // The word being heard is marked in the text box; the box owns the marker.
    speaking_->SetHighlight(new WordHighlight(*txtSpeech_, *DirectSS1_));
}

void frmMain::CreateMenus() {
    QMenuBar *bar = menuBar();
    AddMenu(bar, "mnuFile", "&File", kFileMenu);
    AddMenu(bar, "mnuEdit", "&Edit", kEditMenu);
    AddMenu(bar, "mnuHelp", "&Help", kHelpMenu);
    Action(QStringLiteral("mnuFilePause"))->setEnabled(false); // never available
}

QAction *frmMain::Action(const QString &name) const {
    return menuBar()->findChild<QAction *>(name);
}

void frmMain::ConnectControls() {
    connect(cmdPlayAll_, &QPushButton::clicked, this, [this] { speaking_->PlayAll(); });
    connect(cmdPlaySelected_, &QPushButton::clicked, this, [this] { speaking_->PlaySelected(); });
    connect(cmdStop_, &QPushButton::clicked, this, [this] { speaking_->Stop(); });
    connect(sldPitch_, &QSlider::valueChanged, this,
            [this](int position) { speaking_->PitchChanged(position); });
    connect(sldSpeed_, &QSlider::valueChanged, this,
            [this](int position) { speaking_->SpeedChanged(position); });
    connect(DirectSS1_, &SpeechControl::SpeakingFailed, this,
            [this](const QString &description) { speaking_->VoiceFailed(description); });
}

// One connection per menu item. The Help items are wired here by the Help
// windows.
void frmMain::ConnectMenus() {
    const auto on = [this](const char *name, auto handler) {
        connect(Action(QString::fromLatin1(name)), &QAction::triggered, this, handler);
    };
    on("mnuFilePlayAll", [this] { speaking_->PlayAll(); });
    on("mnuFilePlaySelected", [this] { speaking_->PlaySelected(); });
    on("mnuFileStop", [this] { speaking_->Stop(); });
    on("mnuFileExit", [this] { close(); });
    on("mnuHelpHowToUse", [this] { ShowHowToUse(this); });
    on("mnuHelpAbout", [this] {
        ShowAbout(this, services_.registry, services_.processes, services_.messageBoxes);
    });

    auto *text = new TextCommands(txtSpeech_, this, services_);
    on("mnuFileNew", [text] { text->New(); });
    on("mnuFileOpen", [text] { text->Open(); });
    on("mnuUndo", [text] { text->Undo(); });
    on("mnuCut", [text] { text->Cut(); });
    on("mnuCopy", [text] { text->Copy(); });
    on("mnuPaste", [text] { text->Paste(); });
    on("mnuDelete", [text] { text->Delete(); });
    on("mnuSelectAll", [text] { text->SelectAll(); });
    // A file dropped on the text, or anywhere else on the window, opens as
    // File > Open would open it.
    connect(static_cast<SpeechTextBox *>(txtSpeech_), &SpeechTextBox::FileDropped, text,
            &TextCommands::OpenPath);
    connect(new FileDrop(*this), &FileDrop::FileDropped, text, &TextCommands::OpenPath);
    connect(text, &TextCommands::DocumentChanged, this, &frmMain::DocumentChanged);
    // Save Speech As, on the voice's own menu.
    if (auto *voice = qobject_cast<EspeakSpeechControl *>(DirectSS1_))
        (new SpeechSaver(*txtSpeech_, *voice, services_.messageBoxes, this))->SetSections([this] {
            return sections_;
        });
}

// The reading commands belong to the window, not to any menu bar menu: their
// keys are ones the text box leaves alone.
void frmMain::CreateReadingActions() {
    const auto add = [this](const char *name, const QString &text, const QList<QKeySequence> &keys,
                            auto handler) {
        auto *action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    add("actPauseResume", tr("Pause or Resume"), {Qt::Key_F9, Qt::Key_MediaTogglePlayPause},
        [this] {
            speaking_->PauseOrResume();
            if (speaking_->Paused())
                KeepPlace();
        });
    add("actReadFromHere", tr("Read From Here"), {Qt::Key_F5},
        [this] { ReadFromHere(txtSpeech_->textCursor().position()); });
    using ReadingMoves::Move;
    const struct {
        const char *name;
        const char *text;
        QKeySequence key;
        Move move;
    } moves[] = {
        {"actPreviousSentence", "Previous Sentence", QKeySequence(Qt::ALT | Qt::Key_Left),
         Move::PreviousSentence},
        {"actNextSentence", "Next Sentence", QKeySequence(Qt::ALT | Qt::Key_Right),
         Move::NextSentence},
        {"actPreviousParagraph", "Previous Paragraph", QKeySequence(Qt::ALT | Qt::Key_Up),
         Move::PreviousParagraph},
        {"actNextParagraph", "Next Paragraph", QKeySequence(Qt::ALT | Qt::Key_Down),
         Move::NextParagraph},
        {"actPreviousSection", "Previous Section", QKeySequence(Qt::ALT | Qt::Key_PageUp),
         Move::PreviousSection},
        {"actNextSection", "Next Section", QKeySequence(Qt::ALT | Qt::Key_PageDown),
         Move::NextSection},
    };
    for (const auto &move : moves)
        add(move.name, tr(move.text), {move.key}, [this, m = move.move] { MoveReading(m); });

    // Where reading is, and the voice it was done with, kept for next time.
    connect(DirectSS1_, &SpeechControl::WordReached, this, [this] {
        if (const qsizetype place = speaking_->Place(); place >= 0)
            place_ = place;
    });
    connect(DirectSS1_, &SpeechControl::SpeakingChanged, this, [this](bool speaking) {
        speakingNow_ = speaking;
        if (speaking)
            KeepVoice();
        else
            KeepPlace();
    });
    connect(txtSpeech_->document(), &QTextDocument::contentsChange, this,
            [this](int, int removed, int added) {
                if (removed > 0 || added > 0) {
                    placeKey_.clear(); // places in another text mean nothing here
                    place_ = -1;
                }
            });
    connect(static_cast<SpeechTextBox *>(txtSpeech_), &SpeechTextBox::ReadFromHereRequested, this,
            [this](int position) { ReadFromHere(position); });
    if (auto *voice = qobject_cast<EspeakSpeechControl *>(DirectSS1_))
        connect(voice, &EspeakSpeechControl::VoiceMenuOpening, this, &frmMain::AddReadingItems);
    if (auto *text = findChild<TextCommands *>())
        connect(text, &TextCommands::Opened, this, &frmMain::FileOpened);
}

QAction *frmMain::ReadingAction(const QString &name) const {
    const QList<QAction *> own = actions();
    const auto found = std::find_if(own.begin(), own.end(),
                                    [&](const QAction *a) { return a->objectName() == name; });
    return found == own.end() ? nullptr : *found;
}

// Pause and Resume, the document's sections, and the reading-place setting,
// after the voices.
void frmMain::AddReadingItems(QMenu *menu) {
    menu->addSeparator();
    QAction *pause = menu->addAction(tr("&Pause") + QStringLiteral("\tF9"));
    pause->setObjectName(QStringLiteral("mnuPause"));
    pause->setEnabled(speakingNow_ && !speaking_->Paused());
    connect(pause, &QAction::triggered, this, [this] {
        speaking_->Pause();
        KeepPlace();
    });
    QAction *resume = menu->addAction(tr("&Resume") + QStringLiteral("\tF9"));
    resume->setObjectName(QStringLiteral("mnuResume"));
    resume->setEnabled(speaking_->Paused());
    connect(resume, &QAction::triggered, this, [this] { speaking_->Resume(); });
    if (!sections_.isEmpty()) {
        QMenu *sections = menu->addMenu(tr("Sec&tions"));
        sections->setObjectName(QStringLiteral("mnuSections"));
        sections->setAccessibleName(tr("Sections"));
        for (const DocumentSection &section : sections_) {
            QString caption =
                QString(qsizetype(std::max(0, section.level - 1)) * 4, u' ') + section.title;
            QAction *item = sections->addAction(caption.replace(u'&', QStringLiteral("&&")));
            connect(item, &QAction::triggered, this,
                    [this, offset = section.offset] { GoToSection(offset); });
        }
    }
    QAction *keep = menu->addAction(tr("Remember Where Reading Stopped"));
    keep->setObjectName(QStringLiteral("mnuKeepPlaces"));
    keep->setCheckable(true);
    keep->setChecked(state_.KeepsPlaces());
    connect(keep, &QAction::toggled, this, [this](bool on) { state_.SetKeepsPlaces(on); });
}

void frmMain::SetSections(const QList<DocumentSection> &sections) {
    sections_ = sections;
    std::stable_sort(
        sections_.begin(), sections_.end(),
        [](const DocumentSection &a, const DocumentSection &b) { return a.offset < b.offset; });
}

namespace {
// How much text around a place the moving keys look at: copying all of a
// long text would hold the new place back.
constexpr qsizetype kAround = qsizetype{64} * 1024;

// The whole lines around `at`, as the whole-text read has them, and where
// they begin.
QString Around(const QTextDocument &document, qsizetype at, qsizetype *begin, bool *whole) {
    QTextBlock first = document.findBlock(int(at));
    QTextBlock last = first;
    while (first.isValid() && first.previous().isValid() && first.position() > at - kAround)
        first = first.previous();
    while (last.isValid() && last.next().isValid() && last.position() < at + kAround)
        last = last.next();
    *begin = first.isValid() ? first.position() : 0;
    *whole = !first.previous().isValid() && !last.next().isValid();
    QString text;
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        text += block.text();
        if (block == last)
            break;
        text += QLatin1Char('\n');
    }
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    return text;
}

// Where `move` from `at` leads in the box, looking at the lines around it
// first and at the whole text only when they do not tell.
qsizetype TargetIn(const QPlainTextEdit &box, qsizetype at, ReadingMoves::Move move,
                   const QList<qsizetype> &sections) {
    if (move == ReadingMoves::Move::PreviousSection || move == ReadingMoves::Move::NextSection)
        return ReadingMoves::Target(QString(), at, move, sections);
    qsizetype begin = 0;
    bool whole = false;
    const QString near = Around(*box.document(), at, &begin, &whole);
    const qsizetype target = ReadingMoves::Target(near, at - begin, move);
    if (target >= 0 && (target > 0 || begin == 0))
        return target + begin;
    return whole ? target : ReadingMoves::Target(box.toPlainText(), at, move);
}
} // namespace

// While the box is read, the voice moves; otherwise the cursor does.
void frmMain::MoveReading(ReadingMoves::Move move) {
    QList<qsizetype> starts;
    for (const DocumentSection &section : sections_)
        starts << section.offset;
    if (const qsizetype place = speaking_->Place(); place >= 0 && speakingNow_) {
        const qsizetype target = TargetIn(*txtSpeech_, place, move, starts);
        if (target >= 0)
            speaking_->ReadFrom(target);
        return;
    }
    QTextCursor cursor = txtSpeech_->textCursor();
    const qsizetype target = TargetIn(*txtSpeech_, cursor.position(), move, starts);
    if (target < 0)
        return;
    cursor.setPosition(int(target));
    txtSpeech_->setTextCursor(cursor);
}

void frmMain::ReadFromHere(qsizetype position) {
    qsizetype begin = 0;
    bool whole = false;
    const QString near = Around(*txtSpeech_->document(), position, &begin, &whole);
    qsizetype start = ReadingMoves::WordStart(near, position - begin);
    if (start >= 0)
        start += begin;
    else if (!whole)
        start = ReadingMoves::WordStart(txtSpeech_->toPlainText(), position);
    if (start >= 0)
        speaking_->ReadFrom(start);
}

void frmMain::GoToSection(qsizetype offset) {
    QTextCursor cursor = txtSpeech_->textCursor();
    cursor.setPosition(
        int(std::clamp<qsizetype>(offset, 0, txtSpeech_->document()->characterCount() - 1)));
    txtSpeech_->setTextCursor(cursor);
    speaking_->ReadFrom(cursor.position());
}

void frmMain::FileOpened(const QByteArray &nativePath) {
    const QByteArray path =
        QFile::encodeName(QFileInfo(QFile::decodeName(nativePath)).absoluteFilePath());
    const QString text = txtSpeech_->toPlainText();
    placeKey_ = ReaderState::PlaceKey(path, text);
    place_ = -1;
    const std::optional<qsizetype> place = state_.Place(placeKey_);
    if (!place || *place <= 0 || *place >= text.size())
        return;
    // Once the open has finished and the box takes typing again.
    QTimer::singleShot(0, this, [this, key = placeKey_, at = *place] {
        if (key == placeKey_)
            OfferPlace(at);
    });
}

void frmMain::OfferPlace(qsizetype place) {
    const QString text = txtSpeech_->toPlainText();
    QString words = text.mid(place, 80).simplified();
    if (words.size() > 50)
        words = words.left(words.lastIndexOf(u' ', 50) > 0 ? words.lastIndexOf(u' ', 50) : 50) +
                QChar(0x2026);
    QString section;
    for (const DocumentSection &s : sections_)
        if (s.offset <= place)
            section = s.title;
    const QString question =
        section.isEmpty()
            ? tr("Continue reading where you stopped last time, at \"%1\"?").arg(words)
            : tr("Continue reading where you stopped last time, in \"%1\", at \"%2\"?")
                  .arg(section, words);
    if (!services_.messageBoxes.Ask(this, QString::fromLatin1(AppIdentity::kTitle), question))
        return;
    GoToSection(place);
}

// A place in the last sentence means the text was read to its end.
void frmMain::KeepPlace() {
    if (placeKey_.isEmpty() || place_ < 0)
        return;
    const QString text = txtSpeech_->toPlainText();
    if (ReadingMoves::Target(text, place_, ReadingMoves::Move::NextSentence) < 0)
        state_.ForgetPlace(placeKey_);
    else
        state_.KeepPlace(placeKey_, place_);
}

void frmMain::KeepVoice() {
    ReaderState::Voice voice;
    if (auto *espeak = qobject_cast<EspeakSpeechControl *>(DirectSS1_))
        voice.identifier = espeak->Voice();
    voice.pitch = sldPitch_->value();
    voice.speed = sldSpeed_->value();
    state_.SetLastVoice(voice);
}

void frmMain::closeEvent(QCloseEvent *event) {
    KeepPlace();
    QMainWindow::closeEvent(event);
}

void frmMain::Load() {
    setWindowTitle(QString::fromLatin1(AppIdentity::kTitle) + QLatin1Char(' ') +
                   QString::fromLatin1(AppIdentity::kVersion));
    txtSpeech_->setPlainText(QStringLiteral("Hello and welcome to Zavren Speech."));
    // Out-of-range pitches settle at the nearer end; the change writes that back.
    sldPitch_->setValue(DirectSS1_->Pitch());
}

void frmMain::DocumentChanged(const QList<DocumentSection> &sections, const QString &language) {
    const bool changed = !sections_.isEmpty() || !sections.isEmpty();
    SetSections(sections);
    FollowLanguage(language);
    if (changed)
        emit SectionsChanged();
}

// A document that says its language is read in a voice of it, unless the
// user has chosen a voice; a later document without one goes back to the
// voice from before.
void frmMain::FollowLanguage(const QString &language) {
    auto *voice = qobject_cast<EspeakSpeechControl *>(DirectSS1_);
    if (!voice)
        return;
    if (!voice->VoiceChosen()) {
        if (language.isEmpty())
            return;
        voiceBefore_ = voice->Voice();
    } else if (followedVoice_.isEmpty() || voice->Voice() != followedVoice_) {
        return; // the user's own choice
    }
    QByteArray wanted = VoiceForLanguage(voice->Voices(), language);
    if (wanted.isEmpty())
        wanted = voiceBefore_;
    if (wanted != voice->Voice() && !voice->SetVoice(wanted))
        return;
    followedVoice_ = wanted;
}

void frmMain::ApplyResizeRule() {
    const TwipsScale scale(this);
    const bool minimised = isMinimized();

    // The least height is a size constraint, so it holds under any window
    // manager; the frame's share is taken off because Qt sizes the inside.
    const int frameHeight = std::max(0, frameGeometry().height() - height());
    const int minimum = std::max(0, MinimumOuterHeight(scale) - frameHeight);
    if (minimumHeight() != minimum) {
        setMinimumHeight(minimum);
    }
    if (!minimised && height() < minimum) {
        resize(width(), minimum);
    }

    ResizeInput in;
    in.outer = frameGeometry().size();
    in.client = client_->size();
    in.playAll = cmdPlayAll_->geometry();
    in.textBox = txtSpeech_->geometry();
    in.minimised = minimised;
    const QRect fitted = FitTextBox(scale, in);
    if (fitted != in.textBox) {
        txtSpeech_->setGeometry(fitted);
    }
}

void frmMain::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    ApplyResizeRule();
}

void frmMain::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    ApplyResizeRule(); // a window manager's frame arrives as a move
}

void frmMain::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    ApplyResizeRule();
}

void frmMain::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        ApplyResizeRule();
    }
}
