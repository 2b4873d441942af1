#pragma once

#include <QString>
#include <optional>

class QFileDialog;
class QWidget;

// Sizes a non-native file dialog so that its detail columns show whole, and
// keeps them so as folders are read.
void ShowColumnsWhole(QFileDialog &dialog);

// The open-file dialog: the user picks or types a file name, or cancels. The
// name need not exist; the caller decides what a missing file means.
class FileDialog {
public:
    virtual ~FileDialog() = default;

    // When set, Cancel makes ShowOpen fail; when clear, Cancel succeeds and
    // leaves an empty file name.
    void SetCancelError(bool cancelError) { cancelError_ = cancelError; }

    // Shows the dialog modally and waits for it to close. False only when the
    // user cancelled with the cancel error set.
    bool ShowOpen(QWidget *parent);

    // The name chosen in the last ShowOpen, as the dialog reported it.
    QString FileName() const { return fileName_; }

protected:
    // Runs the dialog itself: the chosen name, or nothing on Cancel.
    virtual std::optional<QString> Run(QWidget *parent) = 0;

private:
    bool cancelError_ = false;
    QString fileName_;
};

// The toolkit's own dialog, with no filter, no title and no starting folder.
class QtFileDialog final : public FileDialog {
protected:
    std::optional<QString> Run(QWidget *parent) override;
};
