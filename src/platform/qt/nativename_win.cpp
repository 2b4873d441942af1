#include "nativename.h"

#include <QDir>
#include <QFile>
#include <QUrl>

// Windows names are UTF-16 throughout: the toolkit never loses one.
std::vector<std::string> NativeFileNames(const QString &path) {
    return {QFile::encodeName(path).toStdString()};
}

std::filesystem::path NativePath(const QString &path) {
    return path.toStdWString();
}

QString ShownPath(const std::filesystem::path &path) {
    return QDir::toNativeSeparators(QString::fromStdWString(path.native()));
}

std::filesystem::path ArgumentPath(std::string_view, const QString &read) {
    if (read.startsWith(QLatin1String("file://")))
        return QUrl(read).toLocalFile().toStdWString();
    return read.toStdWString();
}

QString PathArgument(const std::filesystem::path &path) {
    return QString::fromStdWString(path.native());
}
