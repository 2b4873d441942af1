#include "filedialog.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLayout>
#include <QLocale>
#include <QMimeDatabase>
#include <QScreen>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>

namespace {

// The toolkit sizes the detail view's columns for samples narrower than what
// they show ("438 bytes", a long date, a file type's full name). Widen them to
// samples at once and to what they hold once read, and the dialog to its
// columns, within the screen.
void FitColumns(QFileDialog &dialog, bool toContents) {
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (view == nullptr) {
        return;
    }
    QHeaderView *header = view->header();
    const QFontMetrics metrics(view->font());
    const QLocale locale = QLocale::system();
    const int padding = 2 * metrics.averageCharWidth();
    // Samples of what the Size, Type and Date Modified columns show; the
    // type is that of the files this program opens.
    const QString samples[] = {
        QString(), locale.formattedDataSize(1023) + QLatin1Char(' '),
        QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment(),
        locale.toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59, 59)), QLocale::ShortFormat)};
    for (int column = 1; column < header->count() && column < 4; ++column) {
        int wanted = metrics.horizontalAdvance(samples[column]) + padding;
        if (toContents) {
            wanted =
                std::max(wanted, static_cast<QAbstractItemView *>(view)->sizeHintForColumn(column));
        }
        header->resizeSection(column, std::max(header->sectionSize(column), wanted));
    }

    int columns = 0;
    for (int column = 0; column < header->count(); ++column) {
        columns += header->isSectionHidden(column) ? 0 : header->sectionSize(column);
    }
    if (dialog.layout() != nullptr) {
        dialog.layout()->activate();
    }
    const int room =
        view->width() - 2 * view->frameWidth() - view->verticalScrollBar()->sizeHint().width();
    int width = dialog.width() + std::max(0, columns - room);
    if (const QScreen *screen = dialog.screen()) {
        width = std::min(width, screen->availableGeometry().width());
    }
    if (width > dialog.width()) {
        dialog.resize(width, dialog.height());
    }
}

} // namespace

void ShowColumnsWhole(QFileDialog &dialog) {
    FitColumns(dialog, false);
    // Each folder shown, once read, widens the columns to its entries.
    if (auto *model = dialog.findChild<QFileSystemModel *>()) {
        QObject::connect(model, &QFileSystemModel::directoryLoaded, &dialog,
                         [&dialog](const QString &path) {
                             if (path == dialog.directory().absolutePath()) {
                                 FitColumns(dialog, true);
                             }
                         });
    }
}

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
    ShowColumnsWhole(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}
