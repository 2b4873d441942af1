#pragma once

#include "app/readerstate.h"
#include "app/readingmoves.h"
#include "app/services.h"
#include "documents/document.h"

#include <QList>
#include <QMainWindow>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class SpeakingCommands;
class SpeechControl;

// The speech window: the text to speak, the voice, the speaking buttons and
// sliders, and the menu bar. The program runs for as long as it is open.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // The window takes `voice` (never null) as its child.
    frmMain(const Services &services, std::unique_ptr<SpeechControl> voice,
            QWidget *parent = nullptr);
    ~frmMain() override;

    QPlainTextEdit *txtSpeech() const { return txtSpeech_; }
    SpeechControl *DirectSS1() const { return DirectSS1_; }
    QPushButton *cmdPlayAll() const { return cmdPlayAll_; }
    QPushButton *cmdPlaySelected() const { return cmdPlaySelected_; }
    QPushButton *cmdStop() const { return cmdStop_; }
    QSlider *sldPitch() const { return sldPitch_; }
    QSlider *sldSpeed() const { return sldSpeed_; }
    QLabel *lblPitch() const { return lblPitch_; }
    QLabel *lblSpeed() const { return lblSpeed_; }
    const Services &services() const { return services_; }

    // A menu item or separator by its name, e.g. "mnuFileOpen"; null if none.
    QAction *Action(const QString &name) const;
    // A reading command's action by its name, e.g. "actNextSentence": they
    // are the window's own, reached by key and from the voice's menu.
    QAction *ReadingAction(const QString &name) const;

    // The headings of the document in the box: empty after New and for a
    // text file.
    void SetSections(const QList<DocumentSection> &sections);
    const QList<DocumentSection> &Sections() const { return sections_; }

    // The speaking commands, for the voice's service to other programs.
    SpeakingCommands &Speaking() const { return *speaking_; }
    // Where reading places and the last voice are kept.
    ReaderState &State() { return state_; }

    // Reading commands, as their keys and menu items run them.
    void MoveReading(ReadingMoves::Move move);
    void ReadFromHere(qsizetype position);
    void GoToSection(qsizetype offset);

signals:
    void SectionsChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateControls(std::unique_ptr<SpeechControl> voice);
    void CreateMenus();
    void ConnectControls();
    void ConnectMenus();
    void Load();
    void ApplyResizeRule();
    void DocumentChanged(const QList<DocumentSection> &sections, const QString &language);
    void FollowLanguage(const QString &language);
    void CreateReadingActions();
    void AddReadingItems(QMenu *menu);
    void FileOpened(const QByteArray &nativePath);
    void OfferPlace(qsizetype place);
    void KeepPlace();
    void KeepVoice();

    Services services_;
    QWidget *client_ = nullptr;
    QPlainTextEdit *txtSpeech_ = nullptr;
    SpeechControl *DirectSS1_ = nullptr;
    QPushButton *cmdPlayAll_ = nullptr;
    QSlider *sldPitch_ = nullptr;
    QSlider *sldSpeed_ = nullptr;
    QPushButton *cmdStop_ = nullptr;
    QPushButton *cmdPlaySelected_ = nullptr;
    QLabel *lblPitch_ = nullptr;
    QLabel *lblSpeed_ = nullptr;
    std::unique_ptr<SpeakingCommands> speaking_;
    QList<DocumentSection> sections_;
    // The voice a document's language chose, and the one from before: while
    // the user chooses none, each document's language picks the voice.
    QByteArray followedVoice_;
    QByteArray voiceBefore_;
    ReaderState state_;
    QByteArray placeKey_;  // of the file in the box, until its text is edited
    qsizetype place_ = -1; // where reading the box was last heard
    bool speakingNow_ = false;
};
