#pragma once

#include "speech/voice/pronunciations.h"

#include <QDialog>
#include <QString>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

// The user's pronunciations, edited as a table: a rule a row. OK saves the
// list and has everything spoken from then on use it; Cancel leaves both as
// they were. Not modal: the voice and the text stay usable beside it.
class PronunciationsWindow final : public QDialog {
    Q_OBJECT
public:
    // Edits the list at `file` (the user's own unless given).
    explicit PronunciationsWindow(QWidget *parent = nullptr,
                                  QString file = PronunciationFile::UserFile());

    std::vector<PronunciationRule> Rules() const;
    void SetRules(const std::vector<PronunciationRule> &rules);
    // Adds the rules of a tab-separated file; false, with the reason shown,
    // when it cannot be read. Lines it cannot read are named.
    bool Import(const QString &path);
    bool Export(const QString &path);
    // What is said about the list: lines that could not be read, rules that
    // cannot be used. Empty when all is well.
    QString Notice() const;

    void accept() override;

private:
    void AddRow(const PronunciationRule &rule);
    void Check();
    void Tell(const QString &text);

    QString file_;
    QStringList readProblems_;
    QTableWidget *table_;
    QLabel *notice_;
    QPushButton *remove_;
};
