#include "nativename.h"

#include <QFile>

// Windows names are UTF-16 throughout: the toolkit never loses one.
std::vector<std::string> NativeFileNames(const QString &path) {
    return {QFile::encodeName(path).toStdString()};
}
