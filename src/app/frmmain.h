#pragma once

#include "app/services.h"
#include "documents/document.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QLabel;
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

    // The sections of the document whose text the box holds: empty after New
    // and for a text file.
    const QList<DocumentSection> &Sections() const { return sections_; }

signals:
    void SectionsChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void CreateControls(std::unique_ptr<SpeechControl> voice);
    void CreateMenus();
    void ConnectControls();
    void ConnectMenus();
    void Load();
    void ApplyResizeRule();
    void DocumentChanged(const QList<DocumentSection> &sections, const QString &language);
    void FollowLanguage(const QString &language);

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
};
