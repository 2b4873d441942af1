#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The how-to-use window: four numbered steps and an OK button. Created for
// each opening, shown modally, released when closed.
class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(QWidget *parent = nullptr);

    static QString StepsText();

    QLabel *lblTitle() const { return lblTitle_; }
    QLabel *lblMain() const { return lblMain_; }
    QPushButton *cmdOK() const { return cmdOK_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Load();

    QLabel *lblTitle_ = nullptr;
    QLabel *lblMain_ = nullptr;
    QPushButton *cmdOK_ = nullptr;
};
