#include "filedialog.h"

#include <QFileDialog>

bool FileDialog::ShowOpen(QWidget *parent) {
    std::optional<QString> chosen = Run(parent);
    fileName_ = chosen.value_or(QString());
    return chosen.has_value() || !cancelError_;
}

std::optional<QString> QtFileDialog::Run(QWidget *parent) {
    QFileDialog dialog(parent);
    // AnyFile, not ExistingFile: a typed name that does not exist is returned
    // as it stands, so the caller can say so.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}
