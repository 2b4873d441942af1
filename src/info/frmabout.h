#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

class LineShape;
class MessageBoxes;
class ProcessStarter;
class QLabel;
class QPushButton;
class Registry;

// Texts about this program and its makers.
namespace AboutTexts {
inline constexpr char kRightsNotice[] = "\xc2\xa9 2026 the Zavren Speech authors.";
inline constexpr char kFeedbackAddress[] = "feedback@zavren.example";
inline constexpr char kWebAddress[] = "https://zavren.example";
inline constexpr char kSysInfoUnavailable[] = "System Information Is Unavailable At This Time";
} // namespace AboutTexts

// The About window: title, version and notices, and a button that starts the
// system information tool. Created for each opening, shown modally, released
// when closed.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    frmAbout(Registry &registry, ProcessStarter &processes, MessageBoxes &messageBoxes,
             QWidget *parent = nullptr);

    QPushButton *cmdOK() const { return cmdOK_; }
    QPushButton *cmdSysInfo() const { return cmdSysInfo_; }
    QLabel *picIcon() const { return picIcon_; }
    QLabel *lblDescription() const { return lblDescription_; }
    QLabel *lblInfo() const { return lblInfo_; }
    QLabel *lblTitle() const { return lblTitle_; }
    QLabel *lblVersion() const { return lblVersion_; }
    LineShape *Line1(int index) const { return Line1_.at(static_cast<std::size_t>(index)); }

    // Starts the system information tool, or tells the user it is unavailable.
    void StartSysInfo();

    // Reads a registry value as text; see SysInfo::GetKeyValue, which also
    // says what it throws.
    bool GetKeyValue(std::uint32_t KeyRoot, const QString &KeyName, const QString &SubKeyRef,
                     QString &KeyVal);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Load();

    Registry &registry_;
    ProcessStarter &processes_;
    MessageBoxes &messageBoxes_;

    QPushButton *cmdOK_ = nullptr;
    QLabel *picIcon_ = nullptr;
    QPushButton *cmdSysInfo_ = nullptr;
    QLabel *lblDescription_ = nullptr;
    QLabel *lblInfo_ = nullptr;
    QLabel *lblTitle_ = nullptr;
    QLabel *lblVersion_ = nullptr;
    std::array<LineShape *, 2> Line1_{};
};
