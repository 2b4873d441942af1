#pragma once

#include <QFile>
#include <QString>
#include <string>

// A directory search for a normal file: true only when `nativePath` names an
// existing regular file that is neither hidden nor a system file. Directories,
// devices and pipes never count, so a later read of the file cannot hang.
bool NormalFileExists(const std::string &nativePath);

inline bool NormalFileExists(const QString &path) {
    return NormalFileExists(QFile::encodeName(path).toStdString());
}
